// PLAY on Windows: the launch holds the game folder against updates from its start to the game's, and its
// message boxes belong to the launcher window.

#include "launcher/game/game_launch.hpp"

#include "launcher/game/game_client_interface.hpp"
#include "launcher/game/gl_probe.hpp"
#include "launcher/game/message_box.hpp"
#include "launcher/game/message_box_texts.hpp"
#include "launcher/net/updater_front_end.hpp"
#include "support/launcher_harness.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace launcher {
namespace {

LauncherState* launchingState = nullptr;
std::vector<MessageBoxRequest> boxes;

// While a box of the launch is open, the player clicks VERIFY, FORCE and PLAY again.
void clickEverythingMeanwhile(const MessageBoxRequest& request) {
    boxes.push_back(request);
    onVerifyClicked(*launchingState);
    onForceClicked(*launchingState);
    launchGame(*launchingState);
}

TEST(GameLaunch, NoUpdateStartsDuringALaunchNorALaunchDuringAnUpdateAndEachFailureIsOneBox) {
    const kyrtest::ScratchFolder scratch;
    kyrtest::LauncherHarness h;
    h.workers.failStarts(true);
    h.state.folder = scratch.path().string();
    h.state.configIniPath = (scratch / "config.ini").string();
    h.state.launcherIniPath = (scratch / "launcher.ini").string();
    h.state.windowHandle = &h.view;
    // Every profile write fails (the warning box), and there is no Main.exe (the error box).
    std::filesystem::create_directory(scratch / "config.ini");
    glProbeOverride = [](GlProbeResult&) { return true; };
    launchingState = &h.state;
    boxes.clear();
    messageBoxOverride = clickEverythingMeanwhile;

    h.state.updateRunning = 1;
    launchGame(h.state);
    EXPECT_TRUE(boxes.empty()) << "a launch while an update runs";
    h.state.updateRunning = 0;
    launchGame(h.state);
    ASSERT_EQ(boxes.size(), 2u) << "the profile warning, then the failed start; no second launch";
    for (const MessageBoxRequest& box : boxes) {
        EXPECT_EQ(box.owner, h.state.windowHandle) << box.text;
    }
    EXPECT_TRUE(h.view.verifyEnabled.empty() && h.view.forceEnabled.empty()) << "an update started meanwhile";
    EXPECT_EQ(h.state.updateRunning.load(), 0) << "a failed launch gives the folder back";

    // The CPU engine with a Mesa library that the update did not install: one box says why.
    std::filesystem::remove(scratch / "config.ini");
    kyrtest::write_bytes(scratch / "config.ini", "[Launcher]\r\nEngine=CPU\r\n");
    kyrtest::write_bytes(scratch / kMesaLibraryName, "a library the update never installed");
    boxes.clear();
    launchGame(h.state);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes.front().text, kMesaNotVerifiedText);

    messageBoxOverride = nullptr;
    glProbeOverride = nullptr;
}

} // namespace
} // namespace launcher
