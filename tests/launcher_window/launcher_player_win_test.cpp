// KyrLauncher.exe driven as a player would, with real X input, in a game folder whose cached server
// directory points at listeners of this process: the latencies it measures, a server picked with the
// mouse and another with the keyboard, a pinned region, changed game settings, PLAY and the files it
// leaves for the game; and an update from a broken store, then repaired and verified again.

#include "launcher/game/engine_files.hpp"
#include "launcher/game/game_client_interface.hpp"
#include "launcher/game/game_settings.hpp"
#include "launcher/game/video_engine.hpp"
#include "launcher/servers/endpoint_probe.hpp"
#include "launcher/servers/server_directory.hpp"
#include "launcher/servers/server_list_bmd.hpp"
#include "launcher/shell/server_rows.hpp"
#include "launcher/ui/layout.hpp"
#include "launcher/ui/panels_win.hpp"
#include "launcher/ui/server_list_view.hpp"
#include "launcher_window/latency_cells_win.hpp"
#include "launcher_window/launcher_process_win.hpp"
#include "launcher_window/launcher_run_win.hpp"
#include "launcher_window/launcher_screen_win.hpp"
#include "launcher_window/screen_tools_win.hpp"
#include "patch/chunk_fetch.hpp"
#include "support/bmd_template.hpp"
#include "support/http_test_server.hpp"
#include "support/valdra_main_encoder.hpp"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace launcher;
using kyrtest::ExpectedView;
using kyrtest::LauncherProcess;
using kyrtest::Screenshot;
namespace fs = std::filesystem;

// Places where the pointer rests while the screen is compared, hovering over no target of that view.
constexpr Point kMainViewRest{400, 200};
constexpr Point kServerPanelRest{480, 335};
constexpr Point kSettingsPanelRest{300, 300};

constexpr char kListFromCache[] = "Sin conexion: se usa la ultima lista guardada.";
constexpr char kMesaLibrary[] = "MESA llvmpipe stand-in, never loaded";
constexpr char kPlayersLibrary[] = "QEFFECTS wrapper library of the player";
// The window size in config.ini, which the player keeps.
constexpr DisplayMode kStoredWindow{1920, 1080};

// Bytes that differ from chunk to chunk, so that every chunk of a file is an object of its own.
std::string patterned(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * seed + i / 7) & 0xFF);
    }
    return bytes;
}

kyrtest::FileMap storeFiles() {
    return {{"Data/Player/skin.bmd", patterned(3000, 7)},
            {"Data/Music/theme.ogg", patterned(900, 13)},
            {"Data/Local/Text.bmd", "text"}};
}

kyrtest::HttpResponse answerNothing(const kyrtest::HttpRequest&) {
    return kyrtest::HttpResponse{};
}

// A loopback port that was just given up: a connect there is refused.
int refusingPort() {
    kyrtest::HttpTestServer gone(answerNothing);
    return gone.port();
}

std::string readIni(const fs::path& file, const char* section, const char* key) {
    char value[128] = {};
    GetPrivateProfileStringA(section, key, "<missing>", value, sizeof value, file.string().c_str());
    return value;
}

struct IniEntry {
    const char* section;
    const char* key;
    const char* want;
};

void expectIni(const fs::path& file, std::initializer_list<IniEntry> entries) {
    for (const IniEntry& entry : entries) {
        SCOPED_TRACE(std::string(entry.section) + "." + entry.key);
        EXPECT_EQ(readIni(file, entry.section, entry.key), entry.want);
    }
}

std::string registryLanguage() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kGameRegistryKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return "<missing>";
    }
    char value[16] = {};
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    const LONG read = RegQueryValueExA(key, kGameLanguageValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return read == ERROR_SUCCESS && type == REG_SZ ? std::string(value) : "<missing>";
}

// The suite shares one Wine prefix, and other tests apply settings too.
void forgetRegistryLanguage() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kGameRegistryKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, kGameLanguageValue);
        RegCloseKey(key);
    }
}

