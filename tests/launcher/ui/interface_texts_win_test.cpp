#include "launcher/ui/interface_texts.hpp"

#include "support/scratch_folder.hpp"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(InterfaceTexts, IsSpanishReadsTheGameLanguageOnEveryCall) {
    const kyrtest::ScratchFolder folder;
    const std::string config = (folder / "config.ini").string();
    EXPECT_FALSE(launcher::isSpanish(config)) << "a missing file reads as English";
    const struct {
        const char* value;
        bool want;
    } cases[] = {
        {"spn", true}, {"SPN", true}, {"Por", false}, {"Eng", false}, {"", false}, {"Spnish", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        ASSERT_TRUE(WritePrivateProfileStringA("Custom", "Language", c.value, config.c_str()));
        EXPECT_EQ(launcher::isSpanish(config), c.want);
        EXPECT_STREQ(launcher::uiText(launcher::BilingualText::ForceButton, launcher::isSpanish(config)),
                     c.want ? "FORZAR" : "FORCE");
    }
    WritePrivateProfileStringA("Custom", "Language", nullptr, config.c_str());
    EXPECT_FALSE(launcher::isSpanish(config)) << "a missing key reads as English";
}

} // namespace
