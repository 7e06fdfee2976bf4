// One table for both twins: natively the portable mapping, under Wine the platform's, which must agree on
// the Latin letters.

#include "launcher/ui/text_case.hpp"

#include <gtest/gtest.h>

namespace {

TEST(UpperCaseText, PutsLatinLettersInCapitals) {
    const struct {
        const char* text;
        const char* want;
    } cases[] = {
        {"oficial-2 Sudam\xC3\xA9rica", "OFICIAL-2 SUDAM\xC3\x89RICA"},
        {"\xC3\xA0\xC3\xBE\xC3\xBF", "\xC3\x80\xC3\x9E\xC5\xB8"},
        {"\xC3\xB7\xC3\x9F\xC2\xAA", "\xC3\xB7\xC3\x9F\xC2\xAA"},
        {"\xC4\x81\xC4\xB7\xC4\xBA\xC5\x88\xC5\x8B\xC5\xB7\xC5\xBA\xC5\xBE", "\xC4\x80\xC4\xB6\xC4\xB9\xC5\x87\xC5\x8A\xC5\xB6\xC5\xB9\xC5\xBD"},
        {"\xC4\xB8\xC5\x89\xC4\xB1\xC5\xBF \xE6\x9D\xB1", "\xC4\xB8\xC5\x89\xC4\xB1\xC5\xBF \xE6\x9D\xB1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(launcher::upperCaseText(c.text), c.want);
    }
}

} // namespace
