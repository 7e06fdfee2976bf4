#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace launcher {

// A value of the document as byte offsets into the whole text: [start, end).
struct JsonSpan {
    std::size_t start = 0;
    std::size_t end = 0;
};

// The server directory's own JSON reader. It builds no tree: every operation walks the text between the
// offsets it is given. Offsets and bytes may be anything; no operation reads outside the text, and a span
// whose end lies beyond the text is cut at the text's end.
class JsonScanner {
public:
    explicit JsonScanner(std::string_view text) : text_(text) {}

    std::string_view text() const { return text_; }

    // Skips spaces, tabs, carriage returns and line feeds; nothing else counts as white space.
    std::size_t skipSpace(std::size_t offset) const;
    // The byte at offset must open a string; gives the offset after its closing quote.
    bool skipString(std::size_t offset, std::size_t& after) const;
    // Skips white space, then one value; gives the offset after it. Containers balance brackets of their
    // own kind only. A missing value (a comma or closing bracket where it belongs) fails.
    bool valueEnd(std::size_t offset, std::size_t& end) const;
    // The first member whose raw key bytes (escapes not decoded) equal name.
    bool findMember(JsonSpan object, std::string_view name, JsonSpan& value) const;
    // The element at index (from 0).
    bool arrayElement(JsonSpan array, int index, JsonSpan& element) const;
    // The value must be a string from its opening to its closing quote. out is only written on success.
    bool decodeString(JsonSpan value, std::string& out) const;
    // An optional sign and 1 to 9 digits, read up to the first other byte (7.9 reads as 7).
    // out is only written on success.
    bool readInt(JsonSpan object, std::string_view name, int& out) const;
    // A string is decoded; a number or literal is copied as written; a container fails.
    bool readText(JsonSpan object, std::string_view name, std::string& out) const;

private:
    std::size_t limitOf(JsonSpan span) const { return span.end < text_.size() ? span.end : text_.size(); }
    std::size_t afterSeparator(std::size_t end, std::size_t limit) const;

    std::string_view text_;
};

} // namespace launcher
