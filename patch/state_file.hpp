#pragma once
// Reading and saving the small JSON records that persist between update runs ("patchstate.json",
// "trust_anchor.json").

#include <boost/json/object.hpp>

#include <filesystem>
#include <optional>
#include <string_view>

namespace gu::patch {

// The file's top-level JSON object. Never throws: a file that cannot be opened or read, an empty file,
// malformed JSON and a top level that is not an object all give nullopt, so a damaged record costs
// only work, never the run.
std::optional<boost::json::object> load_state_object(const std::filesystem::path& file);

// Creates `folder` with its missing parents (that error propagates as the file system's own), then
// writes `text` to folder/file_name through a ".tmp" companion. Messages start with `owner` + "::save: ".
void save_state_text(const std::filesystem::path& folder, std::string_view file_name, std::string_view text,
                     std::string_view owner);

} // namespace gu::patch
