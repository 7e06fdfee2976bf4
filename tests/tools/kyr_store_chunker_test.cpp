#include "tools/kyr-store/chunker.hpp"

#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using kyrstore::chunk_lengths;
using kyrstore::kDefaultChunkSizes;

constexpr std::size_t kMin = kDefaultChunkSizes.min;
constexpr std::size_t kMax = kDefaultChunkSizes.max;

std::string random_bytes(std::size_t size, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

std::vector<std::string> split(const std::string& bytes) {
    std::vector<std::string> chunks;
    std::size_t offset = 0;
    for (const std::size_t length : chunk_lengths(bytes)) {
        chunks.push_back(bytes.substr(offset, length));
        offset += length;
    }
    return chunks;
}

// Chunks that two splits share at the front and at the back; what lies between them changed.
struct Overlap {
    std::size_t prefix = 0;
    std::size_t suffix = 0;
};

Overlap overlap(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    Overlap o;
    while (o.prefix < a.size() && o.prefix < b.size() && a[o.prefix] == b[o.prefix]) {
        ++o.prefix;
    }
    while (o.suffix < a.size() - o.prefix && o.suffix < b.size() - o.prefix &&
           a[a.size() - 1 - o.suffix] == b[b.size() - 1 - o.suffix]) {
        ++o.suffix;
    }
    return o;
}

TEST(Chunker, LengthsStayWithinTheBounds) {
    struct Case {
        const char* name;
        std::string input;
        std::vector<std::size_t> want; // empty: only the bounds are checked
    };
    const Case cases[] = {
        {"one byte", "x", {1}},
        {"just under the minimum", random_bytes(kMin - 1, 1), {kMin - 1}},
        {"exactly the minimum", random_bytes(kMin, 2), {kMin}},
        {"one past the minimum", random_bytes(kMin + 1, 3), {kMin + 1}},
        {"random 6 MiB", random_bytes(6 << 20, 4), {}},
        {"zeros, no cut point in sight", std::string(3 * kMax + 5, '\0'), {}},
        {"one repeated byte", std::string(kMax + 1, 'A'), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::size_t> lengths = chunk_lengths(c.input);
        EXPECT_EQ(std::accumulate(lengths.begin(), lengths.end(), std::size_t{0}), c.input.size());
        if (!c.want.empty()) {
            EXPECT_EQ(lengths, c.want);
        }
        for (std::size_t i = 0; i + 1 < lengths.size(); ++i) {
            EXPECT_GE(lengths[i], kMin) << "chunk " << i;
            EXPECT_LE(lengths[i], kMax) << "chunk " << i;
        }
        ASSERT_FALSE(lengths.empty());
        EXPECT_LE(lengths.back(), kMax);
    }
    EXPECT_TRUE(chunk_lengths("").empty()) << "an empty file has no chunks";
}

TEST(Chunker, AverageIsNearTheNominalSize) {
    const std::vector<std::size_t> lengths = chunk_lengths(random_bytes(16 << 20, 5));
    const std::size_t average = (16 << 20) / lengths.size();
    EXPECT_GT(average, 48u * 1024);
    EXPECT_LT(average, 96u * 1024);
}

TEST(Chunker, SameBytesGiveTheSameCutsWhateverTheReadSize) {
    kyrtest::ScratchFolder scratch;
    const std::string bytes = random_bytes(5 * kMax + 12345, 6);
    kyrtest::write_bytes(scratch / "file", bytes);

    kyrstore::FileChunker chunker(scratch / "file");
    std::vector<std::size_t> streamed;
    std::string joined;
    std::string_view chunk;
    while (chunker.next(chunk)) {
        streamed.push_back(chunk.size());
        joined += chunk;
    }
    EXPECT_EQ(streamed, chunk_lengths(bytes));
    EXPECT_EQ(streamed, chunk_lengths(bytes)) << "a second pass cuts the same";
    EXPECT_TRUE(joined == bytes);
    EXPECT_THROW(kyrstore::FileChunker(scratch / "missing"), std::runtime_error);
}

TEST(Chunker, EditsMoveOnlyTheCutsNextToThem) {
    const std::string original = random_bytes(8 << 20, 7);
    const std::vector<std::string> before = split(original);
    ASSERT_GT(before.size(), 60u);

    struct Case {
        const char* name;
        std::string edited;
        // The edited chunk, its neighbour when the edit crosses a cut, and one more while the cut points
        // fall back into step (a cut closer than the minimum to the previous one is skipped).
        std::size_t max_changed_before; // chunks of the original that are gone
        std::size_t max_changed_after;  // chunks of the edit that are new
    };
    std::string inserted = original;
    inserted.insert(original.size() / 2, random_bytes(100, 8));
    std::string removed = original;
    removed.erase(original.size() / 3, 5000);
    std::string overwritten = original;
    overwritten.replace(original.size() / 4, 10, "0123456789");
    const Case cases[] = {
        {"100 bytes inserted in the middle", inserted, 3, 3},
        {"5000 bytes removed", removed, 3, 3},
        {"10 bytes overwritten", overwritten, 3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::string> after = split(c.edited);
        const Overlap same = overlap(before, after);
        EXPECT_GT(same.prefix, 10u);
        EXPECT_GT(same.suffix, 10u);
        EXPECT_LE(before.size() - same.prefix - same.suffix, c.max_changed_before);
        EXPECT_LE(after.size() - same.prefix - same.suffix, c.max_changed_after);
    }
}

TEST(Chunker, AppendedDataKeepsEveryChunkButTheLast) {
    const std::string original = random_bytes(4 << 20, 9);
    const std::vector<std::string> before = split(original);
    const std::vector<std::string> after = split(original + random_bytes(300000, 10));
    ASSERT_GT(after.size(), before.size());
    for (std::size_t i = 0; i + 1 < before.size(); ++i) {
        EXPECT_TRUE(before[i] == after[i]) << "chunk " << i;
    }
}

} // namespace

// The cut points are what lets a new publish share chunks with the stores before it: a change of the gear
// table, the masks or the warm-up passes every other test, yet makes every player download the whole game
// again. These are the cuts of the published format; they may only change with a new store format.
TEST(Chunker, CutsOfAFixedInputAreThoseOfThePublishedFormat) {
    const std::string bytes = random_bytes(1 << 20, 2026);
    std::vector<std::size_t> cuts;
    std::size_t at = 0;
    for (const std::size_t length : chunk_lengths(bytes)) {
        cuts.push_back(at += length);
    }
    EXPECT_EQ(cuts, (std::vector<std::size_t>{53757, 233270, 320110, 400466, 483247, 551458, 620887, 697578, 765789,
                                              857811, 924795, 991548, 1048576}));
}
