// Work started ahead in a given order: each item runs once, and waiting for one returns only once it ran.

#include "patch/parallel_for.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

namespace {

using gu::patch::WorkAhead;

TEST(WorkAhead, AloneItRunsTheItemsInTheirOrderUntilTheOneWaitedFor) {
    std::vector<std::size_t> ran;
    WorkAhead work({2, 0, 1}, 1, [&](std::size_t i) { ran.push_back(i); });
    work.wait_for(0);
    EXPECT_EQ(ran, (std::vector<std::size_t>{2, 0}));
    work.wait_for(2);
    EXPECT_EQ(ran, (std::vector<std::size_t>{2, 0}));
    work.wait_for(1);
    EXPECT_EQ(ran, (std::vector<std::size_t>{2, 0, 1}));
}

TEST(WorkAhead, WithThreadsEachItemRunsOnceAndIsDoneWhenItsWaitReturns) {
    constexpr std::size_t kItems = 300;
    std::vector<std::size_t> order;
    for (std::size_t i = kItems; i-- > 0;) {
        order.push_back(i);
    }
    std::vector<std::atomic<int>> runs(kItems);
    {
        WorkAhead work(order, 3, [&](std::size_t i) { ++runs[i]; });
        for (std::size_t i = 0; i < kItems; ++i) {
            work.wait_for(i);
            ASSERT_EQ(runs[i], 1) << i;
        }
    }
    for (std::size_t i = 0; i < kItems; ++i) {
        EXPECT_EQ(runs[i], 1) << i;
    }
}

} // namespace
