#include "patch/transfer_rate.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace gu::patch {
namespace {

constexpr std::uint64_t kMB = 1000000;

// Feeds a count every 100 ms from `from_ms` until `to_ms`; done_at gives the count at each moment.
void feed(TransferRate& rate, std::uint64_t from_ms, std::uint64_t to_ms, std::uint64_t total,
          const std::function<std::uint64_t(std::uint64_t)>& done_at,
          const std::function<void(const TransferFigures&, std::uint64_t)>& after = {}) {
    for (std::uint64_t now = from_ms; now <= to_ms; now += 100) {
        rate.sample(now, done_at(now), total);
        if (after) {
            after(rate.figures(), now);
        }
    }
}

TEST(TransferRate, NothingIsGuessedBeforeSecondsAndBytes) {
    const struct {
        const char* name;
        std::uint64_t bytes_per_s;
        std::uint64_t until_ms;
        bool known;
    } cases[] = {
        {"a second of a fast line", 10 * kMB, 1000, false},
        {"seconds of a trickle", 20000, 4000, false},
        {"seconds of a steady line", kMB, 2500, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TransferRate rate;
        feed(rate, 0, c.until_ms, 100 * kMB, [&](std::uint64_t now) { return now * c.bytes_per_s / 1000; });
        const TransferFigures figures = rate.figures();
        EXPECT_EQ(figures.done, c.until_ms * c.bytes_per_s / 1000);
        EXPECT_EQ(figures.bytes_per_s.has_value(), c.known);
        EXPECT_EQ(figures.seconds_left.has_value(), c.known);
    }
}

TEST(TransferRate, SteadyLineGivesItsSpeedAndTimeLeft) {
    TransferRate rate;
    feed(rate, 0, 10000, 100 * kMB, [](std::uint64_t now) { return now * 1000; }); // 1 MB/s
    const TransferFigures figures = rate.figures();
    ASSERT_TRUE(figures.bytes_per_s && figures.seconds_left);
    EXPECT_NEAR(*figures.bytes_per_s, 1e6, 1e4);
    EXPECT_NEAR(static_cast<double>(*figures.seconds_left), 90, 2);
}

TEST(TransferRate, StallSlowsTheSpeedAndStretchesTheTimeLeft) {
    TransferRate rate;
    feed(rate, 0, 10000, 100 * kMB, [](std::uint64_t now) { return now * 1000; });
    const std::uint64_t before = *rate.figures().seconds_left;
    feed(rate, 10100, 30000, 100 * kMB, [](std::uint64_t) { return 10 * kMB; });
    const TransferFigures stalled = rate.figures();
    ASSERT_TRUE(stalled.bytes_per_s);
    EXPECT_LT(*stalled.bytes_per_s, 0.01e6);
    EXPECT_TRUE(!stalled.seconds_left || *stalled.seconds_left > before);
}

// A burst (a pack found on disk, a cache answering at once) moves the time left gradually: within any
// second it never moves more than a fifth away from counting down.
TEST(TransferRate, BurstDoesNotMakeTheTimeLeftJump) {
    TransferRate rate;
    const auto done_at = [](std::uint64_t now) { return now * 1000 + (now >= 10000 ? 20 * kMB : 0); };
    std::uint64_t shown_a_second_ago = 0;
    std::uint64_t a_second_ago = 0;
    double worst = 0;
    feed(rate, 0, 30000, 200 * kMB, done_at, [&](const TransferFigures& figures, std::uint64_t now) {
        if (!figures.seconds_left || now % 1000 != 0) {
            return;
        }
        if (a_second_ago != 0) {
            const double counted_down = static_cast<double>(shown_a_second_ago) - 1;
            worst = std::max(worst, std::abs(static_cast<double>(*figures.seconds_left) - counted_down) / counted_down);
        }
        shown_a_second_ago = *figures.seconds_left;
        a_second_ago = now;
    });
    EXPECT_LT(worst, 0.2);
}

TEST(TransferRate, NewTransferStartsOver) {
    TransferRate rate;
    feed(rate, 0, 5000, 100 * kMB, [](std::uint64_t now) { return now * 1000; });
    rate.sample(5100, 0, 50 * kMB);
    const TransferFigures figures = rate.figures();
    EXPECT_EQ(figures.total, 50 * kMB);
    EXPECT_FALSE(figures.bytes_per_s);
}

TEST(TransferFiguresText, ReadsAsAPlayerReadsIt) {
    const struct {
        const char* name;
        TransferFigures figures;
        bool spanish;
        const char* want;
    } cases[] = {
        {"sizes only", {340 * kMB, 1204 * kMB, {}, {}}, false, "340 of 1,204 MB"},
        {"all figures", {340 * kMB + 999999, 1204 * kMB, 8.44e6, 125}, false, "340 of 1,204 MB, 8.4 MB/s, about 2 min left"},
        {"spanish", {340 * kMB, 1204 * kMB, 8.44e6, 125}, true, "340 de 1.204 MB, 8,4 MB/s, quedan aprox. 2 min"},
        {"kilobytes", {340499, 900000, 850400.0, 7}, false, "340 of 900 KB, 850 KB/s, about 10 s left"},
        {"small megabytes", {3490000, 9960000, 999600.0, 43}, false, "3.4 of 10.0 MB, 1.0 MB/s, about 45 s left"},
        {"gigabytes", {12345 * kMB, 45678 * kMB, 123.4e6, 5400}, false, "12.3 of 45.7 GB, 123 MB/s, about 1 h 30 min left"},
        {"spanish gigabytes", {12345 * kMB, 45678 * kMB, 12.34e6, 3601}, true,
         "12,3 de 45,7 GB, 12,3 MB/s, quedan aprox. 1 h"},
        {"seconds round up", {0, kMB, 1e3, 1}, false, "0.0 of 1.0 MB, 1 KB/s, about 5 s left"},
        {"a minute", {0, kMB, 1e3, 58}, false, "0.0 of 1.0 MB, 1 KB/s, about 1 min left"},
        {"minutes round", {0, kMB, 1e3, 89}, false, "0.0 of 1.0 MB, 1 KB/s, about 1 min left"},
        {"last minutes", {0, kMB, 1e3, 3569}, false, "0.0 of 1.0 MB, 1 KB/s, about 59 min left"},
        {"many hours", {0, kMB, 1e3, 12 * 3600 + 1900}, false, "0.0 of 1.0 MB, 1 KB/s, about 13 h left"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(transfer_figures_text(c.figures, c.spanish), c.want);
    }
}

} // namespace
} // namespace gu::patch
