#include "tools/kyr-store/store_lock.hpp"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kyrstore {

StoreLock::StoreLock(const std::filesystem::path& store) {
    const std::filesystem::path path = store / ".kyr-store.lock";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        throw std::runtime_error("cannot create " + path.u8string() + ": " + std::strerror(errno));
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd_);
        throw std::runtime_error("another kyr-store command is running on " + store.u8string());
    }
}

StoreLock::~StoreLock() {
    ::close(fd_);
}

} // namespace kyrstore
