// zstd_decompress on arbitrary objects and expected sizes, and on real frames of arbitrary bytes. A
// VerifyError is the only answer to a bad object, and a success gives exactly the expected size; a real
// frame gives its bytes back at their own size and is refused at any other size (one more, one less).

#include "fuzz/fuzz_support.hpp"
#include "patch/errors.hpp"
#include "patch/zstd_codec.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <zstd.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace {

// Chunks are at most 256 KiB; a larger bound only makes the fuzzer allocate more.
constexpr std::uint64_t kMaxExpected = 1 << 20;

std::optional<std::string> decompress(const std::string& object, std::uint64_t expected) {
    try {
        std::string bytes = gu::patch::zstd_decompress(object, expected);
        kyrfuzz::require(bytes.size() == expected);
        return bytes;
    } catch (const gu::patch::VerifyError&) {
        return std::nullopt;
    }
}

std::string compress(const std::string& bytes, int level) {
    std::string frame(ZSTD_compressBound(bytes.size()), '\0');
    const std::size_t size = ZSTD_compress(frame.data(), frame.size(), bytes.data(), bytes.size(), level);
    kyrfuzz::require(!ZSTD_isError(size));
    frame.resize(size);
    return frame;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool realFrame = input.ConsumeBool();
    if (!realFrame) {
        const std::uint64_t expected = input.ConsumeIntegralInRange<std::uint64_t>(0, kMaxExpected);
        decompress(input.ConsumeRemainingBytesAsString(), expected);
        return 0;
    }
    const int level = input.ConsumeIntegralInRange<int>(1, 5);
    const std::string bytes = input.ConsumeRemainingBytesAsString();
    const std::string frame = compress(bytes, level);
    const std::optional<std::string> back = decompress(frame, bytes.size());
    kyrfuzz::require(back && *back == bytes);
    kyrfuzz::require(!decompress(frame, bytes.size() + 1));
    if (!bytes.empty()) {
        kyrfuzz::require(!decompress(frame, bytes.size() - 1));
    }
    return 0;
}