// What the player sets in the settings panel: the software engine, Portuguese, 240 FPS, windowed; the
// window size stays the stored one.
WindowState settingsPanelAfterTheChoices() {
    WindowState state;
    GameSettings& settings = state.settings;
    settings.panelOpen = true;
    settings.modes = buildDisplayModeList();
    settings.resolution = findOrAddDisplayMode(settings.modes, kStoredWindow.width, kStoredWindow.height);
    settings.engine = static_cast<int>(VideoEngine::Cpu);
    settings.language = 2;
    settings.fpsMode = 2;
    settings.windowed = true;
    return state;
}

// The game's own ServerList.bmd: a record for group 1 whose game fields must be carried over, and one for
// a group that the chosen server does not have.
std::vector<kyrtest::TemplateRecord> shippedRecords() {
    kyrtest::TemplateRecord north;
    north.id = 1;
    north.name = "Norte del juego";
    north.flags = 0x21;
    north.sequence = 7;
    north.settings = {9, 8, 7, 6, 5, 4, 3, 2};
    north.extra = 0xA1B2C3D4;
    north.extra2 = 0x0102;
    north.extra3 = 0x33;
    north.description = std::string("Grupo norte del juego") + '\0';
    kyrtest::TemplateRecord other;
    other.id = 9;
    other.name = "Otro";
    other.sequence = 2;
    other.description = std::string("x") + '\0';
    return {north, other};
}

class LauncherPlayerTest : public ::testing::Test {
protected:
    LauncherPlayerTest() : run_(storeFiles()), screen_(run_), cells_(screen_.canvas()) {}

    void SetUp() override {
        ASSERT_TRUE(screen_.valid());
        ASSERT_TRUE(kyrtest::runHostCommand("xdotool mousemove 0 0"));
        forgetRegistryLanguage();
        writeGameFolder();
    }

    // The client's server file lies beside the launcher only, so start-up seeds Data\Local with it.
    void writeGameFolder() {
        const fs::path root = run_.folder();
        kyrtest::ValdraMainLayout client;
        client.addressA = "127.0.0.1";
        client.portA = arena_.port();
        clientFile_ = kyrtest::encodeValdraMain(client);
        kyrtest::write_bytes(root / kClientServerFileName, clientFile_);
        kyrtest::write_bytes(root / kGameConfigFileName,
                             "[Launcher]\r\nEngine=GPU\r\n[Graphics]\r\nWindowWidth=1920\r\n"
                             "WindowHeight=1080\r\nWindowMode=0\r\nFpsMode=0\r\n"
                             "[Custom]\r\nLanguage=Eng\r\n");
        kyrtest::write_bytes(root / "servers.cache.json", serverDirectory_);
        fs::create_directories(root / "Data" / "Local");
        kyrtest::write_bytes(root / kServerListBmdPath, shippedServerList_);
        kyrtest::write_bytes(root / kMesaLibraryName, kMesaLibrary);
        kyrtest::write_bytes(root / kEngineLibraryName, kPlayersLibrary);
    }

