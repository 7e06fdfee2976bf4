#pragma once
// SHA-256 (FIPS 180-4). The hottest function of the engine: every file, chunk and pack passes through it,
// so the implementation picks the x86 SHA extensions at run time when the CPU has them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace gu::patch {

using Sha256Digest = std::array<std::uint8_t, 32>;

namespace detail {
// Compresses `blocks` consecutive 64-byte blocks of data into the eight state words.
using Sha256Blocks = void (*)(std::uint32_t* state, const std::uint8_t* data, std::size_t blocks);
} // namespace detail

// Incremental hashing; update() may be called any number of times with any lengths.
class Sha256 {
public:
    Sha256();
    // Pins one compression function (see patch/detail/sha256_blocks.hpp); for tests and benchmarks.
    explicit Sha256(detail::Sha256Blocks blocks);
    void update(const void* data, std::size_t size);
    void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }
    Sha256Digest finish();

private:
    detail::Sha256Blocks blocks_;
    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> buffer_;
    std::size_t buffered_ = 0;
    std::uint64_t total_ = 0;
};

Sha256Digest sha256(std::string_view bytes);

// 64 lower-case hexadecimal digits.
std::string sha256_hex(std::string_view bytes);

std::string to_hex(const std::uint8_t* bytes, std::size_t size);

} // namespace gu::patch
