#include "launcher/game/video_engine.hpp"

#include "launcher/game/game_client_interface.hpp"
#include "launcher/game/gl_probe.hpp"
#include "launcher/game/process_environment.hpp"
#include "tests/launcher/game/engine_folder.hpp"
#include "tests/launcher/game/memory_game_config.hpp"
#include "tests/launcher/game/message_box_recorder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace launcher {
namespace {

using kyrtest::EngineFolder;
using kyrtest::kForeign;
using kyrtest::kMesa1;
using kyrtest::MemoryGameConfig;
using kyrtest::processVariable;

constexpr char kNativeClean[] = "dll=- mesa=mesa1 bak=- ok=no placed=no";
constexpr char kNativeRestored[] = "dll=foreign mesa=mesa1 bak=foreign ok=yes placed=no";
constexpr char kSoftwareNoEarlier[] = "dll=mesa1 mesa=mesa1 bak=- ok=no placed=yes";
constexpr char kSoftwareEarlierSaved[] = "dll=mesa1 mesa=mesa1 bak=foreign ok=yes placed=yes";
constexpr char kForeignKept[] = "dll=foreign mesa=mesa1 bak=- ok=no placed=no";

bool apply(const EngineFolder& folder, VideoEngine engine) {
    MemoryGameConfig config;
    return applyVideoEngine(folder.folder(), engine, config);
}

// The folder states, reached the way players reach them wherever the launcher can get there itself.
enum class From {
    NativeClean,
    NativeRestored,
    SoftwareNoEarlier,
    SoftwareEarlierSaved,
    Foreign,
    BackupWithoutMarker,    // the marker was lost after a whole backup; the Mesa copy is in place
    CutBackupBesideForeign, // the backup copy was cut short before the Mesa copy was placed
    CopyOfOldMesa,          // the game's patch replaced the Mesa library after the launcher placed its copy
    PlayerReplacedCopy,     // the player put a library of their own over the launcher's copy
    NewerOverSavedCopy,     // ... over the launcher's copy while an earlier library is backed up
    WithoutMesa,
};

void arrange(const EngineFolder& folder, From from) {
    if (from != From::WithoutMesa) {
        folder.put(kMesaLibraryName, kMesa1);
    }
    if (from != From::NativeClean && from != From::SoftwareNoEarlier && from != From::CopyOfOldMesa) {
        folder.put(kEngineLibraryName, kForeign);
    }
    if (from == From::NativeRestored || from == From::SoftwareEarlierSaved || from == From::SoftwareNoEarlier ||
        from == From::BackupWithoutMarker || from == From::CopyOfOldMesa || from == From::NewerOverSavedCopy) {
        apply(folder, VideoEngine::Cpu);
    }
    if (from == From::PlayerReplacedCopy) {
        folder.remove(kEngineLibraryName);
        apply(folder, VideoEngine::Cpu);
        folder.put(kEngineLibraryName, kForeign);
    }
    if (from == From::NativeRestored) {
        apply(folder, VideoEngine::Gpu);
    }
    if (from == From::BackupWithoutMarker) {
        folder.remove(kEngineBackupMarkerName);
    }
    if (from == From::CutBackupBesideForeign) {
        folder.put(kEngineBackupName, std::string(kForeign).substr(0, 8));
    }
    if (from == From::CopyOfOldMesa) {
        folder.put(kMesaLibraryName, kyrtest::kMesa2);
    }
    if (from == From::NewerOverSavedCopy) {
        folder.put(kEngineLibraryName, kyrtest::kNewerForeign);
    }
}

TEST(VideoEngineStates, EachEngineTakesEachStateWithoutLosingThePlayersLibrary) {
    const struct {
        From from;
        VideoEngine engine;
        bool wantResult;
        const char* wantState;
    } cases[] = {
        {From::NativeClean, VideoEngine::Gpu, true, kNativeClean},
        {From::NativeClean, VideoEngine::Cpu, true, kSoftwareNoEarlier},
        {From::NativeRestored, VideoEngine::Gpu, true, kNativeRestored},
        {From::NativeRestored, VideoEngine::Cpu, true, kSoftwareEarlierSaved},
        {From::SoftwareNoEarlier, VideoEngine::Gpu, true, kNativeClean},
        {From::SoftwareEarlierSaved, VideoEngine::Gpu, true, kNativeRestored},
        {From::SoftwareEarlierSaved, VideoEngine::Cpu, true, kSoftwareEarlierSaved},
        {From::Foreign, VideoEngine::Gpu, true, kForeignKept},
        {From::Foreign, VideoEngine::Cpu, true, kSoftwareEarlierSaved},
        {From::BackupWithoutMarker, VideoEngine::Gpu, true, kNativeClean},
        {From::BackupWithoutMarker, VideoEngine::Cpu, true, "dll=mesa1 mesa=mesa1 bak=foreign ok=no placed=yes"},
        {From::CutBackupBesideForeign, VideoEngine::Gpu, true, kForeignKept},
        {From::CutBackupBesideForeign, VideoEngine::Cpu, true, kSoftwareEarlierSaved},
        {From::CopyOfOldMesa, VideoEngine::Gpu, true, "dll=- mesa=mesa2 bak=- ok=no placed=no"},
        {From::CopyOfOldMesa, VideoEngine::Cpu, true, "dll=mesa2 mesa=mesa2 bak=- ok=no placed=yes"},
        {From::PlayerReplacedCopy, VideoEngine::Gpu, true, kForeignKept},
        {From::NewerOverSavedCopy, VideoEngine::Gpu, true, "dll=newer mesa=mesa1 bak=foreign ok=yes placed=no"},
        {From::NewerOverSavedCopy, VideoEngine::Cpu, true, "dll=mesa1 mesa=mesa1 bak=newer ok=yes placed=yes"},
        {From::WithoutMesa, VideoEngine::Cpu, false, "dll=foreign mesa=- bak=- ok=no placed=no"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.from)) + (c.engine == VideoEngine::Cpu ? " CPU" : " GPU"));
        const EngineFolder folder;
        arrange(folder, c.from);
        EXPECT_EQ(apply(folder, c.engine), c.wantResult);
        EXPECT_EQ(folder.describe(), c.wantState);
    }
    const EngineFolder folder;
    arrange(folder, From::Foreign);
    std::filesystem::create_directory(folder.path(kEngineBackupMarkerName));
    EXPECT_FALSE(apply(folder, VideoEngine::Cpu)) << "no backup marker, no swap";
    EXPECT_EQ(folder.bytes(kEngineLibraryName), kForeign);
    setProcessVariable(kGalliumDriverVariable, nullptr);
}

