#include "launcher/ui/fonts_win.hpp"

#include <windows.h>

namespace launcher {
namespace {

struct FontStyle {
    int points;
    int weight;
};

constexpr FontStyle kFontStyles[kFontCount] = {
    {18, 900}, {8, 700},  {11, 600}, {12, 700}, {12, 600}, {10, 400},
    {11, 600}, {16, 900}, {14, 700}, {11, 400}, {11, 600},
};

constexpr wchar_t kPreferredFace[] = L"Segoe UI";
constexpr wchar_t kFallbackFace[] = L"Tahoma";

HFONT createFont(const FontStyle& style, int dpi, const wchar_t* face) {
    return CreateFontW(-(style.points * dpi / 72), 0, 0, 0, style.weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

std::wstring selectedFace(HFONT font) {
    std::wstring face;
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) {
        return face;
    }
    HGDIOBJ previous = SelectObject(dc, font);
    wchar_t name[LF_FACESIZE] = {};
    if (GetTextFaceW(dc, LF_FACESIZE, name) > 0) {
        face = name;
    }
    SelectObject(dc, previous);
    DeleteDC(dc);
    return face;
}

int screenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) {
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? dpi : 96;
}

} // namespace

FontSet::~FontSet() {
    release();
}

bool FontSet::create() {
    release();
    const int dpi = screenDpi();
    for (int i = 0; i < kFontCount; ++i) {
        HFONT font = createFont(kFontStyles[i], dpi, kPreferredFace);
        if (font != nullptr && lstrcmpiW(selectedFace(font).c_str(), kPreferredFace) != 0) {
            DeleteObject(font);
            font = createFont(kFontStyles[i], dpi, kFallbackFace);
        }
        if (font == nullptr) {
            release();
            return false;
        }
        fonts_[i] = font;
    }
    return true;
}

void FontSet::release() {
    for (HFONT__*& font : fonts_) {
        if (font != nullptr) {
            DeleteObject(font);
            font = nullptr;
        }
    }
}

std::wstring FontSet::faceName(FontId id) const {
    HFONT font = get(id);
    return font != nullptr ? selectedFace(font) : std::wstring();
}

} // namespace launcher
