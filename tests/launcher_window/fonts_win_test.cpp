#include "launcher/ui/fonts_win.hpp"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

using launcher::FontId;
using launcher::FontSet;

bool installed(const wchar_t* face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(
        screen, &wanted,
        [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM context) -> int {
            *reinterpret_cast<bool*>(context) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

std::string narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

TEST(Fonts, AllElevenAskForSegoeUiOrFallBackToTahoma) {
    FontSet fonts;
    ASSERT_TRUE(fonts.create());
    // Under Wine "Segoe UI" is missing, and Wine's own fonts include a Tahoma.
    const wchar_t* want = installed(L"Segoe UI") ? L"Segoe UI" : L"Tahoma";
    for (int i = 0; i < launcher::kFontCount; ++i) {
        SCOPED_TRACE(i + 1);
        const FontId id = static_cast<FontId>(i);
        LOGFONTW font{};
        ASSERT_NE(GetObjectW(fonts.get(id), sizeof font, &font), 0);
        EXPECT_EQ(lstrcmpiW(font.lfFaceName, want), 0) << narrow(font.lfFaceName);
        if (installed(want)) {
            EXPECT_EQ(lstrcmpiW(fonts.faceName(id).c_str(), want), 0) << narrow(fonts.faceName(id));
        }
    }
}

TEST(Fonts, SizesFollowPointsAndWeights) {
    FontSet fonts;
    ASSERT_TRUE(fonts.create());
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const struct {
        FontId id;
        int points;
        int weight;
    } cases[] = {{FontId::F1, 18, 900}, {FontId::F2, 8, 700}, {FontId::F6, 10, 400}, {FontId::F8, 16, 900}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.points);
        LOGFONTW font{};
        ASSERT_NE(GetObjectW(fonts.get(c.id), sizeof font, &font), 0);
        EXPECT_EQ(font.lfHeight, -(c.points * dpi / 72));
        EXPECT_EQ(font.lfWeight, c.weight);
    }
    fonts.release();
    EXPECT_EQ(fonts.get(FontId::F1), nullptr);
}

} // namespace
