#pragma once
// The launcher's one window: borderless, 874 x 380, centred on the primary screen, drawn whole into a
// back buffer on every paint and copied with one BitBlt. It reaches actions only through the callbacks
// that start-up registers, each called with the LauncherState on the window thread. Windows only.

#include "launcher/shell/launcher_view.hpp"
#include "launcher/ui/drawing_kit_win.hpp"
#include "launcher/ui/fonts_win.hpp"
#include "launcher/ui/input_state.hpp"
#include "launcher/ui/window_state.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

struct HWND__;
struct HINSTANCE__;
struct HICON__;
struct HBITMAP__;
struct HDC__;

namespace launcher {

struct LauncherState;

inline constexpr char kLauncherWindowClassName[] = "KYRLauncherWindowClassA";
inline constexpr int kWindowIconResource = 101;
inline constexpr unsigned kBusyTimerId = 1;
inline constexpr unsigned kBusyTimerPeriodMs = 40;

using StateCallback = std::function<void(LauncherState& state)>;

// The main view's actions: PLAY (game launch), VERIFY and FORCE (updater front end).
struct ActionCallbacks {
    StateCallback play;
    StateCallback verify;
    StateCallback force;
};

// The server panel's actions, in the order start-up registers them; Enter in the access code field has
// its own slot.
struct ServerListCallbacks {
    std::function<void(const std::string& slug, LauncherState& state)> selectServer;
    StateCallback applyAccessCode;
    std::function<void(int direction, LauncherState& state)> cycleRegion;
    StateCallback applyAccessCodeOnEnter;
};

// Routes a worker notification that a modal loop (a message box, a window drag) delivered straight to
// the window procedure; true when the message was one.
using NotificationRouter =
    std::function<bool(LauncherState& state, unsigned message, std::uintptr_t wParam, std::intptr_t lParam)>;

class LauncherWindow : public LauncherView {
public:
    LauncherWindow() = default;
    ~LauncherWindow() override;
    LauncherWindow(const LauncherWindow&) = delete;
    LauncherWindow& operator=(const LauncherWindow&) = delete;

    // Fonts, icon, display modes, window class and window, layout and back buffer. False when a font,
    // the class registration or the window cannot be made.
    bool create(HINSTANCE__* instance, const std::string& folder, const std::string& configPath, LauncherState* state);
    void setActionCallbacks(ActionCallbacks callbacks) { actions_ = std::move(callbacks); }
    void setServerListCallbacks(ServerListCallbacks callbacks) { serverList_ = std::move(callbacks); }
    void setNotificationRouter(NotificationRouter router) { router_ = std::move(router); }

    // Start-up hands over the stored access code (at most 64 characters are kept).
    void setAccessCode(const std::string& code);
    // ShowWindow with the entry's show command, then one immediate paint.
    void show(int showCommand);
    // Invalidates the whole client area without erasing; the next WM_PAINT redraws everything.
    void repaint();

    // What the settings gear and the server selector do.
    void openSettings();
    void openServers();

    HWND__* handle() const { return window_; }
    const WindowState& state() const { return state_; }

    void setProgress(std::uint64_t done, std::uint64_t total) override;
    void setSourceIndicator(int source) override;
    void setUpdateStatus(const std::string& text, bool error) override;
    void setPlayEnabled(bool enabled) override;
    void setVerifyEnabled(bool enabled) override;
    void setForceEnabled(bool enabled) override;
    void setBusyAnimation(bool running) override;
    void setHeadline(const Headline& headline) override;
    void setNewsSlot(int index, const NewsSlot& slot) override;
    void setNewsHeadline(const std::string& text) override;
    void setNoNews(bool noNews) override;
    void setServerRows(std::vector<ServerRow> rows) override;
    void setSelectedRow(int row) override;
    std::string accessCode() const override { return state_.servers.accessCode; }
    void setServerListStatus(const std::string& text, bool error) override;

    // The window procedure's body, reached through the window's user data.
    std::intptr_t handleMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    void attach(HWND__* window) { window_ = window; }

private:
    bool ensureBackBuffer(int width, int height);
    void releaseBackBuffer();
    void paint();
    void run(const Command& command);
    void onClose();
    void onTimer(std::uintptr_t id);
    void onMouseMove(int x, int y);
    void onButtonDown(int x, int y);
    void onButtonUp(int x, int y);

    HWND__* window_ = nullptr;
    std::string folder_;
    std::string configPath_;
    LauncherState* launcherState_ = nullptr;
    ActionCallbacks actions_;
    ServerListCallbacks serverList_;
    NotificationRouter router_;

    HICON__* icon_ = nullptr;
    HDC__* backDc_ = nullptr;
    HBITMAP__* backBitmap_ = nullptr;
    void* backPrevious_ = nullptr; // the bitmap that the back buffer replaced (HGDIOBJ)
    int backWidth_ = 0;
    int backHeight_ = 0;
    FontSet fonts_;
    DrawingKit kit_;
    bool busyTimerRunning_ = false;

    WindowState state_;
    Layout layout_;
};

} // namespace launcher
