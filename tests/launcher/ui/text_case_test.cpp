// One table for both twins: natively the portable mapping, under Wine the platform's, which must agree on
// the Latin letters.

#include "launcher/ui/text_case.hpp"

#include <gtest/gtest.h>

namespace {

TEST(UpperCaseText, PutsLatinLettersInCapitals) {
    const struct {
        const char* name;
        const char* text;
        const char* want;
    } cases[] = {
        {"ASCII", "oficial-2 Fast", "OFICIAL-2 FAST"},
        {"accented region", "Sudam\xC3\xA9rica", "SUDAM\xC3\x89RICA"},
        {"first and last small letters of Latin-1", "\xC3\xA0\xC3\xBE", "\xC3\x80\xC3\x9E"},
        {"y with diaeresis", "\xC3\xBF", "\xC5\xB8"},
        {"division sign, sharp s, ordinal", "\xC3\xB7\xC3\x9F\xC2\xAA", "\xC3\xB7\xC3\x9F\xC2\xAA"},
        {"edges of the Extended-A pairs",
         "\xC4\x81\xC4\xB7\xC4\xBA\xC5\x88\xC5\x8B\xC5\xB7\xC5\xBA\xC5\xBE \xC5\x82\xC5\x91",
         "\xC4\x80\xC4\xB6\xC4\xB9\xC5\x87\xC5\x8A\xC5\xB6\xC5\xB9\xC5\xBD \xC5\x81\xC5\x90"},
        {"kra, n with apostrophe, dotless i, long s", "\xC4\xB8\xC5\x89\xC4\xB1\xC5\xBF",
         "\xC4\xB8\xC5\x89\xC4\xB1\xC5\xBF"},
        {"capitals, other scripts and digits stay", "\xC3\x89\xC5\x81 \xE6\x9D\xB1\xE4\xBA\xAC 9",
         "\xC3\x89\xC5\x81 \xE6\x9D\xB1\xE4\xBA\xAC 9"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(launcher::upperCaseText(c.text), c.want);
    }
}

} // namespace
