#pragma once
// A link that someone else planted in the game folder, pointing out of it. Natively a symbolic link; under
// Wine, which can make neither links nor junctions, a Unix symbolic link made by the host's ln (Wine shows
// it as a folder with a reparse point, and cannot remove it). Elsewhere on Windows the link tests skip.

#include <filesystem>

namespace kyrtest {

enum class PlantedLink {
    none,          // this system cannot make one: the test skips
    removable,     // removing it as a link works
    wine_unix_link // Wine can neither remove it nor must anything follow it
};

// `target` must exist; a folder on Windows.
PlantedLink plant_link(const std::filesystem::path& link, const std::filesystem::path& target);

// Whether a planted link to a file shows as a link: Wine shows only a link to a folder as a reparse
// point, and follows a link to a file in every call.
bool file_links_show();

// Removes a link that plant_link made, if it is still there, so that the scratch folder can go.
void remove_planted_link(const std::filesystem::path& link);

} // namespace kyrtest
