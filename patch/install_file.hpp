#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace gu::patch {

// Writes one file of the installation, whose bytes must have the SHA-256 `expected_sha256` (hex): first as
// its path + ".updpart", hashed slice by slice as it is written (a large file is then read from memory
// once instead of once for the hash and once more for the write), then, only when the hash matches, moved
// onto the path; when the move is refused the part is copied over it (the trust anchor then forgets the
// file). On a mismatch the part is removed and the target untouched. The parent folders are created.
// Returns the bytes' hash. Throws std::runtime_error "failed to open for write: ", "failed writing: " (both
// with the part's path) or "failed to install <target>: <reason>", or the file system's error.
std::string install_file(const std::filesystem::path& target_root, std::string_view path, std::string_view bytes,
                         const std::string& expected_sha256, const std::filesystem::path& anchor_dir);

} // namespace gu::patch
