// KyrLauncher.exe itself in a prepared game folder, against a store served from this process, driven with
// real X input: the update, the bottom bar it leaves, a new version of the launcher that it restarts into,
// PLAY and the files and command line it produces.

#include "launcher/ui/layout.hpp"
#include "launcher/ui/palette.hpp"
#include "launcher/ui/panels_win.hpp"
#include "launcher_window/launcher_process_win.hpp"
#include "launcher_window/launcher_run_win.hpp"
#include "launcher_window/launcher_screen_win.hpp"
#include "launcher_window/screen_tools_win.hpp"
#include "patch/running_file.hpp"
#include "support/http_test_server.hpp"
#include "support/test_signer.hpp"
#include "support/valdra_main_encoder.hpp"

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

using namespace launcher;
using kyrtest::LauncherProcess;

class LauncherProgramTest : public ::testing::Test {
protected:
    // A player's folder often bears their name: everything here runs below a name outside ASCII.
    LauncherProgramTest() : run_(storeFiles_, "J\xC3\xB6rg Fran\xC3\xA7ois"), screen_(run_) {}

    void SetUp() override {
        ASSERT_TRUE(screen_.valid());
        ASSERT_FALSE(folder().empty()) << "the ANSI code page cannot name the game folder";
        ASSERT_TRUE(kyrtest::runHostCommand("xdotool mousemove 0 0"));
        const std::filesystem::path root = run_.folder();
        std::filesystem::create_directories(root / "Data" / "Local");
        kyrtest::ValdraMainLayout client;
        client.addressA = "127.0.0.1";
        client.portA = gameServer_.port();
        kyrtest::write_bytes(root / "Data" / "Local" / "valdra.main", kyrtest::encodeValdraMain(client));
        // The hardware engine needs no Mesa copy in the folder and no OpenGL probe.
        kyrtest::write_bytes(root / "config.ini", "[Launcher]\r\nEngine=GPU\r\n");
        const std::string port = std::to_string(gameServer_.port());
        kyrtest::write_bytes(root / "servers.cache.json",
                             R"({"schema":1,"servers":[{"slug":"valdra","name":"Valdra","state":"online",)"
                             R"("endpoints":[{"region":"eu","ip":"127.0.0.1","port":)" +
                                 port + R"(}],"channels":[{"code":0,"name":"Valdra-1","group":"Valdra"}]}]})");
    }

    std::string folder() const { return run_.folderText(); }

    const kyrtest::FileMap storeFiles_{{"Data/Player/skin.bmd", std::string(3000, 's')},
                                       {"Data/Music/theme.ogg", std::string(700, 'o') + "theme"},
                                       {"Data/Local/Text.bmd", "text"}};
    kyrtest::LauncherRun run_;
    kyrtest::LauncherScreen screen_;
    kyrtest::HttpTestServer gameServer_{[](const kyrtest::HttpRequest&) { return kyrtest::HttpResponse{}; }};
};

