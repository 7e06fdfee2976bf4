#include "launcher/shell/update_progress.hpp"

#include "support/launcher_harness.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

namespace {

TEST(UpdateProgress, CallbacksStoreUnderTheLockAndPostWithoutRecord) {
    kyrtest::LauncherHarness h;
    const launcher::ProgressChannel channel = launcher::progressChannelOf(h.state);
    launcher::reportProgressCounts(channel, 5, 20);
    launcher::reportProgressStatus(channel, "Downloading game data...");
    launcher::reportProgressSource(channel, 1);

    EXPECT_EQ(h.state.updateProgress.done, 5u);
    EXPECT_EQ(h.state.updateProgress.total, 20u);
    EXPECT_EQ(h.state.updateProgress.statusText, "Downloading game data...");
    EXPECT_EQ(h.state.updateProgress.source, 1);
    kyrtest::PostedMessage posted;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(h.queue.take(posted));
        EXPECT_EQ(posted.message, launcher::WM_APP_UPDATE_PROGRESS);
        EXPECT_EQ(posted.payload, nullptr);
    }

    launcher::reportProgressStatus(channel, nullptr);
    EXPECT_EQ(h.state.updateProgress.statusText, "");
}

TEST(UpdateProgress, StepShowsTheLatestValuesForEachOfABurst) {
    kyrtest::LauncherHarness h;
    const launcher::ProgressChannel channel = launcher::progressChannelOf(h.state);
    launcher::reportProgressCounts(channel, 1, 10);
    launcher::reportProgressStatus(channel, "Installing...");
    launcher::reportProgressCounts(channel, 7, 10);
    h.pump();

    using Pair = std::pair<std::uint64_t, std::uint64_t>;
    EXPECT_EQ(h.view.progress, (std::vector<Pair>{{7, 10}, {7, 10}, {7, 10}}));
    EXPECT_EQ(h.view.sources, (std::vector<int>{-1, -1, -1}));
    EXPECT_EQ(h.view.updateStatuses, std::vector<kyrtest::Status>(3, {"Installing...", false}));
    EXPECT_EQ(h.state.updateProgress.statusText, "Installing...") << "the step does not clear the text";
}

TEST(UpdateProgress, EmptyStatusLeavesTheWindowsStatusAlone) {
    kyrtest::LauncherHarness h;
    launcher::reportProgressCounts(launcher::progressChannelOf(h.state), 0, 0);
    h.pump();
    EXPECT_EQ(h.view.progress.size(), 1u);
    EXPECT_TRUE(h.view.updateStatuses.empty());
}

TEST(UpdateProgress, StepNeverSeesAHalfWrittenPair) {
    kyrtest::LauncherHarness h;
    const launcher::ProgressChannel channel = launcher::progressChannelOf(h.state);
    std::thread worker([&] {
        for (std::uint64_t i = 1; i <= 2000; ++i) {
            launcher::reportProgressCounts(channel, i, 2 * i);
        }
    });
    while (h.queue.postedCount() < 2000) {
        h.pump();
    }
    worker.join();
    h.pump();
    for (const auto& pair : h.view.progress) {
        ASSERT_EQ(pair.second, 2 * pair.first);
    }
    EXPECT_EQ(h.view.progress.back(), (std::pair<std::uint64_t, std::uint64_t>{2000, 4000}));
}

} // namespace
