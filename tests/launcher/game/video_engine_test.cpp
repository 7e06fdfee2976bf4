#include "launcher/game/video_engine.hpp"

#include "launcher/game/engine_files.hpp"
#include "launcher/game/game_client_interface.hpp"
#include "launcher/game/gl_probe.hpp"
#include "launcher/game/process_environment.hpp"
#include "tests/launcher/game/engine_folder.hpp"
#include "tests/launcher/game/memory_game_config.hpp"
#include "tests/launcher/game/message_box_recorder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

namespace launcher {
namespace {

using kyrtest::EngineFolder;
using kyrtest::kForeign;
using kyrtest::kMesa1;
using kyrtest::MemoryGameConfig;

constexpr char kNativeClean[] = "dll=- mesa=mesa1 bak=- ok=no placed=no";
constexpr char kNativeRestored[] = "dll=foreign mesa=mesa1 bak=foreign ok=yes placed=no";
constexpr char kSoftwareEarlierSaved[] = "dll=mesa1 mesa=mesa1 bak=foreign ok=yes placed=yes";
constexpr char kForeignKept[] = "dll=foreign mesa=mesa1 bak=- ok=no placed=no";

bool apply(const EngineFolder& folder, VideoEngine engine) {
    MemoryGameConfig config;
    return applyVideoEngine(folder.folder(), engine, config);
}

// A folder reached the way players reach it, step by step: C and G apply an engine, the others change a
// file behind the launcher's back (f, n: the player's library or a newer one; c: a backup cut short; m: the
// backup marker lost; 2: the game's patch brings a new Mesa library; 0: the Mesa library goes).
void arrange(const EngineFolder& folder, const std::string& steps) {
    const std::map<char, std::pair<const char*, std::string>> changes = {
        {'f', {kEngineLibraryName, kForeign}},   {'n', {kEngineLibraryName, kyrtest::kNewerForeign}},
        {'c', {kEngineBackupName, "QEFFECTS"}},  {'m', {kEngineBackupMarkerName, ""}},
        {'2', {kMesaLibraryName, kyrtest::kMesa2}}, {'0', {kMesaLibraryName, ""}}};
    folder.put(kMesaLibraryName, kMesa1);
    for (const char step : steps) {
        if (step == 'C' || step == 'G') {
            apply(folder, step == 'C' ? VideoEngine::Cpu : VideoEngine::Gpu);
        } else if (changes.at(step).second.empty()) {
            folder.remove(changes.at(step).first);
        } else {
            folder.put(changes.at(step).first, changes.at(step).second);
        }
    }
}

TEST(VideoEngine, EachEngineTakesEachStateWithoutLosingThePlayersLibrary) {
    const struct {
        const char* steps; // the folder as arranged
        VideoEngine engine;
        bool wantResult;
        const char* wantState;
    } cases[] = {
        {"", VideoEngine::Gpu, true, kNativeClean},
        {"", VideoEngine::Cpu, true, "dll=mesa1 mesa=mesa1 bak=- ok=no placed=yes"},
        {"C", VideoEngine::Gpu, true, kNativeClean},
        {"fCG", VideoEngine::Cpu, true, kSoftwareEarlierSaved},
        {"fC", VideoEngine::Gpu, true, kNativeRestored},
        {"f", VideoEngine::Gpu, true, kForeignKept},
        {"fCm", VideoEngine::Gpu, true, kNativeClean},
        {"fCm", VideoEngine::Cpu, true, "dll=mesa1 mesa=mesa1 bak=foreign ok=no placed=yes"},
        {"fc", VideoEngine::Cpu, true, kSoftwareEarlierSaved},
        {"C2", VideoEngine::Gpu, true, "dll=- mesa=mesa2 bak=- ok=no placed=no"},
        {"Cf", VideoEngine::Gpu, true, kForeignKept},
        {"fCn", VideoEngine::Gpu, true, "dll=newer mesa=mesa1 bak=foreign ok=yes placed=no"},
        {"fCn", VideoEngine::Cpu, true, "dll=mesa1 mesa=mesa1 bak=newer ok=yes placed=yes"},
        {"f0", VideoEngine::Cpu, false, "dll=foreign mesa=- bak=- ok=no placed=no"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.steps) + (c.engine == VideoEngine::Cpu ? " then CPU" : " then GPU"));
        const EngineFolder folder;
        arrange(folder, c.steps);
        EXPECT_EQ(apply(folder, c.engine), c.wantResult);
        EXPECT_EQ(folder.describe(), c.wantState);
    }
    const EngineFolder folder;
    arrange(folder, "f");
    std::filesystem::create_directory(folder.path(kEngineBackupMarkerName));
    EXPECT_FALSE(apply(folder, VideoEngine::Cpu)) << "no backup marker, no swap";
    EXPECT_EQ(folder.bytes(kEngineLibraryName), kForeign);
    EXPECT_TRUE(copyFileNew(folder.path(kEngineLibraryName), folder.path("copy")));
    EXPECT_FALSE(copyFileNew(folder.path(kMesaLibraryName), folder.path("copy"))) << "never over an existing file";
    EXPECT_EQ(folder.bytes("copy"), kForeign);
    EXPECT_TRUE(filesIdentical(folder.path(kEngineLibraryName), folder.path("copy")));
    EXPECT_FALSE(filesIdentical(folder.path(kEngineLibraryName), folder.path(kMesaLibraryName)));
    setProcessVariable(kGalliumDriverVariable, nullptr);
}

// The software engine runs in a window of at most 1024x640; the player's size is kept and given back.
TEST(VideoEngine, SoftwareEngineReducesOnlyALargerWindowAndHardwareGivesItBack) {
    const struct {
        const char *width, *height, *want;
    } cases[] = {{"1024", "640", "1024x640 <absent>x<absent>"},
                 {"1025", "640", "1024x640 1025x640"},
                 {"1024", "641", "1024x640 1024x641"},
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
        EXPECT_EQ(kyrtest::processVariable(kGalliumDriverVariable), "llvmpipe");
        ASSERT_TRUE(applyVideoEngine(folder.folder(), VideoEngine::Gpu, config));
        EXPECT_EQ(config.value("Graphics.WindowWidth") + "x" + config.value("Graphics.WindowHeight"),
                  std::string(c.width) + "x" + (c.height != nullptr ? c.height : "768"));
        EXPECT_EQ(config.value("Graphics.MSAASamples") + config.value("Graphics.SkipGpuParticles"), "40");
        EXPECT_EQ(kyrtest::processVariable(kGalliumDriverVariable), "<unset>");
        EXPECT_TRUE(boxes.shown().empty());
    }
    setProcessVariable(kGalliumDriverVariable, nullptr);
}

TEST(VideoEngine, AutoTakesTheHardwareEngineOnlyFromOpenGl33) {
    const struct {
        const char* version;
        int major, minor;
        bool capable;
    } cases[] = {{"3.2.0 Mesa", 3, 2, false}, {"3.3.0 NVIDIA", 3, 3, true}, {"4.0 Compat", 4, 0, true},
                 {"10.1", 10, 1, true},       {"OpenGL ES 3.2", 0, 0, false}, {"4 6", 0, 0, false},
                 {"99999999999.0", 0, 0, false}};
    static const char* driverVersion = "";
    glProbeOverride = [](GlProbeResult& result) { return readGlVersion(result, driverVersion, std::string(300, 'r')); };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        driverVersion = c.version;
        GlProbeResult result;
        result.renderer = "left over";
        EXPECT_EQ(probeOpenGl(&result), c.capable);
        EXPECT_EQ(result.major * 100 + result.minor, c.major * 100 + c.minor);
        EXPECT_EQ(result.renderer, c.major != 0 ? std::string(255, 'r') : "");
        const EngineFolder folder;
        folder.put(kMesaLibraryName, kMesa1);
        EXPECT_TRUE(apply(folder, VideoEngine::Auto));
        EXPECT_EQ(folder.bytes(kEngineLibraryName), c.capable ? "<missing>" : kMesa1);
    }
    glProbeOverride = nullptr;
    setProcessVariable(kGalliumDriverVariable, nullptr);
}

} // namespace
} // namespace launcher
