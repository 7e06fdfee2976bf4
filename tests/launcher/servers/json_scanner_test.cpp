#include "launcher/servers/json_scanner.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

using launcher::JsonScanner;
using launcher::JsonSpan;

constexpr std::size_t kFails = static_cast<std::size_t>(-1);

// The span of the value that starts (after white space) at the beginning of text.
JsonSpan wholeValue(const JsonScanner& json) {
    JsonSpan span{json.skipSpace(0), 0};
    EXPECT_TRUE(json.valueEnd(span.start, span.end)) << json.text();
    return span;
}

std::string spanText(const JsonScanner& json, JsonSpan span) {
    return std::string(json.text().substr(span.start, span.end - span.start));
}

TEST(JsonScanner, SkipSpaceKnowsOnlyFourSpaceBytes) {
    const struct {
        const char* name;
        std::string text;
        std::size_t want;
    } cases[] = {
        {"space, tab, CR, LF", " \t\r\n x", 5}, {"form feed is not space", "\f x", 0},
        {"vertical tab is not space", "\v", 0}, {"NUL is not space", std::string(" \0", 2), 1},
        {"runs to the end", "   ", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(JsonScanner(c.text).skipSpace(0), c.want);
    }
}

TEST(JsonScanner, SkipStringFindsTheClosingQuote) {
    const struct {
        const char* name;
        std::string text;
        std::size_t offset;
        std::size_t want;
    } cases[] = {
        {"plain", R"("abc" x)", 0, 5},
        {"empty", R"("")", 0, 2},
        {"escaped quote", R"("a\"b")", 0, 6},
        {"escaped backslash before the quote", R"("a\\")", 0, 5},
        {"from an inner offset", R"(x "y")", 2, 5},
        {"unterminated", R"("abc)", 0, kFails},
        {"backslash as the last byte", "\"ab\\", 0, kFails},
        {"escaped closing quote only", R"("ab\")", 0, kFails},
        {"no quote at offset", R"(abc")", 0, kFails},
        {"offset at the end", R"("a")", 3, kFails},
        {"offset past the end", R"("a")", 99, kFails},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::size_t after = kFails;
        const bool ok = JsonScanner(c.text).skipString(c.offset, after);
        EXPECT_EQ(ok, c.want != kFails);
        EXPECT_EQ(after, c.want);
    }
}

TEST(JsonScanner, ValueEndCoversEveryKindOfValue) {
    const struct {
        const char* name;
        std::string text;
        std::size_t want;
    } cases[] = {
        {"string after white space", "  \"a,b\" ,", 7},
        {"number before a comma", "123,4", 3},
        {"literal before a brace", "true}", 4},
        {"literal before a bracket", "null]", 4},
        {"bare value before white space", "1.5e3 x", 5},
        {"bare value to the end of the text", "false", 5},
        {"form feed belongs to a bare value", "1\f,", 2},
        {"nested object", R"({"a":{"b":{}}} x)", 14},
        {"braces inside strings do not count", R"({"a":"}{"} x)", 10},
        {"escaped quote inside a string", R"({"a":"\"}"})", 11},
        {"array of objects", R"([{"a":"]"},[1]])", 15},
        {"other bracket kinds are not counted", R"({"a":[}])", 7},
        {"unbalanced array kind inside array", R"([{]})", 3},
        {"unterminated object", R"({"a":{})", kFails},
        {"unterminated array", "[1,[2]", kFails},
        {"unterminated string inside a container", R"({"a":"})", kFails},
        {"unterminated string", R"("abc)", kFails},
        {"missing value before a comma", " ,1", kFails},
        {"missing value before a brace", "}", kFails},
        {"only white space", " \n", kFails},
        {"empty text", "", kFails},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::size_t end = kFails;
        const bool ok = JsonScanner(c.text).valueEnd(0, end);
        EXPECT_EQ(ok, c.want != kFails);
        EXPECT_EQ(end, c.want);
    }
}

