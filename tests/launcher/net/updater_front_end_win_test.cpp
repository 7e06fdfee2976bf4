// The paths the launcher finds (ANSI code page) as the engine takes them (UTF-8).

#include "launcher/net/updater_front_end.hpp"
#include "support/ansi_text_win.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(EnginePath, AnsiPathBecomesUtf8) {
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
        const std::string folder = kyrtest::ansiText(c.folder);
        if (folder.empty()) {
            continue; // this code page cannot name the folder, so the launcher could not find it either
        }
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(launcher::enginePath(folder), c.utf8);
    }
}

} // namespace
