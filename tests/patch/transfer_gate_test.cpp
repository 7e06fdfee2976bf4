#include "patch/transfer_gate.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace gu::patch {
namespace {

// Virtual time: each slice of sleep advances the clock at once; `idle` moves it without sleeping.
class VirtualClock : public WaitClock {
public:
    std::uint64_t now_ms() override { return now; }
    void pause_ms(std::uint32_t ms) override {
        EXPECT_LE(ms, kSleepSliceMs);
        now += ms;
    }
    std::uint64_t now = 1000;
};

TEST(TransferGate, HoldsTheBlocksToTheLimit) {
    const struct {
        const char* name;
        std::uint64_t limit; // bytes per second
        std::vector<std::uint64_t> blocks;
        std::uint64_t idle_before_ms; // the line was quiet this long before the first block
        std::uint64_t want_ms;
    } cases[] = {
        {"no limit", 0, {1000000, 1000000}, 0, 0},
        {"small blocks", 100000, std::vector<std::uint64_t>(50, 4000), 0, 2000},
        {"one block of two seconds", 100000, {200000}, 0, 2000},
        {"a quiet line saves up half a second only", 100000, {200000}, 10000, 1500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualClock clock;
        TransferGate gate(c.limit, {}, clock);
        clock.now += c.idle_before_ms;
        const std::uint64_t start = clock.now;
        std::uint64_t sent = 0;
        for (const std::uint64_t block : c.blocks) {
            EXPECT_TRUE(gate.pass(block));
            sent += block;
            // At no moment has more passed than the limit allows since the start (plus what was saved up).
            if (c.limit != 0) {
                EXPECT_LE(sent * 1000, (clock.now - start + c.idle_before_ms) * c.limit + c.limit / 2 * 1000 + c.limit);
            }
        }
        EXPECT_EQ(clock.now - start, c.want_ms);
        EXPECT_EQ(gate.bytes_passed(), sent);
    }
}

TEST(TransferGate, CancelEndsTheWaitWithinASlice) {
    VirtualClock clock;
    bool cancelled = false;
    TransferGate gate(1000, [&] { return cancelled; }, clock);
    EXPECT_TRUE(gate.pass(100)); // a tenth of a second
    cancelled = true;
    const std::uint64_t start = clock.now;
    EXPECT_FALSE(gate.pass(1000000)); // would be a quarter of an hour
    EXPECT_LE(clock.now - start, kSleepSliceMs);
}

} // namespace
} // namespace gu::patch