TEST(JsonScanner, FindMemberWalksTheTopLevelOnly) {
    const struct {
        const char* name;
        std::string text;
        const char* member;
        const char* want; // null: not found
    } cases[] = {
        {"first member", R"({"a":1,"b":2})", "a", "1"},
        {"later member, spaces around everything", "{ \"a\" : 1 ,\n\t\"b\" :  \"x y\" }", "b", "\"x y\""},
        {"container value", R"({"a":{"b":[1,2]}})", "a", R"({"b":[1,2]})"},
        {"first of duplicate members wins", R"({"a":1,"a":2})", "a", "1"},
        {"members without commas", R"({"a":1 "b":2})", "b", "2"},
        {"case matters", R"({"Name":1})", "name", nullptr},
        {"keys are compared undecoded", R"({"a\u0062":1})", "ab", nullptr},
        {"escaped key matches its raw bytes", R"({"a\u0062":1})", "a\\u0062", "1"},
        {"nested members are not found", R"({"a":{"b":1}})", "b", nullptr},
        {"a key inside a string value is not a member", R"({"a":"\"b\":1"})", "b", nullptr},
        {"empty object", "{}", "a", nullptr},
        {"missing colon", R"({"a" 1,"b":2})", "b", nullptr},
        {"bare key", R"({a:1,"b":2})", "b", nullptr},
        {"missing value", R"({"a":,"b":2})", "b", nullptr},
        {"value runs past the object", R"({"a":[}],"b":2})", "b", nullptr},
        {"stray byte between members stops the walk", R"({"a":1 x "b":2})", "b", nullptr},
        {"not an object", R"(["a",1])", "a", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const JsonScanner json(c.text);
        JsonSpan value{kFails, kFails};
        const bool found = json.findMember(wholeValue(json), c.member, value);
        ASSERT_EQ(found, c.want != nullptr);
        if (found) {
            EXPECT_EQ(spanText(json, value), c.want);
        }
    }
}

TEST(JsonScanner, FindMemberStaysInsideTheObjectEnd) {
    const std::string text = R"({"a":{"x":1},"b":2})";
    const JsonScanner json(text);
    JsonSpan inner;
    ASSERT_TRUE(json.findMember(wholeValue(json), "a", inner));
    JsonSpan value;
    EXPECT_TRUE(json.findMember(inner, "x", value));
    EXPECT_FALSE(json.findMember(inner, "b", value));
    // An end cut through a member's value is a malformed member, and one beyond the text is cut back.
    EXPECT_FALSE(json.findMember({0, 10}, "a", value));
    EXPECT_TRUE(json.findMember({0, text.size() + 100}, "b", value));
    EXPECT_EQ(spanText(json, value), "2");
}

TEST(JsonScanner, ArrayElementCountsFromZero) {
    const std::string text = R"([ 1, "two" ,{"three":3},[4] , null ])";
    const JsonScanner json(text);
    const JsonSpan array = wholeValue(json);
    const char* const want[] = {"1", "\"two\"", R"({"three":3})", "[4]", "null"};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        JsonSpan element;
        ASSERT_TRUE(json.arrayElement(array, i, element));
        EXPECT_EQ(spanText(json, element), want[i]);
    }
    JsonSpan element;
    EXPECT_FALSE(json.arrayElement(array, 5, element));
    EXPECT_FALSE(json.arrayElement(array, -1, element));
}

