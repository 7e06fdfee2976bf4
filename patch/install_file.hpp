#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace gu::patch {

// Writes one file of the installation: first as its path + ".updpart", then moved onto the path; when the
// move is refused the part is copied over it (the trust anchor then forgets the file). The parent folders
// are created. Throws std::runtime_error "failed to open for write: ", "failed writing: " (both with the
// part's path) or "failed to install <target>: <reason>", or the file system's error.
void install_file(const std::filesystem::path& target_root, std::string_view path, std::string_view bytes,
                  const std::filesystem::path& anchor_dir);

// install_file for bytes that must have the SHA-256 `expected_sha256` (hex), hashed slice by slice as they
// are written: a large file is then read from memory once instead of once for the hash and once more for
// the write. Only a match replaces the target; on a mismatch the part is removed and the target untouched.
// Returns the bytes' hash; throws as install_file.
std::string install_file_if_hash(const std::filesystem::path& target_root, std::string_view path,
                                 std::string_view bytes, const std::string& expected_sha256,
                                 const std::filesystem::path& anchor_dir);

} // namespace gu::patch
