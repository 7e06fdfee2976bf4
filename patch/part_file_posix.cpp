#include "patch/part_file.hpp"

#include <fcntl.h>

namespace gu::patch::detail {

std::FILE* open_part_for_writing(const std::filesystem::path& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file != nullptr) {
        std::setvbuf(file, nullptr, _IONBF, 0);
    }
    return file;
}

void start_writing_range(std::FILE* file, std::uint64_t offset, std::uint64_t length) {
    sync_file_range(fileno(file), static_cast<off_t>(offset), static_cast<off_t>(length), SYNC_FILE_RANGE_WRITE);
}

} // namespace gu::patch::detail
