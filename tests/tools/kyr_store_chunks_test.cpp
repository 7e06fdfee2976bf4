// Where kyr-store cuts files into chunks and chunks into packs: within their bounds, and stable, so that a
// new publish shares everything away from a change with the stores before it.

#include "tools/kyr-store/chunker.hpp"
#include "tools/kyr-store/packs.hpp"

#include "support/scratch_folder.hpp"

#include "patch/sha256.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

constexpr std::size_t kMin = kyrstore::kDefaultChunkSizes.min;
constexpr std::size_t kMax = kyrstore::kDefaultChunkSizes.max;

std::string randomBytes(std::size_t size, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(random()); });
    return bytes;
}

// The file is read through a buffer of a few chunks: its cuts must be those of the whole bytes.
TEST(Chunker, LengthsStayWithinTheBoundsWhateverTheReadSize) {
    kyrtest::ScratchFolder scratch;
    const struct {
        const char* name;
        std::string input;
        std::vector<std::size_t> want; // empty: only the bounds are checked
    } cases[] = {
        {"one byte", "x", {1}},
        {"just under the minimum", randomBytes(kMin - 1, 1), {kMin - 1}},
        {"exactly the minimum", randomBytes(kMin, 2), {kMin}},
        {"one past the minimum", randomBytes(kMin + 1, 3), {kMin + 1}},
        {"random 6 MiB", randomBytes(6 << 20, 4), {}},
        {"zeros, no cut point in sight", std::string(3 * kMax + 5, '\0'), {kMax, kMax, kMax, 5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::size_t> lengths = kyrstore::chunk_lengths(c.input);
        for (std::size_t i = 0; i + 1 < lengths.size(); ++i) {
            EXPECT_TRUE(lengths[i] >= kMin && lengths[i] <= kMax) << i << ": " << lengths[i];
        }
        EXPECT_TRUE(c.want.empty() || lengths == c.want);
        kyrtest::write_bytes(scratch / "file", c.input);
        kyrstore::FileChunker chunker(scratch / "file");
        std::vector<std::size_t> streamed;
        for (std::string_view chunk; chunker.next(chunk);) {
            streamed.push_back(chunk.size());
        }
        EXPECT_EQ(streamed, lengths);
    }
}

// The cut points are what lets a new publish share chunks with the stores before it: a change of the gear
// table, the masks or the warm-up passes every other test, yet makes every player download the whole game
// again. These are the cuts of the published format; they may only change with a new store format.
TEST(Chunker, CutsOfAFixedInputAreThoseOfThePublishedFormat) {
    const std::string bytes = randomBytes(1 << 20, 2026);
    std::vector<std::size_t> cuts;
    std::size_t at = 0;
    for (const std::size_t length : kyrstore::chunk_lengths(bytes)) {
        cuts.push_back(at += length);
    }
    EXPECT_EQ(cuts, (std::vector<std::size_t>{53757, 233270, 320110, 400466, 483247, 551458, 620887, 697578, 765789,
                                              857811, 924795, 991548, 1048576}));
}

constexpr std::uint64_t kTarget = 1 << 20;

std::vector<kyrstore::PackedChunk> randomChunks(std::size_t count, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::vector<kyrstore::PackedChunk> chunks(count);
    for (kyrstore::PackedChunk& chunk : chunks) {
        chunk = {gu::patch::sha256_hex(std::to_string(random())), 8000 + random() % 60000};
    }
    return chunks;
}

// Packs as lists of chunk hashes, checked to hold half to twice the target (the last, and a pack of one
// chunk larger than the target, excepted).
std::vector<std::vector<std::string>> checkedPacks(const std::vector<kyrstore::PackedChunk>& chunks) {
    std::vector<std::vector<std::string>> packs;
    std::size_t begin = 0;
    for (const std::size_t end : kyrstore::plan_pack_ends(chunks, kTarget)) {
        std::uint64_t size = 0;
        packs.emplace_back();
        for (; begin < end; ++begin) {
            size += chunks[begin].z;
            packs.back().push_back(chunks[begin].h);
        }
        EXPECT_TRUE(size <= 2 * kTarget || packs.back().size() == 1) << "pack " << packs.size() << ": " << size;
        EXPECT_TRUE(size >= kTarget / 2 || end == chunks.size() || chunks[end].z > kTarget) << packs.size();
    }
    EXPECT_EQ(begin, chunks.size());
    return packs;
}

TEST(PackPlan, PacksHoldHalfToTwiceTheTargetAndMoveOnlyAroundAChange) {
    EXPECT_EQ(checkedPacks({}).size(), 0u);
    EXPECT_EQ(checkedPacks({{"a", 10}, {"b", 3 * kTarget}}).size(), 2u);
    checkedPacks({{"c", 900 << 10}, {"d", 900 << 10}, {"e", 900 << 10}, {"f", 900 << 10}});

    const std::vector<kyrstore::PackedChunk> before = randomChunks(3000, 2);
    std::vector<kyrstore::PackedChunk> after = before;
    const std::vector<kyrstore::PackedChunk> added = randomChunks(3, 3);
    after.insert(after.begin() + 1500, added.begin(), added.end());
    after.erase(after.begin() + 400);
    const auto oldPacks = checkedPacks(before);
    const auto newPacks = checkedPacks(after);
    EXPECT_NEAR(3000 * 38000.0 / oldPacks.size(), kTarget, kTarget / 4) << "packs average about the target";
    const auto kept = std::count_if(newPacks.begin(), newPacks.end(), [&](const auto& pack) {
        return std::find(oldPacks.begin(), oldPacks.end(), pack) != oldPacks.end();
    });
    EXPECT_GE(kept + 5, static_cast<long>(newPacks.size())) << "only the packs around the changes are new";
}

} // namespace
