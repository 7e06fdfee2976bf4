#include "patch/part_file.hpp"

namespace gu::patch::detail {

// The wide open: a narrow path would go through the ANSI code page and lose non-ASCII folder names.
std::FILE* open_part_for_writing(const std::filesystem::path& path) {
    std::FILE* file = ::_wfopen(path.c_str(), L"wb");
    if (file != nullptr) {
        std::setvbuf(file, nullptr, _IONBF, 0);
    }
    return file;
}

} // namespace gu::patch::detail
