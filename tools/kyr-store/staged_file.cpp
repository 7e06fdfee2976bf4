#include "tools/kyr-store/staged_file.hpp"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace kyrstore {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& what, const fs::path& path) {
    throw std::runtime_error(what + " " + path.u8string() + ": " + std::strerror(errno));
}

void fsync_folder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        fail("cannot open folder", folder);
    }
    const int result = ::fsync(fd);
    const int saved = errno;
    ::close(fd);
    errno = saved;
    if (result != 0) {
        fail("cannot flush folder", folder);
    }
}

} // namespace

StagedFile::StagedFile(fs::path target) : target_(std::move(target)) {
    temporary_ = target_;
    temporary_ += ".tmp";
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        fail("cannot create", temporary_);
    }
}

StagedFile::~StagedFile() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temporary_.c_str());
    }
}

void StagedFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("write failed on", temporary_);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void StagedFile::commit(bool durable) {
    if (durable && ::fsync(fd_) != 0) {
        fail("cannot flush", temporary_);
    }
    // close() may report a delayed write error (NFS, quota): the file is only good when it succeeds.
    const int result = ::close(fd_);
    fd_ = -1;
    if (result != 0) {
        const int saved = errno;
        ::unlink(temporary_.c_str());
        errno = saved;
        fail("write failed on", temporary_);
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temporary_.c_str());
        errno = saved;
        fail("cannot rename onto", target_);
    }
    if (durable) {
        fsync_folder(target_.has_parent_path() ? target_.parent_path() : fs::path("."));
    }
}

void write_staged(const fs::path& target, std::string_view bytes, bool durable) {
    StagedFile file(target);
    file.write(bytes);
    file.commit(durable);
}

void flush_file_system() {
    ::sync();
}

} // namespace kyrstore
