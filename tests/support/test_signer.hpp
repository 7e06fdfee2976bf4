#pragma once
// An Ed25519 signer for tests only, built on the engine's own curve arithmetic, so that signed stores can
// be made where no crypto library exists (the Windows build under Wine). Not constant-time: never use it
// for a real key.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kyrtest {

// Standard Base64 with "=" padding, the form the engine's base64_decode reads.
std::string base64_encode(std::string_view bytes);

class TestSigner {
public:
    // RFC 8032, section 5.1.5: the 32-byte seed is the private key.
    explicit TestSigner(const std::array<std::uint8_t, 32>& seed);

    // The 32-byte public key, raw and as the 44 characters a client is configured with.
    const std::string& public_key() const { return public_key_; }
    std::string public_key_base64() const { return base64_encode(public_key_); }

    // The 64-byte detached signature over exactly `message`, raw and as the text of a ".sig" object.
    std::string sign(std::string_view message) const;
    std::string sign_base64(std::string_view message) const { return base64_encode(sign(message)); }

private:
    std::array<std::uint8_t, 32> scalar_{}; // the clamped secret scalar a
    std::array<std::uint8_t, 32> prefix_{}; // second half of SHA-512(seed)
    std::string public_key_;
};

} // namespace kyrtest
