#pragma once
// launcher.ini: the launcher's memory between runs in section [Servers], and in section [Launcher] the
// player's own setting of the launcher. Read and written only through the platform profile functions, one
// call per key. Write results are informative: callers go on with their in-memory values when a write fails.

#include <cstdint>
#include <string>
#include <string_view>

namespace launcher {

// Read buffers, limits and case rules of each key.
inline constexpr unsigned kLastServerBuffer = 64;
inline constexpr unsigned kLastServerLimit = 32;
inline constexpr unsigned kAccessCodeBuffer = 80;
inline constexpr unsigned kAccessCodeLimit = 64;
inline constexpr unsigned kRegionLimit = 16;
// "Region.<slug>": the pinned endpoint, "<region>@<ip>:<port>" (earlier versions: the region alone).
inline constexpr unsigned kPinnedEndpointBuffer = 64;
inline constexpr unsigned kPinnedEndpointLimit = 48;
inline constexpr char kPinnedEndpointSigns[] = "@:";
inline constexpr unsigned kBmdStampBuffer = 64;
inline constexpr unsigned kBmdStampLimit = 48;

std::string readAccessCode(const std::string& iniPath);
bool writeAccessCode(const std::string& iniPath, const std::string& code);
std::string readLastServer(const std::string& iniPath);
bool writeLastServer(const std::string& iniPath, const std::string& slug);
// An empty value means automatic choice; a slug without an allowed character has no key.
std::string readPinnedEndpoint(const std::string& iniPath, const std::string& slug);
bool writePinnedEndpoint(const std::string& iniPath, const std::string& slug, const std::string& pin);
std::string readBmdStamp(const std::string& iniPath);
bool writeBmdStamp(const std::string& iniPath, const std::string& stamp);

// [Launcher] "DownloadLimitKBps": the bandwidth limit of the updates, in kilobytes (1,000 bytes) per
// second, set by hand by a player on a shared line. The launcher never writes it.
inline constexpr unsigned kDownloadLimitBuffer = 16;
std::uint32_t readDownloadLimitKBps(const std::string& iniPath);
// The value as written: decimal digits, blanks around them allowed, at most 9,999,999. Anything else
// (empty, a sign, a unit, a fraction, more) means no limit, 0, like a missing key.
std::uint32_t parseDownloadLimitKBps(std::string_view text);

} // namespace launcher
