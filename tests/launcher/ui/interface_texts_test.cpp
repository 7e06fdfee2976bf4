#include "launcher/ui/interface_texts.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace launcher;

TEST(InterfaceTexts, SpanishOnlyForSpnInAnyCase) {
    const struct {
        const char* code;
        bool want;
    } cases[] = {
        {"Spn", true}, {"spn", true}, {"SPN", true},   {"Por", false},  {"Eng", false},
        {"", false},   {"Sp", false}, {"Spnx", false}, {" Spn", false}, {"Spa", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(isSpanishLanguageCode(c.code), c.want);
    }
}

TEST(InterfaceTexts, BilingualTextsFollowTheLanguage) {
    const struct {
        BilingualText id;
        const char* spanish;
        const char* english;
    } cases[] = {
        {BilingualText::ForceButton, "FORZAR", "FORCE"},
        {BilingualText::PrimaryServer, "Servidor Primario", "Primary Server"},
        {BilingualText::SecondaryServer, "Servidor Secundario", "Secondary Server"},
        {BilingualText::ClientUpToDate, "Cliente al dia.", "Client up to date."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.english);
        EXPECT_STREQ(uiText(c.id, true), c.spanish);
        EXPECT_STREQ(uiText(c.id, false), c.english);
    }
    // The FORCE hint is a prefix: the failure text follows its trailing blank.
    EXPECT_EQ(std::string(uiText(BilingualText::ForceHint, true)).back(), ' ');
    EXPECT_EQ(std::string(uiText(BilingualText::ForceHint, false)).back(), ' ');
}

TEST(InterfaceTexts, EveryTextHasOneEntry) {
    for (int id = 0; id <= static_cast<int>(UiText::WarningPrefix); ++id) {
        SCOPED_TRACE(id);
        const std::string text = uiText(static_cast<UiText>(id));
        EXPECT_FALSE(text.empty());
    }
    for (int id = 0; id <= static_cast<int>(BilingualText::LauncherRestartFailed); ++id) {
        SCOPED_TRACE(id);
        EXPECT_NE(std::string(uiText(static_cast<BilingualText>(id), true)), "");
        EXPECT_NE(std::string(uiText(static_cast<BilingualText>(id), false)), "");
    }
}

} // namespace
