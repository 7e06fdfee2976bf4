#pragma once
// Text in the ANSI code page, as the launcher's own file functions take paths.

#include <windows.h>

#include <string>

namespace kyrtest {

// Empty when some character has no place in the code page (Windows would write "?" for it).
inline std::string ansiText(const std::wstring& text) {
    BOOL lossy = FALSE;
    const int size = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, &lossy);
    std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), size, out.data(), bytes, nullptr, &lossy);
    return lossy ? std::string() : out;
}

} // namespace kyrtest
