#include "patch/sha256.hpp"

#include "patch/detail/sha256_blocks.hpp"
#include "patch/detail/sha2_core.hpp"

namespace gu::patch {
namespace {

constexpr std::array<std::uint32_t, 8> kInitialState = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

struct Sha256Functions {
    using Word = std::uint32_t;
    static constexpr int kRounds = 64;
    static constexpr Word kRoundConstants[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
    static Word big_sigma0(Word x) { return detail::rotr(x, 2) ^ detail::rotr(x, 13) ^ detail::rotr(x, 22); }
    static Word big_sigma1(Word x) { return detail::rotr(x, 6) ^ detail::rotr(x, 11) ^ detail::rotr(x, 25); }
    static Word small_sigma0(Word x) { return detail::rotr(x, 7) ^ detail::rotr(x, 18) ^ (x >> 3); }
    static Word small_sigma1(Word x) { return detail::rotr(x, 17) ^ detail::rotr(x, 19) ^ (x >> 10); }
};

} // namespace

namespace detail {

void sha256_portable_blocks(std::uint32_t* state, const std::uint8_t* data, std::size_t blocks) {
    sha2_blocks<Sha256Functions>(state, data, blocks);
}

Sha256Blocks sha256_best_blocks() {
    static const Sha256Blocks best = [] {
        const Sha256Blocks x86 = sha256_x86_blocks();
        return x86 != nullptr ? x86 : &sha256_portable_blocks;
    }();
    return best;
}

} // namespace detail

Sha256::Sha256() : Sha256(detail::sha256_best_blocks()) {}

Sha256::Sha256(detail::Sha256Blocks blocks) : blocks_(blocks), state_(kInitialState) {}

void Sha256::update(const void* data, std::size_t size) {
    total_ += size;
    detail::sha2_absorb<64>(buffer_.data(), buffered_, static_cast<const std::uint8_t*>(data), size,
                            [this](const std::uint8_t* p, std::size_t blocks) { blocks_(state_.data(), p, blocks); });
}

Sha256Digest Sha256::finish() {
    detail::sha2_pad<64, 8>(buffer_.data(), buffered_, total_,
                            [this](const std::uint8_t* p, std::size_t blocks) { blocks_(state_.data(), p, blocks); });
    Sha256Digest digest;
    for (int i = 0; i < 8; ++i) {
        detail::store_be(digest.data() + 4 * i, state_[i]);
    }
    // Ready for a new message, so a finished object cannot silently extend the old one.
    state_ = kInitialState;
    buffered_ = 0;
    total_ = 0;
    return digest;
}

Sha256Digest sha256(std::string_view bytes) {
    Sha256 hasher;
    hasher.update(bytes);
    return hasher.finish();
}

std::string sha256_hex(std::string_view bytes) {
    const Sha256Digest digest = sha256(bytes);
    return to_hex(digest.data(), digest.size());
}

std::string to_hex(const std::uint8_t* bytes, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out(size * 2, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        out[2 * i] = kDigits[bytes[i] >> 4];
        out[2 * i + 1] = kDigits[bytes[i] & 15];
    }
    return out;
}

} // namespace gu::patch
