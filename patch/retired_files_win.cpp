#include "patch/retired_files.hpp"

namespace gu::patch::detail {

// A file open on Windows, even for deletion by others, keeps its name: the replacing move would fail.
int hold_file(const std::filesystem::path&) {
    return -1;
}

void release_held_file(int) {}

} // namespace gu::patch::detail
