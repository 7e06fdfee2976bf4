// Links that another program planted under the names the launcher writes in the game folder: whatever
// the launcher does there, the file or folder the link leads to, outside the game folder, stays as it was.

#include "launcher/game/engine_files.hpp"
#include "launcher/game/game_client_interface.hpp"
#include "launcher/game/video_engine.hpp"
#include "launcher/servers/server_list_bmd.hpp"
#include "launcher/shell/folder_path.hpp"
#include "launcher/shell/safe_path.hpp"
#include "patch/patch_state.hpp"
#include "support/planted_link.hpp"
#include "support/scratch_folder.hpp"
#include "tests/launcher/game/memory_game_config.hpp"
#include "tests/launcher/game/message_box_recorder.hpp"

#ifdef _WIN32
#include "launcher/game/game_config.hpp"
#include "launcher/shell/launcher_settings.hpp"
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <utility>

namespace launcher {
namespace {

namespace fs = std::filesystem;
using kyrtest::read_bytes;
using kyrtest::write_bytes;

enum class Link { file, hard };

// Each action as the launcher takes it in the game folder; true when it reports success.
bool switchToCpu(const std::string& game) {
    kyrtest::MemoryGameConfig config;
    std::string failure;
    return applyVideoEngine(game, VideoEngine::Cpu, config, nullptr, failure);
}

bool switchToGpu(const std::string& game) {
    return restoreNativeEngine(game, systemEngineFileWrites());
}

bool writeBmd(const std::string& game) {
    ServerEntry server;
    server.channels.push_back({1, "", "Main"});
    std::string stamp, message;
    return writeServerListBmd(game, server, "", stamp, message);
}

#ifdef _WIN32
bool writeConfig(const std::string& game) {
    IniGameConfig config(joinFolderPath(game, kGameConfigFileName));
    return config.writeText("Graphics", "Key", "value");
}

bool writeLauncherIni(const std::string& game) {
    return writeLastServer(joinFolderPath(game, "launcher.ini"), "main");
}
#endif

// Each engine name written by a switch: the player's library (backed up by a CPU switch), a backup equal
// to the Mesa library and a stale placed-copy marker (both removed by a GPU switch).
void arrangeEngineFiles(const fs::path& game) {
    write_bytes(game / kMesaLibraryName, "MESA");
    gu::patch::PatchState installed;
    FileFingerprint mesa;
    fingerprintFile((game / kMesaLibraryName).string(), mesa);
    installed.files[kMesaLibraryName] = mesa.sha256;
    installed.save(game);
    write_bytes(game / kEngineLibraryName, "player's library");
    write_bytes(game / kEngineBackupName, "MESA");
    write_bytes(game / kEngineBackupMarkerName, "verified\n");
    write_bytes(game / kPlacedEngineMarkerName, "1 00\n");
}

TEST(PlantedLinks, NoLauncherWriteReachesWhatALinkLeadsTo) {
    const struct {
        const char* name; // where the link is planted, below the game folder
        Link link;
        bool readOnlyTarget;
        bool (*action)(const std::string& game);
    } cases[] = {
        {kEngineLibraryName, Link::file, true, switchToCpu},
        {kEngineLibraryName, Link::hard, true, switchToCpu},
        {kEngineBackupName, Link::file, true, switchToCpu},
        {kPlacedEngineMarkerName, Link::file, true, switchToGpu},
        {kEngineBackupMarkerName, Link::hard, true, switchToGpu},
        {kServerListBmdPath, Link::file, true, writeBmd},
        {"Data\\Local\\ServerList.bmd.orig", Link::file, false, writeBmd},
        {"Data\\Local\\ServerList.bmd.orig", Link::hard, false, writeBmd},
#ifdef _WIN32
        {kGameConfigFileName, Link::hard, false, writeConfig},
        {"launcher.ini", Link::hard, false, writeLauncherIni},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " link " + std::to_string(static_cast<int>(c.link)));
        if (c.link == Link::file && !kyrtest::file_links_show()) {
            continue;
        }
        const kyrtest::ScratchFolder scratch;
        const fs::path game = scratch / "game", outside = scratch / "outside", target = outside / "file";
        fs::create_directories(game / "Data" / "Local");
        fs::create_directories(outside);
        write_bytes(joinFolderPath(game.string(), kServerListBmdPath), "player's server list");
        arrangeEngineFiles(game);
        write_bytes(target, "OUTSIDE");
        const fs::path linkPath = joinFolderPath(game.string(), c.name);
        fs::remove(linkPath);
        if (c.link == Link::hard) {
            fs::create_hard_link(target, linkPath);
        } else if (kyrtest::plant_link(linkPath, target) == kyrtest::PlantedLink::none) {
            continue;
        }
        if (c.readOnlyTarget) {
            fs::permissions(target, fs::perms::owner_read);
        }
        const kyrtest::MessageBoxRecorder boxes;
        c.action(game.string());
        EXPECT_TRUE(boxes.shown().empty()) << boxes.shown().front().text;
        EXPECT_EQ(read_bytes(target), "OUTSIDE");
        EXPECT_EQ((fs::status(target).permissions() & fs::perms::owner_write) == fs::perms::none, c.readOnlyTarget);
        EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
        fs::permissions(target, fs::perms::owner_all);
        kyrtest::remove_planted_link(linkPath);
    }
}

// A Data folder moved elsewhere and linked back is still the player's: the launcher writes through it. A
// link is followed only where its final path is on a drive, never into the object namespace.
TEST(PlantedLinks, ALinkedDataFolderOnADriveIsFollowed) {
    const std::pair<const wchar_t*, bool> finalPaths[] = {
        {LR"(\\?\D:\Moved)", true},
        {LR"(\\?\UNC\host\share)", true},
        {LR"(\\?\GLOBALROOT\Device\HarddiskVolumeShadowCopy1\Moved)", false},
        {LR"(\\.\D:\Moved)", false},
        {LR"(\\?\D:)", false}};
    for (const auto& [finalPath, onDrive] : finalPaths) {
        EXPECT_EQ(isDriveFinalPath(finalPath), onDrive) << finalPath;
    }
    const kyrtest::ScratchFolder scratch;
    const fs::path game = scratch / "game";
    fs::create_directories(game);
    fs::create_directories(scratch / "moved" / "Local");
    if (kyrtest::plant_link(game / "Data", scratch / "moved") == kyrtest::PlantedLink::none) {
        GTEST_SKIP() << "no links here";
    }
    EXPECT_TRUE(writeBmd(game.string()));
    EXPECT_TRUE(fs::exists(scratch / "moved" / "Local" / "ServerList.bmd"));
    kyrtest::remove_planted_link(game / "Data");
}

} // namespace
} // namespace launcher
