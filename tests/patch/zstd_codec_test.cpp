#include "patch/zstd_codec.hpp"

#include "patch/errors.hpp"

#include <gtest/gtest.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

using gu::patch::VerifyError;
using gu::patch::zstd_decompress;

std::string compress(const std::string& data) {
    std::string out(ZSTD_compressBound(data.size()), '\0');
    const std::size_t size = ZSTD_compress(out.data(), out.size(), data.data(), data.size(), 3);
    EXPECT_FALSE(ZSTD_isError(size));
    out.resize(size);
    return out;
}

// Varied but compressible bytes, every byte value included.
std::string sample(std::size_t size) {
    std::string data(size, '\0');
    std::uint32_t x = 12345;
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        data[i] = static_cast<char>(i % 7 == 0 ? (x >> 16) : i % 251);
    }
    return data;
}

std::string error_text(ZSTD_ErrorCode code) {
    return std::string("zstd_decompress: ") + ZSTD_getErrorString(code);
}

TEST(ZstdDecompress, RestoresTheExactBytes) {
    struct Case {
        const char* name;
        std::string data;
    };
    const Case cases[] = {
        {"empty chunk", ""},
        {"one byte", "x"},
        {"embedded zero bytes", std::string("a\0b\0\0c", 6)},
        {"typical chunk", sample(64 * 1024)},
        {"large chunk", sample(3 * 1024 * 1024 + 17)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string got = zstd_decompress(compress(c.data), c.data.size());
        EXPECT_EQ(got.size(), c.data.size());
        EXPECT_TRUE(got == c.data);
    }
}

TEST(ZstdDecompress, RejectsBadFramesAndWrongSizes) {
    const std::string data = sample(1000);
    const std::string frame = compress(data);
    struct Case {
        const char* name;
        std::string input;
        std::uint64_t expected;
        std::string want;
    };
    const Case cases[] = {
        {"truncated frame", frame.substr(0, frame.size() - 1), 1000, error_text(ZSTD_error_srcSize_wrong)},
        {"frame larger than expected fails inside zstd", frame, 999, error_text(ZSTD_error_dstSize_tooSmall)},
        {"frame smaller than expected", frame, 1001, "zstd_decompress: size mismatch (expected 1001, got 1000)"},
        {"expected 0, frame holds bytes", frame, 0, error_text(ZSTD_error_dstSize_tooSmall)},
        {"not a zstd frame", "{\"not\":\"zstd\"}", 14, error_text(ZSTD_error_prefix_unknown)},
        {"empty input, bytes expected", "", 10, "zstd_decompress: size mismatch (expected 10, got 0)"},
        {"trailing garbage after the frame", frame + "junk", 1000, error_text(ZSTD_error_srcSize_wrong)},
        {"size no buffer can hold", frame, std::numeric_limits<std::uint64_t>::max(),
         "zstd_decompress: expected size too large (18446744073709551615)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            zstd_decompress(c.input, c.expected);
            ADD_FAILURE() << "no error";
        } catch (const VerifyError& e) {
            EXPECT_EQ(e.what(), c.want);
        }
    }
}

} // namespace
