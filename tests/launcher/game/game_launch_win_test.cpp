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
#include "tests/launcher/game/held_file.hpp"
#include "tests/launcher/game/message_box_recorder.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#ifndef KYR_STAND_IN_GAME_PATH
#error "KYR_STAND_IN_GAME_PATH names the stand-in for Main.exe"
#endif

namespace launcher {
namespace {

using kyrtest::kMesa1;

constexpr char kRecordName[] = "launch-record.txt";
constexpr char kServerArguments[] = " /u10.0.0.5 /p44405";

std::string standInPath() {
    return kyrtest::windowsPath(KYR_STAND_IN_GAME_PATH);
}

ServerEntry valdra() {
    ServerEntry server;
    server.slug = "valdra";
    server.name = "Valdra";
    server.description = "Servidor principal";
    server.endpoints = {{"eu", "EU", "10.0.0.5", 44405, 0, 12}, {"sa", "SA", "10.0.0.9", 44406, 1, 90}};
    server.channels = {{0, "Valdra 1", "Valdra"}, {21, "Valdra PvP", "PvP"}};
    return server;
}

class GameLaunch : public ::testing::Test {
protected:
    GameLaunch() {
        state_.folder = folder_.folder();
        state_.configIniPath = folder_.path(kGameConfigFileName);
        state_.launcherIniPath = folder_.path("launcher.ini");
        state_.window = &view_;
        state_.poster = &queue_;
        std::filesystem::create_directories(std::filesystem::path(state_.folder) / "Data" / "Local");
        folder_.put(kMesaLibraryName, kMesa1);
        useEngine("CPU");
        EXPECT_TRUE(CopyFileA(standInPath().c_str(), folder_.path(kGameExecutableName).c_str(), FALSE))
            << standInPath();
    }
    ~GameLaunch() override {
        setProcessVariable(kGalliumDriverVariable, nullptr);
        // The game may still be ending; its folder goes once it has.
        for (int wait = 0;
             wait < 100 && isFile(kGameExecutableName) && !DeleteFileA(folder_.path(kGameExecutableName).c_str());
             ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    void useEngine(const char* engine) const {
        WritePrivateProfileStringA("Launcher", "Engine", engine, state_.configIniPath.c_str());
    }
    void select(const ServerEntry& server, const std::string& id) {
        state_.serverDirectory.servers = {server};
        state_.selectedServerId = id;
    }
    bool isFile(const char* name) const { return folder_.bytes(name) != "<missing>"; }
    std::string serverListBmd() const {
        return kyrtest::read_bytes(std::filesystem::path(state_.folder) / "Data" / "Local" / "ServerList.bmd");
    }

    // What the stand-in recorded about its start; "<not started>" when nothing came within 20 s.
    std::string awaitRecord() const {
        for (int wait = 0; wait < 400; ++wait) {
            if (isFile(kRecordName)) {
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
    kyrtest::RecordingView view_;
    kyrtest::QueuePoster queue_;
    LauncherState state_;
    kyrtest::MessageBoxRecorder boxes_;
};

TEST_F(GameLaunch, StartsTheGameOnTheChosenEndpointAndClosesTheLauncher) {
    select(valdra(), "valdra");
    launchGame(state_);

    EXPECT_EQ(awaitRecord(), recordFor(kServerArguments, "llvmpipe"));
    EXPECT_TRUE(closeRequested());
    EXPECT_TRUE(boxes_.shown().empty());
    EXPECT_TRUE(view_.updateStatuses.empty());
    EXPECT_EQ(folder_.bytes(kEngineLibraryName), kMesa1);
    const std::string written = serverListBmd();
    ASSERT_NE(written, "<missing>");
    EXPECT_EQ(readBmdStamp(state_.launcherIniPath), stampOf(written));
    EXPECT_EQ(decodeBmdRecords(written).size(), 2u);
}

struct CommandLineCase {
    const char* name;
    std::function<void(LauncherState&)> arrange;
    const char* engine;
    const char* wantArguments;
    bool wantServerList;
    const char* wantGallium;
};

TEST_F(GameLaunch, PassesTheServerOnlyWhenTheLauncherChoseIt) {
    const CommandLineCase cases[] = {
        {"pinned region",
         [](LauncherState& state) {
             ServerEntry server = valdra();
             server.selectedEndpoint = 1;
             state.serverDirectory.servers = {server};
             state.selectedServerId = "valdra";
         },
         "GPU", " /u10.0.0.9 /p44406", true, "<unset>"},
        {"endpoint with port 0",
         [](LauncherState& state) {
             ServerEntry server = valdra();
             server.endpoints = {{"eu", "EU", "10.0.0.5", 0, 0, -1}};
             state.serverDirectory.servers = {server};
             state.selectedServerId = "valdra";
         },
         "CPU", "", true, "llvmpipe"},
        {"server without endpoints",
         [](LauncherState& state) {
             ServerEntry server = valdra();
             server.endpoints.clear();
             state.serverDirectory.servers = {server};
             state.selectedServerId = "valdra";
         },
         "cpu", "", true, "llvmpipe"},
        {"no server selected", [](LauncherState& state) { state.serverDirectory.servers = {valdra()}; }, "GPU", "",
         false, "<unset>"},
        {"selection in another case",
         [](LauncherState& state) {
             state.serverDirectory.servers = {valdra()};
             state.selectedServerId = "Valdra";
         },
         "GPU", "", false, "<unset>"},
        {"client's own server list",
         [](LauncherState& state) {
             state.serverDirectory.servers = {valdra()};
             state.selectedServerId = "valdra";
             state.directoryFromClient = true;
         },
         "CPU", "", false, "llvmpipe"},
    };
    for (const CommandLineCase& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(folder_.path(kRecordName).c_str());
        std::filesystem::remove(std::filesystem::path(state_.folder) / "Data" / "Local" / "ServerList.bmd");
        state_.serverDirectory.servers.clear();
        state_.selectedServerId.clear();
        state_.directoryFromClient = false;
        c.arrange(state_);
        useEngine(c.engine);

        launchGame(state_);

        EXPECT_EQ(awaitRecord(), recordFor(c.wantArguments, c.wantGallium));
        EXPECT_EQ(serverListBmd() != "<missing>", c.wantServerList);
        EXPECT_TRUE(closeRequested());
    }
    EXPECT_TRUE(boxes_.shown().empty());
}

TEST_F(GameLaunch, ServerListThatCannotBeWrittenIsShownAndTheGameStillStarts) {
    select(valdra(), "valdra");
    std::filesystem::create_directory(std::filesystem::path(state_.folder) / "Data" / "Local" / "ServerList.bmd.tmp");
    launchGame(state_);

    EXPECT_EQ(awaitRecord(), recordFor(kServerArguments, "llvmpipe"));
    ASSERT_EQ(view_.updateStatuses.size(), 1u);
    EXPECT_EQ(view_.updateStatuses.front(),
              (kyrtest::Status{"Aviso: No se pudo escribir Data\\Local\\ServerList.bmd (archivo en uso o de solo "
                               "lectura).",
                               true}));
    EXPECT_EQ(readBmdStamp(state_.launcherIniPath), "");
    EXPECT_TRUE(closeRequested());
}

TEST_F(GameLaunch, MissingGameAppliesTheEngineThenSaysSoAndStaysOpen) {
    DeleteFileA(folder_.path(kGameExecutableName).c_str());
    select(valdra(), "valdra");
    launchGame(state_);

    ASSERT_EQ(boxes_.shown().size(), 1u);
    const MessageBoxRequest& box = boxes_.shown().front();
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.icon, MessageBoxIcon::Error);
    EXPECT_EQ(box.title, "KYR Launcher - Error");
    EXPECT_EQ(box.text, "Could not start Main.exe.");
    EXPECT_EQ(folder_.bytes(kEngineLibraryName), kMesa1);
    EXPECT_FALSE(closeRequested());
}

TEST_F(GameLaunch, EngineThatCannotBeAppliedStopsTheLaunch) {
    const struct {
        const char* name;
        bool holdLibrary; // a running game holds the software copy
        bool removeMesa;
    } cases[] = {
        {"library in use", true, false},
        {"no Mesa library", false, true},
    };
    select(valdra(), "valdra");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const kyrtest::MessageBoxRecorder boxes;
        folder_.put(kEngineLibraryName, kMesa1);
        if (c.removeMesa) {
            folder_.remove(kMesaLibraryName);
        }
        {
            kyrtest::HeldFile runningGame(folder_.path(kEngineLibraryName), FILE_SHARE_READ);
            if (!c.holdLibrary) {
                runningGame.release();
            }
            launchGame(state_);
        }

        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown().front().title, "KYR Launcher - Error");
        EXPECT_EQ(boxes.shown().front().text, "Could not apply the video engine (opengl32.dll).\nCheck that "
                                              "opengl32-mesa.dll is present in the game folder,\nor that Main.exe "
                                              "is not already open (file in use).");
        EXPECT_EQ(boxes.shown().front().icon, MessageBoxIcon::Error);
        EXPECT_FALSE(closeRequested());
        EXPECT_FALSE(isFile(kRecordName));
    }
}

// The box's message loop lets PLAY through; a second launch inside it must not switch engines or start a
// game of its own, and PLAY works again once the box is answered.
TEST_F(GameLaunch, PlayWhileTheLaunchShowsABoxDoesNothing) {
    const struct {
        const char* name;
        const char* missing;
        const char* wantText;
    } cases[] = {
        {"start error", kGameExecutableName, "Could not start Main.exe."},
        {"engine error", kMesaLibraryName, "Could not apply the video engine (opengl32.dll)."},
    };
    select(valdra(), "valdra");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        folder_.remove(c.missing);
        kyrtest::MessageBoxRecorder boxes;
        int clicks = 0;
        boxes.whileShown([&] {
            if (clicks++ == 0) {
                launchGame(state_);
            }
        });
        launchGame(state_);
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown().front().text.rfind(c.wantText, 0), 0u);

        launchGame(state_);
        EXPECT_EQ(boxes.shown().size(), 2u) << "PLAY is available again";
        EXPECT_FALSE(closeRequested());
    }
}

} // namespace
} // namespace launcher