    // Three servers, sorted by order: arena (one endpoint), valdra (two regions, channels in three
    // groups) and caido. The endpoints of valdra's preferred region and of caido refuse connections, so
    // that the automatic choice of valdra is its other region, whatever the latencies measured.
    std::string serverDirectoryText() const {
        const auto endpoint = [](const char* region, const char* label, int port, int priority) {
            return std::string(R"({"region":")") + region + R"(","label":")" + label + R"(","ip":"127.0.0.1","port":)" +
                   std::to_string(port) + R"(,"priority":)" + std::to_string(priority) + "}";
        };
        return R"({"schema":1,"servers":[)"
               R"({"slug":"valdra","name":"Valdra Principal","kind":"oficial","order":2,"state":"online",)"
               R"("online":812,"maxOnline":2000,"rates":{"exp":"x50","drop":"x3"},)"
               R"("description":"Servidor oficial de Valdra","endpoints":[)" +
               endpoint("eu", "Europa Oeste", closedPort_, 1) + "," +
               endpoint("sa", "Sudamerica", southAmerica_.port(), 2) +
               R"(],"channels":[{"code":0,"name":"Valdra-1","group":"Valdra"},{"code":1,"name":"Valdra-2"},)"
               R"({"code":21,"name":"Norte-1","group":"Valdra Norte"},{"code":45,"name":"Prueba-1"}]},)"
               R"({"slug":"arena","name":"Arena de Sangre","kind":"battle","order":1,"state":"online",)"
               R"("online":95,"maxOnline":500,"rates":{"exp":"x1000"},"endpoints":[)" +
               endpoint("eu", "Europa Oeste", arena_.port(), 0) +
               R"(],"channels":[{"code":0,"name":"Arena-1","group":"Arena"}]},)"
               R"({"slug":"caido","name":"Servidor Caido","kind":"test","order":3,"state":"offline",)"
               R"("description":"Sin servicio","endpoints":[)" +
               endpoint("eu", "Europa Oeste", closedPort_, 0) + "]}]}";
    }

    ServerDirectory cachedDirectory() const {
        ServerDirectory directory;
        EXPECT_TRUE(parseServerDirectory(serverDirectory_, directory, nullptr));
        return directory;
    }

    // The server panel showing the cached directory once every endpoint was probed, with selected chosen
    // and a region pinned on the server pinnedSlug when it is not empty. The regions chosen follow from
    // which endpoints answered; the latencies shown are read from the screen.
    WindowState serverPanel(const std::string& selected, const std::string& pinnedSlug = "",
                            const std::string& pinnedRegion = "") const {
        ServerDirectory directory = cachedDirectory();
        for (ServerEntry& server : directory.servers) {
            for (std::size_t i = 0; i < server.endpoints.size(); ++i) {
                ServerEndpoint& endpoint = server.endpoints[i];
                endpoint.latencyMs = endpoint.port == closedPort_ ? kProbeFailed : 0;
                if (server.slug == pinnedSlug && endpoint.region == pinnedRegion) {
                    server.selectedEndpoint = static_cast<int>(i);
                }
            }
        }
        const ServerRowsSnapshot snapshot = buildServerRows(directory, selected);
        WindowState state;
        state.update.playEnabled = true;
        state.servers.open = true;
        state.servers.rows = snapshot.rows;
        state.servers.selectedRow = snapshot.selectedRow;
        state.servers.status = kListFromCache;
        state.servers.statusError = true; // the cache stands in for the network
        rebuildVisibleRows(state.servers);
        return state;
    }

    // The header's server selector naming the selected server of the cached directory.
    ExpectedView headerShowing(const std::string& selected) const {
        WindowState state;
        state.news.headline = buildServerRows(cachedDirectory(), selected).headline;
        return {state, paintHeader, {kServerSelectorRect}};
    }

    // Whether shot shows the panel of want with a latency in every row; latencies receives them by
    // position, -1 for "-- ms".
    bool showsServerPanel(const Screenshot& shot, const WindowState& want, std::vector<int>& latencies) {
        std::vector<Rect> cells;
        for (std::size_t position = 0; position < want.servers.visible.size(); ++position) {
            cells.push_back(kyrtest::latencyCell(static_cast<int>(position)));
        }
        screen_.canvas().draw(want, paintServerPanel);
        if (kyrtest::differingPixels(shot, screen_.canvas(), kServerPanelRect, cells) != 0) {
            return false;
        }
        latencies.clear();
        for (std::size_t position = 0; position < want.servers.visible.size(); ++position) {
            const bool selected = want.servers.visible[position] == want.servers.selectedRow;
            latencies.push_back(cells_.shownAt(shot, static_cast<int>(position), selected));
        }
        return std::count(latencies.begin(), latencies.end(), kyrtest::kNoLatencyShown) == 0;
    }

    bool waitForServerPanel(HWND window, const std::string& name, const WindowState& want,
                            std::vector<int>& latencies) {
        return screen_.waitFor(window, name, 10000,
                               [&](const Screenshot& shot) { return showsServerPanel(shot, want, latencies); });
    }

    // Starts the launcher and waits for the end of its update: "Client up to date." in the bottom bar.
    HWND startUpToDate(LauncherProcess& launcher) {
        HWND window = run_.start(launcher);
        if (window == nullptr) {
            ADD_FAILURE() << "the launcher window did not appear";
            return nullptr;
        }
        if (!screen_.waitForViews(window, "player_up_to_date", 30000,
                                  {{kyrtest::upToDateState(), paintBottomBar, {kyrtest::kBarInside}}})) {
            ADD_FAILURE() << "the update did not end in \"Client up to date.\": " << screen_.lastShot();
            return nullptr;
        }
        return window;
    }

    // The server panel by mouse; the last server with the mouse, the one above it with the keyboard; its
    // regions stepped forward to the second and back to the first, which refuses connections yet stays
    // pinned; Escape; then engine, language, frame limit and window mode in the settings panel, applied.
    // Each step waits until the window shows its effect.
    void makeThePlayersChoices(HWND window) {
        const auto panelStep = [&](const Rect& target, const char* name, const WindowState& want) {
            std::vector<int> latencies;
            ASSERT_TRUE(kyrtest::clickAndRest(window, target, kServerPanelRest));
            ASSERT_TRUE(waitForServerPanel(window, name, want, latencies)) << screen_.lastShot();
        };
        std::vector<int> latencies;
        ASSERT_NO_FATAL_FAILURE(panelStep(kServerSelectorRect, "player_servers", serverPanel("arena")));
        ASSERT_NO_FATAL_FAILURE(panelStep(rowRectAt(2, 0), "player_picked_by_mouse", serverPanel("caido")));
        ASSERT_TRUE(kyrtest::Pointer(window).key("Up"));
        ASSERT_TRUE(waitForServerPanel(window, "player_picked_by_keyboard", serverPanel("valdra"), latencies))
            << screen_.lastShot();
        ASSERT_NO_FATAL_FAILURE(
            panelStep(kRegionRightRect, "player_region_first", serverPanel("valdra", "valdra", "eu")));
        ASSERT_NO_FATAL_FAILURE(
            panelStep(kRegionRightRect, "player_region_second", serverPanel("valdra", "valdra", "sa")));
        ASSERT_NO_FATAL_FAILURE(
            panelStep(kRegionLeftRect, "player_region_pinned", serverPanel("valdra", "valdra", "eu")));

        // Escape closes the panel: the bottom bar shows again and the header names the chosen server.
        ASSERT_TRUE(kyrtest::Pointer(window).key("Escape"));
        ASSERT_TRUE(screen_.waitForViews(
            window, "player_server_chosen", 10000,
            {{kyrtest::upToDateState(), paintBottomBar, {kyrtest::kBarInside}}, headerShowing("valdra")}))
            << screen_.lastShot();

        for (const Rect& target : {kSettingsGearRect, kEngineRightRect, kLanguageLeftRect, kFpsRightRect, kFpsRightRect,
                                   kWindowedCheckRect}) {
            ASSERT_TRUE(kyrtest::clickAndRest(window, target, kSettingsPanelRest));
        }
        ASSERT_TRUE(screen_.waitForViews(window, "player_settings", 10000,
                                         {{settingsPanelAfterTheChoices(), paintSettingsPanel, {kSettingsPanelRect}}}))
            << screen_.lastShot();
        ASSERT_TRUE(kyrtest::clickAndRest(window, kApplyRect, kMainViewRest));
        const fs::path config = run_.folder() / kGameConfigFileName;
        ASSERT_TRUE(kyrtest::waitFor(5000, 50, [&] { return readIni(config, "Launcher", "Engine") == "CPU"; }))
            << "APPLY did not write config.ini";
    }

    kyrtest::LauncherRun run_;
    kyrtest::LauncherScreen screen_;
    kyrtest::LatencyCells cells_;
    kyrtest::HttpTestServer arena_{answerNothing};
    kyrtest::HttpTestServer southAmerica_{answerNothing};
    const int closedPort_ = refusingPort();
    const std::string serverDirectory_ = serverDirectoryText();
    const std::string shippedServerList_ = kyrtest::bmdTemplateBytes(shippedRecords());
    std::string clientFile_;
};

TEST_F(LauncherPlayerTest, ShowsTheLatencyMeasuredForEveryCachedServer) {
    LauncherProcess launcher;
    HWND window = startUpToDate(launcher);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(kyrtest::read_bytes(run_.folder() / kClientServerFilePath), clientFile_)
        << "start-up seeds Data\\Local with the client's server file";

    // Without a remembered server the first one is selected, and the header names it.
    ASSERT_TRUE(screen_.waitForViews(window, "player_first_server", 10000, {headerShowing("arena")}))
        << screen_.lastShot();
    ASSERT_TRUE(kyrtest::clickAndRest(window, kServerSelectorRect, kServerPanelRest));
    std::vector<int> latencies;
    const bool measured = screen_.waitFor(window, "player_latencies", 15000, [&](const Screenshot& shot) {
        return showsServerPanel(shot, serverPanel("arena"), latencies) && latencies[0] >= 0 && latencies[1] >= 0;
    });
    ASSERT_TRUE(measured) << "the listening servers' rows never showed \"<n> ms\": " << screen_.lastShot();
    std::printf("[ latency  ] arena %d ms, valdra %d ms\n", latencies[0], latencies[1]);
    EXPECT_EQ(latencies[2], -1) << "a refused endpoint shows \"-- ms\"";
    EXPECT_GE(arena_.connections(), 1);
    EXPECT_GE(southAmerica_.connections(), 1);
}

TEST_F(LauncherPlayerTest, RemembersTheServerRegionAndSettingsThePlayerChose) {
    LauncherProcess launcher;
    HWND window = startUpToDate(launcher);
    ASSERT_NE(window, nullptr);
    ASSERT_NO_FATAL_FAILURE(makeThePlayersChoices(window));

    expectIni(run_.folder() / "launcher.ini", {{"Servers", "Last", "valdra"}, {"Servers", "Region.valdra", "eu"}});
    expectIni(run_.folder() / kGameConfigFileName, {
                                                       {"Launcher", "Engine", "CPU"},
                                                       {"Graphics", "WindowWidth", "1920"},
                                                       {"Graphics", "WindowHeight", "1080"},
                                                       {"Graphics", "WindowMode", "1"},
                                                       {"Graphics", "FpsMode", "2"},
                                                       {"Custom", "Language", "Por"},
                                                       {"Graphics", "MSAASamples", "<missing>"},
                                                   });
    EXPECT_EQ(registryLanguage(), "Por");

    // Closed without playing: nothing of the game's is touched.
    ASSERT_TRUE(kyrtest::clickAndRest(window, kCloseRect, kMainViewRest));
    EXPECT_TRUE(launcher.ended(5000)) << "the close mark did not end the launcher";
    EXPECT_EQ(launcher.exitCode(), 0u);
    EXPECT_FALSE(fs::exists(run_.folder() / "launch-record.txt"));
    EXPECT_EQ(kyrtest::read_bytes(run_.folder() / kServerListBmdPath), shippedServerList_);
    EXPECT_FALSE(fs::exists(run_.folder() / (std::string(kServerListBmdPath) + kServerListBmdTemplateSuffix)));
    EXPECT_EQ(kyrtest::read_bytes(run_.folder() / kEngineLibraryName), kPlayersLibrary);
    EXPECT_FALSE(fs::exists(run_.folder() / kEngineBackupName));
}

TEST_F(LauncherPlayerTest, PlayStartsTheGameOnThePinnedRegionWithTheFilesItNeeds) {
    LauncherProcess launcher;
    HWND window = startUpToDate(launcher);
    ASSERT_NE(window, nullptr);
    ASSERT_NO_FATAL_FAILURE(makeThePlayersChoices(window));

    ASSERT_TRUE(kyrtest::clickAndRest(window, kPlayRect, kMainViewRest));
    const fs::path record = run_.folder() / "launch-record.txt";
    ASSERT_TRUE(kyrtest::waitFor(10000, 50, [&] { return fs::exists(record); })) << "Main.exe was not started";
    std::printf("[ timing   ] start to Main.exe: %lld ms\n", kyrtest::millisecondsSince(run_.started()));
    EXPECT_TRUE(launcher.ended(5000)) << "the launcher stayed open after starting the game";
    EXPECT_EQ(launcher.exitCode(), 0u);

    // Main.exe on the pinned region's endpoint (not the one that answered), in the game folder, with the
    // software driver chosen.
    const std::string folder = run_.folderText();
    EXPECT_EQ(kyrtest::read_bytes(record), "command=\"" + folder + "\\Main.exe\" /u127.0.0.1 /p" +
                                               std::to_string(closedPort_) + "\ncwd=" + folder +
                                               "\ngallium=llvmpipe\n");

    // ServerList.bmd: valdra's groups, group 1 keeping the game's fields of the shipped file.
    const fs::path serverList = run_.folder() / kServerListBmdPath;
    const std::string description = std::string("Servidor oficial de Valdra") + '\0';
    const kyrtest::TemplateRecord north = shippedRecords()[0];
    const struct {
        int id;
        const char* name;
        std::uint8_t flags;
        std::uint8_t sequence;
        std::array<std::uint8_t, 8> settings;
        std::uint32_t extra;
        std::uint16_t extra2;
        std::uint8_t extra3;
        std::string description;
    } wanted[] = {
        {0, "Valdra", 0, 1, kBmdDefaultSettings, 0, 0, 0, description},
        {1, "Valdra Norte", north.flags, north.sequence, north.settings, north.extra, north.extra2, north.extra3,
         north.description},
        {2, "Servidor 2", 0, 8, kBmdDefaultSettings, 0, 0, 0, description},
    };
    const std::vector<BmdRecord> records = readBmdRecords(serverList.string());
    ASSERT_EQ(records.size(), std::size(wanted));
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(wanted[i].name);
        EXPECT_EQ(records[i].id, wanted[i].id);
        EXPECT_EQ(records[i].name, wanted[i].name);
        EXPECT_EQ(records[i].flags, wanted[i].flags);
        EXPECT_EQ(records[i].sequence, wanted[i].sequence);
        EXPECT_EQ(records[i].settings, wanted[i].settings);
        EXPECT_EQ(records[i].extra, wanted[i].extra);
        EXPECT_EQ(records[i].extra2, wanted[i].extra2);
        EXPECT_EQ(records[i].extra3, wanted[i].extra3);
        EXPECT_EQ(records[i].description, wanted[i].description);
    }
    EXPECT_EQ(kyrtest::read_bytes(serverList.string() + kServerListBmdTemplateSuffix), shippedServerList_)
        << "the shipped file is kept as the template";
    expectIni(run_.folder() / "launcher.ini",
              {{"Servers", "BmdStamp", stampOf(kyrtest::read_bytes(serverList)).c_str()}});

