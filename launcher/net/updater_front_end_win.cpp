#include "launcher/net/updater_front_end.hpp"

#include "launcher/net/winhttp_fetcher.hpp"
#include "launcher/shell/launcher_settings.hpp"
#include "launcher/ui/interface_texts.hpp"

namespace launcher {

std::unique_ptr<gu::patch::Fetcher> makeStoreFetcher(const std::string& baseUrl, std::uint32_t idleTimeoutMs) {
    return std::make_unique<WinHttpFetcher>(baseUrl, idleTimeoutMs);
}

bool playerPrefersSpanish(const std::string& configIniPath) {
    return isSpanish(configIniPath);
}

std::uint32_t downloadLimitKBps(const std::string& launcherIniPath) {
    return readDownloadLimitKBps(launcherIniPath);
}

} // namespace launcher
