#include "launcher/shell/launcher_settings.hpp"

namespace launcher {
namespace {

constexpr std::size_t kMostLimitDigits = 7;

} // namespace

std::uint32_t parseDownloadLimitKBps(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    if (text.empty() || text.size() > kMostLimitDigits) {
        return 0;
    }
    std::uint32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

} // namespace launcher
