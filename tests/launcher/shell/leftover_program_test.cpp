// The previous launcher may still be ending when the new one starts: its file is deleted on a later try.

#include "launcher/shell/leftover_program.hpp"

#include <gtest/gtest.h>

namespace {

TEST(LeftoverProgram, DeletionIsTriedAgainUntilItWorksOrTheTriesAreUsedUp) {
    const struct {
        const char* name;
        int failures; // tries that fail before one succeeds
        int attempts;
        bool want;
        int wantTries;
    } cases[] = {
        {"gone at once", 0, 10, true, 1},
        {"old launcher still ending", 3, 10, true, 4},
        {"gone at the last try", 9, 10, true, 10},
        {"still running", 50, 10, false, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int tries = 0;
        int pauses = 0;
        const bool removed =
            launcher::removeWithRetries([&] { return ++tries > c.failures; }, [&] { ++pauses; }, c.attempts);
        EXPECT_EQ(removed, c.want);
        EXPECT_EQ(tries, c.wantTries);
        EXPECT_EQ(pauses, c.wantTries - 1) << "a pause between two tries, none after the last";
    }
}

} // namespace
