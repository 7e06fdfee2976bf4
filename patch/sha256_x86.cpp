// SHA-256 with the x86 SHA extensions, chosen at run time by CPUID so one binary runs on every x86 CPU.

#include "patch/detail/sha256_blocks.hpp"

#if defined(__x86_64__) || defined(__i386__)

#include <cpuid.h>
#include <immintrin.h>

namespace gu::patch::detail {
namespace {

#define KYR_SHA_TARGET __attribute__((target("sha,sse4.1"), always_inline)) inline

// Four rounds: rnds2 does two, taking its message words from the low half of wk.
KYR_SHA_TARGET void four_rounds(__m128i& abef, __m128i& cdgh, __m128i w, int group) {
    const __m128i wk = _mm_add_epi32(w, _mm_load_si128(reinterpret_cast<const __m128i*>(kSha256RoundConstants) + group));
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
    abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0E));
}

// W[t..t+3] from the four previous groups: msg1 adds sigma0(W[t-15]) to W[t-16], the alignr supplies
// W[t-7], and msg2 adds sigma1(W[t-2]), including the words it has just produced.
KYR_SHA_TARGET __m128i next_words(__m128i w16, __m128i w12, __m128i w8, __m128i w4) {
    const __m128i partial = _mm_add_epi32(_mm_sha256msg1_epu32(w16, w12), _mm_alignr_epi8(w4, w8, 4));
    return _mm_sha256msg2_epu32(partial, w4);
}

// 32-bit MinGW calls this with a stack aligned only to 4 bytes; realign it for the vector spills.
__attribute__((target("sha,sse4.1"), force_align_arg_pointer)) void
sha_extensions_blocks(std::uint32_t* state, const std::uint8_t* data, std::size_t blocks) {
    const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);

    // The instructions keep the state as the word pairs ABEF and CDGH.
    const __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    const __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

    for (; blocks != 0; --blocks, data += 64) {
        const __m128i abef_in = abef;
        const __m128i cdgh_in = cdgh;
        const __m128i* in = reinterpret_cast<const __m128i*>(data);
        __m128i w0 = _mm_shuffle_epi8(_mm_loadu_si128(in), byte_swap);
        __m128i w1 = _mm_shuffle_epi8(_mm_loadu_si128(in + 1), byte_swap);
        __m128i w2 = _mm_shuffle_epi8(_mm_loadu_si128(in + 2), byte_swap);
        __m128i w3 = _mm_shuffle_epi8(_mm_loadu_si128(in + 3), byte_swap);
        four_rounds(abef, cdgh, w0, 0);
        four_rounds(abef, cdgh, w1, 1);
        four_rounds(abef, cdgh, w2, 2);
        four_rounds(abef, cdgh, w3, 3);
        for (int group = 4; group < 16; group += 4) {
            w0 = next_words(w0, w1, w2, w3);
            four_rounds(abef, cdgh, w0, group);
            w1 = next_words(w1, w2, w3, w0);
            four_rounds(abef, cdgh, w1, group + 1);
            w2 = next_words(w2, w3, w0, w1);
            four_rounds(abef, cdgh, w2, group + 2);
            w3 = next_words(w3, w0, w1, w2);
            four_rounds(abef, cdgh, w3, group + 3);
        }
        abef = _mm_add_epi32(abef, abef_in);
        cdgh = _mm_add_epi32(cdgh, cdgh_in);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

#undef KYR_SHA_TARGET

bool cpu_has_sha_extensions() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
        return false;
    }
    const bool ssse3 = (ecx & bit_SSSE3) != 0;
    const bool sse41 = (ecx & bit_SSE4_1) != 0;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) {
        return false;
    }
    const bool sha = (ebx & (1u << 29)) != 0;
    return ssse3 && sse41 && sha;
}

} // namespace

Sha256Blocks sha256_x86_blocks() {
    return cpu_has_sha_extensions() ? &sha_extensions_blocks : nullptr;
}

} // namespace gu::patch::detail

#else

namespace gu::patch::detail {

Sha256Blocks sha256_x86_blocks() {
    return nullptr;
}

} // namespace gu::patch::detail

#endif
