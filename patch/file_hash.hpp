#pragma once
// Hashing a whole file from disk in constant memory.

#include <filesystem>
#include <string>

namespace gu::patch {

// SHA-256 of the file's contents as 64 lower-case hex digits, streamed through one 1 MiB buffer per
// call. Throws VerifyError when the file cannot be opened or a read fails.
std::string sha256_hex_file(const std::filesystem::path& path);

} // namespace gu::patch
