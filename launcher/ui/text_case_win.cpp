#include "launcher/ui/text_case.hpp"

#include "launcher/ui/drawing_kit_win.hpp"

#include <windows.h>

namespace launcher {

std::string upperCaseText(std::string_view utf8) {
    const std::wstring wide = widen(utf8);
    const int length = static_cast<int>(wide.size());
    std::wstring upper(wide.size(), L'\0');
    // The invariant locale maps as every language but Turkish does (i to I).
    if (length == 0 ||
        LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), length, upper.data(), length) != length) {
        return std::string(utf8);
    }
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, upper.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return std::string(utf8);
    }
    std::string text(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, upper.data(), length, text.data(), bytes, nullptr, nullptr);
    return text;
}

} // namespace launcher
