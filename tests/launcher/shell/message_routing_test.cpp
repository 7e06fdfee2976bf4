#include "launcher/shell/message_routing.hpp"

#include "launcher/shell/news_worker.hpp"
#include "launcher/shell/update_progress.hpp"
#include "support/launcher_harness.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace launcher {
namespace {

int updateResultsSeen = 0;

void countUpdateDone(LauncherState&, const UpdateResult&) {
    ++updateResultsSeen;
}

// Each notification reaches its handler exactly once, whether the main loop routes it (and marks it so
// that the window procedure leaves it alone) or only the window procedure sees it (a modal loop).
TEST(MessageRouting, EachNotificationIsHandledOnceOnEitherPath) {
    const struct {
        unsigned message;
        void* (*record)();
    } notifications[] = {
        {WM_APP_UPDATE_PROGRESS, [] { return static_cast<void*>(nullptr); }},
        {WM_APP_UPDATE_DONE, [] { return static_cast<void*>(new UpdateResult); }},
        {WM_APP_NEWS, [] { return static_cast<void*>(new NewsResult{}); }},
        {WM_APP_SERVERS_DONE, [] { return static_cast<void*>(new ServerListResult); }},
        {WM_APP_PROBE_DONE, [] { return static_cast<void*>(nullptr); }},
    };
    for (bool mainLoop : {true, false}) {
        updateResultsSeen = 0;
        kyrtest::LauncherHarness h;
        h.state.onUpdateDone = countUpdateDone;
        for (const auto& n : notifications) {
            SCOPED_TRACE(n.message);
            const auto lParam = reinterpret_cast<std::intptr_t>(n.record());
            std::uintptr_t wParam = 0;
            if (mainLoop) {
                EXPECT_TRUE(routeFromMessageLoop(h.state, n.message, wParam, lParam));
                EXPECT_EQ(wParam, kRoutedByMessageLoop);
            }
            EXPECT_TRUE(routeFromWindowProcedure(h.state, n.message, wParam, lParam));
        }
        const std::size_t counts[] = {h.view.progress.size(), static_cast<std::size_t>(updateResultsSeen),
                                      h.view.serverListStatuses.size(), h.view.rowSets.size()};
        EXPECT_EQ(std::vector<std::size_t>(std::begin(counts), std::end(counts)), std::vector<std::size_t>(4, 1u));
    }
    kyrtest::LauncherHarness h;
    std::uintptr_t wParam = 9;
    EXPECT_FALSE(routeFromMessageLoop(h.state, 0x0010u, wParam, 0));
    EXPECT_EQ(wParam, 9u);
    EXPECT_FALSE(routeFromWindowProcedure(h.state, 0x8006u, 0, 0));
    routeNotification(h.state, WM_APP_UPDATE_DONE, reinterpret_cast<std::intptr_t>(new UpdateResult));
    h.queue.refusePosts(true);
    // The sanitized build's leak checker holds the refused and the unhandled records to account.
    EXPECT_FALSE(postRecord(h.queue, WM_APP_SERVERS_DONE, std::make_unique<ServerListResult>()));
    newsWorker(h.queue);
}

TEST(UpdateProgress, TheStepShowsTheLatestValuesAndNeverAHalfWrittenPair) {
    kyrtest::LauncherHarness h;
    const ProgressChannel channel = progressChannelOf(h.state);
    reportProgressCounts(channel, 1, 10);
    reportProgressStatus(channel, "Installing...");
    reportProgressSource(channel, 1);
    reportProgressCounts(channel, 7, 10);
    h.pump();
    using Pair = std::pair<std::uint64_t, std::uint64_t>;
    EXPECT_EQ(h.view.progress, std::vector<Pair>(4, {7, 10}));
    EXPECT_EQ(h.view.sources, std::vector<int>(4, 1));
    EXPECT_EQ(h.view.updateStatuses, std::vector<kyrtest::Status>(4, {"Installing...", false}));

    h.view.progress.clear();
    std::thread worker([&] {
        for (std::uint64_t i = 1; i <= 2000; ++i) {
            reportProgressCounts(channel, i, 2 * i);
        }
    });
    while (h.queue.postedCount() < 2004) {
        h.pump();
    }
    worker.join();
    h.pump();
    for (const auto& pair : h.view.progress) {
        ASSERT_EQ(pair.second, 2 * pair.first);
    }
    EXPECT_EQ(h.view.progress.back(), (Pair{2000, 4000}));
}

TEST(OnNews, FillsPresentItemsShowsTheHeadlineOnlyWithoutASelectionAndMarksAnEmptyFeed) {
    kyrtest::LauncherHarness h;
    newsWorker(h.queue);
    EXPECT_EQ(h.pump(), 1);
    EXPECT_TRUE(h.view.headlines.empty() && h.view.newsSlots.empty() && h.view.noNewsMarks.empty())
        << "the worker's empty record keeps news loading";

    NewsResult record;
    record.hasHeadline = true;
    record.headline = "Season 3";
    record.present[1] = true;
    record.column1[1] = "Title";
    record.column3[1] = "2026-12-01";
    record.column1[0] = "not present";
    record.complete = true;
    onNews(h.state, record);
    h.state.selectedServerId = "alpha";
    onNews(h.state, record);
    ASSERT_EQ(h.view.headlines.size(), 1u) << "the selected server's headline keeps its place";
    EXPECT_EQ(h.view.headlines[0].text, "Season 3");
    ASSERT_EQ(h.view.newsSlots.size(), 2u);
    EXPECT_EQ(h.view.newsSlots[0].first, 1);
    EXPECT_EQ(h.view.newsSlots[0].second.texts[0] + "|" + h.view.newsSlots[0].second.texts[3], "Title|2026-12-01");
    EXPECT_TRUE(h.view.noNewsMarks.empty()) << "an item is present";
    onNews(h.state, NewsResult{{}, {}, 0, 0, {}, {}, {}, {}, true});
    EXPECT_EQ(h.view.noNewsMarks, (std::vector<bool>{true}));
}

} // namespace
} // namespace launcher
