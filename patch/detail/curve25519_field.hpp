#pragma once
// Arithmetic modulo p = 2^255 - 19 for Ed25519, written once for two limb sizes:
//  - Fe25: ten limbs of 26 and 25 bits (radix 2^25.5) in 32-bit words with 64-bit products. Every compiler
//    has it, including 32-bit MinGW, which lacks a 128-bit integer.
//  - Fe51: five limbs of 51 bits in 64-bit words with 128-bit products, where the compiler has
//    unsigned __int128. A quarter as many limb products per multiplication, so 64-bit builds use it.
// Verification is variable-time: it handles only public data.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace gu::patch::detail {

// N limbs; limb i holds bits [offset(i), offset(i + 1)) of the value, offset(i) = ceil(255 i / N). Values
// are kept partly reduced: every operation returns limbs within their widths, except limb 1, which may
// exceed its width by less than 2^15 (the last carry lands there). With that bound every sum, difference
// and product below fits its word; to_bytes() gives the unique encoding below p.
template <class Limb, class Wide, int N> class FieldElement {
public:
    static constexpr int offset(int i) { return (255 * i + N - 1) / N; }
    static constexpr int width(int i) { return offset(i + 1) - offset(i); }
    static constexpr Limb mask(int i) { return static_cast<Limb>((Limb(1) << width(i)) - 1); }

    // Multiplier of the product of limbs i and j when added to limb (i + j) mod N: the offsets differ by
    // one bit for some pairs (radix 2^25.5), and wrapping past 2^255 multiplies by 19.
    static constexpr Limb product_factor(int i, int j) {
        const int k = (i + j) % N;
        const int wrap = i + j >= N ? 255 : 0;
        return static_cast<Limb>((Limb(1) << (offset(i) + offset(j) - offset(k) - wrap)) * (wrap != 0 ? 19 : 1));
    }

    Limb limb[N];

    static FieldElement zero() { return FieldElement{}; }

    static FieldElement from_uint(std::uint32_t value) {
        const std::uint8_t bytes[32] = {std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(value >> 16),
                                        std::uint8_t(value >> 24)};
        return from_bytes(bytes);
    }

    // The low 255 bits of a 32-byte little-endian number; the top bit is ignored, and values from p up to
    // 2^255 - 1 are accepted as their residues.
    static FieldElement from_bytes(const std::uint8_t* bytes) {
        FieldElement r;
        for (int i = 0; i < N; ++i) {
            const int first = offset(i) / 8;
            const int last = (offset(i) + width(i) - 1) / 8;
            std::uint64_t v = 0;
            for (int b = first; b <= last; ++b) {
                v |= std::uint64_t(bytes[b]) << (8 * (b - first));
            }
            r.limb[i] = static_cast<Limb>(v >> (offset(i) % 8)) & mask(i);
        }
        return r;
    }

    // The canonical 32-byte little-endian encoding (value below p, top bit clear).
    void to_bytes(std::uint8_t* out) const {
        Limb h[N];
        std::memcpy(h, limb, sizeof h);
        carry_into(h);
        // h is now below 2p: q = 1 exactly when h >= p, found as the carry out of h + 19 past 2^255.
        Limb q = static_cast<Limb>((h[0] + 19) >> width(0));
        for (int i = 1; i < N; ++i) {
            q = static_cast<Limb>((h[i] + q) >> width(i));
        }
        h[0] += static_cast<Limb>(19 * q);
        for (int i = 0; i + 1 < N; ++i) {
            h[i + 1] += h[i] >> width(i);
            h[i] &= mask(i);
        }
        h[N - 1] &= mask(N - 1); // subtracts q * 2^255
        std::uint64_t acc = 0;
        int bits = 0;
        int k = 0;
        for (int i = 0; i < N; ++i) {
            acc |= std::uint64_t(h[i]) << bits;
            bits += width(i);
            for (; bits >= 8; bits -= 8) {
                out[k++] = static_cast<std::uint8_t>(acc);
                acc >>= 8;
            }
        }
        out[k] = static_cast<std::uint8_t>(acc);
    }

    bool is_zero() const {
        std::uint8_t bytes[32];
        to_bytes(bytes);
        std::uint8_t any = 0;
        for (const std::uint8_t b : bytes) {
            any |= b;
        }
        return any == 0;
    }

    // The "sign" of the point encoding: the low bit of the canonical value.
    bool is_negative() const {
        std::uint8_t bytes[32];
        to_bytes(bytes);
        return (bytes[0] & 1) != 0;
    }

    friend FieldElement operator+(const FieldElement& a, const FieldElement& b) {
        Limb h[N];
#pragma GCC unroll 10
        for (int i = 0; i < N; ++i) {
            h[i] = a.limb[i] + b.limb[i];
        }
        return carry_into(h);
    }

    // a + 2p - b: 2p's limbs exceed any limb of b, so no limb goes negative.
    friend FieldElement operator-(const FieldElement& a, const FieldElement& b) {
        Limb h[N];
#pragma GCC unroll 10
        for (int i = 0; i < N; ++i) {
            const Limb two_p = static_cast<Limb>(2 * (mask(i) - (i == 0 ? 18 : 0)));
            h[i] = a.limb[i] + two_p - b.limb[i];
        }
        return carry_into(h);
    }

    friend FieldElement operator-(const FieldElement& a) {
        return zero() - a;
    }

    friend FieldElement operator*(const FieldElement& a, const FieldElement& b) {
        Wide h[N] = {};
#pragma GCC unroll 10
        for (int i = 0; i < N; ++i) {
#pragma GCC unroll 10
            for (int j = 0; j < N; ++j) {
                h[(i + j) % N] += Wide(a.limb[i]) * static_cast<Limb>(b.limb[j] * product_factor(i, j));
            }
        }
        return carry_into(h);
    }

    friend FieldElement square(const FieldElement& a) {
        Wide h[N] = {};
#pragma GCC unroll 10
        for (int i = 0; i < N; ++i) {
            h[(2 * i) % N] += Wide(a.limb[i]) * static_cast<Limb>(a.limb[i] * product_factor(i, i));
#pragma GCC unroll 10
            for (int j = i + 1; j < N; ++j) {
                h[(i + j) % N] += Wide(a.limb[i]) * static_cast<Limb>(a.limb[j] * (2 * product_factor(i, j)));
            }
        }
        return carry_into(h);
    }

private:
    // One carry pass from limb 0 to the top, the top carry folded into limb 0 times 19 (2^255 = 19 mod p),
    // and that limb's carry moved into limb 1.
    template <class Word> static FieldElement carry_into(Word* h) {
#pragma GCC unroll 10
        for (int i = 0; i + 1 < N; ++i) {
            h[i + 1] += h[i] >> width(i);
            h[i] &= mask(i);
        }
        h[0] += Word(19) * (h[N - 1] >> width(N - 1));
        h[N - 1] &= mask(N - 1);
        h[1] += h[0] >> width(0);
        h[0] &= mask(0);
        FieldElement r;
#pragma GCC unroll 10
        for (int i = 0; i < N; ++i) {
            r.limb[i] = static_cast<Limb>(h[i]);
        }
        return r;
    }
};

