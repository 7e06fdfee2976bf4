#include "tools/kyr-store/store_files.hpp"

#include "tools/kyr-store/staged_file.hpp"

#include "patch/base64.hpp"
#include "patch/ed25519.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kyrstore {

namespace fs = std::filesystem;

StoreLock::StoreLock(const fs::path& store) {
    const fs::path path = store / ".kyr-store.lock";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        throw std::runtime_error("cannot create " + path.u8string() + ": " + std::strerror(errno));
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd_);
        throw std::runtime_error("another publish is running on " + store.u8string());
    }
}

StoreLock::~StoreLock() {
    ::close(fd_);
}

std::optional<std::string> read_existing(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        return std::nullopt;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        throw std::runtime_error("cannot read " + path.u8string());
    }
    return text;
}

bool signature_matches(const std::string& signature_b64, const std::string& document, const SigningKey& key) {
    return gu::patch::ed25519_verify(gu::patch::base64_decode(signature_b64), document,
                                     gu::patch::base64_decode(key.public_key_base64()));
}

void write_signed(const fs::path& store, const std::string& store_path, const std::string& text,
                  const SigningKey& key) {
    const std::string signature = key.sign_base64(text);
    if (!signature_matches(signature, text, key)) {
        throw std::runtime_error("internal error: the signature of " + store_path + " does not verify");
    }
    const fs::path target = store / store_path;
    fs::create_directories(target.parent_path());
    write_staged(target, text, true);
    write_staged(fs::path(target) += ".sig", signature + "\n", true);
}

} // namespace kyrstore
