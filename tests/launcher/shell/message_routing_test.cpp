#include "launcher/shell/message_routing.hpp"

#include "support/launcher_harness.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using launcher::kRoutedByMessageLoop;

int updateResultsSeen = 0;
std::string lastUpdateMessage;

void recordUpdateDone(launcher::LauncherState&, const launcher::UpdateResult& result) {
    ++updateResultsSeen;
    lastUpdateMessage = result.message;
}

struct Notification {
    const char* name;
    unsigned message;
    std::function<void*()> makeRecord;
    std::function<std::size_t(const kyrtest::LauncherHarness&)> handled; // how often its handler ran
};

std::vector<Notification> notifications() {
    return {
        {"progress", launcher::WM_APP_UPDATE_PROGRESS, [] { return nullptr; },
         [](const kyrtest::LauncherHarness& h) { return h.view.progress.size(); }},
        {"update done", launcher::WM_APP_UPDATE_DONE,
         [] {
             auto* result = new launcher::UpdateResult;
             result->message = "engine said no";
             return result;
         },
         [](const kyrtest::LauncherHarness&) { return static_cast<std::size_t>(updateResultsSeen); }},
        {"news", launcher::WM_APP_NEWS,
         [] {
             auto* record = new launcher::NewsResult;
             record->complete = true;
             return record;
         },
         [](const kyrtest::LauncherHarness& h) { return h.view.noNewsMarks.size(); }},
        {"servers done", launcher::WM_APP_SERVERS_DONE,
         [] {
             auto* result = new launcher::ServerListResult;
             result->error = "nothing";
             return result;
         },
         [](const kyrtest::LauncherHarness& h) { return h.view.serverListStatuses.size(); }},
        {"probe done", launcher::WM_APP_PROBE_DONE, [] { return nullptr; },
         [](const kyrtest::LauncherHarness& h) { return h.view.rowSets.size(); }},
    };
}

std::intptr_t asLParam(void* record) {
    return reinterpret_cast<std::intptr_t>(record);
}

TEST(MessageRouting, MainLoopRoutesEachNotificationOnceAndMarksIt) {
    for (const Notification& n : notifications()) {
        SCOPED_TRACE(n.name);
        updateResultsSeen = 0;
        kyrtest::LauncherHarness h;
        h.state.onUpdateDone = recordUpdateDone;
        const std::intptr_t lParam = asLParam(n.makeRecord());

        std::uintptr_t wParam = 0;
        EXPECT_TRUE(launcher::routeFromMessageLoop(h.state, n.message, wParam, lParam));
        EXPECT_EQ(wParam, kRoutedByMessageLoop);
        // Dispatch then reaches the window procedure, which must leave it alone (the record is gone).
        EXPECT_TRUE(launcher::routeFromWindowProcedure(h.state, n.message, wParam, lParam));
        EXPECT_EQ(n.handled(h), 1u);
    }
}

TEST(MessageRouting, WindowProcedureRoutesWhatAModalLoopDispatched) {
    for (const Notification& n : notifications()) {
        SCOPED_TRACE(n.name);
        updateResultsSeen = 0;
        kyrtest::LauncherHarness h;
        h.state.onUpdateDone = recordUpdateDone;
        EXPECT_TRUE(launcher::routeFromWindowProcedure(h.state, n.message, 0, asLParam(n.makeRecord())));
        EXPECT_EQ(n.handled(h), 1u);
    }
}

TEST(MessageRouting, OtherMessagesPassUntouched) {
    kyrtest::LauncherHarness h;
    for (unsigned message : {0x0010u /* WM_CLOSE */, 0x8000u, 0x8006u, 0x0400u}) {
        SCOPED_TRACE(message);
        std::uintptr_t wParam = 9;
        EXPECT_FALSE(launcher::routeFromMessageLoop(h.state, message, wParam, 0));
        EXPECT_EQ(wParam, 9u);
        EXPECT_FALSE(launcher::routeFromWindowProcedure(h.state, message, 0, 0));
    }
    EXPECT_TRUE(h.view.rowSets.empty());
    EXPECT_TRUE(h.view.progress.empty());
}

TEST(MessageRouting, UpdateResultReachesTheRegisteredHandler) {
    updateResultsSeen = 0;
    kyrtest::LauncherHarness h;
    h.state.onUpdateDone = recordUpdateDone;
    auto result = std::make_unique<launcher::UpdateResult>();
    result->message = "disk full";
    ASSERT_TRUE(launcher::postRecord(h.queue, launcher::WM_APP_UPDATE_DONE, std::move(result)));
    h.pump();
    EXPECT_EQ(updateResultsSeen, 1);
    EXPECT_EQ(lastUpdateMessage, "disk full");
}

TEST(MessageRouting, RecordsAreDeletedWithoutAHandlerAndWhenThePostIsRefused) {
    kyrtest::LauncherHarness h;
    launcher::routeNotification(h.state, launcher::WM_APP_UPDATE_DONE, asLParam(new launcher::UpdateResult));
    launcher::routeNotification(h.state, launcher::WM_APP_NEWS, 0); // a null record is ignored

    h.queue.refusePosts(true);
    EXPECT_FALSE(
        launcher::postRecord(h.queue, launcher::WM_APP_SERVERS_DONE, std::make_unique<launcher::ServerListResult>()));
    // The sanitized build's leak checker fails this test if either record above was kept.
    EXPECT_TRUE(h.view.noNewsMarks.empty());
}

} // namespace
