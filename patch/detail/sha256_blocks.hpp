#pragma once
// The SHA-256 compression functions behind gu::patch::Sha256. Internal: tests and benchmarks use them to
// pin one implementation and compare the two.

#include "patch/sha256.hpp"

#include <cstddef>
#include <cstdint>

namespace gu::patch::detail {

// Plain C++; runs everywhere.
void sha256_portable_blocks(std::uint32_t* state, const std::uint8_t* data, std::size_t blocks);

// The x86 SHA extensions path, or nullptr when this CPU (or this build's target) lacks them.
Sha256Blocks sha256_x86_blocks();

// What Sha256 uses by default: the x86 path when available, else the portable one. Decided once.
Sha256Blocks sha256_best_blocks();

} // namespace gu::patch::detail
