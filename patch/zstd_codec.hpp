#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace gu::patch {

// One-shot decompression of a zstd object into exactly expected_size bytes. The output buffer is allocated
// once at that size and never grows: a frame holding more fails inside zstd instead of being cut.
// Any zstd error or size difference is a VerifyError.
std::string zstd_decompress(std::string_view data, std::uint64_t expected_size);

} // namespace gu::patch
