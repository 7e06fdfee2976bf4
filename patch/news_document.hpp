#pragma once
// The news that an operator publishes with the store: an optional headline and up to three short items,
// signed like the other store documents. The publisher checks what it writes and the launcher what it
// receives with this one parser, so both accept and refuse exactly the same documents.
//
// {"headline": "...", "items": [{"title": "...", "body": "...", "date": "2026-12-01", "link": "https://..."}]}
// "headline", "date" and "link" may be left out; no other member is allowed.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gu::patch {

inline constexpr std::size_t kMaxNewsItems = 3;
// What the window's header and news rows can show; characters, not bytes.
inline constexpr std::size_t kMaxNewsHeadlineCharacters = 60;
inline constexpr std::size_t kMaxNewsTitleCharacters = 80;
inline constexpr std::size_t kMaxNewsBodyCharacters = 240;
inline constexpr std::size_t kMaxNewsBodyLines = 2;
inline constexpr std::size_t kMaxNewsLinkBytes = 1000;
// Three items at their limits fit in half of this; it is also what the launcher fetches at most.
inline constexpr std::uint64_t kMaxNewsDocumentBytes = 16 * 1024;

struct NewsItem {
    std::string title;
    std::string body; // up to kMaxNewsBodyLines lines, "\n" between them
    std::string date; // "YYYY-MM-DD" or empty
    std::string link; // an https:// URL or empty
};

struct News {
    std::string headline; // empty when the document has none
    std::vector<NewsItem> items;
};

// "v1/news/" + channel + ".json"; its signature at that path + ".sig".
std::string news_store_path(const std::string& channel);

// The checked document. Throws ManifestError whose message begins with the field at fault ("headline",
// "items", "items[1].link", ...) or with "news" for the document as a whole, for example
// `items[1].link: only https:// links are allowed`.
News parse_news(std::string_view text);

// Why `link` may not be opened from the news, or empty when it may: an https:// URL with a host, at most
// kMaxNewsLinkBytes of the characters that URLs are written with (no blank, quote, backslash or angle
// bracket, so no browser's command line can be bent by it).
std::string news_link_problem(std::string_view link);

} // namespace gu::patch
