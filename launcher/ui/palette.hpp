#pragma once
// The launcher's colours, in the platform's 0x00BBGGRR layout (a COLORREF) so that drawing code uses
// them as they are.

#include <cstdint>

namespace launcher {

using Colour = std::uint32_t;

constexpr Colour rgb(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return red | (green << 8) | (blue << 16);
}

constexpr std::uint32_t redOf(Colour colour) {
    return colour & 0xFF;
}
constexpr std::uint32_t greenOf(Colour colour) {
    return (colour >> 8) & 0xFF;
}
constexpr std::uint32_t blueOf(Colour colour) {
    return (colour >> 16) & 0xFF;
}

namespace palette {

inline constexpr Colour Accent = rgb(217, 48, 74);
inline constexpr Colour AccentHot = rgb(232, 70, 94);
inline constexpr Colour AccentDark = rgb(142, 30, 49);
inline constexpr Colour Ok = rgb(34, 197, 94);
inline constexpr Colour Warn = rgb(255, 159, 28);
inline constexpr Colour Violet = rgb(139, 92, 246);
inline constexpr Colour TextBright = rgb(245, 245, 248);
inline constexpr Colour TextNormal = rgb(216, 216, 226);
inline constexpr Colour TextDim = rgb(168, 168, 176);
inline constexpr Colour TextMuted = rgb(154, 154, 162);
inline constexpr Colour TextFaint = rgb(80, 80, 88);
inline constexpr Colour Line = rgb(56, 56, 64);
inline constexpr Colour LineHot = rgb(92, 92, 104);
inline constexpr Colour Separator = rgb(32, 32, 39);
inline constexpr Colour Fill = rgb(22, 22, 28);
inline constexpr Colour FillDeep = rgb(6, 6, 8);
inline constexpr Colour BandTop = rgb(28, 28, 34);
inline constexpr Colour BandBottom = rgb(20, 20, 24);
inline constexpr Colour PanelBottom = rgb(16, 16, 21);
inline constexpr Colour ForceFill = rgb(26, 18, 6);

// The whole window's background runs from the top colour to the bottom colour.
inline constexpr Colour WindowTop = rgb(22, 22, 28);
inline constexpr Colour WindowBottom = rgb(6, 6, 8);

} // namespace palette
} // namespace launcher
