// KyrLauncher.exe end to end, as a player meets it: a day of play (update of the folder and of the
// launcher itself, the server list, settings, PLAY) and a broken store (the failure shown, the folder
// kept, PLAY as the outcome allows). What the launcher does is read from the window (a few regions of
// screenshots), from the game folder and from the record that the stand-in Main.exe leaves.

#include "launcher/game/engine_files.hpp"
#include "launcher/game/game_client_interface.hpp"
#include "launcher/game/video_engine.hpp"
#include "launcher/servers/server_list_bmd.hpp"
#include "launcher/ui/launcher_window.hpp"
#include "launcher/ui/layout.hpp"
#include "launcher/ui/palette.hpp"
#include "launcher/ui/progress_geometry.hpp"
#include "launcher_window/launcher_driver_win.hpp"
#include "patch/chunk_fetch.hpp"
#include "patch/running_file.hpp"
#include "support/bmd_template.hpp"
#include "support/test_signer.hpp"
#include "support/valdra_main_encoder.hpp"

#include <gtest/gtest.h>

#include <initializer_list>

namespace {

using namespace launcher;
using kyrtest::GameFolder;
using kyrtest::LauncherProcess;
using kyrtest::Screenshot;
namespace fs = std::filesystem;

// A player's folder often bears their name: everything runs below a name outside ASCII.
constexpr char kFolderName[] = "J\xC3\xB6rg Fran\xC3\xA7ois";
// Typed into the search, its letter outside the ANSI code page (U+0416) finds the server.
constexpr char kValdraName[] = "Valdra \u0416ar";
constexpr char kMesaLibrary[] = "MESA llvmpipe stand-in, never loaded";
constexpr char kPlayersLibrary[] = "QEFFECTS wrapper library of the player";

const kyrtest::FileMap kStoreFiles{{"Data/Player/skin.bmd", std::string(3000, 's') + "skin"},
                                   {"Data/Music/theme.ogg", std::string(900, 'o') + "theme"},
                                   {kMesaLibraryName, kMesaLibrary}};

std::string readIni(const std::string& file, const char* section, const char* key) {
    char value[128] = {};
    GetPrivateProfileStringA(section, key, "<missing>", value, sizeof value, file.c_str());
    return value;
}

void expectIni(const std::string& file, std::initializer_list<std::array<const char*, 3>> entries) {
    for (const auto& [section, key, want] : entries) {
        SCOPED_TRACE(std::string(section) + "." + key);
        EXPECT_EQ(readIni(file, section, key), want);
    }
}

std::string registryLanguage() {
    char value[16] = "<missing>";
    DWORD size = sizeof value;
    RegGetValueA(HKEY_CURRENT_USER, kGameRegistryKey, kGameLanguageValue, RRF_RT_REG_SZ, nullptr, value, &size);
    return value;
}

// The bottom bar once an update has ended, seen in a few regions: the status line's colour (green for
// success, red for failure), PLAY drawn enabled (red gradient) or flat, FORCE offered or gone, and the
// progress bar full after a success.
struct BottomBar {
    std::uint32_t status;
    bool play;
    bool force;
};
constexpr BottomBar kUpToDate{palette::Ok, true, false};

bool shows(const Screenshot& shot, const BottomBar& want) {
    const Rect track = progressBarRect(want.force);
    const Rect statusLine{16, kBottomBarRect.top + 6, statusLineRight(track.right, true), kBottomBarRect.top + 24};
    const Rect trackEnd{track.right - 12, track.top + 2, track.right - 2, track.bottom - 2};
    const bool success = want.status == palette::Ok;
    return shot.pixelsNear(statusLine, want.status, 48) >= 10 &&
           (shot.pixelsNear(kPlayRect, palette::Accent, 24) > 200) == want.play &&
           (shot.pixelsNear(kForceRect, palette::ForceFill, 2) > 500) == want.force &&
           (!success || shot.pixelsNear(trackEnd, palette::Accent, 48) > 0);
}

// A server row of the open panel is selected when its top border is red.
bool rowSelected(const Screenshot& shot, int row) {
    const int top = kRowViewportRect.top + row * kRowPitch;
    return shot.pixelsNear(Rect{300, top, 500, top + 1}, palette::Accent, 0) == 200;
}

class LauncherPlayer : public ::testing::Test {
protected:
    // The installed client's game settings; with the hardware engine no OpenGL probe runs.
    void writeClient(GameFolder& folder, const char* config) {
        kyrtest::write_bytes(folder.path() / kGameConfigFileName, config);
        kyrtest::ValdraMainLayout client;
        client.addressA = "127.0.0.1";
        client.portA = arena_.port();
        kyrtest::write_bytes(folder.path() / kClientServerFileName, kyrtest::encodeValdraMain(client));
    }

