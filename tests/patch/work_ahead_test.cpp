// Work started ahead on other threads and consumed in order by the caller.

#include "patch/parallel_for.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

namespace {

using gu::patch::WorkAhead;

TEST(WorkAhead, EveryItemRunsOnceAndIsDoneWhenTheCallerAsksForIt) {
    for (const unsigned workers : {0u, 1u, 2u, 4u}) {
        for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{300}}) {
            SCOPED_TRACE(std::to_string(workers) + " workers, " + std::to_string(count) + " items");
            std::unique_ptr<std::atomic<int>[]> runs(new std::atomic<int>[count + 1]);
            std::vector<int> values(count, 0);
            for (std::size_t i = 0; i < count; ++i) {
                runs[i] = 0;
            }
            {
                WorkAhead work(count, workers, [&](std::size_t i) {
                    ++runs[i];
                    values[i] = static_cast<int>(i) * 3;
                });
                for (std::size_t i = 0; i < count; i += 7) {
                    work.wait_for(i);
                    EXPECT_EQ(values[i], static_cast<int>(i) * 3);
                }
            }
            for (std::size_t i = 0; i < count; ++i) {
                EXPECT_EQ(runs[i].load(), 1) << i;
            }
        }
    }
}

} // namespace
