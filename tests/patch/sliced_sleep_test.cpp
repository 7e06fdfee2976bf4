#include "patch/sliced_sleep.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using gu::patch::sleep_sliced;
using gu::patch::WaitClock;

// Virtual time: every slice is recorded and advances the clock at once.
class RecordingClock : public WaitClock {
public:
    std::uint64_t now_ms() override { return now; }
    void pause_ms(std::uint32_t ms) override {
        slices.push_back(ms);
        now += ms;
    }

    std::uint64_t now = 0;
    std::vector<std::uint32_t> slices;
};

TEST(SleepSliced, CancelIsPolledBeforeEverySliceAndEndsTheSleep) {
    RecordingClock clock;
    int polls = 0;
    const auto cancel = [&] {
        ++polls;
        return clock.now >= 500;
    };
    EXPECT_FALSE(sleep_sliced(60000, cancel, clock));
    EXPECT_EQ(clock.slices, (std::vector<std::uint32_t>{250, 250}));
    EXPECT_EQ(polls, 3);
}

} // namespace
