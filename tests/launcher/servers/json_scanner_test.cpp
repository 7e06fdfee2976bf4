#include "launcher/servers/json_scanner.hpp"

#include <gtest/gtest.h>

#include <string>

namespace launcher {
namespace {

constexpr std::size_t kFails = static_cast<std::size_t>(-1);

TEST(JsonScanner, ValueEndBalancesOnlyItsOwnBracketsOutsideStrings) {
    const struct {
        std::string text;
        std::size_t want;
    } cases[] = {
        {"  \"a,b\" ,", 7},        {"123,4", 3},           {"1\f,", 2},         {R"({"a":"}{"} x)", 10},
        {R"({"a":"\"}"})", 11},    {R"({"a":[}])", 7},     {"\"a\\\\\" x", 5},  {R"({"a":{})", kFails},
        {"[1,[2]", kFails},        {R"("abc)", kFails},    {"\"ab\\", kFails},  {" ,1", kFails},
        {"}", kFails},             {" \n", kFails}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::size_t end = kFails;
        EXPECT_EQ(JsonScanner(c.text).valueEnd(0, end), c.want != kFails);
        EXPECT_EQ(end, c.want);
    }
}

// Reads member "v" of the text as readText and as readInt would: "text|int", "-" for a refusal.
std::string readBoth(const std::string& text) {
    const JsonScanner json(text);
    JsonSpan object{0, text.size()};
    json.valueEnd(0, object.end);
    std::string out = "-";
    int number = 42;
    const bool isNumber = json.readInt(object, "v", number);
    json.readText(object, "v", out);
    return out + "|" + (isNumber ? std::to_string(number) : "-");
}

TEST(JsonScanner, MembersDecodeAsTextAndNumbers) {
    const struct {
        std::string text;
        std::string want;
    } cases[] = {
        {R"({"v":"a\nb\tc\/\"\\"})", "a\nb\tc/\"\\|-"},
        {R"({"v":"a\bb\fc\rd\q"})", "abcdq|-"},
        {R"({"v":"\u0041\u00e9\u20AC\uFFFF"})", "A\xC3\xA9\xE2\x82\xAC\xEF\xBF\xBF|-"},
        {R"({"v":"\uD83D\uDE00"})", "\xEF\xBF\xBD\xEF\xBF\xBD|-"},
        {R"({"v":"\u12G4"})", "12G4|-"},
        {R"({"v":"a\u"})", "a|-"},
        {R"({ "v" : -12 })", "-12|-12"},
        {R"({"v":7.9})", "7.9|7"},
        {R"({"v":999999999})", "999999999|999999999"},
        {R"({"v":1234567890})", "1234567890|-"},
        {R"({"v":--1})", "--1|-"},
        {R"({"v":{"x":1}})", "-|-"},
        {R"({"w":{"v":1}})", "-|-"},
        {R"({"a\u0076":1})", "-|-"},
        {R"({"v":1,"v":2})", "1|1"},
        {R"({"a" 1,"v":2})", "-|-"},
        {R"({"a":[}],"v":2})", "-|-"},
        {R"({"a":"\"v\":1"})", "-|-"},
        {R"(["v",1])", "-|-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(readBoth(c.text), c.want);
    }
}

TEST(JsonScanner, ArrayElementsAndSpansPastTheTextStayInside) {
    const std::string text = R"([1, "two", [3]] )";
    const JsonScanner json(text);
    JsonSpan element;
    ASSERT_TRUE(json.arrayElement({0, 999}, 2, element));
    EXPECT_EQ(text.substr(element.start, element.end - element.start), "[3]");
    EXPECT_FALSE(json.arrayElement({0, text.size()}, 3, element));
    EXPECT_FALSE(JsonScanner("[1,]").arrayElement({0, 4}, 1, element));
    std::string out = "unchanged";
    EXPECT_FALSE(json.decodeString({5, 9}, out));
    EXPECT_FALSE(JsonScanner(R"("ab" )").decodeString({0, 5}, out));
    EXPECT_EQ(out, "unchanged");
}

} // namespace
} // namespace launcher
