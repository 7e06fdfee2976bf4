#include "patch/part_file.hpp"

namespace gu::patch::detail {

std::FILE* open_part_for_writing(const std::filesystem::path& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file != nullptr) {
        std::setvbuf(file, nullptr, _IONBF, 0);
    }
    return file;
}

} // namespace gu::patch::detail