    bool waitToSee(HWND window, const std::string& name, const std::function<bool(const Screenshot&)>& check) {
        return kyrtest::waitFor(30000, [&] {
            const Screenshot shot = Screenshot::capture(window, name);
            lastShot_ = shot.path();
            return shot.valid() && check(shot);
        });
    }
    bool waitForBar(HWND window, const std::string& name, const BottomBar& want) {
        return waitToSee(window, name, [&](const Screenshot& shot) { return shows(shot, want); });
    }

    // The game folder's launch record, once Main.exe has written it.
    std::string launchRecord(const GameFolder& folder) {
        const fs::path record = folder.path() / "launch-record.txt";
        EXPECT_TRUE(kyrtest::waitFor(10000, [&] { return fs::exists(record); })) << "Main.exe was not started";
        return kyrtest::read_bytes(record);
    }

    kyrtest::HttpTestServer arena_{[](const kyrtest::HttpRequest&) { return kyrtest::HttpResponse{}; }};
    std::string lastShot_;
};

class LauncherPlayerDay : public LauncherPlayer {
protected:
    void SetUp() override {
        ASSERT_FALSE(game_.text().empty()) << "the ANSI code page cannot name the game folder";
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kGameRegistryKey, kGameLanguageValue); // the prefix is shared
        writeClient(game_, "[Launcher]\r\nEngine=GPU\r\n[Graphics]\r\nWindowWidth=1920\r\nWindowHeight=1080\r\n"
                           "WindowMode=0\r\nFpsMode=0\r\n[Custom]\r\nLanguage=Eng\r\n");
        kyrtest::write_bytes(game_.path() / "servers.cache.json", serverDirectory());
        kyrtest::write_bytes(game_.path() / kServerListBmdPath, shippedServerList_);
        kyrtest::write_bytes(game_.path() / kMesaLibraryName, kMesaLibrary);
        kyrtest::write_bytes(game_.path() / kEngineLibraryName, kPlayersLibrary);
    }

    // arena first; valdra with a region that refuses connections (eu) and one that answers (sa), which the
    // automatic choice takes: only a pinned eu sends the game to the refusing port.
    std::string serverDirectory() const {
        const auto endpoint = [](const char* region, int port, int priority) {
            return std::string(R"({"region":")") + region + R"(","ip":"127.0.0.1","port":)" + std::to_string(port) +
                   R"(,"priority":)" + std::to_string(priority) + "}";
        };
        return R"({"schema":1,"servers":[{"slug":"arena","name":"Arena","order":1,"state":"online","endpoints":[)" +
               endpoint("eu", arena_.port(), 0) +
               R"(],"channels":[{"code":0,"name":"Arena-1","group":"Arena"}]},)"
               R"({"slug":"valdra","name":")" +
               kValdraName + R"(","order":2,"state":"online","endpoints":[)" + endpoint("eu", refusedPort_, 2) + "," +
               endpoint("sa", southAmerica_.port(), 1) +
               R"(],"channels":[{"code":0,"name":"Valdra-1","group":"Valdra"},)"
               R"({"code":21,"name":"Norte-1","group":"Valdra Norte"}]}]})";
    }

    static int refusingPort() {
        const kyrtest::HttpTestServer gone([](const kyrtest::HttpRequest&) { return kyrtest::HttpResponse{}; });
        return gone.port();
    }

