#include "tools/kyr-store/store_files.hpp"

#include "tools/kyr-store/staged_file.hpp"

#include "patch/signed_document.hpp"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kyrstore {

namespace fs = std::filesystem;

std::optional<std::string> read_store_file(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        const int saved = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        if (saved == ENOENT) {
            return std::nullopt;
        }
        throw std::runtime_error("cannot open " + file.u8string() + ": " + std::strerror(saved));
    }
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    ssize_t got = 1;
    while (done < bytes.size() && got != 0) {
        got = ::read(fd, &bytes[done], bytes.size() - done);
        if (got < 0 && errno != EINTR) {
            const int saved = errno;
            ::close(fd);
            throw std::runtime_error("cannot read " + file.u8string() + ": " + std::strerror(saved));
        }
        done += got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    ::close(fd);
    bytes.resize(done);
    return bytes;
}

void write_signed(const fs::path& store, const std::string& store_path, const std::string& text,
                  const SigningKey& key) {
    const std::string signature = key.sign_base64(text);
    if (!gu::patch::signature_holds(text, signature, key.public_key_base64())) {
        throw std::runtime_error("internal error: the signature of " + store_path + " does not verify");
    }
    const fs::path target = store / store_path;
    fs::create_directories(target.parent_path());
    write_staged(target, text, true);
    write_staged(fs::path(target) += ".sig", signature + "\n", true);
}

} // namespace kyrstore
