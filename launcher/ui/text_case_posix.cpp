#include "launcher/ui/text_case.hpp"

namespace launcher {
namespace {

// Upper case of U+0000 to U+017F, the pairs that Windows maps too (the dotless i and the long s have no
// capital of their own there). Latin Extended-A puts each capital before its small letter; the capitals are
// even up to U+0137, odd from U+0139 to U+0148, even again up to U+0177 and odd from U+0179.
char32_t upperLatin(char32_t c) {
    const auto inRange = [c](char32_t first, char32_t last) { return c >= first && c <= last; };
    if (inRange(U'a', U'z') || (inRange(0xE0, 0xFE) && c != 0xF7)) {
        return c - 0x20;
    }
    if (c == 0xFF) {
        return 0x178;
    }
    const bool odd = (c & 1) != 0;
    const bool small = (inRange(0x100, 0x137) && odd && c != 0x131) || (inRange(0x139, 0x148) && !odd) ||
                       (inRange(0x14A, 0x177) && odd) || (inRange(0x179, 0x17E) && !odd);
    return small ? c - 1 : c;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
        return;
    }
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
}

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

} // namespace

std::string upperCaseText(std::string_view utf8) {
    std::string upper;
    upper.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            appendUtf8(upper, upperLatin(lead));
            continue;
        }
        // Two-byte sequences up to U+017F hold every letter of the mapping; anything else is copied.
        if (lead >= 0xC2 && lead <= 0xC5 && i + 1 < utf8.size() && isContinuation(utf8[i + 1])) {
            const char32_t c = (static_cast<char32_t>(lead & 0x1F) << 6) | (utf8[i + 1] & 0x3F);
            appendUtf8(upper, upperLatin(c));
            ++i;
            continue;
        }
        upper.push_back(utf8[i]);
    }
    return upper;
}

} // namespace launcher
