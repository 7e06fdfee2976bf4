#pragma once
// servers.cache.json, the exact body of the last directory document a network source delivered, and the
// bounded whole-file read that the server files share.

#include <cstddef>
#include <string>

namespace launcher {

// servers.cache.json is read back up to this size; a larger file is skipped.
inline constexpr std::size_t kServerCacheLimit = 4 * 1024 * 1024;

// Reads the whole file. False when it cannot be opened or read, or as soon as it holds more than limit
// bytes. text is emptied once the file is open; an empty file gives an empty text.
bool readTextFile(const std::string& path, std::string& text, std::size_t limit);

// Replaces the cache with body through path + ".tmp". An empty body writes nothing and fails; on any
// failure the previous cache stays as it was.
bool saveServerCache(const std::string& path, const std::string& body);

} // namespace launcher