    GameFolder game_{kStoreFiles, kFolderName};
    kyrtest::HttpTestServer southAmerica_{[](const kyrtest::HttpRequest&) { return kyrtest::HttpResponse{}; }};
    const int refusedPort_ = refusingPort();
    const std::string shippedServerList_ = kyrtest::bmdTemplateBytes({{1, "Norte del juego"}});
};

TEST_F(LauncherPlayerDay, UpdatesChoosesAServerAndSettingsThenPlays) {
    game_.stallNext(6000); // the update still runs when the player tries to close the window
    LauncherProcess first;
    HWND window = game_.start(first);
    ASSERT_NE(window, nullptr) << "the launcher window did not appear";
    ASSERT_TRUE(kyrtest::click(window, kCloseRect));
    EXPECT_TRUE(kyrtest::waitFor(10000, [&] { return kyrtest::visibleWindow(first.id, "#32770") != nullptr; }))
        << "closing during the update did not ask to wait";
    ASSERT_TRUE(kyrtest::pressKey("Return"));
    EXPECT_FALSE(first.ended(0)) << "the launcher closed during its update";
    RECT area{};
    GetWindowRect(window, &area);
    EXPECT_EQ(area.right - area.left, kWindowWidth);
    EXPECT_EQ(area.bottom - area.top, kWindowHeight);
    EXPECT_EQ(area.left, (GetSystemMetrics(SM_CXSCREEN) - kWindowWidth) / 2);
    EXPECT_FALSE(GetWindowLongPtrW(window, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME));

    // A second launcher on the folder, its path spelled in capitals, brings the first one's window back and
    // ends at once.
    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(kyrtest::waitFor(5000, [&] { return IsIconic(window) != FALSE; }));
    std::string shouted = game_.text();
    CharUpperBuffA(shouted.data(), static_cast<DWORD>(shouted.size()));
    LauncherProcess another;
    ASSERT_TRUE(game_.spawn(another, shouted));
    EXPECT_TRUE(another.ended(10000)) << "a second launcher runs on the folder";
    EXPECT_EQ(another.exitCode(), 0u);
    EXPECT_TRUE(kyrtest::waitFor(5000, [&] { return IsIconic(window) == FALSE; })) << "the first stayed minimised";
    EXPECT_FALSE(first.ended(0));

    ASSERT_TRUE(waitForBar(window, "day_up_to_date", kUpToDate)) << lastShot_;
    for (const auto& [path, bytes] : kStoreFiles) {
        SCOPED_TRACE(path);
        EXPECT_EQ(kyrtest::read_bytes(game_.path() / path), bytes);
    }
    EXPECT_TRUE(fs::exists(game_.path() / "patchstate.json"));
    EXPECT_EQ(kyrtest::read_bytes(game_.path() / kClientServerFilePath),
              kyrtest::read_bytes(game_.path() / kClientServerFileName))
        << "start-up seeds Data\\Local with the client's server file";

    // Version 2 carries a new launcher (the same program with bytes appended, which Windows still runs):
    // VERIFY installs it over the running one, which restarts into it.
    const fs::path program = game_.path() / "KyrLauncher.exe";
    kyrtest::FileMap second = kStoreFiles;
    second["KyrLauncher.exe"] = kyrtest::read_bytes(program) + std::string(4096, 'Z');
    game_.publish(second, "2.0.0");
    // A leftover of a self-update retried within one process goes at the next start too.
    kyrtest::write_bytes(gu::patch::aside_path(program, 3), "leftover");
    ASSERT_TRUE(kyrtest::click(window, kVerifyRect));
    ASSERT_TRUE(first.ended(30000)) << "the old launcher did not close after its update";
    EXPECT_EQ(first.exitCode(), 0u);
    DWORD restartedId = 0;
    ASSERT_TRUE(kyrtest::waitFor(15000, [&] {
        return (window = kyrtest::visibleWindow(first.id, kLauncherWindowClassName, true, &restartedId)) != nullptr;
    }));
    LauncherProcess launcher;
    launcher.id = restartedId;
    launcher.handle =
        OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, restartedId);
    ASSERT_TRUE(waitForBar(window, "day_restarted", kUpToDate)) << lastShot_;
    EXPECT_EQ(kyrtest::read_bytes(program), second["KyrLauncher.exe"]);
    EXPECT_TRUE(kyrtest::waitFor(5000, [&] {
        return !fs::exists(gu::patch::aside_path(program)) && !fs::exists(gu::patch::aside_path(program, 3));
    }));

    // Servers: the first is selected until the keyboard moves to valdra, whose first region is pinned.
    ASSERT_TRUE(kyrtest::click(window, kServerSelectorRect));
    ASSERT_TRUE(waitToSee(window, "day_servers", [](const Screenshot& shot) { return rowSelected(shot, 0); }))
        << lastShot_;
    ASSERT_TRUE(kyrtest::pressKey("Down"));
    ASSERT_TRUE(waitToSee(window, "day_valdra", [](const Screenshot& shot) { return rowSelected(shot, 1); }))
        << lastShot_;
    // A letter outside the ANSI code page, typed into the search, finds valdra alone by its name.
    ASSERT_TRUE(kyrtest::click(window, kSearchBoxRect));
    ASSERT_TRUE(PostMessageW(window, WM_CHAR, 0x0416, 1));
    ASSERT_TRUE(waitToSee(window, "day_search", [](const Screenshot& shot) { return rowSelected(shot, 0); }))
        << lastShot_;
    ASSERT_TRUE(kyrtest::pressKey("BackSpace"));
    ASSERT_TRUE(waitToSee(window, "day_search_erased", [](const Screenshot& shot) { return rowSelected(shot, 1); }))
        << lastShot_;
    ASSERT_TRUE(kyrtest::click(window, kRegionRightRect));
    ASSERT_TRUE(kyrtest::pressKey("Escape"));

    // Settings: the software engine, Portuguese, the third frame limit, windowed; applied.
    for (const Rect& target : {kSettingsGearRect, kEngineRightRect, kLanguageLeftRect, kFpsRightRect, kFpsRightRect,
                               kWindowedCheckRect, kApplyRect}) {
        ASSERT_TRUE(kyrtest::click(window, target));
    }
    const std::string config = game_.text() + "\\" + kGameConfigFileName;
    ASSERT_TRUE(kyrtest::waitFor(5000, [&] { return readIni(config, "Launcher", "Engine") == "CPU"; }))
        << "APPLY did not write config.ini";
    expectIni(config, {{"Graphics", "WindowMode", "1"}, {"Graphics", "FpsMode", "2"}, {"Custom", "Language", "Por"}});
    EXPECT_EQ(registryLanguage(), "Por");
    EXPECT_TRUE(kyrtest::waitFor(5000, [&] { return southAmerica_.connections() > 0; })) << "no latency probe";

    ASSERT_TRUE(kyrtest::click(window, kPlayRect));
    const std::string folder = game_.text();
    EXPECT_EQ(launchRecord(game_), "command=\"" + folder + "\\Main.exe\" /u127.0.0.1 /p" +
                                       std::to_string(refusedPort_) + "\ncwd=" + folder + "\ngallium=llvmpipe\n");
    EXPECT_TRUE(launcher.ended(5000)) << "the launcher stayed open after starting the game";
    EXPECT_EQ(launcher.exitCode(), 0u);

    // valdra's groups for the game, the shipped list kept as the template, its stamp remembered.
    const fs::path serverList = game_.path() / kServerListBmdPath;
    std::vector<std::string> groups;
    for (const BmdRecord& record : readBmdRecords(game_.text() + "\\" + kServerListBmdPath)) {
        groups.push_back(record.name);
    }
    EXPECT_EQ(groups, (std::vector<std::string>{"Valdra", "Valdra Norte"}));
    EXPECT_EQ(kyrtest::read_bytes(fs::path(serverList) += kServerListBmdTemplateSuffix), shippedServerList_);
    expectIni(game_.text() + "\\launcher.ini",
              {{"Servers", "Last", "valdra"},
               {"Servers", "Region.valdra", ("eu@127.0.0.1:" + std::to_string(refusedPort_)).c_str()},
               {"Servers", "BmdStamp", stampOf(kyrtest::read_bytes(serverList)).c_str()}});

    // The software engine: its graphics profile with the player's window size kept for later, and the Mesa
    // copy in place of the player's library, which is backed up.
    expectIni(config, {{"Graphics", "MSAASamples", "0"},
                       {"Graphics", "WindowWidth", "1024"},
                       {"Graphics", "WindowHeight", "640"},
                       {"Launcher", "PrevWidth", "1920"},
                       {"Launcher", "PrevHeight", "1080"}});
    EXPECT_EQ(kyrtest::read_bytes(game_.path() / kEngineLibraryName), kMesaLibrary);
    EXPECT_EQ(kyrtest::read_bytes(game_.path() / kEngineBackupName), kPlayersLibrary);
    EXPECT_EQ(kyrtest::read_bytes(game_.path() / kEngineBackupMarkerName), kEngineBackupMarkerContent);
}

