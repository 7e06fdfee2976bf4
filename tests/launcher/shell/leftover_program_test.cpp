// The previous launcher may still be ending when the new one starts: its file is deleted on a later try.

#include "launcher/shell/leftover_program.hpp"

#include <gtest/gtest.h>

namespace {

TEST(LeftoverProgram, DeletionIsTriedAgainUntilItWorksOrTheTriesAreUsedUp) {
    const struct {
        int failures, attempts;
        bool want;
        int wantTries;
    } cases[] = {{0, 10, true, 1}, {9, 10, true, 10}, {50, 10, false, 10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failures);
        int tries = 0, pauses = 0;
        EXPECT_EQ(launcher::removeWithRetries([&] { return ++tries > c.failures; }, [&] { ++pauses; }, c.attempts),
                  c.want);
        EXPECT_EQ(tries, c.wantTries);
        EXPECT_EQ(pauses, c.wantTries - 1) << "a pause between two tries, none after the last";
    }
}

} // namespace