TEST(JsonScanner, ArrayElementRefusesMalformedArrays) {
    const struct {
        const char* name;
        std::string text;
        int index;
    } cases[] = {
        {"empty array", "[]", 0},
        {"empty array with space", "[ ]", 0},
        {"trailing comma", "[1,]", 1},
        {"leading comma", "[,1]", 0},
        {"unterminated element", "[\"a", 0},
        {"not an array", R"({"a":1})", 0},
        {"element past a stray brace", "[1}2]", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const JsonScanner json(c.text);
        JsonSpan element;
        EXPECT_FALSE(json.arrayElement({0, c.text.size()}, c.index, element));
    }
}

TEST(JsonScanner, DecodeStringAppliesTheEscapeRules) {
    const struct {
        const char* name;
        std::string text;
        std::string want;
    } cases[] = {
        {"plain bytes", R"("abc")", "abc"},
        {"empty", R"("")", ""},
        {"UTF-8 bytes copied", "\"\xC3\xB1\"", "\xC3\xB1"},
        {"line feed and tab", R"("a\nb\tc")", "a\nb\tc"},
        {"backspace, form feed and CR vanish", R"("a\bb\fc\rd")", "abcd"},
        {"quote, backslash and slash", R"("\"\\\/")", "\"\\/"},
        {"other escaped byte loses its backslash", R"("\x\q")", "xq"},
        {"one-byte code point", R"("\u0041")", "A"},
        {"NUL code point", R"("\u0000")", std::string(1, '\0')},
        {"two-byte code point, lower case hex", R"("\u00e9")", "\xC3\xA9"},
        {"two-byte code point, upper case hex", R"("\u00E9")", "\xC3\xA9"},
        {"largest two-byte code point", R"("\u07FF")", "\xDF\xBF"},
        {"three-byte code point", R"("\u20AC")", "\xE2\x82\xAC"},
        {"largest code point", R"("\uFFFF")", "\xEF\xBF\xBF"},
        {"lone high surrogate", R"("\uD800")", "\xEF\xBF\xBD"},
        {"lone low surrogate", R"("\uDFFF")", "\xEF\xBF\xBD"},
        {"surrogate pair stays two replacements", R"("\uD83D\uDE00")", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"short \\u dropped, rest copied", R"("\u12")", "12"},
        {"\\u with a non-hex digit dropped", R"("\u12G4x")", "12G4x"},
        {"\\u followed by an escape", R"("\u\n")", "\n"},
        {"\\u at the end", R"("a\u")", "a"},
        {"hex digits stop at the closing quote", R"("\u004")", "004"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const JsonScanner json(c.text);
        std::string out = "unchanged";
        ASSERT_TRUE(json.decodeString(wholeValue(json), out));
        EXPECT_EQ(out, c.want);
    }
}

TEST(JsonScanner, DecodeStringEndsAtABackslashBeforeTheClosingQuote) {
    // Only a span not found by valueEnd can end this way: "ab\" with its last quote taken as the closing one.
    const std::string text = "\"ab\\\"";
    std::string out;
    ASSERT_TRUE(JsonScanner(text).decodeString({0, text.size()}, out));
    EXPECT_EQ(out, "ab");
}

TEST(JsonScanner, DecodeStringRefusesNonStrings) {
    const struct {
        const char* name;
        std::string text;
        JsonSpan span;
    } cases[] = {
        {"number", "12", {0, 2}},        {"object", R"({"a":"b"})", {0, 9}},
        {"lone quote", "\"", {0, 1}},    {"no closing quote at the end", R"("ab" )", {0, 5}},
        {"empty span", R"("")", {1, 1}}, {"start past the text", R"("")", {5, 9}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = "unchanged";
        EXPECT_FALSE(JsonScanner(c.text).decodeString(c.span, out));
        EXPECT_EQ(out, "unchanged");
    }
}

TEST(JsonScanner, ReadIntTakesASignAndUpToNineDigits) {
    const struct {
        const char* name;
        const char* value;
        bool ok;
        int want;
    } cases[] = {
        {"plain", "7", true, 7},
        {"negative", "-12", true, -12},
        {"plus sign", "+5", true, 5},
        {"negative zero", "-0", true, 0},
        {"leading zeros", "007", true, 7},
        {"fraction cut", "7.9", true, 7},
        {"exponent cut", "1e5", true, 1},
        {"nine digits", "999999999", true, 999999999},
        {"nine digits negative", "-999999999", true, -999999999},
        {"ten digits", "1234567890", false, 42},
        {"ten digits with leading zero", "0123456789", false, 42},
        {"sign only", "-", false, 42},
        {"two signs", "--1", false, 42},
        {"string", "\"7\"", false, 42},
        {"literal", "true", false, 42},
        {"fraction without integer part", ".5", false, 42},
        {"object", "{}", false, 42},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = std::string(R"({"n": )") + c.value + "}";
        const JsonScanner json(text);
        int out = 42;
        EXPECT_EQ(json.readInt(wholeValue(json), "n", out), c.ok);
        EXPECT_EQ(out, c.want);
    }
    const JsonScanner json(R"({"m":1})");
    int out = 42;
    EXPECT_FALSE(json.readInt(wholeValue(json), "n", out));
    EXPECT_EQ(out, 42);
}

TEST(JsonScanner, ReadTextDecodesStringsAndCopiesBareValues) {
    const struct {
        const char* name;
        const char* value;
        bool ok;
        const char* want;
    } cases[] = {
        {"string decoded", R"("x\u0032")", true, "x2"}, {"integer as written", "100", true, "100"},
        {"fraction as written", "1.50", true, "1.50"},  {"literal as written", "true", true, "true"},
        {"null as written", "null", true, "null"},      {"object refused", R"({"a":1})", false, "unchanged"},
        {"array refused", "[1]", false, "unchanged"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = std::string(R"({"v":)") + c.value + "}";
        const JsonScanner json(text);
        std::string out = "unchanged";
        EXPECT_EQ(json.readText(wholeValue(json), "v", out), c.ok);
        EXPECT_EQ(out, c.want);
    }
}

} // namespace
