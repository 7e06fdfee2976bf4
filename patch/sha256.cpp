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
    static constexpr const Word* kRoundConstants = detail::kSha256RoundConstants;
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
