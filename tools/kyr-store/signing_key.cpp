#include "tools/kyr-store/signing_key.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kyrstore {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxKeyFileSize = 4096;

void require_sodium() {
    if (sodium_init() < 0) {
        throw std::runtime_error("libsodium could not be initialised");
    }
}

std::string bytes_text(const std::uint8_t* bytes, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(bytes), size);
}

} // namespace

std::string base64_encode(std::string_view bytes) {
    require_sodium();
    const std::size_t capacity = sodium_base64_encoded_len(bytes.size(), sodium_base64_VARIANT_ORIGINAL);
    std::string text(capacity, '\0');
    sodium_bin2base64(text.data(), capacity, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                      sodium_base64_VARIANT_ORIGINAL);
    text.resize(capacity - 1); // the terminating NUL
    return text;
}

SigningKey SigningKey::load(const fs::path& path, const std::function<void(const std::string&)>& notice) {
    require_sodium();
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        throw std::runtime_error("cannot open key file " + path.u8string());
    }
    std::string text;
    text.resize(kMaxKeyFileSize + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
        throw std::runtime_error("cannot read key file " + path.u8string());
    }
    const std::string not_a_key = "key file " + path.u8string() + " does not hold a kyr-store signing key";
    if (text.size() > kMaxKeyFileSize) {
        throw std::runtime_error(not_a_key);
    }
    SigningKey key;
    std::size_t decoded = 0;
    if (sodium_base642bin(key.secret_.data(), key.secret_.size(), text.data(), text.size(), " \t\r\n", &decoded,
                          nullptr, sodium_base64_VARIANT_ORIGINAL) != 0 ||
        decoded != key.secret_.size()) {
        throw std::runtime_error(not_a_key);
    }
    std::array<std::uint8_t, crypto_sign_PUBLICKEYBYTES> public_key{};
    std::array<std::uint8_t, crypto_sign_SECRETKEYBYTES> expected{};
    crypto_sign_seed_keypair(public_key.data(), expected.data(), key.secret_.data());
    const bool matches = sodium_memcmp(expected.data(), key.secret_.data(), expected.size()) == 0;
    sodium_memzero(expected.data(), expected.size());
    if (!matches) {
        throw std::runtime_error(not_a_key + " (its public half does not match its seed)");
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && (info.st_mode & 077) != 0) {
        notice("key file " + path.u8string() + " is readable by other users (chmod 600 it)");
    }
    return key;
}

SigningKey SigningKey::generate(const fs::path& path) {
    require_sodium();
    SigningKey key;
    std::array<std::uint8_t, crypto_sign_PUBLICKEYBYTES> public_key{};
    crypto_sign_keypair(public_key.data(), key.secret_.data());
    std::string text = base64_encode(bytes_text(key.secret_.data(), key.secret_.size())) + "\n";

    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        const std::string reason = errno == EEXIST ? "it already exists" : std::strerror(errno);
        sodium_memzero(text.data(), text.size());
        throw std::runtime_error("cannot create key file " + path.u8string() + ": " + reason);
    }
    int error = 0;
    std::size_t done = 0;
    while (done < text.size() && error == 0) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
        } else if (written == 0 || errno != EINTR) {
            error = written == 0 ? EIO : errno;
        }
    }
    sodium_memzero(text.data(), text.size());
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(path.c_str());
        throw std::runtime_error("cannot write key file " + path.u8string() + ": " + std::strerror(error));
    }
    return key;
}

SigningKey::~SigningKey() {
    sodium_memzero(secret_.data(), secret_.size());
}

std::string SigningKey::public_key_base64() const {
    // libsodium keeps the public key in the second half of the secret key.
    return base64_encode(bytes_text(secret_.data() + crypto_sign_SEEDBYTES, crypto_sign_PUBLICKEYBYTES));
}

std::string SigningKey::sign_base64(std::string_view message) const {
    std::array<std::uint8_t, crypto_sign_BYTES> signature{};
    crypto_sign_detached(signature.data(), nullptr, reinterpret_cast<const unsigned char*>(message.data()),
                         message.size(), secret_.data());
    return base64_encode(bytes_text(signature.data(), signature.size()));
}

} // namespace kyrstore
