#include "launcher/shell/folder_path.hpp"

namespace launcher {

std::string enginePath(const std::string& path) {
    return path; // file names are bytes here, UTF-8 in practice
}

} // namespace launcher