    // The software engine's profile, the window reduced with the player's size kept for later.
    expectIni(run_.folder() / kGameConfigFileName, {
                                                       {"Graphics", "MSAASamples", "0"},
                                                       {"Graphics", "EffectStatic", "0"},
                                                       {"Graphics", "SkipGpuParticles", "1"},
                                                       {"Graphics", "WindowWidth", "1024"},
                                                       {"Graphics", "WindowHeight", "640"},
                                                       {"Launcher", "PrevWidth", "1920"},
                                                       {"Launcher", "PrevHeight", "1080"},
                                                       {"Launcher", "Engine", "CPU"},
                                                       {"Custom", "Language", "Por"},
                                                   });

    // The Mesa copy in place of the player's library, which is backed up and marked complete.
    EXPECT_EQ(kyrtest::read_bytes(run_.folder() / kEngineLibraryName), kMesaLibrary);
    EXPECT_EQ(kyrtest::read_bytes(run_.folder() / kEngineBackupName), kPlayersLibrary);
    EXPECT_EQ(kyrtest::read_bytes(run_.folder() / kEngineBackupMarkerName), kEngineBackupMarkerContent);
    FileFingerprint mesa;
    ASSERT_TRUE(fingerprintFile((run_.folder() / kMesaLibraryName).string(), mesa));
    EXPECT_EQ(kyrtest::read_bytes(run_.folder() / kPlacedEngineMarkerName),
              std::to_string(mesa.size) + " " + mesa.sha256 + "\n");
}

