#include "launcher/game/game_config.hpp"

#include "launcher/game/game_client_interface.hpp"
#include "launcher/shell/safe_path.hpp"

#include <windows.h>

#include <vector>

namespace launcher {

std::string IniGameConfig::readText(const char* section, const char* key, const char* fallback,
                                    unsigned bufferSize) const {
    if (bufferSize == 0) {
        return {};
    }
    std::vector<char> buffer(bufferSize, '\0');
    GetPrivateProfileStringA(section, key, fallback, buffer.data(), bufferSize, configPath_.c_str());
    return std::string(buffer.data());
}

int IniGameConfig::readNumber(const char* section, const char* key, int fallback) const {
    return static_cast<int>(GetPrivateProfileIntA(section, key, fallback, configPath_.c_str()));
}

// The profile functions write through a link at the name, so one is never left there.
bool IniGameConfig::writeText(const char* section, const char* key, const std::string& value) {
    return readyToWriteInPlace(configPath_) &&
           WritePrivateProfileStringA(section, key, value.c_str(), configPath_.c_str()) != FALSE;
}

bool IniGameConfig::removeKey(const char* section, const char* key) {
    return readyToWriteInPlace(configPath_) &&
           WritePrivateProfileStringA(section, key, nullptr, configPath_.c_str()) != FALSE;
}

void IniGameConfig::writeLanguageValue(const std::string& code) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kGameRegistryKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    // The stored size counts the terminating NUL.
    RegSetValueExA(key, kGameLanguageValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(code.c_str()),
                   static_cast<DWORD>(code.size() + 1));
    RegCloseKey(key);
}

} // namespace launcher
