#pragma once
// The window's eleven fonts, created once with the window. "Segoe UI" is asked for first; where the
// system substitutes another face, the font is made again with "Tahoma".

#include <array>
#include <string>

struct HFONT__;

namespace launcher {

enum class FontId { F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11 };
inline constexpr int kFontCount = 11;

class FontSet {
public:
    FontSet() = default;
    ~FontSet();
    FontSet(const FontSet&) = delete;
    FontSet& operator=(const FontSet&) = delete;

    // Creates all eleven for the screen's logical pixels per inch; false (and nothing kept) when one
    // cannot be created.
    bool create();
    void release();

    HFONT__* get(FontId id) const { return fonts_[static_cast<int>(id)]; }
    // The face the system actually selected for the font.
    std::wstring faceName(FontId id) const;

private:
    std::array<HFONT__*, kFontCount> fonts_{};
};

} // namespace launcher
