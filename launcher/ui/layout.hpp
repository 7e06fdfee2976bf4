#pragma once
// The launcher window's fixed geometry in client pixels. Rectangles are half-open: a point hits one when
// left <= x < right and top <= y < bottom.

#include <array>

namespace launcher {

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
    constexpr bool contains(int x, int y) const { return left <= x && x < right && top <= y && y < bottom; }
    constexpr bool empty() const { return right <= left || bottom <= top; }
    constexpr bool operator==(const Rect& other) const {
        return left == other.left && top == other.top && right == other.right && bottom == other.bottom;
    }
    constexpr bool operator!=(const Rect& other) const { return !(*this == other); }
};

struct Point {
    int x = 0;
    int y = 0;
};

inline constexpr int kWindowWidth = 874;
inline constexpr int kWindowHeight = 380;
inline constexpr Rect kWindowRect{0, 0, kWindowWidth, kWindowHeight};

// Main view.
inline constexpr Rect kTitleBarRect{0, 0, 874, 42};
inline constexpr Rect kContentPanelRect{12, 50, 862, 312};
inline constexpr Rect kBottomBarRect{0, 320, 874, 380};
inline constexpr Rect kMinimiseRect{818, 12, 836, 30};
inline constexpr Rect kCloseRect{844, 12, 862, 30};
inline constexpr Rect kHeaderIconRect{782, 9, 806, 33};
inline constexpr Rect kServerSelectorRect{288, 6, 770, 36};
inline constexpr Rect kPlayRect{722, 328, 862, 372};
inline constexpr Rect kSettingsGearRect{674, 333, 708, 367};
inline constexpr Rect kVerifyRect{630, 333, 664, 367};
inline constexpr Rect kForceRect{530, 333, 622, 367};
inline constexpr int kNewsItemCount = 3;

// Settings panel.
inline constexpr Rect kSettingsPanelRect{157, 57, 717, 323};
inline constexpr Rect kSettingsCloseRect{687, 67, 707, 87};
inline constexpr Rect kEngineLeftRect{519, 103, 543, 133};
inline constexpr Rect kEngineRightRect{673, 103, 697, 133};
inline constexpr Rect kLanguageLeftRect{519, 137, 543, 167};
inline constexpr Rect kLanguageRightRect{673, 137, 697, 167};
inline constexpr Rect kFpsLeftRect{519, 171, 543, 201};
inline constexpr Rect kFpsRightRect{673, 171, 697, 201};
inline constexpr Rect kResolutionLeftRect{519, 205, 543, 235};
inline constexpr Rect kResolutionRightRect{673, 205, 697, 235};
inline constexpr Rect kWindowedCheckRect{679, 247, 697, 265};
inline constexpr Rect kResetRect{177, 285, 257, 315};
inline constexpr Rect kCancelRect{497, 285, 587, 315};
inline constexpr Rect kApplyRect{597, 285, 697, 315};

// Server panel.
inline constexpr Rect kServerPanelRect{24, 14, 850, 366};
inline constexpr Rect kServerPanelCloseRect{820, 24, 840, 44};
inline constexpr Rect kSearchBoxRect{44, 58, 430, 84};
inline constexpr Rect kAccessCodeBoxRect{440, 58, 690, 84};
inline constexpr Rect kRefreshRect{700, 58, 830, 84};
inline constexpr Rect kRowViewportRect{44, 94, 830, 312};
inline constexpr int kScrollBarWidth = 8;
inline constexpr Rect kRegionLeftRect{44, 320, 68, 350};
inline constexpr Rect kRegionRightRect{238, 320, 262, 350};
inline constexpr Rect kRegionValueRect{68, 322, 238, 348};
inline constexpr Rect kServerStatusRect{276, 320, 686, 350};
inline constexpr Rect kPanelPlayRect{700, 320, 830, 350};

// Server rows: 62 pixels high with a 4-pixel gap.
inline constexpr int kRowHeight = 62;
inline constexpr int kRowPitch = 66;
inline constexpr int kRowDrawRight = 818; // right of it lies the scroll bar
inline constexpr int kViewportHeight = kRowViewportRect.bottom - kRowViewportRect.top;

// The areas whose place depends on the window's state; recomputed on every paint.
struct Layout {
    Rect progressBar;
    std::array<Rect, kNewsItemCount> newsItems;
};

// News item k spans 84 + 70k to 154 + 70k; an item that would pass the content's inner bottom (308) is
// empty. The progress bar gives way to FORCE while FORCE is offered.
Rect newsItemRect(int item);
Rect progressBarRect(bool forceEnabled);
Layout computeLayout(bool forceEnabled);

// The PLAY button's hexagon: corners cut by trunc(height * 0.3), pointed at the middle of both sides.
std::array<Point, 6> playHexagon(const Rect& rect);

Rect offsetRect(const Rect& rect, int dx, int dy);

} // namespace launcher
