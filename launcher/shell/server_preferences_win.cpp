#include "launcher/shell/server_preferences.hpp"

#include "launcher/shell/launcher_settings.hpp"

namespace launcher {

std::string IniServerPreferences::lastServer() const {
    return readLastServer(iniPath_);
}

std::string IniServerPreferences::region(const std::string& slug) const {
    return readRegion(iniPath_, slug);
}

bool IniServerPreferences::setLastServer(const std::string& slug) {
    return writeLastServer(iniPath_, slug);
}

bool IniServerPreferences::setRegion(const std::string& slug, const std::string& region) {
    return writeRegion(iniPath_, slug, region);
}

bool IniServerPreferences::setAccessCode(const std::string& code) {
    return writeAccessCode(iniPath_, code);
}

} // namespace launcher
