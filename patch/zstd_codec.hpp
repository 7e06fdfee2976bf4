#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace gu::patch {

// One-shot decompression of a zstd object into exactly expected_size bytes. The output buffer is allocated
// once at that size and never grows: a frame holding more fails inside zstd instead of being cut.
// Any zstd error or size difference is a VerifyError.
std::string zstd_decompress(std::string_view data, std::uint64_t expected_size);

// The same, appending the bytes to out (which is unchanged after a failure): a file is assembled from its
// chunks without a copy per chunk.
void zstd_decompress_append(std::string_view data, std::uint64_t expected_size, std::string& out);

} // namespace gu::patch
