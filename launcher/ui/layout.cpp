#include "launcher/ui/layout.hpp"

namespace launcher {
namespace {

constexpr int kNewsItemTop = 84;
constexpr int kNewsItemPitch = 70;
constexpr int kNewsItemBottomLimit = 308;

} // namespace

Rect newsItemRect(int item) {
    if (item < 0 || item >= kNewsItemCount) {
        return Rect{};
    }
    const int top = kNewsItemTop + kNewsItemPitch * item;
    const int bottom = top + kNewsItemPitch;
    if (bottom > kNewsItemBottomLimit) {
        return Rect{};
    }
    return Rect{24, top, 850, bottom};
}

Rect progressBarRect(bool forceEnabled) {
    return Rect{16, 348, forceEnabled ? 514 : 614, 362};
}

Layout computeLayout(bool forceEnabled) {
    Layout layout;
    layout.progressBar = progressBarRect(forceEnabled);
    for (int k = 0; k < kNewsItemCount; ++k) {
        layout.newsItems[k] = newsItemRect(k);
    }
    return layout;
}

std::array<Point, 6> playHexagon(const Rect& rect) {
    const int cut = rect.height() * 3 / 10;
    const int middle = rect.top + rect.height() / 2;
    return {Point{rect.left + cut, rect.top},     Point{rect.right - cut, rect.top},   Point{rect.right, middle},
            Point{rect.right - cut, rect.bottom}, Point{rect.left + cut, rect.bottom}, Point{rect.left, middle}};
}

Rect offsetRect(const Rect& rect, int dx, int dy) {
    return Rect{rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy};
}

} // namespace launcher
