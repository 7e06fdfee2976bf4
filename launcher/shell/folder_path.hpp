#pragma once

#include <string>
#include <string_view>

namespace launcher {

// folder + "\" + relative, the "\" left out when the folder already ends in "\" or "/". relative names
// its parts with "\" as the game's own paths do ("Data\Local\valdra.main"); off Windows, where only the
// tools and tests run, those separators become "/" so the same files are reached.
std::string joinFolderPath(std::string_view folder, std::string_view relative);

} // namespace launcher
