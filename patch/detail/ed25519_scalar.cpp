#include "patch/detail/ed25519_scalar.hpp"

namespace gu::patch::detail {
namespace {

// L - 2^252 in 32-bit little-endian words; L itself adds bit 252.
constexpr std::uint32_t kOrderLow[4] = {0x5cf5d3ed, 0x5812631a, 0xa2f79cd6, 0x14def9de};

} // namespace

Scalar reduce_mod_l(const std::uint8_t* bytes, std::size_t size) {
    // Horner's rule one byte at a time, keeping r below L: r * 256 + byte = hi * 2^252 + lo with hi < 2^9,
    // and 2^252 = -c (mod L) with c = L - 2^252 < 2^125, so r becomes lo - hi * c, plus L if that is
    // negative. Both cases land in [0, L).
    std::uint32_t r[9] = {};
    for (std::size_t n = size; n-- != 0;) {
        for (int i = 8; i > 0; --i) {
            r[i] = (r[i] << 8) | (r[i - 1] >> 24);
        }
        r[0] = (r[0] << 8) | bytes[n];
        const std::int64_t hi = std::int64_t((r[7] >> 28) | (r[8] << 4));
        r[7] &= 0x0fffffff;
        r[8] = 0;
        std::int64_t carry = 0;
        for (int i = 0; i < 8; ++i) {
            const std::int64_t t = std::int64_t(r[i]) - (i < 4 ? hi * kOrderLow[i] : 0) + carry;
            r[i] = static_cast<std::uint32_t>(t);
            carry = (t - std::int64_t(r[i])) / (std::int64_t(1) << 32);
        }
        if (carry < 0) {
            std::uint64_t sum = 0;
            for (int i = 0; i < 8; ++i) {
                sum += std::uint64_t(r[i]) + (i < 4 ? kOrderLow[i] : 0) + (i == 7 ? 0x10000000u : 0);
                r[i] = static_cast<std::uint32_t>(sum);
                sum >>= 32;
            }
        }
    }
    Scalar out;
    for (int i = 0; i < 32; ++i) {
        out[i] = static_cast<std::uint8_t>(r[i / 4] >> (8 * (i % 4)));
    }
    return out;
}

std::array<std::int8_t, 256> signed_window_digits(const Scalar& scalar, int w) {
    auto bit = [&](int pos) { return pos < 256 ? (scalar[pos / 8] >> (pos % 8)) & 1 : 0; };
    std::array<std::int8_t, 256> digits{};
    int carry = 0;
    for (int pos = 0; pos < 256;) {
        // carry + the next w bits; an even sum leaves a zero digit here and the carry moves up unchanged.
        int window = carry;
        for (int b = 0; b < w; ++b) {
            window += bit(pos + b) << b;
        }
        if ((window & 1) == 0) {
            ++pos;
            continue;
        }
        if (window < (1 << (w - 1))) {
            digits[pos] = static_cast<std::int8_t>(window);
            carry = 0;
        } else {
            digits[pos] = static_cast<std::int8_t>(window - (1 << w));
            carry = 1;
        }
        pos += w;
    }
    return digits;
}

} // namespace gu::patch::detail
