#pragma once

#include <filesystem>
#include <string_view>

namespace gu::patch {

// Writes one file of the installation: first as its path + ".updpart", then moved onto the path; when the
// move is refused the part is copied over it (the trust anchor then forgets the file). The parent folders
// are created. Throws std::runtime_error "failed to open for write: ", "failed writing: " (both with the
// part's path) or "failed to install <target>: <reason>", or the file system's error.
void install_file(const std::filesystem::path& target_root, std::string_view path, std::string_view bytes,
                  const std::filesystem::path& anchor_dir);

} // namespace gu::patch