// The software engine runs in a window of at most 1024x640; the player's size is kept and given back.
TEST(VideoEngineProfile, SoftwareEngineReducesOnlyALargerWindowAndHardwareGivesItBack) {
    const struct {
        const char* width;
        const char* height;
        const char* want;
    } cases[] = {{"1024", "640", "1024x640 <absent>x<absent>"}, {"800", "600", "800x600 <absent>x<absent>"},
                 {"1025", "640", "1024x640 1025x640"},          {"1024", "641", "1024x640 1024x641"},
                 {"800", nullptr, "1024x640 800x768"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want);
        const EngineFolder folder;
        folder.put(kMesaLibraryName, kMesa1);
        MemoryGameConfig config;
        config.set("Graphics.WindowWidth", c.width);
        if (c.height != nullptr) {
            config.set("Graphics.WindowHeight", c.height);
        }
        const kyrtest::MessageBoxRecorder boxes;
        ASSERT_TRUE(applyVideoEngine(folder.folder(), VideoEngine::Cpu, config));
        EXPECT_EQ(config.value("Graphics.WindowWidth") + "x" + config.value("Graphics.WindowHeight") + " " +
                      config.value("Launcher.PrevWidth") + "x" + config.value("Launcher.PrevHeight"),
                  c.want);
        EXPECT_EQ(config.value("Graphics.MSAASamples") + config.value("Graphics.SkipGpuParticles"), "01");
        EXPECT_EQ(processVariable(kGalliumDriverVariable), "llvmpipe");
        ASSERT_TRUE(applyVideoEngine(folder.folder(), VideoEngine::Gpu, config));
        EXPECT_EQ(config.value("Graphics.WindowWidth") + "x" + config.value("Graphics.WindowHeight"),
                  std::string(c.width) + "x" + (c.height != nullptr ? c.height : "768"));
        EXPECT_EQ(config.value("Launcher.PrevWidth"), "<absent>");
        EXPECT_EQ(config.value("Graphics.MSAASamples") + config.value("Graphics.SkipGpuParticles"), "40");
        EXPECT_EQ(processVariable(kGalliumDriverVariable), "<unset>");
        EXPECT_TRUE(boxes.shown().empty());
    }
}

// A failed profile write shows the warning once; the engine's result stands.
TEST(VideoEngineProfile, AFailedWriteWarnsOnceAndTheEngineStillApplies) {
    for (const char* failing : {"Graphics.MSAASamples", "Launcher.PrevWidth"}) {
        SCOPED_TRACE(failing);
        const EngineFolder folder;
        folder.put(kMesaLibraryName, kMesa1);
        MemoryGameConfig config;
        config.set("Graphics.WindowWidth", "1920");
        config.failWritesOf(failing);
        const kyrtest::MessageBoxRecorder boxes;
        EXPECT_TRUE(applyVideoEngine(folder.folder(), VideoEngine::Cpu, config));
        EXPECT_EQ(folder.bytes(kEngineLibraryName), kMesa1);
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown().front().title, "KYR Launcher - Warning");
    }
    setProcessVariable(kGalliumDriverVariable, nullptr);
}

TEST(VideoEngineAuto, TakesTheHardwareEngineOnlyFromOpenGl33) {
    static const char* driverVersion = "";
    static int probes = 0;
    glProbeOverride = [](GlProbeResult& result) {
        ++probes;
        return readGlVersion(result, driverVersion, "fake renderer");
    };
    for (const char* version : {"3.2.0 Mesa", "3.3.0 NVIDIA", "OpenGL ES 3.2 Mesa"}) {
        SCOPED_TRACE(version);
        const bool hardware = std::string(version) == "3.3.0 NVIDIA";
        const EngineFolder folder;
        folder.put(kMesaLibraryName, kMesa1);
        driverVersion = version;
        EXPECT_TRUE(apply(folder, VideoEngine::Auto));
        EXPECT_EQ(folder.bytes(kEngineLibraryName), hardware ? "<missing>" : kMesa1);
    }
    const EngineFolder folder;
    probes = 0;
    EXPECT_TRUE(apply(folder, VideoEngine::Gpu));
    EXPECT_EQ(probes, 0) << "an explicit engine never probes";
    glProbeOverride = nullptr;
    setProcessVariable(kGalliumDriverVariable, nullptr);
}

} // namespace
} // namespace launcher