TEST_F(LauncherProgramTest, UpdatesTheFolderAndItselfThenPlayStartsTheGameAndCloses) {
    namespace fs = std::filesystem;
    LauncherProcess launcher;
    HWND window = run_.start(launcher);
    ASSERT_NE(window, nullptr) << "the launcher window did not appear";

    const fs::path state = run_.folder() / "patchstate.json";
    ASSERT_TRUE(kyrtest::waitFor(30000, 50, [&] { return fs::exists(state); })) << "the update did not end";
    std::printf("[ timing   ] start to patchstate.json: %lld ms\n", kyrtest::millisecondsSince(run_.started()));
    for (const auto& [path, bytes] : storeFiles_) {
        SCOPED_TRACE(path);
        EXPECT_EQ(kyrtest::read_bytes(run_.folder() / path), bytes);
        EXPECT_NE(kyrtest::read_bytes(state).find(path), std::string::npos);
    }

    // The bottom bar reads "Client up to date." with a full bar, PLAY enabled and FORCE gone.
    EXPECT_TRUE(screen_.waitForViews(window, "launcher_program_up_to_date", 10000,
                                     {{kyrtest::upToDateState(), paintBottomBar, {kyrtest::kBarInside}}}))
        << screen_.lastShot();

    // Version 2 carries a new launcher (the same program with bytes appended, which Windows still runs).
    // VERIFY installs it while the old one runs, and the old one restarts into it instead of offering PLAY.
    const fs::path program = run_.folder() / "KyrLauncher.exe";
    const std::string newLauncher = kyrtest::read_bytes(program) + std::string(4096, 'Z');
    kyrtest::FileMap second = storeFiles_;
    second["KyrLauncher.exe"] = newLauncher;
    run_.publish(second, "2.0.0");
    const Point verify = kyrtest::centre(kVerifyRect);
    ASSERT_TRUE(kyrtest::Pointer(window).click(verify.x, verify.y));
    ASSERT_TRUE(launcher.ended(30000)) << "the old launcher did not close after its update";
    EXPECT_EQ(launcher.exitCode(), 0u);
    LauncherProcess restarted;
    window = run_.waitForRestart(launcher, restarted);
    ASSERT_NE(window, nullptr) << "no new launcher window after the restart";
    EXPECT_TRUE(screen_.waitForViews(window, "launcher_program_restarted", 30000,
                                     {{kyrtest::upToDateState(), paintBottomBar, {kyrtest::kBarInside}}}))
        << screen_.lastShot();
    EXPECT_EQ(kyrtest::read_bytes(program), newLauncher);
    EXPECT_TRUE(kyrtest::waitFor(5000, 50, [&] { return !fs::exists(gu::patch::aside_path(program)); }))
        << "the new launcher left the old one's file";

    const Point play = kyrtest::centre(kPlayRect);
    ASSERT_TRUE(kyrtest::Pointer(window).click(play.x, play.y));
    const fs::path record = run_.folder() / "launch-record.txt";
    ASSERT_TRUE(kyrtest::waitFor(10000, 50, [&] { return fs::exists(record); })) << "Main.exe was not started";
    const std::string recorded = kyrtest::read_bytes(record);
    const std::string port = std::to_string(gameServer_.port());
    EXPECT_NE(recorded.find("command=\"" + folder() + "\\Main.exe\" /u127.0.0.1 /p" + port + "\n"), std::string::npos)
        << recorded;
    EXPECT_NE(recorded.find("cwd=" + folder() + "\n"), std::string::npos) << recorded;

    EXPECT_GT(fs::file_size(run_.folder() / "Data" / "Local" / "ServerList.bmd"), 0u);
    char stamp[64] = {};
    GetPrivateProfileStringA("Servers", "BmdStamp", "", stamp, sizeof stamp, (folder() + "\\launcher.ini").c_str());
    EXPECT_STRNE(stamp, "") << "launcher.ini holds the stamp of the ServerList.bmd written";

    EXPECT_TRUE(restarted.ended(5000)) << "the launcher stayed open after starting the game";
    EXPECT_EQ(restarted.exitCode(), 0u);
}

TEST_F(LauncherProgramTest, AStoreSignedWithAnotherKeyLeavesTheClientPlayableWithForceOffered) {
    namespace fs = std::filesystem;
    std::array<std::uint8_t, 32> otherSeed{};
    otherSeed.fill(0x5a);
    const std::string otherKey = kyrtest::TestSigner(otherSeed).public_key_base64();
    ASSERT_NE(otherKey, run_.store().pubkey_b64());
    LauncherProcess launcher;
    HWND window = run_.start(launcher, otherKey);
    ASSERT_NE(window, nullptr) << "the launcher window did not appear";

    // The failure is drawn in the status line with FORCE offered and PLAY enabled; the bar no longer slides.
    ASSERT_TRUE(screen_.waitForFailedUpdate(
        window, "launcher_program_broken_store",
        std::string(kyrtest::kForceHint) + "Update failed (current client intact): ", true, true))
        << "no failure status with FORCE offered: " << screen_.lastShot();
    const kyrtest::Screenshot shot = kyrtest::Screenshot::capture(window, "launcher_program_broken_store");
    EXPECT_EQ(kyrtest::pixelsNear(shot, progressBarRect(true), palette::Accent, 40), 0) << shot.path();

    EXPECT_FALSE(fs::exists(run_.folder() / "patchstate.json"));
    for (const auto& [path, bytes] : storeFiles_) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(fs::exists(run_.folder() / path));
    }
    EXPECT_FALSE(launcher.ended(0)) << "a failed update keeps the launcher open";
}

} // namespace
