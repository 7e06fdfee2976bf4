#include "launcher/ui/launcher_window.hpp"

#include "launcher/game/message_box.hpp"
#include "launcher/shell/window_messages.hpp"
#include "launcher_window/screen_tools_win.hpp"
#include "launcher_window/window_scenes_win.hpp"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using namespace launcher;
using kyrtest::Pointer;
using kyrtest::Scene;
using kyrtest::SceneWindow;
using kyrtest::Screenshot;

Point centre(const Rect& rect) {
    return Point{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

std::string readConfig(const std::string& path, const char* section, const char* key) {
    char value[64] = {};
    GetPrivateProfileStringA(section, key, "<missing>", value, sizeof value, path.c_str());
    return value;
}

std::vector<MessageBoxRequest> shownBoxes;

void recordBox(const MessageBoxRequest& request) {
    shownBoxes.push_back(request);
}

class LauncherWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        shownBoxes.clear();
        messageBoxOverride = recordBox;
        // Start with the pointer off the window, so that no target is hot by accident.
        ASSERT_TRUE(kyrtest::runHostCommand("xdotool mousemove 0 0"));
    }
    void TearDown() override {
        scene_.reset();
        kyrtest::pumpMessages(50);
        messageBoxOverride = nullptr;
    }

    SceneWindow& open(const Scene& scene) {
        scene_ = std::make_unique<SceneWindow>(scene);
        EXPECT_TRUE(scene_->created());
        kyrtest::pumpMessages(100);
        return *scene_;
    }
    const WindowState& state() const { return scene_->window.state(); }
    Pointer pointer() const { return Pointer(scene_->window.handle()); }
    bool click(const Rect& rect) {
        const Point at = centre(rect);
        return pointer().click(at.x, at.y);
    }

    std::unique_ptr<SceneWindow> scene_;
};

TEST_F(LauncherWindowTest, IsABorderlessPopupCentredOnThePrimaryScreen) {
    SceneWindow& scene = open(Scene{});
    HWND window = scene.window.handle();
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME | WS_SYSMENU));
    EXPECT_TRUE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);

    RECT area{};
    GetWindowRect(window, &area);
    EXPECT_EQ(area.right - area.left, kWindowWidth);
    EXPECT_EQ(area.bottom - area.top, kWindowHeight);
    EXPECT_EQ(area.left, (GetSystemMetrics(SM_CXSCREEN) - kWindowWidth) / 2);
    EXPECT_EQ(area.top, (GetSystemMetrics(SM_CYSCREEN) - kWindowHeight) / 2);

    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    EXPECT_STREQ(name, kLauncherWindowClassName);
    GetWindowTextA(window, name, sizeof name);
    EXPECT_STREQ(name, "KYR Launcher");
    // Characters arrive as UTF-16 code units.
    EXPECT_TRUE(IsWindowUnicode(window));
    EXPECT_NE(GetClassLongPtrW(window, GCLP_HICON), 0);

    // The class already exists for a second window.
    SceneWindow second{Scene{}};
    EXPECT_TRUE(second.created());
}

TEST_F(LauncherWindowTest, ClicksRunTheirActions) {
    Scene scene;
    scene.force = true;
    SceneWindow& window = open(scene);
    ASSERT_TRUE(click(kPlayRect));
    ASSERT_TRUE(click(kVerifyRect));
    ASSERT_TRUE(click(kForceRect));
    ASSERT_TRUE(click(kHeaderIconRect));
    EXPECT_EQ(window.playCalls, 1);
    EXPECT_EQ(window.verifyCalls, 1);
    EXPECT_EQ(window.forceCalls, 1);
    EXPECT_EQ(state().pointer.pressedTarget, kTargetNone);

    window.window.setPlayEnabled(false);
    window.window.setVerifyEnabled(false);
    ASSERT_TRUE(click(kPlayRect));
    ASSERT_TRUE(click(kVerifyRect));
    ASSERT_TRUE(click(kForceRect));
    EXPECT_EQ(window.playCalls, 1);
    EXPECT_EQ(window.verifyCalls, 1);
    EXPECT_EQ(window.forceCalls, 1);
}

