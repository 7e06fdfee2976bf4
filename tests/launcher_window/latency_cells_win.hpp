#pragma once
// Reads the latency that a server row shows. The server panel's own drawing of a row's latency cell, for
// a selected and for an unselected row, is made once for each latency a probe can give and kept; a
// screenshot's cell is then found among them.

#include "launcher/ui/layout.hpp"
#include "launcher_window/reference_canvas_win.hpp"
#include "launcher_window/screen_tools_win.hpp"

#include <map>
#include <utility>
#include <vector>

namespace kyrtest {

// A probe gives up after 1.5 s, so no latency shown is longer.
inline constexpr int kLongestShownLatencyMs = 1500;
inline constexpr int kNoLatencyShown = -100;

// Where the row at position (not scrolled) draws its latency: the right column of its second line.
launcher::Rect latencyCell(int position);

class LatencyCells {
public:
    explicit LatencyCells(ReferenceCanvas& canvas) : canvas_(canvas) {}

    // The latency whose cell the shot shows at position, -1 for "-- ms"; kNoLatencyShown when none.
    int shownAt(const Screenshot& shot, int position, bool selected);

private:
    const std::vector<Rgb>& cell(int latency, bool selected);

    ReferenceCanvas& canvas_;
    std::map<std::pair<int, bool>, std::vector<Rgb>> cells_;
};

} // namespace kyrtest
