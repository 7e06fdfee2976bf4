#pragma once
// SHA-512 (FIPS 180-4), used by Ed25519 verification.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace gu::patch::detail {

using Sha512Digest = std::array<std::uint8_t, 64>;

// Incremental hashing; update() may be called any number of times with any lengths. finish() leaves the
// object ready for a new message.
class Sha512 {
public:
    Sha512();
    void update(const void* data, std::size_t size);
    void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }
    Sha512Digest finish();

private:
    std::array<std::uint64_t, 8> state_;
    std::array<std::uint8_t, 128> buffer_;
    std::size_t buffered_ = 0;
    std::uint64_t total_ = 0;
};

Sha512Digest sha512(std::string_view bytes);

} // namespace gu::patch::detail
