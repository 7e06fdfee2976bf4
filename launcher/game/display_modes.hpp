#pragma once
// The resolutions that the settings panel offers: every size the display driver lists, once each.

#include <cstdint>
#include <functional>
#include <vector>

namespace launcher {

struct DisplayMode {
    int width = 0;
    int height = 0;
    bool operator==(const DisplayMode& other) const { return width == other.width && height == other.height; }
};

// No two entries equal; sorted by width, then height, when built; never empty after building. It may
// grow at its end later (findOrAddDisplayMode), so the tail need not be sorted.
using DisplayModeList = std::vector<DisplayMode>;

// Fills width and height of the driver's mode number modeNumber; false past the last mode.
using DisplayModeEnumerator =
    std::function<bool(std::uint32_t modeNumber, std::uint32_t& width, std::uint32_t& height)>;

// The size taken when the driver lists nothing usable.
inline constexpr DisplayMode kFallbackDisplayMode{1024, 768};

// Every distinct size of at least 640 x 480 that enumerate lists (colour depth and refresh rate are
// ignored), sorted; the fallback size alone when there is none.
DisplayModeList buildDisplayModeList(const DisplayModeEnumerator& enumerate);

// The same over EnumDisplaySettingsA of the current display device (Windows only).
DisplayModeList buildDisplayModeList();

// The index of the first entry equal to the size; appends the size when there is none.
int findOrAddDisplayMode(DisplayModeList& modes, int width, int height);

// The primary screen's size (Windows only).
DisplayMode primaryScreenSize();

} // namespace launcher
