// The engine swap on Windows file semantics: a library held open by a running game, read-only attributes
// carried along by copies, a config.ini that another program holds.

#include "launcher/game/engine_files.hpp"
#include "launcher/game/video_engine.hpp"

#include "launcher/game/game_client_interface.hpp"
#include "launcher/game/game_config.hpp"
#include "launcher/game/process_environment.hpp"
#include "tests/launcher/game/engine_folder.hpp"
#include "tests/launcher/game/held_file.hpp"
#include "tests/launcher/game/memory_game_config.hpp"
#include "tests/launcher/game/message_box_recorder.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace launcher {
namespace {

using kyrtest::EngineFolder;
using kyrtest::HeldFile;
using kyrtest::kForeign;
using kyrtest::kMesa1;
using kyrtest::MemoryGameConfig;

bool apply(const EngineFolder& folder, VideoEngine engine) {
    MemoryGameConfig config;
    return applyVideoEngine(folder.folder(), engine, config);
}

TEST(VideoEngineLockedLibrary, FailsWithoutLosingAFileAndSucceedsOnceReleased) {
    const struct {
        const char* name;
        bool foreign;      // the folder starts with the player's library instead of the Mesa copy
        bool earlierSaved; // software engine with the player's library in the backup
        VideoEngine engine;
        DWORD sharing;
        const char* wantWhileHeld;
        const char* wantAfter;
    } cases[] = {
        {"software copy in use, CPU", false, false, VideoEngine::Cpu, FILE_SHARE_READ,
         "dll=mesa1 mesa=mesa1 bak=- ok=no placed=yes", "dll=mesa1 mesa=mesa1 bak=- ok=no placed=yes"},
        {"software copy in use, GPU", false, false, VideoEngine::Gpu, FILE_SHARE_READ,
         "dll=mesa1 mesa=mesa1 bak=- ok=no placed=yes", "dll=- mesa=mesa1 bak=- ok=no placed=no"},
        {"software copy in use, earlier library to restore", false, true, VideoEngine::Gpu, FILE_SHARE_READ,
         "dll=mesa1 mesa=mesa1 bak=foreign ok=yes placed=yes", "dll=foreign mesa=mesa1 bak=foreign ok=yes placed=no"},
        {"player's library held without sharing, CPU", true, false, VideoEngine::Cpu, 0,
         "dll=foreign mesa=mesa1 bak=- ok=no placed=no", "dll=mesa1 mesa=mesa1 bak=foreign ok=yes placed=yes"},
        {"player's library in use, CPU", true, false, VideoEngine::Cpu, FILE_SHARE_READ,
         "dll=foreign mesa=mesa1 bak=foreign ok=yes placed=no", "dll=mesa1 mesa=mesa1 bak=foreign ok=yes placed=yes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const EngineFolder folder;
        folder.put(kMesaLibraryName, kMesa1);
        if (c.foreign || c.earlierSaved) {
            folder.put(kEngineLibraryName, kForeign);
        }
        if (!c.foreign) {
            ASSERT_TRUE(apply(folder, VideoEngine::Cpu));
        }
        HeldFile game(folder.path(kEngineLibraryName), c.sharing);
        ASSERT_TRUE(game.isHeld());
        const bool appliedWhileHeld = apply(folder, c.engine);
        game.release();

        EXPECT_FALSE(appliedWhileHeld);
        EXPECT_EQ(folder.describe(), c.wantWhileHeld);
        EXPECT_TRUE(apply(folder, c.engine));
        EXPECT_EQ(folder.describe(), c.wantAfter);
    }
    setProcessVariable(kGalliumDriverVariable, nullptr);
}

TEST(VideoEngineReadOnlyFiles, ReadOnlyMesaLibraryGivesACopyThatCanStillBeRemoved) {
    const EngineFolder folder;
    folder.put(kMesaLibraryName, kMesa1);
    SetFileAttributesA(folder.path(kMesaLibraryName).c_str(), FILE_ATTRIBUTE_READONLY);

    ASSERT_TRUE(apply(folder, VideoEngine::Cpu));
    EXPECT_NE(GetFileAttributesA(folder.path(kEngineLibraryName).c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(apply(folder, VideoEngine::Cpu));
    EXPECT_TRUE(apply(folder, VideoEngine::Gpu));
    EXPECT_EQ(folder.describe(), "dll=- mesa=mesa1 bak=- ok=no placed=no");

    SetFileAttributesA(folder.path(kMesaLibraryName).c_str(), FILE_ATTRIBUTE_NORMAL);
    setProcessVariable(kGalliumDriverVariable, nullptr);
}

TEST(VideoEngineConfigInUse, WarnsOnceAndTheEngineStillApplies) {
    const EngineFolder folder;
    folder.put(kMesaLibraryName, kMesa1);
    folder.put(kGameConfigFileName, "[Graphics]\r\nWindowWidth=1920\r\nWindowHeight=1080\r\n");
    IniGameConfig config(folder.path(kGameConfigFileName));
    const kyrtest::MessageBoxRecorder boxes;
    {
        const HeldFile editor(folder.path(kGameConfigFileName), FILE_SHARE_READ);
        ASSERT_TRUE(editor.isHeld());
        EXPECT_TRUE(applyVideoEngine(folder.folder(), VideoEngine::Cpu, config));
    }
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown().front().title, "KYR Launcher - Warning");
    EXPECT_EQ(folder.bytes(kEngineLibraryName), kMesa1);
    EXPECT_EQ(kyrtest::processVariable(kGalliumDriverVariable), "llvmpipe");
    EXPECT_EQ(config.readNumber("Graphics", "WindowWidth", 0), 1920);
    EXPECT_EQ(config.readText("Launcher", "PrevWidth", "<absent>", 16), "<absent>");
    setProcessVariable(kGalliumDriverVariable, nullptr);
}

} // namespace
} // namespace launcher
