#include "launcher/shell/message_routing.hpp"

#include "launcher/shell/message_poster_win.hpp"
#include "launcher/shell/news_worker.hpp"
#include "support/launcher_harness.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

namespace {

using launcher::WindowMessagePoster;

constexpr UINT kEnterModal = WM_USER + 1; // runs a nested loop, as a message box or a window drag does
constexpr UINT kLeaveModal = WM_USER + 2;

int unmarkedNotifications = 0; // notifications that reached the window procedure without the main loop
int updateResults = 0;

void countUpdateDone(launcher::LauncherState&, const launcher::UpdateResult&) {
    ++updateResults;
}

LRESULT CALLBACK testWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<launcher::LauncherState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (state != nullptr && launcher::isWorkerNotification(message)) {
        unmarkedNotifications += wParam == launcher::kRoutedByMessageLoop ? 0 : 1;
        launcher::routeFromWindowProcedure(*state, message, wParam, lParam);
        return DefWindowProcA(window, message, wParam, lParam);
    }
    if (message == kEnterModal) {
        MSG nested;
        while (GetMessageA(&nested, nullptr, 0, 0) > 0 && nested.message != kLeaveModal) {
            TranslateMessage(&nested);
            DispatchMessageA(&nested);
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A message-only window of this thread whose procedure routes like the launcher window's.
class RoutingWindow {
public:
    explicit RoutingWindow(launcher::LauncherState& state) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = testWindowProcedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "KyrRoutingTestWindow";
        RegisterClassA(&windowClass);
        handle = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 windowClass.hInstance, nullptr);
        SetWindowLongPtrA(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    }
    ~RoutingWindow() {
        if (IsWindow(handle)) {
            DestroyWindow(handle);
        }
    }
    RoutingWindow(const RoutingWindow&) = delete;
    RoutingWindow& operator=(const RoutingWindow&) = delete;

    HWND handle = nullptr;
};

TEST(MessageRoutingWindow, EveryNotificationIsHandledOnceAlsoDuringAModalLoop) {
    unmarkedNotifications = 0;
    updateResults = 0;
    kyrtest::LauncherHarness h;
    h.state.onUpdateDone = countUpdateDone;
    RoutingWindow window(h.state);
    ASSERT_NE(window.handle, nullptr);
    WindowMessagePoster poster(window.handle);
    h.state.poster = &poster;

    std::thread news([&poster] { launcher::newsWorker(poster); }); // a real post from another thread
    news.join();
    PostMessageA(window.handle, kEnterModal, 0, 0);
    auto failed = std::make_unique<launcher::ServerListResult>();
    failed->error = "nothing";
    ASSERT_TRUE(launcher::postRecord(poster, launcher::WM_APP_SERVERS_DONE, std::move(failed)));
    ASSERT_TRUE(poster.post(launcher::WM_APP_PROBE_DONE, nullptr));
    ASSERT_TRUE(poster.post(launcher::WM_APP_UPDATE_PROGRESS, nullptr));
    PostMessageA(window.handle, kLeaveModal, 0, 0);
    ASSERT_TRUE(launcher::postRecord(poster, launcher::WM_APP_UPDATE_DONE, std::make_unique<launcher::UpdateResult>()));
    ASSERT_TRUE(poster.post(launcher::WM_APP_PROBE_DONE, nullptr));
    PostQuitMessage(3);

    EXPECT_EQ(launcher::runMessageLoop(h.state), 3u) << "the loop ends with WM_QUIT's code";

    EXPECT_TRUE(h.view.noNewsMarks.empty()) << "the news worker's empty record changes nothing";
    EXPECT_EQ(h.view.serverListStatuses, (std::vector<kyrtest::Status>{{"nothing", true}}));
    EXPECT_EQ(h.view.rowSets.size(), 2u);
    EXPECT_EQ(h.view.progress.size(), 1u);
    EXPECT_EQ(updateResults, 1);
    EXPECT_EQ(unmarkedNotifications, 3) << "the three posted while the modal loop ran were routed there";
}

TEST(MessageRoutingWindow, PostToAGoneWindowFailsAndFreesTheRecord) {
    kyrtest::LauncherHarness h;
    HWND gone;
    {
        RoutingWindow window(h.state);
        gone = window.handle;
    }
    WindowMessagePoster poster(gone);
    EXPECT_FALSE(launcher::postRecord(poster, launcher::WM_APP_NEWS, std::make_unique<launcher::NewsResult>()));
    EXPECT_FALSE(poster.post(launcher::WM_APP_PROBE_DONE, nullptr));
}

} // namespace
