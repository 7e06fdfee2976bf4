#pragma once
// The operators' Ed25519 signing key (libsodium). The key file holds the standard Base64 text of
// libsodium's 64-byte secret key (seed followed by public key) and a line break; it is created with mode
// 0600 and never overwritten. Clients get only the 44-character public key.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace kyrstore {

// Standard Base64 with "=" padding, as the engine's base64_decode reads it.
std::string base64_encode(std::string_view bytes);

class SigningKey {
public:
    // Reads and checks a key file: the embedded public key must be the one the seed gives. `notice`
    // receives a warning when the file is readable by group or others. Throws std::runtime_error.
    static SigningKey load(const std::filesystem::path& path, const std::function<void(const std::string&)>& notice);

    // A fresh key written to `path` (created exclusively, mode 0600). Throws std::runtime_error when the
    // file exists or cannot be written completely.
    static SigningKey generate(const std::filesystem::path& path);

    ~SigningKey();
    SigningKey(const SigningKey& other) = default;
    SigningKey& operator=(const SigningKey&) = default;

    // 44 characters, the text a client is configured with.
    std::string public_key_base64() const;

    // Standard Base64 of the 64-byte detached signature over exactly `message` (88 characters).
    std::string sign_base64(std::string_view message) const;

private:
    SigningKey() = default;

    std::array<std::uint8_t, 64> secret_{};
};

} // namespace kyrstore
