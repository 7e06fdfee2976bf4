#pragma once
// launcher.ini: the launcher's memory between runs, all in section [Servers]. Read and written only
// through the platform profile functions, one call per key. Write results are informative: callers go
// on with their in-memory values when a write fails.

#include <string>

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

} // namespace launcher