// A store broken one way; the update's outcome decides how the status line begins and whether PLAY stays.
struct BrokenStoreCase {
    const char* name;
    void (*breakStore)(kyrtest::LauncherRun& run);
    const char* failure; // how the status line begins once FORCE no longer leads it
    bool playEnabled;
};

void PrintTo(const BrokenStoreCase& broken, std::ostream* out) {
    *out << broken.name;
}

void withoutManifest(kyrtest::LauncherRun& run) {
    run.replaceObject(run.store().manifest_path(), std::nullopt);
}

// The last chunk of a file of many, so that the chunks before it have been downloaded when it fails.
void withSpoiledChunk(kyrtest::LauncherRun& run) {
    const std::string path = gu::patch::chunk_path(run.store().chunks_of("Data/Player/skin.bmd").back().h);
    std::string bytes = run.store().objects.at(path);
    for (std::size_t i = bytes.size() / 2; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    }
    run.replaceObject(path, bytes);
}

const BrokenStoreCase kBrokenStores[] = {
    {"ManifestMissing", withoutManifest, "Update failed (current client intact): ", true},
    {"ChunkSpoiled", withSpoiledChunk, "The update was interrupted halfway through. Tap VERIFY to retry.", false},
};

class LauncherBrokenStoreTest : public LauncherPlayerTest, public ::testing::WithParamInterface<BrokenStoreCase> {};

