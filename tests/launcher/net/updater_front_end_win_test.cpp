// The folder the launcher finds (ANSI code page) as the engine takes it (UTF-8).

#include "launcher/net/updater_front_end.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

// text in the ANSI code page; empty when some character has no place in it.
std::string ansi(const std::wstring& text) {
    BOOL lossy = FALSE;
    const int size = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, &lossy);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), size, out.data(), bytes, nullptr, &lossy);
    return lossy ? std::string() : out;
}

TEST(EngineFolderPath, AnsiFolderBecomesUtf8) {
    struct Case {
        const wchar_t* folder;
        const char* utf8;
    } cases[] = {
        {L"C:\\Games\\KYR", "C:\\Games\\KYR"},
        {L"C:\\Users\\J\u00f6rg\\KYR", "C:\\Users\\J\xC3\xB6rg\\KYR"},
        {L"D:\\Fran\u00e7ois\\Jos\u00e9", "D:\\Fran\xC3\xA7ois\\Jos\xC3\xA9"},
        {L".", "."},
    };
    for (const auto& c : cases) {
        const std::string folder = ansi(c.folder);
        if (folder.empty()) {
            continue; // this code page cannot name the folder, so the launcher could not find it either
        }
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(launcher::engineFolderPath(folder), c.utf8);
    }
}

} // namespace
