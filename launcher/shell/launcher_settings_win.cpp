#include "launcher/shell/launcher_settings.hpp"

#include "launcher/shell/ini_value.hpp"
#include "launcher/shell/safe_path.hpp"

#include <windows.h>

#include <vector>

namespace launcher {
namespace {

constexpr const char* kSection = "Servers";

std::string readValue(const std::string& iniPath, const std::string& key, unsigned bufferSize,
                      const char* section = kSection) {
    std::vector<char> buffer(bufferSize, '\0');
    GetPrivateProfileStringA(section, key.c_str(), "", buffer.data(), bufferSize, iniPath.c_str());
    return std::string(buffer.data());
}

// The profile functions write through a link at the name, so one is never left there.
bool writeValue(const std::string& iniPath, const std::string& key, const std::string& value) {
    return readyToWriteInPlace(iniPath) &&
           WritePrivateProfileStringA(kSection, key.c_str(), value.c_str(), iniPath.c_str()) != FALSE;
}

// Empty when the slug has no allowed character: such a server has no region key at all.
std::string regionKey(const std::string& slug) {
    std::string clean = sanitizeIniValue(slug, kLastServerLimit, false);
    return clean.empty() ? std::string() : "Region." + clean;
}

} // namespace

std::string readAccessCode(const std::string& iniPath) {
    return sanitizeIniValue(readValue(iniPath, "AccessCode", kAccessCodeBuffer), kAccessCodeLimit, true);
}

bool writeAccessCode(const std::string& iniPath, const std::string& code) {
    return writeValue(iniPath, "AccessCode", sanitizeIniValue(code, kAccessCodeLimit, true));
}

std::string readLastServer(const std::string& iniPath) {
    return sanitizeIniValue(readValue(iniPath, "Last", kLastServerBuffer), kLastServerLimit, false);
}

bool writeLastServer(const std::string& iniPath, const std::string& slug) {
    return writeValue(iniPath, "Last", sanitizeIniValue(slug, kLastServerLimit, false));
}

std::string readPinnedEndpoint(const std::string& iniPath, const std::string& slug) {
    const std::string key = regionKey(slug);
    if (key.empty()) {
        return {};
    }
    return sanitizeIniValue(readValue(iniPath, key, kPinnedEndpointBuffer), kPinnedEndpointLimit, false,
                            kPinnedEndpointSigns);
}

bool writePinnedEndpoint(const std::string& iniPath, const std::string& slug, const std::string& pin) {
    const std::string key = regionKey(slug);
    if (key.empty()) {
        return false;
    }
    return writeValue(iniPath, key, sanitizeIniValue(pin, kPinnedEndpointLimit, false, kPinnedEndpointSigns));
}

std::string readBmdStamp(const std::string& iniPath) {
    return sanitizeIniValue(readValue(iniPath, "BmdStamp", kBmdStampBuffer), kBmdStampLimit, false);
}

bool writeBmdStamp(const std::string& iniPath, const std::string& stamp) {
    return writeValue(iniPath, "BmdStamp", sanitizeIniValue(stamp, kBmdStampLimit, false));
}

std::uint32_t readDownloadLimitKBps(const std::string& iniPath) {
    return parseDownloadLimitKBps(readValue(iniPath, "DownloadLimitKBps", kDownloadLimitBuffer, "Launcher"));
}

} // namespace launcher
