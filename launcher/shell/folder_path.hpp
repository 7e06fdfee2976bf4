#pragma once

#include <string>
#include <string_view>

namespace launcher {

// folder + "\" + relative, the "\" left out when the folder already ends in "\" or "/". relative names
// its parts with "\" as the game's own paths do ("Data\Local\valdra.main"); off Windows, where only the
// tools and tests run, those separators become "/" so the same files are reached.
std::string joinFolderPath(std::string_view folder, std::string_view relative);

// A launcher path as the patch engine takes it, UTF-8: on Windows the launcher's own paths are in the ANSI
// code page, and a folder such as "C:\Users\Jörg" must still be updated.
std::string enginePath(const std::string& path);

} // namespace launcher
