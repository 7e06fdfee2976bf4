#include "launcher/shell/news_worker.hpp"

#include "support/launcher_harness.hpp"

#include <gtest/gtest.h>

#include <memory>

namespace {

using launcher::NewsResult;

TEST(NewsWorker, PostsOneEmptyRecordThatKeepsNewsLoading) {
    kyrtest::LauncherHarness h;
    launcher::newsWorker(h.queue);

    kyrtest::PostedMessage posted;
    ASSERT_TRUE(h.queue.take(posted));
    EXPECT_EQ(posted.message, launcher::WM_APP_NEWS);
    EXPECT_EQ(h.queue.pending(), 0u);
    std::unique_ptr<NewsResult> record(static_cast<NewsResult*>(posted.payload));
    EXPECT_FALSE(record->hasHeadline);
    EXPECT_FALSE(record->complete);
    EXPECT_EQ(record->headlineA, 0);
    for (int k = 0; k < launcher::kNewsItems; ++k) {
        EXPECT_FALSE(record->present[k]);
    }

    launcher::onNews(h.state, *record);
    EXPECT_TRUE(h.view.headlines.empty());
    EXPECT_TRUE(h.view.newsSlots.empty());
    EXPECT_TRUE(h.view.noNewsMarks.empty()) << "the panel keeps saying that news is loading";
}

TEST(NewsWorker, RefusedPostDeletesTheRecord) {
    kyrtest::QueuePoster queue;
    queue.refusePosts(true);
    launcher::newsWorker(queue); // the sanitized build's leak checker holds this to account
    EXPECT_EQ(queue.postedCount(), 0u);
}

TEST(OnNews, ShowsHeadlineOnlyWithoutASelectedServer) {
    NewsResult record;
    record.hasHeadline = true;
    record.headline = "Season 3";
    record.headlineA = 4;
    record.headlineB = 9;
    for (const char* selected : {"", "alpha"}) {
        SCOPED_TRACE(selected);
        kyrtest::LauncherHarness h;
        h.state.selectedServerId = selected;
        launcher::onNews(h.state, record);
        if (*selected != '\0') {
            EXPECT_TRUE(h.view.headlines.empty()) << "the selected server's headline keeps its place";
            continue;
        }
        ASSERT_EQ(h.view.headlines.size(), 1u);
        EXPECT_EQ(h.view.headlines[0].text, "Season 3");
        EXPECT_EQ(h.view.headlines[0].numberA, 4);
        EXPECT_EQ(h.view.headlines[0].numberB, 9);
        EXPECT_TRUE(h.view.headlines[0].statusOk);
        EXPECT_TRUE(h.view.headlines[0].visible);
    }
}

TEST(OnNews, FillsPresentItemsAndMarksAFinishedEmptyFeed) {
    NewsResult record;
    record.present[1] = true;
    record.column1[1] = "Title";
    record.column2[1] = "Body";
    record.column3[1] = "2026-12-01";
    record.column1[0] = "not present";
    record.complete = true;

    kyrtest::LauncherHarness h;
    launcher::onNews(h.state, record);
    ASSERT_EQ(h.view.newsSlots.size(), 1u);
    EXPECT_EQ(h.view.newsSlots[0].first, 1);
    const launcher::NewsSlot& slot = h.view.newsSlots[0].second;
    EXPECT_EQ(slot.texts[0], "Title");
    EXPECT_EQ(slot.texts[1], "Body");
    EXPECT_EQ(slot.texts[2], "");
    EXPECT_EQ(slot.texts[3], "2026-12-01");
    EXPECT_TRUE(slot.visible);
    EXPECT_TRUE(h.view.noNewsMarks.empty()) << "an item is present";

    NewsResult finishedEmpty;
    finishedEmpty.complete = true;
    launcher::onNews(h.state, finishedEmpty);
    EXPECT_EQ(h.view.noNewsMarks, (std::vector<bool>{true}));
}

} // namespace
