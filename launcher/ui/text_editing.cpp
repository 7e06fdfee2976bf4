#include "launcher/ui/text_editing.hpp"

namespace launcher {
namespace {

constexpr unsigned kDelete = 127;

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

bool isSurrogate(unsigned unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}

std::string utf8Of(unsigned unit) {
    std::string bytes;
    if (unit < 0x80) {
        bytes += static_cast<char>(unit);
    } else if (unit < 0x800) {
        bytes += static_cast<char>(0xC0 | (unit >> 6));
        bytes += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
        bytes += static_cast<char>(0xE0 | (unit >> 12));
        bytes += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (unit & 0x3F));
    }
    return bytes;
}

bool isAccessCodeCharacter(unsigned unit) {
    return (unit >= 'a' && unit <= 'z') || (unit >= 'A' && unit <= 'Z') || (unit >= '0' && unit <= '9') ||
           unit == '-' || unit == '_' || unit == '.';
}

} // namespace

bool eraseLastSearchCharacter(std::string& search) {
    if (search.empty()) {
        return false;
    }
    std::size_t end = search.size() - 1;
    for (int continuation = 0; continuation < 3 && end > 0 && isContinuationByte(search[end]); ++continuation) {
        --end;
    }
    search.erase(end);
    return true;
}

bool typeSearchCharacter(std::string& search, unsigned unit) {
    if (unit < 32 || unit == kDelete || unit > 0xFFFF || isSurrogate(unit)) {
        return false;
    }
    const std::string bytes = utf8Of(unit);
    if (search.size() + bytes.size() > kSearchTextLimit) {
        return false;
    }
    search += bytes;
    return true;
}

bool typeAccessCodeCharacter(std::string& code, unsigned unit) {
    if (!isAccessCodeCharacter(unit) || code.size() >= kAccessCodeTypingLimit) {
        return false;
    }
    code += static_cast<char>(unit);
    return true;
}

bool eraseLastAccessCodeCharacter(std::string& code) {
    if (code.empty()) {
        return false;
    }
    code.pop_back();
    return true;
}

} // namespace launcher
