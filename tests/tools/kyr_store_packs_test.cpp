#include "tools/kyr-store/packs.hpp"

#include "patch/sha256.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using kyrstore::PackedChunk;
using kyrstore::plan_pack_ends;

constexpr std::uint64_t kTarget = 1 << 20;

std::vector<PackedChunk> random_chunks(std::size_t count, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::vector<PackedChunk> chunks;
    for (std::size_t i = 0; i < count; ++i) {
        chunks.push_back({gu::patch::sha256_hex(std::to_string(random())), 8000 + random() % 60000});
    }
    return chunks;
}

// Packs as lists of chunk hashes, so two plans can be compared by content.
std::vector<std::vector<std::string>> packs_of(const std::vector<PackedChunk>& chunks) {
    std::vector<std::vector<std::string>> packs;
    std::size_t begin = 0;
    for (const std::size_t end : plan_pack_ends(chunks, kTarget)) {
        packs.emplace_back();
        for (std::size_t i = begin; i < end; ++i) {
            packs.back().push_back(chunks[i].h);
        }
        begin = end;
    }
    return packs;
}

TEST(PackPlan, PacksStayNearTheTarget) {
    struct Case {
        const char* name;
        std::vector<PackedChunk> chunks;
    };
    const Case cases[] = {
        {"many ordinary chunks", random_chunks(3000, 1)},
        {"a chunk larger than twice the target", {{std::string(64, 'a'), 10}, {std::string(64, 'b'), 3 * kTarget}}},
        {"one chunk", {{std::string(64, 'c'), 5}}},
        {"none", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::size_t> ends = plan_pack_ends(c.chunks, kTarget);
        std::size_t begin = 0;
        std::uint64_t total = 0;
        for (std::size_t p = 0; p < ends.size(); ++p) {
            ASSERT_GT(ends[p], begin) << "no empty pack";
            std::uint64_t size = 0;
            for (std::size_t i = begin; i < ends[p]; ++i) {
                size += c.chunks[i].z;
            }
            if (ends[p] - begin > 1) {
                EXPECT_LE(size, 2 * kTarget) << "pack " << p;
            }
            if (p + 1 < ends.size() && c.chunks[ends[p]].z <= kTarget) {
                EXPECT_GE(size, kTarget / 2) << "pack " << p;
            }
            total += size;
            begin = ends[p];
        }
        EXPECT_EQ(begin, c.chunks.size());
        if (c.chunks.size() > 1000) {
            const std::uint64_t average = total / ends.size();
            EXPECT_GT(average, kTarget * 3 / 4);
            EXPECT_LT(average, kTarget * 5 / 4);
        }
    }
}

TEST(PackPlan, AChangeRebuildsOnlyThePacksAroundIt) {
    const std::vector<PackedChunk> before = random_chunks(3000, 2);
    std::vector<PackedChunk> after = before;
    const std::vector<PackedChunk> added = random_chunks(3, 3);
    after.insert(after.begin() + 1500, added.begin(), added.end());
    after.erase(after.begin() + 400);
    const auto old_packs = packs_of(before);
    const auto new_packs = packs_of(after);
    std::size_t kept = 0;
    for (const auto& pack : new_packs) {
        kept += std::find(old_packs.begin(), old_packs.end(), pack) != old_packs.end() ? 1 : 0;
    }
    EXPECT_GE(kept + 5, new_packs.size()) << kept << " of " << new_packs.size() << " packs kept";
}

TEST(PackPlan, FirstUseOrderKeepsEachChunkOnce) {
    gu::patch::ManifestFile a{"a", 0, "", {{"h1", 1, 11}, {"h2", 1, 12}, {"h1", 1, 11}}};
    gu::patch::ManifestFile b{"b", 0, "", {{"h3", 1, 13}, {"h2", 1, 12}}};
    gu::patch::ManifestFile empty{"c", 0, "", {}};
    const std::vector<PackedChunk> chunks = kyrstore::chunks_in_first_use_order({a, empty, b});
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].h, "h1");
    EXPECT_EQ(chunks[1].h, "h2");
    EXPECT_EQ(chunks[2].h, "h3");
    EXPECT_EQ(chunks[2].z, 13u);
}

} // namespace
