#include "launcher/net/updater_front_end.hpp"
#include "support/ansi_text_win.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

// The paths the launcher finds (ANSI code page) as the engine takes them (UTF-8).
TEST(EnginePath, AnsiPathBecomesUtf8) {
    for (const auto& [folder, utf8] : {std::pair{L"C:\\Games\\KYR", "C:\\Games\\KYR"},
                                       std::pair{L"C:\\J\u00f6rg\\Jos\u00e9", "C:\\J\xC3\xB6rg\\Jos\xC3\xA9"}}) {
        SCOPED_TRACE(utf8);
        const std::string ansi = kyrtest::ansiText(folder);
        // A code page that cannot name the folder: the launcher could not have found it either.
        EXPECT_EQ(ansi.empty() ? utf8 : launcher::enginePath(ansi), utf8);
    }
}

} // namespace
