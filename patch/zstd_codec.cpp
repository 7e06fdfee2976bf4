#include "patch/zstd_codec.hpp"

#include "patch/errors.hpp"

#include <zstd.h>

namespace gu::patch {

std::string zstd_decompress(std::string_view data, std::uint64_t expected_size) {
    std::string out;
    // A 32-bit build cannot hold more than max_size(); refuse before the size is cut to fit size_t.
    if (expected_size > out.max_size()) {
        throw VerifyError("zstd_decompress: expected size too large (" + std::to_string(expected_size) + ")");
    }
    out.resize(static_cast<std::size_t>(expected_size));
    const std::size_t got = ZSTD_decompress(out.data(), out.size(), data.data(), data.size());
    if (ZSTD_isError(got)) {
        throw VerifyError(std::string("zstd_decompress: ") + ZSTD_getErrorName(got));
    }
    if (got != expected_size) {
        std::string message = "zstd_decompress: size mismatch (expected " + std::to_string(expected_size);
        message += expected_size == 0 ? ")" : ", got " + std::to_string(got) + ")";
        throw VerifyError(message);
    }
    return out;
}

} // namespace gu::patch
