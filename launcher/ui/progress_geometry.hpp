#pragma once
// What the bottom bar's progress track shows: a fill for a known total with its percentage, a sliding
// segment while an update runs without a known total, or nothing.

#include "launcher/ui/layout.hpp"

#include <cstdint>
#include <string>

namespace launcher {

struct ProgressFill {
    bool fill = false; // drawn only when wider than one pixel
    Rect fillRect;
    bool percent = false;
    std::string percentText; // "%.0f%%" of the fraction done
};

// done / total clamped to 0 .. 1 for a known total. With total 0 while busy, a third of the track slides
// from left to right: it starts at left + (offset mod (w + w/3)) - w/3 and is clipped to the track.
ProgressFill progressFill(const Rect& track, std::uint64_t done, std::uint64_t total, bool busy,
                          std::uint32_t animationOffset);

// The bottom bar's status line ends before the source indicator when one is shown.
int statusLineRight(int progressRight, bool sourceKnown);

} // namespace launcher
