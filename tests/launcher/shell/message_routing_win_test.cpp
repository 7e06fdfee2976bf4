#include "launcher/shell/message_routing.hpp"

#include "launcher/shell/message_poster_win.hpp"
#include "launcher/shell/news_worker.hpp"
#include "support/launcher_harness.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

namespace launcher {
namespace {

constexpr UINT kEnterModal = WM_USER + 1; // runs a nested loop, as a message box or a window drag does
constexpr UINT kLeaveModal = WM_USER + 2;

int unmarkedNotifications = 0; // notifications that reached the window procedure without the main loop

LRESULT CALLBACK testWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<LauncherState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (state != nullptr && isWorkerNotification(message)) {
        unmarkedNotifications += wParam == kRoutedByMessageLoop ? 0 : 1;
        routeFromWindowProcedure(*state, message, wParam, lParam);
        return DefWindowProcA(window, message, wParam, lParam);
    }
    if (message == kEnterModal) {
        MSG nested;
        while (GetMessageA(&nested, nullptr, 0, 0) > 0 && nested.message != kLeaveModal) {
            TranslateMessage(&nested);
            DispatchMessageA(&nested);
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A message-only window of this thread whose procedure routes like the launcher window's.
HWND routingWindow(LauncherState& state) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = testWindowProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "KyrRoutingTestWindow";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    return window;
}

// Real posts from another thread, some handled inside a modal loop: each is handled exactly once.
TEST(MessageRoutingWindow, EveryNotificationIsHandledOnceAlsoDuringAModalLoop) {
    unmarkedNotifications = 0;
    kyrtest::LauncherHarness h;
    const HWND window = routingWindow(h.state);
    ASSERT_NE(window, nullptr);
    WindowMessagePoster poster(window);
    h.state.poster = &poster;
    std::thread news([&poster] { newsWorker(poster); });
    news.join();
    PostMessageA(window, kEnterModal, 0, 0);
    auto failed = std::make_unique<ServerListResult>();
    failed->error = "nothing";
    ASSERT_TRUE(postRecord(poster, WM_APP_SERVERS_DONE, std::move(failed)));
    ASSERT_TRUE(poster.post(WM_APP_PROBE_DONE, nullptr));
    PostMessageA(window, kLeaveModal, 0, 0);
    ASSERT_TRUE(poster.post(WM_APP_PROBE_DONE, nullptr));
    PostQuitMessage(3);
    EXPECT_EQ(runMessageLoop(h.state), 3u) << "the loop ends with WM_QUIT's code";
    EXPECT_EQ(h.view.serverListStatuses, (std::vector<kyrtest::Status>{{"nothing", true}}));
    EXPECT_EQ(h.view.rowSets.size(), 2u);
    EXPECT_EQ(unmarkedNotifications, 2) << "the two posted while the modal loop ran were routed there";

    DestroyWindow(window);
    EXPECT_FALSE(postRecord(poster, WM_APP_NEWS, std::make_unique<NewsResult>())) << "a gone window";
}

} // namespace
} // namespace launcher
