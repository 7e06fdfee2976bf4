// The planning hashes a file that would hold one thread long past the others first, and everything else
// in the order given.

#include "patch/hash_order.hpp"

#include <gtest/gtest.h>

namespace {

using gu::patch::hash_order;

TEST(HashOrder, FilesThatWouldHoldOneThreadAloneStartFirstTheRestKeepTheirOrder) {
    constexpr std::uint64_t GiB = 1ull << 30;
    struct Case {
        const char* name;
        std::vector<std::uint64_t> sizes;
        unsigned workers;
        std::vector<std::size_t> want;
    };
    const Case cases[] = {
        {"nothing to hash", {}, 4, {}},
        // 2 threads: big means more than an eighth of the whole.
        {"many small files keep their order",
         {21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10},
         2,
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {"an eighth of the whole is not big, a byte more is",
         {17, 17, 17, 17, 17, 17, 17, 20, 21},
         2,
         {8, 0, 1, 2, 3, 4, 5, 6, 7}},
        {"an archive at the end starts first",
         {10, 10, 10, 10, 10, 10, 10, 10, 10, 600},
         2,
         {9, 0, 1, 2, 3, 4, 5, 6, 7, 8}},
        {"two archives, the bigger first",
         {300, 10, 10, 10, 500, 10, 10, 10, 10, 10},
         4,
         {4, 0, 1, 2, 3, 5, 6, 7, 8, 9}},
        // 4 threads: big means more than a sixteenth of the whole; 100 of 1600 is not.
        {"a sixteenth of the whole is not big with four threads", {100, 100, 1400}, 4, {2, 0, 1}},
        {"files of one size keep their order", {5, 5, 5}, 4, {0, 1, 2}},
        {"one thread hashes in the order given", {10, 600, 20}, 1, {0, 1, 2}},
        {"sizes whose sum passes 64 bits", {1, 0x7fffffffffffffffull, 0x7fffffffffffffffull, 4 * GiB}, 2, {1, 2, 0, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(hash_order(c.sizes, c.workers), c.want);
    }
}

} // namespace
