#include "patch/retired_files.hpp"

#include <fcntl.h>
#include <unistd.h>

namespace gu::patch::detail {

// O_PATH opens nothing for reading: a FIFO or a device planted under the name is only referred to.
int hold_file(const std::filesystem::path& path) {
#ifdef O_PATH
    return ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
#else
    return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
#endif
}

void release_held_file(int handle) {
    if (handle >= 0) {
        ::close(handle);
    }
}

} // namespace gu::patch::detail
