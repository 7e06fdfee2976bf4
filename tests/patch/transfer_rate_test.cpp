#include "patch/transfer_rate.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace gu::patch {
namespace {

constexpr std::uint64_t kMB = 1000000;

// A count every 100 ms from `from_ms` to `to_ms`; `seen` gets the figures after each.
void feed(TransferRate& rate, std::uint64_t from_ms, std::uint64_t to_ms, std::uint64_t total,
          const std::function<std::uint64_t(std::uint64_t)>& done_at,
          const std::function<void(const TransferFigures&, std::uint64_t)>& seen = {}) {
    for (std::uint64_t now = from_ms; now <= to_ms; now += 100) {
        rate.sample(now, done_at(now), total);
        if (seen) {
            seen(rate.figures(), now);
        }
    }
}

// No speed before two seconds and some bytes; then a steady 1 MB/s reads as such; a stall brings the speed
// down and stretches the time left; a smaller count or a new total starts over.
TEST(TransferRate, SpeedAndTimeLeftFollowTheLine) {
    const auto steady = [](std::uint64_t now) { return now * 1000; };
    TransferRate rate;
    feed(rate, 0, 1000, 100 * kMB, [](std::uint64_t now) { return now * 10000; });
    EXPECT_FALSE(rate.figures().bytes_per_s) << "a second of a fast line";
    rate = TransferRate();
    feed(rate, 0, 4000, 100 * kMB, [](std::uint64_t now) { return now * 20; });
    EXPECT_FALSE(rate.figures().seconds_left) << "seconds of a trickle";
    rate = TransferRate();
    feed(rate, 0, 10000, 100 * kMB, steady);
    const TransferFigures figures = rate.figures();
    ASSERT_TRUE(figures.bytes_per_s && figures.seconds_left);
    EXPECT_NEAR(*figures.bytes_per_s, 1e6, 1e4);
    EXPECT_NEAR(static_cast<double>(*figures.seconds_left), 90, 2);
    feed(rate, 10100, 30000, 100 * kMB, [](std::uint64_t) { return 10 * kMB; });
    const TransferFigures stalled = rate.figures();
    EXPECT_LT(*stalled.bytes_per_s, 0.01e6);
    EXPECT_TRUE(!stalled.seconds_left || *stalled.seconds_left > *figures.seconds_left);
    rate.sample(30100, 0, 50 * kMB);
    EXPECT_FALSE(rate.figures().bytes_per_s);
}

// A burst (a pack found on disk, a cache answering at once) moves the time left gradually: within any
// second it never moves more than a fifth away from counting down.
TEST(TransferRate, BurstDoesNotMakeTheTimeLeftJump) {
    double shown_a_second_ago = 0;
    double worst = 0;
    TransferRate rate;
    feed(
        rate, 0, 30000, 200 * kMB, [](std::uint64_t now) { return now * 1000 + (now >= 10000 ? 20 * kMB : 0); },
        [&](const TransferFigures& figures, std::uint64_t now) {
            if (figures.seconds_left && now % 1000 == 0) {
                const double shown = static_cast<double>(*figures.seconds_left);
                worst = shown_a_second_ago == 0 ? 0 : std::max(worst, std::abs(shown - shown_a_second_ago + 1) / shown);
                shown_a_second_ago = shown;
            }
        });
    EXPECT_LT(worst, 0.2);
}

TEST(TransferFiguresText, ReadsAsAPlayerReadsIt) {
    const struct {
        TransferFigures figures;
        bool spanish;
        const char* want;
    } cases[] = {
        {{340 * kMB, 1204 * kMB, {}, {}}, false, "340 of 1,204 MB"},
        {{340 * kMB + 999999, 1204 * kMB, 8.44e6, 125}, false, "340 of 1,204 MB, 8.4 MB/s, about 2 min left"},
        {{340 * kMB, 1204 * kMB, 8.44e6, 125}, true, "340 de 1.204 MB, 8,4 MB/s, quedan aprox. 2 min"},
        {{340499, 900000, 850400.0, 7}, false, "340 of 900 KB, 850 KB/s, about 10 s left"},
        {{3490000, 9960000, 999600.0, 43}, false, "3.4 of 10.0 MB, 1.0 MB/s, about 45 s left"},
        {{12345 * kMB, 45678 * kMB, 123.4e6, 5400}, false, "12.3 of 45.7 GB, 123 MB/s, about 1 h 30 min left"},
        {{0, kMB, 1e3, 1}, false, "0.0 of 1.0 MB, 1 KB/s, about 5 s left"},
        {{0, kMB, 1e3, 58}, false, "0.0 of 1.0 MB, 1 KB/s, about 1 min left"},
        {{0, kMB, 1e3, 12 * 3600 + 1900}, true, "0,0 de 1,0 MB, 1 KB/s, quedan aprox. 13 h"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want);
        EXPECT_EQ(transfer_figures_text(c.figures, c.spanish), c.want);
    }
}

} // namespace
} // namespace gu::patch
