#include "launcher/servers/json_scanner.hpp"

namespace launcher {

namespace {

bool isJsonSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool endsBareValue(char c) {
    return c == ',' || c == '}' || c == ']' || isJsonSpace(c);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexDigitValue(char c) {
    if (isDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Escapes reach at most U+FFFF; surrogate halves are never paired, each becomes U+FFFD.
void appendCodePoint(std::string& out, unsigned codePoint) {
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
        codePoint = 0xFFFD;
    }
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

} // namespace

std::size_t JsonScanner::skipSpace(std::size_t offset) const {
    while (offset < text_.size() && isJsonSpace(text_[offset])) {
        ++offset;
    }
    return offset;
}

bool JsonScanner::skipString(std::size_t offset, std::size_t& after) const {
    if (offset >= text_.size() || text_[offset] != '"') {
        return false;
    }
    std::size_t i = offset + 1;
    while (i < text_.size()) {
        if (text_[i] == '\\') {
            i += 2;
        } else if (text_[i] == '"') {
            after = i + 1;
            return true;
        } else {
            ++i;
        }
    }
    return false;
}

bool JsonScanner::valueEnd(std::size_t offset, std::size_t& end) const {
    const std::size_t start = skipSpace(offset);
    if (start >= text_.size()) {
        return false;
    }
    const char open = text_[start];
    if (open == '"') {
        return skipString(start, end);
    }
    if (open == '{' || open == '[') {
        const char close = open == '{' ? '}' : ']';
        std::size_t depth = 0;
        std::size_t i = start;
        while (i < text_.size()) {
            const char c = text_[i];
            if (c == '"') {
                if (!skipString(i, i)) {
                    return false;
                }
                continue;
            }
            if (c == open) {
                ++depth;
            } else if (c == close && --depth == 0) {
                end = i + 1;
                return true;
            }
            ++i;
        }
        return false;
    }
    std::size_t i = start;
    while (i < text_.size() && !endsBareValue(text_[i])) {
        ++i;
    }
    if (i == start) {
        return false;
    }
    end = i;
    return true;
}

std::size_t JsonScanner::afterSeparator(std::size_t end, std::size_t limit) const {
    const std::size_t next = skipSpace(end);
    return next < limit && text_[next] == ',' ? next + 1 : next;
}

bool JsonScanner::findMember(JsonSpan object, std::string_view name, JsonSpan& value) const {
    const std::size_t limit = limitOf(object);
    if (object.start >= limit || text_[object.start] != '{') {
        return false;
    }
    std::size_t p = object.start + 1;
    for (;;) {
        p = skipSpace(p);
        // The closing brace, the end of the object and a key that is not a string all end the walk.
        if (p >= limit || text_[p] != '"') {
            return false;
        }
        std::size_t keyEnd = 0;
        if (!skipString(p, keyEnd) || keyEnd > limit) {
            return false;
        }
        const std::string_view key = text_.substr(p + 1, keyEnd - p - 2);
        p = skipSpace(keyEnd);
        if (p >= limit || text_[p] != ':') {
            return false;
        }
        const std::size_t start = skipSpace(p + 1);
        std::size_t end = 0;
        if (!valueEnd(start, end) || end > limit) {
            return false;
        }
        if (key == name) {
            value = {start, end};
            return true;
        }
        p = afterSeparator(end, limit);
    }
}

bool JsonScanner::arrayElement(JsonSpan array, int index, JsonSpan& element) const {
    const std::size_t limit = limitOf(array);
    if (index < 0 || array.start >= limit || text_[array.start] != '[') {
        return false;
    }
    std::size_t p = array.start + 1;
    for (int i = 0;; ++i) {
        p = skipSpace(p);
        if (p >= limit || text_[p] == ']') {
            return false;
        }
        std::size_t end = 0;
        if (!valueEnd(p, end) || end > limit) {
            return false;
        }
        if (i == index) {
            element = {p, end};
            return true;
        }
        p = afterSeparator(end, limit);
    }
}

bool JsonScanner::decodeString(JsonSpan value, std::string& out) const {
    const std::size_t limit = limitOf(value);
    if (value.start >= limit || limit - value.start < 2 || text_[value.start] != '"' || text_[limit - 1] != '"') {
        return false;
    }
    const std::size_t closingQuote = limit - 1;
    std::string decoded;
    std::size_t i = value.start + 1;
    while (i < closingQuote) {
        const char c = text_[i];
        if (c != '\\') {
            decoded.push_back(c);
            ++i;
            continue;
        }
        if (i + 1 == closingQuote) {
            break;
        }
        const char escaped = text_[i + 1];
        i += 2;
        switch (escaped) {
        case 'n':
            decoded.push_back('\n');
            break;
        case 't':
            decoded.push_back('\t');
            break;
        case 'b':
        case 'f':
        case 'r':
            break;
        case 'u': {
            unsigned codePoint = 0;
            std::size_t digits = 0;
            while (digits < 4 && i + digits < closingQuote) {
                const int digit = hexDigitValue(text_[i + digits]);
                if (digit < 0) {
                    break;
                }
                codePoint = codePoint * 16 + static_cast<unsigned>(digit);
                ++digits;
            }
            // Without four hex digits only the "\u" goes; what follows is read as ordinary text.
            if (digits == 4) {
                appendCodePoint(decoded, codePoint);
                i += 4;
            }
            break;
        }
        default:
            decoded.push_back(escaped);
            break;
        }
    }
    out = std::move(decoded);
    return true;
}

bool JsonScanner::readInt(JsonSpan object, std::string_view name, int& out) const {
    JsonSpan value;
    if (!findMember(object, name, value)) {
        return false;
    }
    std::size_t p = value.start;
    bool negative = false;
    if (p < value.end && (text_[p] == '-' || text_[p] == '+')) {
        negative = text_[p] == '-';
        ++p;
    }
    int result = 0;
    int digits = 0;
    for (; p < value.end && isDigit(text_[p]); ++p) {
        // Nine digits always fit a signed 32-bit number; longer numbers are refused, not wrapped.
        if (++digits > 9) {
            return false;
        }
        result = result * 10 + (text_[p] - '0');
    }
    if (digits == 0) {
        return false;
    }
    out = negative ? -result : result;
    return true;
}

bool JsonScanner::readText(JsonSpan object, std::string_view name, std::string& out) const {
    JsonSpan value;
    if (!findMember(object, name, value)) {
        return false;
    }
    const char first = text_[value.start];
    if (first == '{' || first == '[') {
        return false;
    }
    if (first == '"') {
        return decodeString(value, out);
    }
    out.assign(text_.substr(value.start, value.end - value.start));
    return true;
}

} // namespace launcher
