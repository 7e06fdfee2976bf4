#include "launcher/game/display_modes.hpp"

#include <algorithm>
#include <limits>

namespace launcher {

DisplayModeList buildDisplayModeList(const DisplayModeEnumerator& enumerate) {
    constexpr std::uint32_t kMinWidth = 640;
    constexpr std::uint32_t kMinHeight = 480;
    // Sizes beyond the signed range are a driver's garbage, not a screen.
    constexpr auto kMaxSide = static_cast<std::uint32_t>(std::numeric_limits<int>::max());
    DisplayModeList modes;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    for (std::uint32_t modeNumber = 0; enumerate(modeNumber, width, height); ++modeNumber) {
        if (width < kMinWidth || height < kMinHeight || width > kMaxSide || height > kMaxSide) {
            continue;
        }
        const DisplayMode mode{static_cast<int>(width), static_cast<int>(height)};
        if (std::find(modes.begin(), modes.end(), mode) == modes.end()) {
            modes.push_back(mode);
        }
    }
    std::stable_sort(modes.begin(), modes.end(), [](const DisplayMode& a, const DisplayMode& b) {
        return a.width != b.width ? a.width < b.width : a.height < b.height;
    });
    if (modes.empty()) {
        modes.push_back(kFallbackDisplayMode);
    }
    return modes;
}

int findOrAddDisplayMode(DisplayModeList& modes, int width, int height) {
    const DisplayMode wanted{width, height};
    const auto found = std::find(modes.begin(), modes.end(), wanted);
    if (found != modes.end()) {
        return static_cast<int>(found - modes.begin());
    }
    modes.push_back(wanted);
    return static_cast<int>(modes.size() - 1);
}

} // namespace launcher
