#pragma once
// Scalars of Ed25519: reduction modulo the group order L = 2^252 + 27742317777372353535851937790883648493,
// and the signed sliding-window digits that drive the double-scalar multiplication.

#include <array>
#include <cstddef>
#include <cstdint>

namespace gu::patch::detail {

using Scalar = std::array<std::uint8_t, 32>; // little-endian

// A little-endian number of any length (64 bytes for a SHA-512 digest) modulo L.
Scalar reduce_mod_l(const std::uint8_t* bytes, std::size_t size);

// Width-w non-adjacent form: scalar = sum of digits[i] * 2^i, every non-zero digit odd with
// |digit| < 2^(w - 1), and at least w - 1 zeros after each non-zero digit. Requires a scalar below 2^253
// (every digit then fits) and 2 <= w <= 8.
std::array<std::int8_t, 256> signed_window_digits(const Scalar& scalar, int w);

} // namespace gu::patch::detail
