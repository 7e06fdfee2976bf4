#include "launcher/ui/interface_texts.hpp"

#include "support/scratch_folder.hpp"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

// The game's language is read from config.ini through the profile functions on every call.
TEST(InterfaceTexts, IsSpanishReadsTheGameLanguageOnEveryCall) {
    const kyrtest::ScratchFolder folder;
    const std::string config = (folder / "config.ini").string();
    EXPECT_FALSE(launcher::isSpanish(config)) << "a missing file reads as English";
    for (const char* value : {"SPN", "Spnish", "spn", "Por"}) {
        SCOPED_TRACE(value);
        ASSERT_TRUE(WritePrivateProfileStringA("Custom", "Language", value, config.c_str()));
        EXPECT_EQ(launcher::isSpanish(config), _stricmp(value, "spn") == 0);
    }
}

} // namespace
