#include "launcher/game/game_launch.hpp"

#include "launcher/game/game_client_interface.hpp"
#include "launcher/game/process_environment.hpp"
#include "launcher/servers/server_list_bmd.hpp"
#include "launcher/shell/launcher_settings.hpp"
#include "launcher/shell/launcher_state.hpp"
#include "support/host_path_win.hpp"
#include "support/queue_poster.hpp"
#include "support/recording_view.hpp"
#include "support/scratch_folder.hpp"
#include "tests/launcher/game/message_box_recorder.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#ifndef KYR_STAND_IN_GAME_PATH
#error "KYR_STAND_IN_GAME_PATH names the stand-in for Main.exe"
#endif

namespace launcher {
namespace {

// PLAY in a game folder with the stand-in as Main.exe (it records how it was started), the software
// engine chosen and one server selected; the launcher closes only once the game started.
TEST(GameLaunch, StartsTheGameOnTheChosenEndpointOrStaysOpenWithTheReason) {
    const kyrtest::ScratchFolder scratch;
    const auto path = [&](const char* name) { return (scratch / name).string(); };
    kyrtest::RecordingView view;
    kyrtest::QueuePoster queue;
    LauncherState state;
    state.folder = scratch.path().string();
    state.configIniPath = path(kGameConfigFileName);
    state.launcherIniPath = path("launcher.ini");
    state.window = &view;
    state.poster = &queue;
    std::filesystem::create_directories(path("Data") + "\\Local");
    WritePrivateProfileStringA("Launcher", "Engine", "CPU", state.configIniPath.c_str());
    ServerEntry server;
    server.slug = "valdra";
    server.endpoints = {{"eu", "EU", "10.0.0.5", 44405, 0, 12}, {"sa", "SA", "10.0.0.9", 44406, 1, 90}};
    server.channels = {{0, "Valdra 1", "Valdra"}, {21, "Valdra PvP", "PvP"}};
    server.selectedEndpoint = 1;
    state.serverDirectory.servers = {server};
    state.selectedServerId = "valdra";
    const kyrtest::MessageBoxRecorder boxes;
    const auto closeRequested = [&] {
        kyrtest::PostedMessage posted;
        return queue.take(posted) && posted.message == WM_CLOSE;
    };

    kyrtest::write_bytes(path(kMesaLibraryName), "MESA");
    launchGame(state);
    EXPECT_EQ(boxes.shown().back().text, "Could not start Main.exe.");
    EXPECT_FALSE(closeRequested());

    const std::string standIn = kyrtest::windowsPath(KYR_STAND_IN_GAME_PATH);
    ASSERT_TRUE(CopyFileA(standIn.c_str(), path(kGameExecutableName).c_str(), FALSE)) << standIn;
    launchGame(state);
    std::string record = "<not started>";
    for (int wait = 0; wait < 400 && record == "<not started>"; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::string got = kyrtest::read_bytes(path("launch-record.txt"));
        record = got == "<missing>" ? record : got;
    }
    EXPECT_EQ(record, "command=\"" + state.folder + "\\Main.exe\" /u10.0.0.9 /p44406\ncwd=" + state.folder +
                          "\ngallium=llvmpipe\n");
    EXPECT_TRUE(closeRequested());
    EXPECT_EQ(boxes.shown().size(), 1u);
    const std::string written = kyrtest::read_bytes(path("Data\\Local\\ServerList.bmd"));
    EXPECT_EQ(readBmdStamp(state.launcherIniPath), stampOf(written));
    EXPECT_EQ(decodeBmdRecords(written).size(), 2u);
    setProcessVariable(kGalliumDriverVariable, nullptr);
    // The game may still be ending; its folder goes once it has.
    for (int wait = 0; wait < 100 && !DeleteFileA(path(kGameExecutableName).c_str()); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

} // namespace
} // namespace launcher
