#include "launcher/ui/launcher_window.hpp"
#include "launcher/game/message_box_texts.hpp"

#include "launcher/game/display_modes.hpp"
#include "launcher/game/game_config.hpp"
#include "launcher/game/message_box.hpp"
#include "launcher/shell/window_messages.hpp"
#include "launcher/ui/browser_link.hpp"
#include "launcher/ui/interface_texts.hpp"
#include "launcher/ui/panels_win.hpp"

#include <windows.h>

namespace launcher {
namespace {

constexpr wchar_t kClassNameW[] = L"KYRLauncherWindowClassA";

LauncherWindow* windowOf(HWND window) {
    return reinterpret_cast<LauncherWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* object = static_cast<LauncherWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
        object->attach(window);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    LauncherWindow* object = windowOf(window);
    if (object == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        object->attach(nullptr);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // No exception may cross into the system's dispatcher; a failed handler leaves the message unhandled.
    try {
        return object->handleMessage(message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool registerWindowClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kWindowIconResource));
    windowClass.hIconSm =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kWindowIconResource), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    windowClass.hbrBackground = nullptr;
    windowClass.lpszClassName = kClassNameW;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

int signedX(std::intptr_t lParam) {
    return static_cast<short>(LOWORD(static_cast<LPARAM>(lParam)));
}

int signedY(std::intptr_t lParam) {
    return static_cast<short>(HIWORD(static_cast<LPARAM>(lParam)));
}

Key keyOf(std::uintptr_t virtualKey) {
    switch (virtualKey) {
    case VK_ESCAPE:
        return Key::Escape;
    case VK_UP:
        return Key::Up;
    case VK_DOWN:
        return Key::Down;
    case VK_RETURN:
        return Key::Enter;
    default:
        return Key::Other;
    }
}

int focusedTarget(FocusedField field) {
    switch (field) {
    case FocusedField::Search:
        return kTargetSearchBox;
    case FocusedField::AccessCode:
        return kTargetAccessCodeBox;
    default:
        return kTargetNone;
    }
}

} // namespace

LauncherWindow::~LauncherWindow() {
    if (window_ != nullptr) {
        // Detach first so that destroying the window neither reaches this object nor posts WM_QUIT.
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
        window_ = nullptr;
    }
    releaseBackBuffer();
    if (icon_ != nullptr) {
        DestroyIcon(icon_);
    }
}

bool LauncherWindow::create(HINSTANCE instance, const std::string& folder, const std::string& configPath,
                            LauncherState* state) {
    folder_ = folder;
    configPath_ = configPath;
    launcherState_ = state;
    if (!fonts_.create()) {
        return false;
    }
    if (icon_ == nullptr) {
        icon_ = static_cast<HICON>(
            LoadImageW(instance, MAKEINTRESOURCEW(kWindowIconResource), IMAGE_ICON, 24, 24, LR_DEFAULTCOLOR));
    }
    state_.settings.modes = buildDisplayModeList();
    if (!registerWindowClass(instance)) {
        return false;
    }
    const int x = (GetSystemMetrics(SM_CXSCREEN) - kWindowWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - kWindowHeight) / 2;
    const std::wstring title = widen(uiText(UiText::WindowTitle));
    HWND window = CreateWindowExW(WS_EX_APPWINDOW, kClassNameW, title.c_str(), WS_POPUP, x, y, kWindowWidth,
                                  kWindowHeight, nullptr, nullptr, instance, this);
    if (window == nullptr) {
        return false;
    }
    ensureBackBuffer(kWindowWidth, kWindowHeight);
    layout_ = computeLayout(state_.update.forceEnabled);
    return true;
}

void LauncherWindow::setAccessCode(const std::string& code) {
    setStoredAccessCode(state_.servers, code);
    repaint();
}

void LauncherWindow::show(int showCommand) {
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
}

void LauncherWindow::repaint() {
    if (window_ != nullptr) {
        InvalidateRect(window_, nullptr, FALSE);
    }
}

void LauncherWindow::openSettings() {
    const IniGameConfig config(configPath_);
    loadGameSettings(state_.settings, config);
    repaint();
}

void LauncherWindow::openServers() {
    openServerPanel(state_);
    repaint();
}

void LauncherWindow::setProgress(std::uint64_t done, std::uint64_t total) {
    state_.update.done = done;
    state_.update.total = total;
    repaint();
}

void LauncherWindow::setSourceIndicator(int source) {
    state_.update.source = source;
    repaint();
}

void LauncherWindow::setUpdateStatus(const std::string& text, bool error) {
    state_.update.status = text;
    state_.update.statusError = error;
    repaint();
}

void LauncherWindow::setPlayEnabled(bool enabled) {
    state_.update.playEnabled = enabled;
    repaint();
}

void LauncherWindow::setVerifyEnabled(bool enabled) {
    state_.update.verifyEnabled = enabled;
    repaint();
}

void LauncherWindow::setForceEnabled(bool enabled) {
    setForceOffered(state_, enabled);
    repaint();
}

void LauncherWindow::setBusyAnimation(bool running) {
    state_.update.busy = running;
    if (running && !busyTimerRunning_ && window_ != nullptr) {
        busyTimerRunning_ = SetTimer(window_, kBusyTimerId, kBusyTimerPeriodMs, nullptr) != 0;
    } else if (!running && busyTimerRunning_) {
        KillTimer(window_, kBusyTimerId);
        busyTimerRunning_ = false;
    }
    repaint();
}

void LauncherWindow::setHeadline(const Headline& headline) {
    state_.news.headline = headline;
    repaint();
}

void LauncherWindow::setNewsSlot(int index, const NewsSlot& slot) {
    if (index < 0 || index >= kNewsItemCount) {
        return;
    }
    state_.news.items[index] = slot;
    repaint();
}

void LauncherWindow::setNewsHeadline(const std::string& text) {
    state_.news.newsHeadline = text;
    repaint();
}

void LauncherWindow::setNoNews(bool noNews) {
    state_.news.noNews = noNews;
    repaint();
}

void LauncherWindow::setServerRows(std::vector<ServerRow> rows) {
    replaceServerRows(state_.servers, std::move(rows));
    repaint();
}

void LauncherWindow::setSelectedRow(int row) {
    const bool inRange = row >= 0 && static_cast<std::size_t>(row) < state_.servers.rows.size();
    state_.servers.selectedRow = inRange ? row : -1;
    repaint();
}

void LauncherWindow::setServerListStatus(const std::string& text, bool error) {
    state_.servers.status = text;
    state_.servers.statusError = error;
    repaint();
}

std::intptr_t LauncherWindow::handleMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (isWorkerNotification(message)) {
        if (router_ && launcherState_ != nullptr) {
            router_(*launcherState_, message, wParam, lParam);
        }
        return DefWindowProcW(window_, message, wParam, lParam);
    }
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_SIZE: {
        const int width = LOWORD(lParam);
        const int height = HIWORD(lParam);
        if (width > 0 && height > 0 && (width != backWidth_ || height != backHeight_)) {
            releaseBackBuffer();
            ensureBackBuffer(width, height);
        }
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        paint();
        return 0;
    case WM_CLOSE:
        onClose();
        return 0;
    case WM_TIMER:
        onTimer(wParam);
        return 0;
    case WM_MOUSEMOVE:
        onMouseMove(signedX(lParam), signedY(lParam));
        return 0;
    case WM_MOUSELEAVE:
        if (pointerLeft(state_)) {
            repaint();
        }
        return 0;
    case WM_LBUTTONDOWN:
        onButtonDown(signedX(lParam), signedY(lParam));
        return 0;
    case WM_LBUTTONUP:
        onButtonUp(signedX(lParam), signedY(lParam));
        return 0;
    case WM_MOUSEWHEEL:
        if (wheelTurned(state_, GET_WHEEL_DELTA_WPARAM(wParam))) {
            repaint();
        }
        return 0;
    case WM_KEYDOWN: {
        const KeyOutcome outcome = keyPressed(state_, keyOf(wParam));
        if (outcome.repaint) {
            repaint();
        }
        run(outcome.command);
        return 0;
    }
    case WM_CHAR:
        if (characterTyped(state_, static_cast<unsigned>(wParam))) {
            repaint();
        }
        return 0;
    default:
        return DefWindowProcW(window_, message, wParam, lParam);
    }
}

bool LauncherWindow::ensureBackBuffer(int width, int height) {
    if (backDc_ != nullptr) {
        return true;
    }
    HDC windowDc = GetDC(window_);
    if (windowDc == nullptr) {
        return false;
    }
    HDC memory = CreateCompatibleDC(windowDc);
    HBITMAP bitmap = memory != nullptr ? CreateCompatibleBitmap(windowDc, width, height) : nullptr;
    ReleaseDC(window_, windowDc);
    if (bitmap == nullptr) {
        if (memory != nullptr) {
            DeleteDC(memory);
        }
        return false;
    }
    backPrevious_ = SelectObject(memory, bitmap);
    backDc_ = memory;
    backBitmap_ = bitmap;
    backWidth_ = width;
    backHeight_ = height;
    return true;
}

void LauncherWindow::releaseBackBuffer() {
    if (backDc_ != nullptr) {
        SelectObject(backDc_, backPrevious_);
        DeleteDC(backDc_);
        backDc_ = nullptr;
    }
    if (backBitmap_ != nullptr) {
        DeleteObject(backBitmap_);
        backBitmap_ = nullptr;
    }
    backWidth_ = 0;
    backHeight_ = 0;
}

void LauncherWindow::paint() {
    PAINTSTRUCT ps;
    HDC target = BeginPaint(window_, &ps);
    if (target == nullptr) {
        return;
    }
    if (!ensureBackBuffer(kWindowWidth, kWindowHeight)) {
        EndPaint(window_, &ps);
        return;
    }
    layout_ = computeLayout(state_.update.forceEnabled);
    kit_.begin(backDc_, fonts_, state_.pointer.hotTarget, focusedTarget(state_.servers.focus));
    const PaintContext context{kit_, state_, layout_, isSpanish(configPath_), icon_};
    paintWindowBackground(context);
    paintHeader(context);
    paintNewsPanel(context);
    paintBottomBar(context);
    paintWindowFrame(context);
    if (state_.settings.panelOpen) {
        paintSettingsPanel(context);
    }
    if (state_.servers.open) {
        paintServerPanel(context);
    }
    BitBlt(target, 0, 0, kWindowWidth, kWindowHeight, backDc_, 0, 0, SRCCOPY);
    EndPaint(window_, &ps);
}

void LauncherWindow::run(const Command& command) {
    if (command.kind == CommandKind::None) {
        return;
    }
    switch (command.kind) {
    case CommandKind::Minimise:
        ShowWindow(window_, SW_MINIMIZE);
        return;
    case CommandKind::Close:
        PostMessageW(window_, WM_CLOSE, 0, 0);
        return;
    case CommandKind::OpenSettings:
        openSettings();
        return;
    case CommandKind::ApplySettings: {
        IniGameConfig config(configPath_);
        saveGameSettings(state_.settings, config, window_);
        repaint();
        return;
    }
    case CommandKind::ResetSettings:
        resetGameSettings(state_.settings, primaryScreenSize());
        repaint();
        return;
    case CommandKind::OpenLink:
        openLinkInBrowser(command.link);
        return;
    default:
        break;
    }
    if (launcherState_ == nullptr) {
        return;
    }
    LauncherState& state = *launcherState_;
    const auto call = [&state](const StateCallback& callback) {
        if (callback) {
            callback(state);
        }
    };
    switch (command.kind) {
    case CommandKind::Play:
        call(actions_.play);
        break;
    case CommandKind::Verify:
        call(actions_.verify);
        break;
    case CommandKind::Force:
        call(actions_.force);
        break;
    case CommandKind::RefreshAccessCode:
        call(serverList_.applyAccessCode);
        break;
    case CommandKind::EnterAccessCode:
        call(serverList_.applyAccessCodeOnEnter);
        break;
    case CommandKind::SelectServer:
        if (serverList_.selectServer) {
            serverList_.selectServer(command.server, state);
        }
        break;
    case CommandKind::CycleRegion:
        if (serverList_.cycleRegion) {
            serverList_.cycleRegion(command.argument, state);
        }
        break;
    default:
        break;
    }
}

void LauncherWindow::onClose() {
    if (state_.update.busy) {
        showMessageBox({window_, kUpdateRunningText, kUpdateRunningTitle,
                        MessageBoxIcon::Information});
        return;
    }
    DestroyWindow(window_);
}

void LauncherWindow::onTimer(std::uintptr_t id) {
    if (id != kBusyTimerId || !state_.update.busy || state_.update.total != 0) {
        return;
    }
    state_.update.busyOffset += 6;
    repaint();
}

void LauncherWindow::onMouseMove(int x, int y) {
    if (!state_.pointer.tracking) {
        TRACKMOUSEEVENT track{};
        track.cbSize = sizeof track;
        track.dwFlags = TME_LEAVE;
        track.hwndTrack = window_;
        state_.pointer.tracking = TrackMouseEvent(&track) != FALSE;
    }
    if (pointerMoved(state_, x, y)) {
        repaint();
    }
}

void LauncherWindow::onButtonDown(int x, int y) {
    const PressOutcome outcome = pointerPressed(state_, x, y);
    if (outcome.capture) {
        SetCapture(window_);
    } else if (outcome.startDrag) {
        ReleaseCapture();
        SendMessageW(window_, WM_NCLBUTTONDOWN, HTCAPTION, 0);
    }
    if (outcome.repaint) {
        repaint();
    }
}

void LauncherWindow::onButtonUp(int x, int y) {
    const ReleaseOutcome outcome = pointerReleased(state_, x, y);
    if (outcome.releaseCapture) {
        ReleaseCapture();
    }
    run(outcome.command);
    if (outcome.repaint) {
        repaint();
    }
}

} // namespace launcher
