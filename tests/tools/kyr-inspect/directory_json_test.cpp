#include "tools/kyr-inspect/directory_json.hpp"

#include <gtest/gtest.h>

namespace {

// Every byte that is not valid UTF-8 is shown as the code point of its value, so the output is valid JSON.
TEST(AppendJsonString, EscapesWhatJsonRequiresAndMarksInvalidBytes) {
    const struct {
        const char* name;
        std::string input;
        std::string want;
    } cases[] = {
        {"quote and backslash", "a\"b\\c/", R"("a\"b\\c/")"},
        {"control bytes", std::string("\n\r\t\0\x1f\x7f", 6), R"("\n\r\t\u0000\u001f\u007f")"},
        {"two-byte sequence kept", "\xC3\xB1", "\"\xC3\xB1\""},
        {"three-byte sequence kept", "\xE2\x82\xAC", "\"\xE2\x82\xAC\""},
        {"four-byte sequence kept", "\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
        {"lone continuation byte", "a\x80z", R"("a\u0080z")"},
        {"lead byte at the end", "a\xC3", R"("a\u00c3")"},
        {"lead byte before ASCII", "\xC3z", R"("\u00c3z")"},
        {"overlong two-byte forms", "\xC0\x80\xC1\xBF", R"("\u00c0\u0080\u00c1\u00bf")"},
        {"overlong three-byte form", "\xE0\x80\x80", R"("\u00e0\u0080\u0080")"},
        {"encoded surrogate", "\xED\xA0\x80", R"("\u00ed\u00a0\u0080")"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", R"("\u00f4\u0090\u0080\u0080")"},
        {"truncated four-byte sequence", "\xF0\x9F\x98", R"("\u00f0\u009f\u0098")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = "x";
        inspect::appendJsonString(out, c.input);
        EXPECT_EQ(out, "x" + c.want);
    }
}

} // namespace
