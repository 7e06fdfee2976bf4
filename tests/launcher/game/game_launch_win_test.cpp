#include "launcher/game/game_launch.hpp"

#include "launcher/game/game_client_interface.hpp"
#include "launcher/game/process_environment.hpp"
#include "launcher/servers/server_list_bmd.hpp"
#include "launcher/shell/launcher_settings.hpp"
#include "launcher/shell/launcher_state.hpp"
#include "support/host_path_win.hpp"
#include "support/queue_poster.hpp"
#include "support/recording_view.hpp"
#include "tests/launcher/game/engine_folder.hpp"
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

constexpr char kRecordName[] = "launch-record.txt";

// A game folder with the stand-in as Main.exe, the software engine chosen and one server selected.
class GameLaunch : public ::testing::Test {
protected:
    GameLaunch() {
        state_.folder = folder_.folder();
        state_.configIniPath = folder_.path(kGameConfigFileName);
        state_.launcherIniPath = folder_.path("launcher.ini");
        state_.window = &view_;
        state_.poster = &queue_;
        std::filesystem::create_directories(local_);
        folder_.put(kMesaLibraryName, kyrtest::kMesa1);
        WritePrivateProfileStringA("Launcher", "Engine", "CPU", state_.configIniPath.c_str());
        const std::string standIn = kyrtest::windowsPath(KYR_STAND_IN_GAME_PATH);
        EXPECT_TRUE(CopyFileA(standIn.c_str(), folder_.path(kGameExecutableName).c_str(), FALSE)) << standIn;
        ServerEntry server;
        server.slug = "valdra";
        server.endpoints = {{"eu", "EU", "10.0.0.5", 44405, 0, 12}, {"sa", "SA", "10.0.0.9", 44406, 1, 90}};
        server.channels = {{0, "Valdra 1", "Valdra"}, {21, "Valdra PvP", "PvP"}};
        state_.serverDirectory.servers = {server};
        state_.selectedServerId = "valdra";
    }
    ~GameLaunch() override {
        setProcessVariable(kGalliumDriverVariable, nullptr);
        // The game may still be ending; its folder goes once it has.
        for (int wait = 0; wait < 100 && !DeleteFileA(folder_.path(kGameExecutableName).c_str()) &&
                           GetLastError() != ERROR_FILE_NOT_FOUND;
             ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    // What the stand-in recorded about its start; "<not started>" when nothing came within 20 s.
    std::string awaitRecord() const {
        for (int wait = 0; wait < 400; ++wait) {
            if (folder_.bytes(kRecordName) != "<missing>") {
                return folder_.bytes(kRecordName);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return "<not started>";
    }
    std::string recordFor(const std::string& arguments, const char* gallium) const {
        return "command=\"" + state_.folder + "\\Main.exe\"" + arguments + "\ncwd=" + state_.folder +
               "\ngallium=" + gallium + "\n";
    }
    bool closeRequested() {
        kyrtest::PostedMessage posted;
        while (queue_.take(posted)) {
            if (posted.message == WM_CLOSE) {
                return true;
            }
        }
        return false;
    }

    kyrtest::EngineFolder folder_;
    std::filesystem::path local_ = std::filesystem::path(folder_.folder()) / "Data" / "Local";
    kyrtest::RecordingView view_;
    kyrtest::QueuePoster queue_;
    LauncherState state_;
    kyrtest::MessageBoxRecorder boxes_;
};

TEST_F(GameLaunch, StartsTheGameOnTheChosenEndpointAndClosesTheLauncher) {
    state_.serverDirectory.servers[0].selectedEndpoint = 1;
    launchGame(state_);
    EXPECT_EQ(awaitRecord(), recordFor(" /u10.0.0.9 /p44406", "llvmpipe"));
    EXPECT_TRUE(closeRequested());
    EXPECT_TRUE(boxes_.shown().empty());
    EXPECT_EQ(folder_.bytes(kEngineLibraryName), kyrtest::kMesa1);
    const std::string written = kyrtest::read_bytes(local_ / "ServerList.bmd");
    EXPECT_EQ(readBmdStamp(state_.launcherIniPath), stampOf(written));
    EXPECT_EQ(decodeBmdRecords(written).size(), 2u);
}

TEST_F(GameLaunch, TheClientsOwnListPassesNoServerAndWritesNoServerList) {
    state_.directoryFromClient = true;
    launchGame(state_);
    EXPECT_EQ(awaitRecord(), recordFor("", "llvmpipe"));
    EXPECT_FALSE(std::filesystem::exists(local_ / "ServerList.bmd"));
    EXPECT_TRUE(closeRequested());
}

TEST_F(GameLaunch, AnEngineOrGameThatFailsStopsTheLaunchWithItsReason) {
    const struct {
        const char* missing;
        const char* wantText;
    } cases[] = {{kMesaLibraryName, "Could not apply the video engine (opengl32.dll).\nCheck that opengl32-mesa.dll "
                                    "is present in the game folder,\nor that Main.exe is not already open (file in "
                                    "use)."},
                 {kGameExecutableName, "Could not start Main.exe."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.missing);
        folder_.remove(c.missing);
        const kyrtest::MessageBoxRecorder boxes;
        launchGame(state_);
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown().front().text, c.wantText);
        EXPECT_EQ(boxes.shown().front().icon, MessageBoxIcon::Error);
        EXPECT_FALSE(closeRequested());
        EXPECT_EQ(folder_.bytes(kRecordName), "<missing>");
        folder_.put(kMesaLibraryName, kyrtest::kMesa1);
    }
    EXPECT_EQ(buildGameCommandLine("C:\\K", "10.0.0.5", 65536), "\"C:\\K\\Main.exe\"") << "no server without a valid port";
    EXPECT_EQ(buildGameCommandLine("C:\\K", "", 1), "\"C:\\K\\Main.exe\"") << "nor without a host";
}

} // namespace
} // namespace launcher
