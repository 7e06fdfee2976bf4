#include "patch/transfer_gate.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace gu::patch {
namespace {

// Virtual time: each slice of sleep advances the clock at once.
class VirtualClock : public WaitClock {
public:
    std::uint64_t now_ms() override { return now; }
    void pause_ms(std::uint32_t ms) override { now += ms; }
    std::uint64_t now = 1000;
};

// Blocks at 100 KB/s: the time they take is their size over the limit, whatever their sizes; a quiet line
// saves up half a second, no more; without a limit nothing waits. Every block is counted.
TEST(TransferGate, HoldsTheBlocksToTheLimit) {
    const struct {
        std::uint64_t limit;
        std::vector<std::uint64_t> blocks;
        std::uint64_t quiet_ms; // before the first block
        std::uint64_t want_ms;
    } cases[] = {
        {0, {1000000, 1000000}, 0, 0},
        {100000, std::vector<std::uint64_t>(50, 4000), 0, 2000},
        {100000, {200000}, 0, 2000},
        {100000, {200000}, 10000, 1500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want_ms);
        VirtualClock clock;
        TransferGate gate(c.limit, {}, clock);
        clock.now += c.quiet_ms;
        const std::uint64_t start = clock.now;
        for (const std::uint64_t block : c.blocks) {
            EXPECT_TRUE(gate.pass(block));
        }
        EXPECT_EQ(clock.now - start, c.want_ms);
        EXPECT_EQ(gate.bytes_passed(), c.blocks.size() * c.blocks[0]);
    }
}

} // namespace
} // namespace gu::patch
