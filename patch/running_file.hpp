#pragma once
// Replacing the file of a running program, above all the launcher's own exe, which the store may carry
// in a new version. Windows refuses to overwrite or replace the image of a running program but lets it
// be renamed, so the running file moves aside and the new one takes its name.

#include "patch/atomic_file.hpp"

#include <filesystem>
#include <string_view>

namespace gu::patch {

// How many aside names there are: ".old", then ".old2" to ".old9".
inline constexpr int kAsideNames = 9;

// "<running>.old", or with `n` from 2 to kAsideNames "<running>.old<n>": where the running file goes;
// the launcher deletes every one of them at its next start.
std::filesystem::path aside_path(const std::filesystem::path& running, int n = 1);

// Moves `to` (when it exists) to aside_path(to), replacing an earlier one, then `from` onto `to`. When the
// second move fails the first is undone, so the program that was there can still be started. When the
// aside name cannot be freed (the image of a running program holds it, as after a self-update in this
// process), ".old2" to ".old9" serve instead, and the file moved there is removed at once where it can be.
// Throws std::runtime_error(failure_prefix + to + ": " + system message).
void replace_running_file(const std::filesystem::path& from, const std::filesystem::path& to,
                          std::string_view failure_prefix, const FileMover& mover = system_file_mover());

} // namespace gu::patch
