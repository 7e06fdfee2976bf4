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

TEST(SleepSliced, SleepsInSlicesOfAtMostAQuarterSecond) {
    struct Case {
        std::string name;
        std::uint64_t ms;
        std::vector<std::uint32_t> want;
    };
    const std::vector<Case> cases = {
        {"nothing", 0, {}},
        {"short", 100, {100}},
        {"one slice", 250, {250}},
        {"just over", 251, {250, 1}},
        {"chunk back-off", 1500, {250, 250, 250, 250, 250, 250}},
        {"ragged", 600, {250, 250, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingClock clock;
        EXPECT_TRUE(sleep_sliced(c.ms, {}, clock));
        EXPECT_EQ(clock.slices, c.want);
    }
}

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

TEST(SleepSliced, AlreadyCancelledSleepsNotAtAll) {
    RecordingClock clock;
    EXPECT_FALSE(sleep_sliced(
        2000, [] { return true; }, clock));
    EXPECT_TRUE(clock.slices.empty());
}

TEST(SleepSliced, SystemClockSleepsAtLeastTheTimeAsked) {
    WaitClock& clock = gu::patch::system_wait_clock();
    const std::uint64_t start = clock.now_ms();
    EXPECT_TRUE(sleep_sliced(20, [] { return false; }));
    EXPECT_GE(clock.now_ms() - start, 20u);
}

} // namespace