// A store that must not be trusted, one way per row: the failure in red with FORCE offered, every file of
// the installed client kept, and PLAY as the outcome allows (a run that fetched data may have left the
// client half updated).
void signedWithAnotherKey(GameFolder&, std::string& key) {
    std::array<std::uint8_t, 32> seed{};
    seed.fill(0x5a);
    key = kyrtest::TestSigner(seed).public_key_base64();
}

// The last chunk of a file of many, so that the chunks before it are fetched when it fails.
void chunkSpoiled(GameFolder& folder, std::string&) {
    const std::string path = gu::patch::chunk_path(folder.store().chunks_of("Data/Player/skin.bmd").back().h);
    folder.replaceObject(path, std::string(folder.store().objects.at(path)).replace(0, 4, "FAKE"));
}

TEST_F(LauncherPlayer, ABrokenStoreLeavesTheInstalledClient) {
    const struct {
        const char* name;
        void (*breakStore)(GameFolder& folder, std::string& key);
        bool play;
    } cases[] = {
        {"signed_with_another_key", signedWithAnotherKey, true},
        {"chunk_spoiled", chunkSpoiled, false},
    };
    for (const auto& broken : cases) {
        SCOPED_TRACE(broken.name);
        GameFolder game(kStoreFiles, broken.name);
        writeClient(game, "[Launcher]\r\nEngine=GPU\r\n");
        const kyrtest::FileMap installed{{"Data/Player/skin.bmd", "installed skin"},
                                         {"Data/Music/theme.ogg", "installed theme"},
                                         {"Data/Player/notes.txt", "the player's own notes"}};
        for (const auto& [path, bytes] : installed) {
            fs::create_directories((game.path() / path).parent_path());
            kyrtest::write_bytes(game.path() / path, bytes);
        }
        std::string key;
        broken.breakStore(game, key);
        LauncherProcess launcher;
        HWND window = game.start(launcher, key);
        ASSERT_NE(window, nullptr) << "the launcher window did not appear";

        const std::string shot = std::string("broken_") + broken.name;
        ASSERT_TRUE(waitForBar(window, shot, {palette::Accent, broken.play, true})) << lastShot_;
        for (const auto& [path, bytes] : installed) {
            SCOPED_TRACE(path);
            EXPECT_EQ(kyrtest::read_bytes(game.path() / path), bytes);
        }
        EXPECT_FALSE(fs::exists(game.path() / "patchstate.json"));

        ASSERT_TRUE(kyrtest::click(window, kPlayRect));
        if (broken.play) {
            // No server list was read after the failure: the game offers its own choice.
            EXPECT_EQ(launchRecord(game),
                      "command=\"" + game.text() + "\\Main.exe\"\ncwd=" + game.text() + "\ngallium=<unset>\n");
        } else {
            EXPECT_FALSE(launcher.ended(1000)) << "PLAY of a half-updated client did something";
            EXPECT_FALSE(fs::exists(game.path() / "launch-record.txt"));
        }
    }
}

} // namespace