TEST_F(LauncherWindowTest, PressMoveReleaseElsewhereDoesNotClick) {
    SceneWindow& window = open(Scene{});
    const Point play = centre(kPlayRect);
    ASSERT_TRUE(pointer().drag(play.x, play.y, {{400, 200}}));
    EXPECT_EQ(window.playCalls, 0);
    ASSERT_TRUE(pointer().drag(play.x, play.y, {{400, 200}, {play.x + 5, play.y}}));
    EXPECT_EQ(window.playCalls, 1);
    // Released outside the window: the capture still delivers the release.
    ASSERT_TRUE(pointer().drag(play.x, play.y, {{play.x + 40, play.y + 60}}));
    EXPECT_EQ(window.playCalls, 1);
    EXPECT_EQ(state().pointer.pressedTarget, kTargetNone);
}

TEST_F(LauncherWindowTest, HoverFollowsThePointer) {
    open(Scene{});
    const Point gear = centre(kSettingsGearRect);
    ASSERT_TRUE(pointer().move(gear.x, gear.y));
    EXPECT_EQ(state().pointer.hotTarget, kTargetSettingsGear);
    const Screenshot hot = Screenshot::capture(scene_->window.handle(), "gear_hot");
    ASSERT_TRUE(hot.valid());
    EXPECT_EQ(kyrtest::colourDistance(hot.at(kSettingsGearRect.left + 17, kSettingsGearRect.top),
                                      kyrtest::rgbOf(palette::Accent)),
              0);
    ASSERT_TRUE(pointer().move(400, 200));
    EXPECT_EQ(state().pointer.hotTarget, kTargetNone);
}

TEST_F(LauncherWindowTest, SettingsPanelEditsAndApplies) {
    SceneWindow& window = open(Scene{});
    ASSERT_TRUE(click(kSettingsGearRect));
    ASSERT_TRUE(state().settings.panelOpen);
    const GameSettings& settings = state().settings;
    ASSERT_GE(settings.resolution, 0);
    EXPECT_EQ(settings.modes[static_cast<std::size_t>(settings.resolution)], (DisplayMode{1280, 720}));
    EXPECT_TRUE(settings.windowed);

    ASSERT_TRUE(click(kPlayRect)); // under the panel: nothing
    ASSERT_TRUE(click(kCloseRect));
    EXPECT_EQ(window.playCalls, 0);
    EXPECT_TRUE(IsWindow(window.window.handle()));

    ASSERT_TRUE(click(kEngineRightRect));
    ASSERT_TRUE(click(kLanguageLeftRect));
    ASSERT_TRUE(click(kFpsRightRect));
    ASSERT_TRUE(click(kWindowedCheckRect));
    EXPECT_EQ(settings.engine, 1);
    EXPECT_EQ(settings.language, 2);
    EXPECT_EQ(settings.fpsMode, 1);
    EXPECT_FALSE(settings.windowed);
    EXPECT_EQ(readConfig(window.configPath(), "Launcher", "Engine"), "<missing>");

    ASSERT_TRUE(click(kApplyRect));
    EXPECT_FALSE(state().settings.panelOpen);
    EXPECT_EQ(readConfig(window.configPath(), "Launcher", "Engine"), "GPU");
    EXPECT_EQ(readConfig(window.configPath(), "Custom", "Language"), "Por");
    EXPECT_EQ(readConfig(window.configPath(), "Graphics", "FpsMode"), "1");
    EXPECT_EQ(readConfig(window.configPath(), "Graphics", "WindowMode"), "0");
    EXPECT_TRUE(shownBoxes.empty());

    ASSERT_TRUE(click(kSettingsGearRect));
    ASSERT_TRUE(click(kEngineRightRect));
    ASSERT_TRUE(click(kCancelRect));
    EXPECT_FALSE(state().settings.panelOpen);
    EXPECT_EQ(readConfig(window.configPath(), "Launcher", "Engine"), "GPU");
}

