#include "launcher/servers/text_rules.hpp"

namespace launcher {

namespace {

bool isControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xC0 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF7) {
        return 4;
    }
    return 1;
}

} // namespace

void dropCutUtf8Sequence(std::string& text) {
    std::size_t continuations = 0;
    while (continuations < 3 && continuations < text.size() &&
           isContinuation(static_cast<unsigned char>(text[text.size() - 1 - continuations]))) {
        ++continuations;
    }
    if (continuations == text.size()) {
        return;
    }
    const std::size_t lead = text.size() - 1 - continuations;
    if (sequenceLength(static_cast<unsigned char>(text[lead])) > continuations + 1) {
        text.resize(lead);
    }
}

std::string cleanText(std::string_view text, std::size_t limit) {
    std::string result;
    for (const char c : text) {
        if (result.size() >= limit) {
            break;
        }
        if (!isControl(static_cast<unsigned char>(c))) {
            result.push_back(c);
        } else if (!result.empty() && result.back() != ' ') {
            result.push_back(' ');
        }
    }
    while (!result.empty() && result.back() == ' ') {
        result.pop_back();
    }
    dropCutUtf8Sequence(result);
    return result;
}

bool isIPv4Literal(std::string_view text) {
    if (text.empty() || text.size() > 15) {
        return false;
    }
    std::size_t i = 0;
    for (int group = 1;; ++group) {
        int value = 0;
        std::size_t digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            if (++digits > 3) {
                return false;
            }
            value = value * 10 + (text[i] - '0');
            ++i;
        }
        if (digits == 0 || value > 255) {
            return false;
        }
        if (i == text.size()) {
            return group == 4;
        }
        if (text[i] != '.' || group == 4) {
            return false;
        }
        ++i;
    }
}

} // namespace launcher
