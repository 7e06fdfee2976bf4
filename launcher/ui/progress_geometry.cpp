#include "launcher/ui/progress_geometry.hpp"

#include <algorithm>
#include <cstdio>

namespace launcher {
namespace {

void setFill(ProgressFill& progress, const Rect& track, int left, int right) {
    left = std::max(left, track.left);
    right = std::min(right, track.right);
    if (right - left > 1) {
        progress.fill = true;
        progress.fillRect = Rect{left, track.top, right, track.bottom};
    }
}

} // namespace

ProgressFill progressFill(const Rect& track, std::uint64_t done, std::uint64_t total, bool busy,
                          std::uint32_t animationOffset) {
    ProgressFill progress;
    const int width = track.width();
    if (total > 0) {
        const double fraction = std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
        setFill(progress, track, track.left, track.left + static_cast<int>(width * fraction));
        char text[16];
        std::snprintf(text, sizeof text, "%.0f%%", fraction * 100.0);
        progress.percent = true;
        progress.percentText = text;
        return progress;
    }
    if (busy && width > 0) {
        const int segment = width / 3;
        const auto period = static_cast<std::uint32_t>(width + segment);
        const int start = track.left + static_cast<int>(animationOffset % period) - segment;
        setFill(progress, track, start, start + segment);
    }
    return progress;
}

int statusLineRight(int progressRight, bool sourceKnown) {
    return sourceKnown ? progressRight - 218 : progressRight - 60;
}

} // namespace launcher
