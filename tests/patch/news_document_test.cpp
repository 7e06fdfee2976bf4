#include "patch/news_document.hpp"

#include "patch/errors.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace gu::patch;

// A document with one item whose members are `members` (JSON text without braces), after item 0 when
// `second` is set, so the index in the message is checked too.
std::string with_item(const std::string& members, bool second = false) {
    return std::string(R"({"items":[)") + (second ? R"({"title":"t","body":"b"},)" : "") + "{" + members + "}]}";
}

std::string repeat(const std::string& text, std::size_t times) {
    std::string out;
    while (times-- > 0) {
        out += text;
    }
    return out;
}

std::string refusal(const std::string& document) {
    try {
        parse_news(document);
    } catch (const ManifestError& e) {
        return e.what();
    }
    return "accepted";
}

// What the publisher refuses to sign and the launcher to show: each fault named by its field.
TEST(NewsDocument, BadDocumentsNameTheFieldAtFault) {
    const std::string body = R"("title":"t","body":"b")";
    const struct {
        std::string document;
        std::string want;
    } cases[] = {
        {"[]", "news: top-level JSON must be an object"},
        {R"({"items":[)", "news: not valid JSON"},
        {R"({"items":[],)" + std::string(kMaxNewsDocumentBytes, ' ') + "}", "news: the document may hold at most"},
        {"{}", "items: missing"},
        {R"({"items":{}})", "items: must be an array"},
        {R"({"items":[],"headlines":"x"})", "headlines: unknown field"},
        {R"({"headline":7,"items":[]})", "headline: must be a string"},
        {R"({"headline":")" + repeat("a", 61) + R"(","items":[]})", "headline: at most 60 characters, got 61"},
        {R"({"items":[1]})", "items[0]: must be an object"},
        {R"({"items":[{},{},{},{}]})", "items: at most 3 items, got 4"},
        {with_item(R"("body":"b")"), "items[0].title: missing"},
        {with_item(R"("title":"","body":"b")"), "items[0].title: must not be empty"},
        {with_item(R"("title":")" + repeat("\xc3\xb1", 81) + R"(","body":"b")"),
         "items[0].title: at most 80 characters, got 81"},
        {with_item(R"("title":"a\nb","body":"b")"), "items[0].title: line breaks and control characters"},
        {with_item("\"title\":\"a\xff\",\"body\":\"b\""), "items[0].title: not valid UTF-8"},
        {with_item("\"title\":\"a\xc0\xaf\",\"body\":\"b\""), "items[0].title: not valid UTF-8"}, // overlong "/"
        {with_item(R"("title":"t","body":"1\n2\n3")"), "items[0].body: at most 2 lines, got 3"},
        {with_item(R"("title":"t","body":"a\tb")"), "items[0].body: control characters other than line breaks"},
        {with_item(R"("title":"t","body":")" + repeat("b", 241) + "\""), "items[0].body: at most 240 characters"},
        {with_item(body + R"(,"titel":"t")", true), "items[1].titel: unknown field"},
        {with_item(body + R"(,"date":"2026-02-29")"), "items[0].date: must be a date written YYYY-MM-DD"},
        {with_item(body + R"(,"date":"2026-13-01")"), "items[0].date: must be a date"},
        {with_item(body + R"(,"date":"2026-1-01")"), "items[0].date: must be a date"},
        {with_item(body + R"(,"date":20261201)"), "items[0].date: must be a string"},
        {with_item(body + R"(,"link":"http://example.com/")", true), "items[1].link: only https:// links are allowed"},
        {with_item(body + R"(,"link":"HTTPS://example.com/")"), "items[0].link: only https:// links are allowed"},
        {with_item(body + R"(,"link":"file:///C:/x.exe")"), "items[0].link: only https:// links are allowed"},
        {with_item(body + R"(,"link":"https:///x")"), "items[0].link: the link names no host"},
        {with_item(body + R"(,"link":"https://a.b/x\"y")"), "items[0].link: only the characters of a URL"},
        {with_item(body + R"(,"link":"https://a.b/x y")"), "items[0].link: only the characters of a URL"},
        {with_item(body + R"(,"link":"https://a.b/)" + repeat("x", 1000) + "\""), "items[0].link: at most 1000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document.substr(0, 120));
        EXPECT_EQ(refusal(c.document).rfind(c.want, 0), 0u) << refusal(c.document);
    }
}

TEST(NewsDocument, GoodDocumentsAreReadAsWritten) {
    const std::string title = repeat("\xc3\xb1", 80); // 80 characters in 160 bytes
    const News news = parse_news(R"({"headline":"Winter","items":[{"title":")" + title +
                                 R"(","body":"1\n2","date":"2028-02-29","link":"https://example.com/a?b=c#d"},)"
                                 R"({"title":"t","body":"b","date":"","link":""}]})");
    EXPECT_EQ(news.headline, "Winter");
    ASSERT_EQ(news.items.size(), 2u);
    EXPECT_EQ(news.items[0].title, title);
    EXPECT_EQ(news.items[0].body, "1\n2");
    EXPECT_EQ(news.items[0].date, "2028-02-29");
    EXPECT_EQ(news.items[0].link, "https://example.com/a?b=c#d");
    EXPECT_EQ(news.items[1].link, "");
    EXPECT_EQ(refusal(R"({"items":[]})"), "accepted");
    EXPECT_EQ(news_store_path("windows"), "v1/news/windows.json");
}

} // namespace
