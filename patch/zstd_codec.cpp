#include "patch/zstd_codec.hpp"

#include "patch/errors.hpp"

#include <zstd.h>

#include <memory>
#include <new>

namespace gu::patch {

namespace {

struct DecompressionContextDeleter {
    void operator()(ZSTD_DCtx* context) const { ZSTD_freeDCtx(context); }
};

// One decompression context per thread, reused: creating one per chunk costs more than a small chunk's
// decompression.
ZSTD_DCtx* thread_context() {
    thread_local std::unique_ptr<ZSTD_DCtx, DecompressionContextDeleter> context(ZSTD_createDCtx());
    if (!context) {
        throw std::bad_alloc();
    }
    return context.get();
}

} // namespace

void zstd_decompress_append(std::string_view data, std::uint64_t expected_size, std::string& out) {
    const std::size_t before = out.size();
    // A 32-bit build cannot hold more than max_size(); refuse before the size is cut to fit size_t.
    if (expected_size > out.max_size() - before) {
        throw VerifyError("zstd_decompress: expected size too large (" + std::to_string(expected_size) + ")");
    }
    out.resize(before + static_cast<std::size_t>(expected_size));
    const std::size_t got = ZSTD_decompressDCtx(thread_context(), out.data() + before,
                                                static_cast<std::size_t>(expected_size), data.data(), data.size());
    if (ZSTD_isError(got) || got != expected_size) {
        out.resize(before);
    }
    if (ZSTD_isError(got)) {
        throw VerifyError(std::string("zstd_decompress: ") + ZSTD_getErrorName(got));
    }
    if (got != expected_size) {
        std::string message = "zstd_decompress: size mismatch (expected " + std::to_string(expected_size);
        message += expected_size == 0 ? ")" : ", got " + std::to_string(got) + ")";
        throw VerifyError(message);
    }
}

std::string zstd_decompress(std::string_view data, std::uint64_t expected_size) {
    std::string out;
    zstd_decompress_append(data, expected_size, out);
    return out;
}

} // namespace gu::patch