using Fe25 = FieldElement<std::uint32_t, std::uint64_t, 10>;
#if defined(__SIZEOF_INT128__)
__extension__ using Uint128 = unsigned __int128;
using Fe51 = FieldElement<std::uint64_t, Uint128, 5>;
using FastestField = Fe51;
#else
using FastestField = Fe25;
#endif

template <class F> F square_times(F x, int times) {
    for (int i = 0; i < times; ++i) {
        x = square(x);
    }
    return x;
}

// x^(2^250 - 1), the common stem of the inversion and square-root exponents; also returns x^11.
template <class F> F pow_2_250_minus_1(const F& x, F& x11) {
    const F x2 = square(x);
    const F x9 = square_times(x2, 2) * x;
    x11 = x9 * x2;
    const F e5 = square(x11) * x9; // 2^5 - 1
    const F e10 = square_times(e5, 5) * e5;
    const F e20 = square_times(e10, 10) * e10;
    const F e40 = square_times(e20, 20) * e20;
    const F e50 = square_times(e40, 10) * e10;
    const F e100 = square_times(e50, 50) * e50;
    const F e200 = square_times(e100, 100) * e100;
    return square_times(e200, 50) * e50;
}

// x^(p - 2) = x^(2^255 - 21), the inverse for non-zero x.
template <class F> F invert(const F& x) {
    F x11;
    const F e250 = pow_2_250_minus_1(x, x11);
    return square_times(e250, 5) * x11;
}

// x^((p - 5) / 8) = x^(2^252 - 3), the core of the square root used in point decoding.
template <class F> F pow_p58(const F& x) {
    F x11;
    const F e250 = pow_2_250_minus_1(x, x11);
    return square_times(e250, 2) * x;
}

} // namespace gu::patch::detail