TEST_F(LauncherWindowTest, ServerPanelByMouseWheelAndKeyboard) {
    Scene scene;
    scene.rows = 10;
    SceneWindow& window = open(scene);
    ASSERT_TRUE(click(kServerSelectorRect));
    ASSERT_TRUE(state().servers.open);

    ASSERT_TRUE(pointer().click(300, 94 + 66 + 20));
    EXPECT_EQ(window.selectedRows, (std::vector<int>{1}));
    EXPECT_EQ(state().servers.selectedRow, 1);

    ASSERT_TRUE(pointer().wheel(300, 200, -2));
    EXPECT_EQ(state().servers.scrollOffset, 64);
    ASSERT_TRUE(pointer().wheel(300, 200, 1));
    EXPECT_EQ(state().servers.scrollOffset, 32);

    ASSERT_TRUE(click(kRegionRightRect));
    EXPECT_EQ(window.regionSteps, (std::vector<int>{1}));

    ASSERT_TRUE(click(kSearchBoxRect));
    EXPECT_EQ(state().servers.focus, FocusedField::Search);
    ASSERT_TRUE(pointer().type("ARENA"));
    EXPECT_EQ(state().servers.search, "ARENA");
    EXPECT_EQ(state().servers.visible, (std::vector<int>{2, 9}));
    ASSERT_TRUE(pointer().key("BackSpace"));
    EXPECT_EQ(state().servers.search, "AREN");

    ASSERT_TRUE(click(kAccessCodeBoxRect));
    ASSERT_TRUE(pointer().type("ab c/d"));
    EXPECT_EQ(state().servers.accessCode, "abcd");
    EXPECT_EQ(window.window.accessCode(), "abcd");
    ASSERT_TRUE(pointer().key("Return"));
    EXPECT_EQ(window.enterCalls, 1);
    ASSERT_TRUE(click(kRefreshRect));
    EXPECT_EQ(window.refreshCalls, 1);
    EXPECT_EQ(state().servers.focus, FocusedField::None);

    ASSERT_TRUE(pointer().key("Down"));
    EXPECT_EQ(window.selectedRows.back(), 9);
    ASSERT_TRUE(pointer().key("Up"));
    EXPECT_EQ(window.selectedRows.back(), 2);

    ASSERT_TRUE(pointer().click(400, 340)); // no target: focus goes
    ASSERT_TRUE(pointer().key("Escape"));
    EXPECT_FALSE(state().servers.open);
    EXPECT_EQ(window.playCalls, 0);
}

TEST_F(LauncherWindowTest, JugarClosesThePanelAndPlays) {
    Scene scene;
    scene.rows = 3;
    scene.selected = 1;
    SceneWindow& window = open(scene);
    window.window.openServers();
    ASSERT_TRUE(click(kPanelPlayRect));
    EXPECT_EQ(window.playCalls, 1);
    EXPECT_FALSE(state().servers.open);
}

TEST_F(LauncherWindowTest, TitleBarDragMovesTheWindowOnlyWithoutPanels) {
    SceneWindow& window = open(Scene{});
    HWND handle = window.window.handle();
    RECT before{};
    GetWindowRect(handle, &before);
    ASSERT_TRUE(pointer().drag(150, 20, {{165, 30}, {180, 40}}));
    RECT after{};
    GetWindowRect(handle, &after);
    EXPECT_EQ(after.left - before.left, 30);
    EXPECT_EQ(after.top - before.top, 20);

    window.window.openSettings();
    ASSERT_TRUE(pointer().drag(150, 20, {{165, 30}, {180, 40}}));
    RECT unmoved{};
    GetWindowRect(handle, &unmoved);
    EXPECT_EQ(unmoved.left, after.left);
    EXPECT_EQ(unmoved.top, after.top);
}

TEST_F(LauncherWindowTest, ClosingDuringAnUpdateAsksToWait) {
    Scene scene;
    scene.busy = true;
    SceneWindow& window = open(scene);
    HWND handle = window.window.handle();
    ASSERT_TRUE(click(kCloseRect));
    ASSERT_EQ(shownBoxes.size(), 1u);
    EXPECT_EQ(shownBoxes[0].owner, handle);
    EXPECT_EQ(shownBoxes[0].title, "7qvaldra");
    EXPECT_EQ(shownBoxes[0].text, "An update is in progress. Please wait for it to finish before closing.");
    EXPECT_EQ(shownBoxes[0].icon, MessageBoxIcon::Information);
    EXPECT_TRUE(IsWindow(handle));

    window.window.setBusyAnimation(false);
    ASSERT_TRUE(click(kCloseRect));
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_EQ(window.window.handle(), nullptr);
    EXPECT_EQ(shownBoxes.size(), 1u);
}

