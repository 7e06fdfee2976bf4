// The engine swap on Windows file semantics: a library held open by a running game, read-only attributes
// carried along by copies.

#include "launcher/game/engine_files.hpp"
#include "launcher/game/video_engine.hpp"

#include "launcher/game/game_client_interface.hpp"
#include "launcher/game/process_environment.hpp"
#include "support/held_file_win.hpp"
#include "tests/launcher/game/engine_folder.hpp"
#include "tests/launcher/game/memory_game_config.hpp"

#include <gtest/gtest.h>
#include <windows.h>

namespace launcher {
namespace {

using kyrtest::EngineFolder;

bool apply(const EngineFolder& folder, VideoEngine engine) {
    kyrtest::MemoryGameConfig config;
    return applyVideoEngine(folder.folder(), engine, config);
}

TEST(VideoEngineLockedLibrary, FailsWithoutLosingAFileAndSucceedsOnceReleased) {
    const struct {
        bool earlierSaved; // the player's library is in the backup
        VideoEngine engine;
        const char* wantWhileHeld;
        const char* wantAfter;
    } cases[] = {
        {false, VideoEngine::Gpu, "dll=mesa1 mesa=mesa1 bak=- ok=no placed=yes", "dll=- mesa=mesa1 bak=- ok=no placed=no"},
        {true, VideoEngine::Gpu, "dll=mesa1 mesa=mesa1 bak=foreign ok=yes placed=yes",
         "dll=foreign mesa=mesa1 bak=foreign ok=yes placed=no"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.earlierSaved);
        const EngineFolder folder;
        folder.put(kMesaLibraryName, kyrtest::kMesa1);
        if (c.earlierSaved) {
            folder.put(kEngineLibraryName, kyrtest::kForeign);
        }
        ASSERT_TRUE(apply(folder, VideoEngine::Cpu));
        kyrtest::HeldFile game(folder.path(kEngineLibraryName), GENERIC_READ, FILE_SHARE_READ);
        ASSERT_TRUE(game.isOpen());
        EXPECT_FALSE(apply(folder, c.engine));
        game.release();
        EXPECT_EQ(folder.describe(), c.wantWhileHeld);
        EXPECT_TRUE(apply(folder, c.engine));
        EXPECT_EQ(folder.describe(), c.wantAfter);
    }
    setProcessVariable(kGalliumDriverVariable, nullptr);
}

TEST(VideoEngineReadOnlyFiles, ReadOnlyMesaLibraryGivesACopyThatCanStillBeRemoved) {
    const EngineFolder folder;
    folder.put(kMesaLibraryName, kyrtest::kMesa1);
    SetFileAttributesA(folder.path(kMesaLibraryName).c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(apply(folder, VideoEngine::Cpu));
    EXPECT_NE(GetFileAttributesA(folder.path(kEngineLibraryName).c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(apply(folder, VideoEngine::Gpu));
    EXPECT_EQ(folder.describe(), "dll=- mesa=mesa1 bak=- ok=no placed=no");
    SetFileAttributesA(folder.path(kMesaLibraryName).c_str(), FILE_ATTRIBUTE_NORMAL);
    setProcessVariable(kGalliumDriverVariable, nullptr);
}

} // namespace
} // namespace launcher
