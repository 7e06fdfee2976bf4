#include "patch/news_document.hpp"

#include "patch/errors.hpp"
#include "patch/utf8.hpp"

#include <boost/json/parse.hpp>

#include <algorithm>
#include <initializer_list>

namespace gu::patch {
namespace {

namespace json = boost::json;

[[noreturn]] void fail(const std::string& field, const std::string& problem) {
    throw ManifestError(field + ": " + problem);
}

struct TextRule {
    std::size_t max_characters;
    std::size_t max_lines; // 1: no line break at all
    bool required;
};

constexpr TextRule kHeadline{kMaxNewsHeadlineCharacters, 1, false};
constexpr TextRule kTitle{kMaxNewsTitleCharacters, 1, true};
constexpr TextRule kBody{kMaxNewsBodyCharacters, kMaxNewsBodyLines, true};
constexpr TextRule kDate{10, 1, false};
constexpr TextRule kLink{kMaxNewsLinkBytes, 1, false};

bool is_control(char32_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}

// Valid UTF-8 without control characters (but the line breaks the rule allows), within its length.
void check_text(const std::string& text, const std::string& field, const TextRule& rule) {
    std::size_t characters = 0;
    std::size_t lines = 1;
    for (std::size_t i = 0; i < text.size(); ++characters) {
        char32_t c = 0;
        const std::size_t length = utf8_decode(std::string_view(text).substr(i), c);
        if (length == 0) {
            fail(field, "not valid UTF-8");
        }
        if (c == '\n' && rule.max_lines > 1) {
            ++lines;
        } else if (is_control(c)) {
            fail(field, rule.max_lines > 1 ? "control characters other than line breaks are not allowed"
                                           : "line breaks and control characters are not allowed");
        }
        i += length;
    }
    if (characters > rule.max_characters) {
        fail(field,
             "at most " + std::to_string(rule.max_characters) + " characters, got " + std::to_string(characters));
    }
    if (lines > rule.max_lines) {
        fail(field, "at most " + std::to_string(rule.max_lines) + " lines, got " + std::to_string(lines));
    }
}

std::string read_text(const json::object& object, std::string_view key, const std::string& field,
                      const TextRule& rule) {
    const json::value* value = object.if_contains(key);
    if (value == nullptr) {
        if (rule.required) {
            fail(field, "missing");
        }
        return {};
    }
    if (!value->is_string()) {
        fail(field, "must be a string");
    }
    std::string text(value->get_string());
    if (rule.required && text.empty()) {
        fail(field, "must not be empty");
    }
    check_text(text, field, rule);
    return text;
}

// Misspelt members would otherwise vanish without a word.
void refuse_unknown_members(const json::object& object, std::initializer_list<std::string_view> known,
                            const std::string& prefix) {
    for (const auto& member : object) {
        if (std::find(known.begin(), known.end(), member.key()) == known.end()) {
            fail(prefix + std::string(member.key()), "unknown field");
        }
    }
}

bool leap_year(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool is_calendar_date(std::string_view date) {
    if (date.size() != 10 || date[4] != '-' || date[7] != '-') {
        return false;
    }
    int parts[3] = {0, 0, 0};
    const std::size_t starts[3] = {0, 5, 8};
    const std::size_t lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p) {
        for (std::size_t i = starts[p]; i < starts[p] + lengths[p]; ++i) {
            if (date[i] < '0' || date[i] > '9') {
                return false;
            }
            parts[p] = parts[p] * 10 + (date[i] - '0');
        }
    }
    const int days[12] = {31, leap_year(parts[0]) ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return parts[1] >= 1 && parts[1] <= 12 && parts[2] >= 1 && parts[2] <= days[parts[1] - 1];
}

bool is_url_character(char c) {
    static constexpr std::string_view kPunctuation = "-._~:/?#[]@!$&'()*+,;=%";
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           kPunctuation.find(c) != std::string_view::npos;
}

NewsItem read_item(const json::value& value, const std::string& field) {
    if (!value.is_object()) {
        fail(field, "must be an object");
    }
    const json::object& object = value.get_object();
    refuse_unknown_members(object, {"title", "body", "date", "link"}, field + ".");
    NewsItem item;
    item.title = read_text(object, "title", field + ".title", kTitle);
    item.body = read_text(object, "body", field + ".body", kBody);
    item.date = read_text(object, "date", field + ".date", kDate);
    if (!item.date.empty() && !is_calendar_date(item.date)) {
        fail(field + ".date", "must be a date written YYYY-MM-DD");
    }
    item.link = read_text(object, "link", field + ".link", kLink);
    const std::string link_problem = item.link.empty() ? "" : news_link_problem(item.link);
    if (!link_problem.empty()) {
        fail(field + ".link", link_problem);
    }
    return item;
}

} // namespace

std::string news_store_path(const std::string& channel) {
    return "v1/news/" + channel + ".json";
}

std::string news_link_problem(std::string_view link) {
    constexpr std::string_view kScheme = "https://";
    if (link.substr(0, kScheme.size()) != kScheme) {
        return "only https:// links are allowed";
    }
    if (link.size() > kMaxNewsLinkBytes) {
        return "at most " + std::to_string(kMaxNewsLinkBytes) + " characters";
    }
    if (!std::all_of(link.begin(), link.end(), is_url_character)) {
        return "only the characters of a URL are allowed (no blank, quote, backslash or angle bracket)";
    }
    const std::string_view host = link.substr(kScheme.size());
    if (host.empty() || host.front() == '/' || host.front() == '?' || host.front() == '#') {
        return "the link names no host";
    }
    return {};
}

News parse_news(std::string_view text) {
    if (text.size() > kMaxNewsDocumentBytes) {
        fail("news", "the document may hold at most " + std::to_string(kMaxNewsDocumentBytes) + " bytes");
    }
    // Invalid UTF-8 is let through the JSON parser so that the check names the field that holds it.
    json::parse_options options;
    options.allow_invalid_utf8 = true;
    boost::system::error_code error;
    const json::value root = json::parse(text, error, {}, options);
    if (error) {
        fail("news", "not valid JSON: " + error.message());
    }
    if (!root.is_object()) {
        fail("news", "top-level JSON must be an object");
    }
    const json::object& document = root.get_object();
    refuse_unknown_members(document, {"headline", "items"}, "");
    News news;
    news.headline = read_text(document, "headline", "headline", kHeadline);
    const json::value* items = document.if_contains("items");
    if (items == nullptr) {
        fail("items", "missing");
    }
    if (!items->is_array()) {
        fail("items", "must be an array");
    }
    const json::array& list = items->get_array();
    if (list.size() > kMaxNewsItems) {
        fail("items", "at most " + std::to_string(kMaxNewsItems) + " items, got " + std::to_string(list.size()));
    }
    for (std::size_t i = 0; i < list.size(); ++i) {
        news.items.push_back(read_item(list[i], "items[" + std::to_string(i) + "]"));
    }
    return news;
}

} // namespace gu::patch
