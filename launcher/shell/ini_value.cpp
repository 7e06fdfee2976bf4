#include "launcher/shell/ini_value.hpp"

namespace launcher {

std::string sanitizeIniValue(std::string_view text, std::size_t limit, bool keepCase, std::string_view alsoKept) {
    std::string result;
    for (char c : text) {
        if (result.size() >= limit) {
            break;
        }
        if (c >= 'A' && c <= 'Z') {
            result.push_back(keepCase ? c : static_cast<char>(c - 'A' + 'a'));
        } else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' ||
                   alsoKept.find(c) != std::string_view::npos) {
            result.push_back(c);
        }
    }
    return result;
}

} // namespace launcher
