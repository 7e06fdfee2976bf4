#include "launcher/shell/server_preferences.hpp"

#include "launcher/shell/launcher_settings.hpp"

namespace launcher {

std::string IniServerPreferences::lastServer() const {
    return readLastServer(iniPath_);
}

std::string IniServerPreferences::pinnedEndpoint(const std::string& slug) const {
    return readPinnedEndpoint(iniPath_, slug);
}

bool IniServerPreferences::setLastServer(const std::string& slug) {
    return writeLastServer(iniPath_, slug);
}

bool IniServerPreferences::setPinnedEndpoint(const std::string& slug, const std::string& pin) {
    return writePinnedEndpoint(iniPath_, slug, pin);
}

bool IniServerPreferences::setAccessCode(const std::string& code) {
    return writeAccessCode(iniPath_, code);
}

} // namespace launcher