TEST_P(LauncherBrokenStoreTest, FailsWithTheButtonsOfItsOutcomeUntilVerifyFindsItRepaired) {
    const BrokenStoreCase& broken = GetParam();
    broken.breakStore(run_);
    LauncherProcess launcher;
    HWND window = run_.start(launcher);
    ASSERT_NE(window, nullptr) << "the launcher window did not appear";
    const std::string shot = std::string("player_broken_") + broken.name;

    ASSERT_TRUE(screen_.waitForFailedUpdate(window, shot + "_failed", kyrtest::kForceHint + std::string(broken.failure),
                                            broken.playEnabled, true))
        << "no failure with FORCE offered: " << screen_.lastShot();
    EXPECT_FALSE(fs::exists(run_.folder() / "patchstate.json"));

    // FORCE fails the same way; its hint no longer leads the text and FORCE is not offered again.
    ASSERT_TRUE(kyrtest::clickAndRest(window, kForceRect, kMainViewRest));
    ASSERT_TRUE(screen_.waitForFailedUpdate(window, shot + "_forced", broken.failure, broken.playEnabled, false))
        << "no failure after FORCE: " << screen_.lastShot();

    run_.restoreObjects();
    ASSERT_TRUE(kyrtest::clickAndRest(window, kVerifyRect, kMainViewRest));
    ASSERT_TRUE(screen_.waitForViews(window, shot + "_verified", 30000,
                                     {{kyrtest::upToDateState(), paintBottomBar, {kyrtest::kBarInside}}}))
        << "VERIFY on the repaired store did not end in \"Client up to date.\": " << screen_.lastShot();
    for (const auto& [path, bytes] : run_.storeFiles()) {
        SCOPED_TRACE(path);
        EXPECT_EQ(kyrtest::read_bytes(run_.folder() / path), bytes);
    }
    EXPECT_TRUE(fs::exists(run_.folder() / "patchstate.json"));
}

std::string caseName(const ::testing::TestParamInfo<BrokenStoreCase>& tested) {
    return tested.param.name;
}

INSTANTIATE_TEST_SUITE_P(Stores, LauncherBrokenStoreTest, ::testing::ValuesIn(kBrokenStores), caseName);

} // namespace
