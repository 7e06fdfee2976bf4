#include "patch/zstd_codec.hpp"

#include "patch/errors.hpp"
#include "support/test_store.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

TEST(ZstdDecompress, GivesExactlyTheExpectedBytesOrAVerifyError) {
    std::string data(100000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i % 7 == 0 ? i * 2654435761u >> 13 : i % 251);
    }
    const std::string frame = kyrtest::zstd_compress(data);
    struct Case {
        const char* name;
        std::string input;
        std::uint64_t expected;
        std::string want; // empty: data
    };
    const Case cases[] = {
        {"whole frame", frame, data.size(), ""},
        {"truncated frame", frame.substr(0, frame.size() - 1), data.size(), "zstd_decompress: Src size is incorrect"},
        {"frame larger than expected", frame, data.size() - 1,
         "zstd_decompress: Destination buffer is too small"},
        {"frame smaller than expected", frame, data.size() + 1,
         "zstd_decompress: size mismatch (expected 100001, got 100000)"},
        {"not a zstd frame", "{\"not\":\"zstd\"}", 14, "zstd_decompress: Unknown frame descriptor"},
        {"trailing garbage after the frame", frame + "junk", data.size(), "zstd_decompress: Src size is incorrect"},
        {"size no buffer can hold", frame, std::numeric_limits<std::uint64_t>::max(),
         "zstd_decompress: expected size too large (18446744073709551615)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            EXPECT_TRUE(gu::patch::zstd_decompress(c.input, c.expected) == data);
            EXPECT_EQ(c.want, "");
        } catch (const gu::patch::VerifyError& e) {
            EXPECT_EQ(e.what(), c.want);
        }
    }
}

} // namespace
