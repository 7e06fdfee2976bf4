#include "launcher/net/updater_front_end.hpp"

#include "launcher/shell/launcher_settings.hpp"
#include "launcher/ui/interface_texts.hpp"
#include "patch/curl_fetcher.hpp"

#include <cctype>
#include <fstream>
#include <string_view>

namespace launcher {
namespace {

// Profile files ignore blanks around section names, keys and values.
std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// The first value of key in section, as the profile functions read it, cut to 15 characters.
std::string profileValue(const std::string& path, std::string_view section, std::string_view key,
                         std::string_view fallback) {
    constexpr std::size_t kValueLimit = 15;
    std::ifstream in(path);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        const std::string_view text = trimmed(line);
        if (!text.empty() && text.front() == '[') {
            const std::size_t close = text.find(']');
            inSection =
                close != std::string_view::npos && sameIgnoringCase(trimmed(text.substr(1, close - 1)), section);
            continue;
        }
        const std::size_t equals = text.find('=');
        if (inSection && equals != std::string_view::npos && sameIgnoringCase(trimmed(text.substr(0, equals)), key)) {
            return std::string(trimmed(text.substr(equals + 1)).substr(0, kValueLimit));
        }
    }
    return std::string(fallback);
}

} // namespace

std::unique_ptr<gu::patch::Fetcher> makeStoreFetcher(const std::string& baseUrl, std::uint32_t idleTimeoutMs) {
    gu::patch::CurlFetcherOptions options;
    options.idle_timeout_ms = static_cast<long>(idleTimeoutMs);
    return std::make_unique<gu::patch::CurlFetcher>(baseUrl, options);
}

bool playerPrefersSpanish(const std::string& configIniPath) {
    return isSpanishLanguageCode(profileValue(configIniPath, "Custom", "Language", "Eng"));
}

std::uint32_t downloadLimitKBps(const std::string& launcherIniPath) {
    return parseDownloadLimitKBps(profileValue(launcherIniPath, "Launcher", "DownloadLimitKBps", ""));
}

} // namespace launcher
