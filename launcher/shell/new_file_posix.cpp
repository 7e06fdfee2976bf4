#include "launcher/shell/new_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace launcher {

NewFile::NewFile(std::string path)
    : path_(std::move(path)),
      handle_(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644)) {}

NewFile::~NewFile() {
    discard();
}

bool NewFile::isOpen() const {
    return handle_ >= 0;
}

bool NewFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(static_cast<int>(handle_), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool NewFile::finish() {
    if (!isOpen()) {
        return false;
    }
    const bool flushed = ::fsync(static_cast<int>(handle_)) == 0;
    const bool closed = ::close(static_cast<int>(handle_)) == 0;
    handle_ = -1;
    if (flushed && closed) {
        return true;
    }
    ::unlink(path_.c_str());
    return false;
}

void NewFile::discard() {
    if (isOpen()) {
        ::close(static_cast<int>(handle_));
        handle_ = -1;
        ::unlink(path_.c_str());
    }
}

} // namespace launcher