TEST_F(LauncherWindowTest, MinimiseButton) {
    SceneWindow& window = open(Scene{});
    ASSERT_TRUE(click(kMinimiseRect));
    EXPECT_TRUE(IsIconic(window.window.handle()));
}

TEST_F(LauncherWindowTest, BusyAnimationAdvancesOnlyWithoutATotal) {
    Scene scene;
    scene.busy = true;
    SceneWindow& window = open(scene);
    kyrtest::pumpMessages(300);
    const std::uint32_t moved = state().update.busyOffset;
    EXPECT_GT(moved, 0u);
    EXPECT_EQ(moved % 6, 0u);

    window.window.setProgress(10, 100);
    const std::uint32_t atTotal = state().update.busyOffset;
    kyrtest::pumpMessages(200);
    EXPECT_EQ(state().update.busyOffset, atTotal);

    window.window.setProgress(0, 0);
    window.window.setBusyAnimation(false);
    const std::uint32_t stopped = state().update.busyOffset;
    kyrtest::pumpMessages(200);
    EXPECT_EQ(state().update.busyOffset, stopped);
    EXPECT_FALSE(state().update.busy);
}

TEST_F(LauncherWindowTest, NotificationsReachingTheWindowProcedureAreRouted) {
    SceneWindow& window = open(Scene{});
    std::vector<unsigned> routed;
    LauncherState* seen = nullptr;
    window.window.setNotificationRouter([&](LauncherState& state, unsigned message, std::uintptr_t, std::intptr_t) {
        seen = &state;
        routed.push_back(message);
        return true;
    });
    SendMessageW(window.window.handle(), WM_APP_PROBE_DONE, 0, 0);
    SendMessageW(window.window.handle(), WM_APP + 9, 0, 0);
    EXPECT_EQ(routed, (std::vector<unsigned>{WM_APP_PROBE_DONE}));
    EXPECT_EQ(seen, &window.state);
}

TEST_F(LauncherWindowTest, SettersRepaintTheWindow) {
    SceneWindow& window = open(Scene{});
    HWND handle = window.window.handle();
    kyrtest::pumpMessages(50);
    ASSERT_FALSE(GetUpdateRect(handle, nullptr, FALSE));
    window.window.setUpdateStatus("Installing...", false);
    EXPECT_TRUE(GetUpdateRect(handle, nullptr, FALSE));
    kyrtest::pumpMessages(50);
    window.window.setServerRows(kyrtest::sampleServerRows(2));
    EXPECT_TRUE(GetUpdateRect(handle, nullptr, FALSE));
    kyrtest::pumpMessages(50);
    window.window.setSelectedRow(5); // past the rows: none
    EXPECT_EQ(state().servers.selectedRow, -1);
    window.window.setAccessCode(std::string(70, 'q'));
    EXPECT_EQ(window.window.accessCode(), std::string(64, 'q'));
}

TEST_F(LauncherWindowTest, PreviewProgramOpensAScene) {
    std::string program = "Z:" + std::string(KYR_WINDOW_PREVIEW_PATH);
    std::replace(program.begin(), program.end(), '/', '\\');
    std::string line = "\"" + program + "\" --view=servers --rows=4 --selected=1";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    HWND preview = nullptr;
    for (int waited = 0; waited < 10000 && preview == nullptr; waited += 50) {
        kyrtest::pumpMessages(50);
        HWND found = FindWindowA(kLauncherWindowClassName, nullptr);
        DWORD owner = 0;
        if (found != nullptr && GetWindowThreadProcessId(found, &owner) != 0 && owner == process.dwProcessId &&
            IsWindowVisible(found)) {
            preview = found;
        }
    }
    if (preview != nullptr) {
        kyrtest::pumpMessages(300);
        const Screenshot shot = Screenshot::capture(preview, "preview_server_panel");
        ASSERT_TRUE(shot.valid());
        // Row 1 is selected: its top border is red, row 0's is at rest.
        EXPECT_EQ(kyrtest::colourDistance(shot.at(400, 94 + 66), kyrtest::rgbOf(palette::Accent)), 0);
        EXPECT_EQ(kyrtest::colourDistance(shot.at(400, 94), kyrtest::rgbOf(palette::Line)), 0);
    }
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 5000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_NE(preview, nullptr) << "the preview window did not appear";
}

} // namespace
