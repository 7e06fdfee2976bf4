#include "launcher/game/game_launch.hpp"

#include "launcher/game/game_client_interface.hpp"

#include <cstdio>
#include <vector>

namespace launcher {
namespace {

constexpr int kMaxPort = 65535;

template <typename... Args> std::string format(const char* pattern, Args... args) {
    const int length = std::snprintf(nullptr, 0, pattern, args...);
    if (length <= 0) {
        return {};
    }
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    std::snprintf(text.data(), text.size(), pattern, args...);
    return std::string(text.data(), static_cast<std::size_t>(length));
}

} // namespace

std::string buildGameCommandLine(const std::string& folder, const std::string& host, int port) {
    if (!host.empty() && port >= 1 && port <= kMaxPort) {
        return format(kGameCommandLineWithServer, folder.c_str(), host.c_str(), port);
    }
    return format(kGameCommandLine, folder.c_str());
}

} // namespace launcher
