#pragma once
// The parts SHA-256 and SHA-512 share (FIPS 180-4): the round structure over 16-word message windows and
// the block buffering with Merkle-Damgard padding. Each hash supplies its word type, rotations and constants.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace gu::patch::detail {

template <class Word> inline Word rotr(Word x, int n) {
    return static_cast<Word>((x >> n) | (x << (8 * sizeof(Word) - n)));
}

inline std::uint32_t byte_swap(std::uint32_t v) {
    return __builtin_bswap32(v);
}

inline std::uint64_t byte_swap(std::uint64_t v) {
    return __builtin_bswap64(v);
}

// One load and one byte swap. GCC compiled a byte-by-byte loop as written: an eighth of the portable
// hash's instructions.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the words are loaded little-endian and swapped");
template <class Word> inline Word load_be(const std::uint8_t* p) {
    Word v;
    std::memcpy(&v, p, sizeof v);
    return byte_swap(v);
}

template <class Word> inline void store_be(std::uint8_t* p, Word v) {
    for (std::size_t i = 0; i < sizeof(Word); ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * (sizeof(Word) - 1 - i)));
    }
}

// One round with the working variables passed in rotated order, so that no values move between rounds:
// only d and h change, and the next round names them as e and a. Maj(a, b, c) is computed as
// ((a ^ b) & (b ^ c)) ^ b, and this round's a ^ b is the next round's b ^ c, carried in bc.
template <class H>
inline void sha2_round(typename H::Word a, typename H::Word b, typename H::Word& d, typename H::Word e,
                       typename H::Word f, typename H::Word g, typename H::Word& h, typename H::Word& bc,
                       typename H::Word kw) {
    using Word = typename H::Word;
    const Word ab = a ^ b;
    // h + kw does not depend on the previous round, so it is added first, off the critical path.
    const Word t1 = (h + kw + (((f ^ g) & e) ^ g)) + H::big_sigma1(e);
    const Word t2 = H::big_sigma0(a) + ((ab & bc) ^ b);
    bc = ab;
    d += t1;
    h = t1 + t2;
}

// Sixteen rounds from `base`; the first group reads the message words, later ones extend the schedule in
// place (w[i & 15] becomes W[i]). Written out so every index is a constant once inlined; the inlining also
// lets the compiler keep v and w apart instead of assuming they alias.
template <class H, bool kExtend>
__attribute__((always_inline)) inline void sha2_sixteen_rounds(typename H::Word* v, typename H::Word* w, int base) {
    using Word = typename H::Word;
    Word &a = v[0], &b = v[1], &c = v[2], &d = v[3], &e = v[4], &f = v[5], &g = v[6], &h = v[7];
    Word bc = b ^ c;
    auto kw = [&](int j) {
        if (kExtend) {
            w[j] += H::small_sigma0(w[(j + 1) & 15]) + w[(j + 9) & 15] + H::small_sigma1(w[(j + 14) & 15]);
        }
        return static_cast<Word>(H::kRoundConstants[base + j] + w[j]);
    };
    sha2_round<H>(a, b, d, e, f, g, h, bc, kw(0));
    sha2_round<H>(h, a, c, d, e, f, g, bc, kw(1));
    sha2_round<H>(g, h, b, c, d, e, f, bc, kw(2));
    sha2_round<H>(f, g, a, b, c, d, e, bc, kw(3));
    sha2_round<H>(e, f, h, a, b, c, d, bc, kw(4));
    sha2_round<H>(d, e, g, h, a, b, c, bc, kw(5));
    sha2_round<H>(c, d, f, g, h, a, b, bc, kw(6));
    sha2_round<H>(b, c, e, f, g, h, a, bc, kw(7));
    sha2_round<H>(a, b, d, e, f, g, h, bc, kw(8));
    sha2_round<H>(h, a, c, d, e, f, g, bc, kw(9));
    sha2_round<H>(g, h, b, c, d, e, f, bc, kw(10));
    sha2_round<H>(f, g, a, b, c, d, e, bc, kw(11));
    sha2_round<H>(e, f, h, a, b, c, d, bc, kw(12));
    sha2_round<H>(d, e, g, h, a, b, c, bc, kw(13));
    sha2_round<H>(c, d, f, g, h, a, b, bc, kw(14));
    sha2_round<H>(b, c, e, f, g, h, a, bc, kw(15));
}

template <class H> void sha2_blocks(typename H::Word* state, const std::uint8_t* data, std::size_t blocks) {
    using Word = typename H::Word;
    constexpr std::size_t kBlockSize = 16 * sizeof(Word);
    for (; blocks != 0; --blocks, data += kBlockSize) {
        Word w[16];
        for (int i = 0; i < 16; ++i) {
            w[i] = load_be<Word>(data + sizeof(Word) * i);
        }
        Word v[8];
        std::memcpy(v, state, sizeof v);
        sha2_sixteen_rounds<H, false>(v, w, 0);
        // Unrolled, every round constant's index is a constant too.
#pragma GCC unroll 8
        for (int base = 16; base < H::kRounds; base += 16) {
            sha2_sixteen_rounds<H, true>(v, w, base);
        }
        for (int i = 0; i < 8; ++i) {
            state[i] += v[i];
        }
    }
}

// Feeds bytes through a one-block buffer; whole blocks of the input go to compress(data, blocks) directly.
template <std::size_t kBlockSize, class Compress>
void sha2_absorb(std::uint8_t* buffer, std::size_t& buffered, const std::uint8_t* p, std::size_t size,
                 Compress compress) {
    if (size == 0) {
        return; // an empty view may carry a null pointer, which memcpy must never see
    }
    if (buffered != 0) {
        const std::size_t take = size < kBlockSize - buffered ? size : kBlockSize - buffered;
        std::memcpy(buffer + buffered, p, take);
        buffered += take;
        p += take;
        size -= take;
        if (buffered < kBlockSize) {
            return;
        }
        compress(buffer, 1);
        buffered = 0;
    }
    if (size >= kBlockSize) {
        compress(p, size / kBlockSize);
        p += size / kBlockSize * kBlockSize;
        size %= kBlockSize;
    }
    if (size != 0) {
        std::memcpy(buffer, p, size);
        buffered = size;
    }
}

// Final padding: 0x80, zeros, then the message length in bits as a big-endian number filling the last
// kLengthBytes of the block. Messages stay below 2^61 bytes, so only the low 64 bits of that field are set.
template <std::size_t kBlockSize, std::size_t kLengthBytes, class Compress>
void sha2_pad(std::uint8_t* buffer, std::size_t buffered, std::uint64_t total_bytes, Compress compress) {
    constexpr std::size_t kLengthAt = kBlockSize - kLengthBytes;
    buffer[buffered++] = 0x80;
    if (buffered > kLengthAt) {
        std::memset(buffer + buffered, 0, kBlockSize - buffered);
        compress(buffer, 1);
        buffered = 0;
    }
    std::memset(buffer + buffered, 0, kBlockSize - 8 - buffered);
    store_be<std::uint64_t>(buffer + kBlockSize - 8, total_bytes * 8);
    compress(buffer, 1);
}

} // namespace gu::patch::detail
