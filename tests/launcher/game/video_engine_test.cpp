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
using kyrtest::kMesa2;
using kyrtest::kNewerForeign;
using kyrtest::MemoryGameConfig;
using kyrtest::processVariable;

constexpr char kNativeClean[] = "dll=- mesa=mesa1 bak=- ok=no placed=no";
constexpr char kNativeRestored[] = "dll=foreign mesa=mesa1 bak=foreign ok=yes placed=no";
constexpr char kSoftwareNoEarlier[] = "dll=mesa1 mesa=mesa1 bak=- ok=no placed=yes";
constexpr char kSoftwareEarlierSaved[] = "dll=mesa1 mesa=mesa1 bak=foreign ok=yes placed=yes";
constexpr char kForeignNeverSwitched[] = "dll=foreign mesa=mesa1 bak=- ok=no placed=no";

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
    BackupEqualToMesa,      // a backup that holds nothing but the Mesa library
    CopyOfOldMesa,          // the game's patch replaced the Mesa library after the launcher placed its copy
    UnmarkedMesaCopy,       // a Mesa copy that the launcher did not record
    PlayerReplacedCopy,     // the player put a library of their own over the launcher's copy
    NewerOverSavedCopy,     // ... over the launcher's copy while an earlier library is backed up
    NewerOverRestored,      // ... over the earlier library that the launcher restored
    ForeignWithoutMesa,
    CleanWithoutMesa,
};

void arrange(const EngineFolder& folder, From from) {
    if (from != From::ForeignWithoutMesa && from != From::CleanWithoutMesa) {
        folder.put(kMesaLibraryName, kMesa1);
    }
    switch (from) {
    case From::NativeClean:
    case From::CleanWithoutMesa:
        break;
    case From::NativeRestored:
        folder.put(kEngineLibraryName, kForeign);
        apply(folder, VideoEngine::Cpu);
        apply(folder, VideoEngine::Gpu);
        break;
    case From::SoftwareNoEarlier:
        apply(folder, VideoEngine::Cpu);
        break;
    case From::SoftwareEarlierSaved:
        folder.put(kEngineLibraryName, kForeign);
        apply(folder, VideoEngine::Cpu);
        break;
    case From::Foreign:
    case From::ForeignWithoutMesa:
        folder.put(kEngineLibraryName, kForeign);
        break;
    case From::BackupWithoutMarker:
        folder.put(kEngineLibraryName, kForeign);
        apply(folder, VideoEngine::Cpu);
        folder.remove(kEngineBackupMarkerName);
        break;
    case From::CutBackupBesideForeign:
        folder.put(kEngineLibraryName, kForeign);
        folder.put(kEngineBackupName, std::string(kForeign).substr(0, 8));
        break;
    case From::BackupEqualToMesa:
        folder.put(kEngineLibraryName, kMesa1);
        folder.put(kEngineBackupName, kMesa1);
        folder.put(kEngineBackupMarkerName, kEngineBackupMarkerContent);
        break;
    case From::CopyOfOldMesa:
        apply(folder, VideoEngine::Cpu);
        folder.put(kMesaLibraryName, kMesa2);
        break;
    case From::UnmarkedMesaCopy:
        folder.put(kEngineLibraryName, kMesa1);
        break;
    case From::PlayerReplacedCopy:
        apply(folder, VideoEngine::Cpu);
        folder.put(kEngineLibraryName, kForeign);
        break;
    case From::NewerOverSavedCopy:
        arrange(folder, From::SoftwareEarlierSaved);
        folder.put(kEngineLibraryName, kNewerForeign);
        break;
    case From::NewerOverRestored:
        arrange(folder, From::NativeRestored);
        folder.put(kEngineLibraryName, kNewerForeign);
        break;
    }
}

struct TransitionCase {
    const char* name;
    From from;
    VideoEngine engine;
    bool wantResult;
    const char* wantState;
};

TEST(VideoEngineStates, EachEngineTakesEachStateWhereTheTableSays) {
    const TransitionCase cases[] = {
        {"native clean, GPU", From::NativeClean, VideoEngine::Gpu, true, kNativeClean},
        {"native clean, CPU", From::NativeClean, VideoEngine::Cpu, true, kSoftwareNoEarlier},
        {"native restored, GPU", From::NativeRestored, VideoEngine::Gpu, true, kNativeRestored},
        {"native restored, CPU", From::NativeRestored, VideoEngine::Cpu, true, kSoftwareEarlierSaved},
        {"software no earlier, GPU", From::SoftwareNoEarlier, VideoEngine::Gpu, true, kNativeClean},
        {"software no earlier, CPU", From::SoftwareNoEarlier, VideoEngine::Cpu, true, kSoftwareNoEarlier},
        {"software earlier saved, GPU", From::SoftwareEarlierSaved, VideoEngine::Gpu, true, kNativeRestored},
        {"software earlier saved, CPU", From::SoftwareEarlierSaved, VideoEngine::Cpu, true, kSoftwareEarlierSaved},
        // A library the launcher did not place and has no backup of is never deleted.
        {"foreign, GPU", From::Foreign, VideoEngine::Gpu, true, kForeignNeverSwitched},
        {"foreign, CPU", From::Foreign, VideoEngine::Cpu, true, kSoftwareEarlierSaved},
        {"backup without marker, GPU", From::BackupWithoutMarker, VideoEngine::Gpu, true, kNativeClean},
        {"backup without marker, CPU", From::BackupWithoutMarker, VideoEngine::Cpu, true,
         "dll=mesa1 mesa=mesa1 bak=foreign ok=no placed=yes"},
        {"cut backup beside a foreign library, GPU", From::CutBackupBesideForeign, VideoEngine::Gpu, true,
         kForeignNeverSwitched},
        {"cut backup beside a foreign library, CPU", From::CutBackupBesideForeign, VideoEngine::Cpu, true,
         kSoftwareEarlierSaved},
        {"backup equal to Mesa, GPU", From::BackupEqualToMesa, VideoEngine::Gpu, true, kNativeClean},
        {"backup equal to Mesa, CPU", From::BackupEqualToMesa, VideoEngine::Cpu, true,
         "dll=mesa1 mesa=mesa1 bak=mesa1 ok=yes placed=yes"},
        {"copy of an old Mesa, GPU", From::CopyOfOldMesa, VideoEngine::Gpu, true,
         "dll=- mesa=mesa2 bak=- ok=no placed=no"},
        {"copy of an old Mesa, CPU", From::CopyOfOldMesa, VideoEngine::Cpu, true,
         "dll=mesa2 mesa=mesa2 bak=- ok=no placed=yes"},
        {"unmarked Mesa copy, GPU", From::UnmarkedMesaCopy, VideoEngine::Gpu, true, kNativeClean},
        {"player replaced the copy, GPU", From::PlayerReplacedCopy, VideoEngine::Gpu, true, kForeignNeverSwitched},
        // A library put in after the backup is newer than it: never overwritten, backed up in its place.
        {"newer over the saved copy, GPU", From::NewerOverSavedCopy, VideoEngine::Gpu, true,
         "dll=newer mesa=mesa1 bak=foreign ok=yes placed=no"},
        {"newer over the saved copy, CPU", From::NewerOverSavedCopy, VideoEngine::Cpu, true,
         "dll=mesa1 mesa=mesa1 bak=newer ok=yes placed=yes"},
        {"newer over the restored library, GPU", From::NewerOverRestored, VideoEngine::Gpu, true,
         "dll=newer mesa=mesa1 bak=foreign ok=yes placed=no"},
        {"newer over the restored library, CPU", From::NewerOverRestored, VideoEngine::Cpu, true,
         "dll=mesa1 mesa=mesa1 bak=newer ok=yes placed=yes"},
        {"foreign without Mesa, GPU", From::ForeignWithoutMesa, VideoEngine::Gpu, true,
         "dll=foreign mesa=- bak=- ok=no placed=no"},
        {"foreign without Mesa, CPU", From::ForeignWithoutMesa, VideoEngine::Cpu, false,
         "dll=foreign mesa=- bak=- ok=no placed=no"},
        {"clean without Mesa, CPU", From::CleanWithoutMesa, VideoEngine::Cpu, false,
         "dll=- mesa=- bak=- ok=no placed=no"},
    };
    for (const TransitionCase& c : cases) {
        SCOPED_TRACE(c.name);
        const EngineFolder folder;
        arrange(folder, c.from);
        EXPECT_EQ(apply(folder, c.engine), c.wantResult);
        EXPECT_EQ(folder.describe(), c.wantState);
    }
}

TEST(VideoEngineStates, SwitchingBackAndForthKeepsThePlayersLibrary) {
    const EngineFolder folder;
    folder.put(kMesaLibraryName, kMesa1);
    folder.put(kEngineLibraryName, kForeign);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(apply(folder, VideoEngine::Cpu));
        EXPECT_EQ(folder.describe(), kSoftwareEarlierSaved);
        ASSERT_TRUE(apply(folder, VideoEngine::Gpu));
        EXPECT_EQ(folder.describe(), kNativeRestored);
    }
}

TEST(VideoEngineStates, BackupMarkerThatCannotBeWrittenLeavesTheForeignLibraryInPlace) {
    const EngineFolder folder;
    folder.put(kMesaLibraryName, kMesa1);
    folder.put(kEngineLibraryName, kForeign);
    std::filesystem::create_directory(folder.path(kEngineBackupMarkerName));

    EXPECT_FALSE(apply(folder, VideoEngine::Cpu));
    EXPECT_EQ(folder.bytes(kEngineLibraryName), kForeign);
    EXPECT_EQ(folder.bytes(kEngineBackupName), "<missing>");
}

TEST(VideoEngineStates, PlacedCopyMarkerOfAnotherFileDoesNotClaimTheLibrary) {
    const struct {
        const char* name;
        const char* marker;
    } cases[] = {
        {"empty", ""},
        {"size only", "38 \n"},
        {"right size, wrong hash", "38 0000000000000000000000000000000000000000000000000000000000000000\n"},
        {"garbage", "\x01\x02 not a record"},
    };
    ASSERT_EQ(std::string(kForeign).size(), 38u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const EngineFolder folder;
        folder.put(kMesaLibraryName, kMesa2);
        folder.put(kEngineLibraryName, kForeign);
        folder.put(kPlacedEngineMarkerName, c.marker);
        EXPECT_TRUE(apply(folder, VideoEngine::Gpu));
        EXPECT_EQ(folder.bytes(kEngineLibraryName), kForeign);
    }
}

TEST(RestoreNativeEngine, AFolderWithoutEngineFilesNeedsNothing) {
    const EngineFolder folder;
    EXPECT_TRUE(restoreNativeEngine(folder.folder()));
    EXPECT_EQ(folder.describe(), "dll=- mesa=- bak=- ok=no placed=no");
}

class VideoEngineProfile : public ::testing::Test {
protected:
    VideoEngineProfile() { folder_.put(kMesaLibraryName, kMesa1); }
    ~VideoEngineProfile() override { setProcessVariable(kGalliumDriverVariable, nullptr); }

    void setWindow(int width, int height) {
        config_.set("Graphics.WindowWidth", std::to_string(width));
        config_.set("Graphics.WindowHeight", std::to_string(height));
    }
    std::string window() const {
        return config_.value("Graphics.WindowWidth") + "x" + config_.value("Graphics.WindowHeight");
    }
    std::string previous() const {
        return config_.value("Launcher.PrevWidth") + "x" + config_.value("Launcher.PrevHeight");
    }
    std::string profile() const {
        return config_.value("Graphics.MSAASamples") + config_.value("Graphics.EffectStatic") +
               config_.value("Graphics.SkipGpuParticles");
    }

    EngineFolder folder_;
    MemoryGameConfig config_;
    kyrtest::MessageBoxRecorder boxes_;
};

TEST_F(VideoEngineProfile, SoftwareEngineReducesTheWindowAndHardwareEngineGivesItBack) {
    setWindow(1920, 1080);
    ASSERT_TRUE(applyVideoEngine(folder_.folder(), VideoEngine::Cpu, config_));
    EXPECT_EQ(window(), "1024x640");
    EXPECT_EQ(previous(), "1920x1080");
    EXPECT_EQ(profile(), "001");
    EXPECT_EQ(processVariable(kGalliumDriverVariable), "llvmpipe");
    EXPECT_EQ(folder_.bytes(kEngineLibraryName), kMesa1);

    ASSERT_TRUE(applyVideoEngine(folder_.folder(), VideoEngine::Gpu, config_));
    EXPECT_EQ(window(), "1920x1080");
    EXPECT_EQ(previous(), "<absent>x<absent>");
    EXPECT_EQ(profile(), "410");
    EXPECT_EQ(processVariable(kGalliumDriverVariable), "<unset>");
    EXPECT_EQ(folder_.bytes(kEngineLibraryName), "<missing>");
    EXPECT_TRUE(boxes_.shown().empty());
}

TEST_F(VideoEngineProfile, SoftwareEngineReducesOnlyAWindowLargerThan1024x640) {
    const struct {
        const char* name;
        const char* width;
        const char* height;
        const char* wantWindow;
        const char* wantPrevious;
    } cases[] = {
        {"exactly the limit", "1024", "640", "1024x640", "<absent>x<absent>"},
        {"smaller", "800", "600", "800x600", "<absent>x<absent>"},
        {"one pixel taller", "1024", "641", "1024x640", "1024x641"},
        {"wider but low", "1280", "600", "1024x640", "1280x600"},
        // A missing height reads as 768.
        {"height missing", "800", nullptr, "1024x640", "800x768"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryGameConfig config;
        config.set("Graphics.WindowWidth", c.width);
        if (c.height != nullptr) {
            config.set("Graphics.WindowHeight", c.height);
        }
        ASSERT_TRUE(applyVideoEngine(folder_.folder(), VideoEngine::Cpu, config));
        EXPECT_EQ(config.value("Graphics.WindowWidth") + "x" + config.value("Graphics.WindowHeight"), c.wantWindow);
        EXPECT_EQ(config.value("Launcher.PrevWidth") + "x" + config.value("Launcher.PrevHeight"), c.wantPrevious);
    }
}

TEST_F(VideoEngineProfile, HardwareEngineNeedsBothPreviousSizes) {
    setWindow(1024, 640);
    config_.set("Launcher.PrevWidth", "1920");
    config_.set("Launcher.PrevHeight", "0");
    ASSERT_TRUE(applyVideoEngine(folder_.folder(), VideoEngine::Gpu, config_));
    EXPECT_EQ(window(), "1024x640");
    EXPECT_EQ(previous(), "1920x0");
}

TEST_F(VideoEngineProfile, SoftwareEngineWithoutMesaFailsAfterWritingTheProfile) {
    folder_.remove(kMesaLibraryName);
    setWindow(1920, 1080);
    EXPECT_FALSE(applyVideoEngine(folder_.folder(), VideoEngine::Cpu, config_));
    EXPECT_EQ(profile(), "001");
    EXPECT_EQ(window(), "1024x640");
    EXPECT_EQ(processVariable(kGalliumDriverVariable), "llvmpipe");
    EXPECT_TRUE(boxes_.shown().empty());
}

struct ProfileFailureCase {
    const char* name;
    VideoEngine engine;
    const char* failingKey;
    const char* wantWindow;
    const char* wantPrevious;
    const char* wantLibrary;
};

// Any failed profile write shows the warning once, after the engine files were handled; the engine's
// result stands.
TEST(VideoEngineProfileFailures, ShowTheWarningOnceAndKeepTheEnginesResult) {
    const ProfileFailureCase cases[] = {
        {"software, MSAASamples", VideoEngine::Cpu, "Graphics.MSAASamples", "1024x640", "1920x1080", kMesa1},
        // Without a previous size kept, the window is not reduced.
        {"software, PrevWidth", VideoEngine::Cpu, "Launcher.PrevWidth", "1920x1080", "<absent>x1080", kMesa1},
        {"software, WindowWidth", VideoEngine::Cpu, "Graphics.WindowWidth", "1920x640", "1920x1080", kMesa1},
        {"hardware, SkipGpuParticles", VideoEngine::Gpu, "Graphics.SkipGpuParticles", "1280x720", "<absent>x<absent>",
         "<missing>"},
        // The window size could not be given back: the previous size stays for the next run, and the
        // library state is reached all the same.
        {"hardware, WindowHeight", VideoEngine::Gpu, "Graphics.WindowHeight", "1280x640", "1280x720", "<missing>"},
        {"hardware, PrevHeight", VideoEngine::Gpu, "Launcher.PrevHeight", "1280x720", "<absent>x720", "<missing>"},
    };
    for (const ProfileFailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        const EngineFolder folder;
        folder.put(kMesaLibraryName, kMesa1);
        MemoryGameConfig config;
        if (c.engine == VideoEngine::Cpu) {
            config.set("Graphics.WindowWidth", "1920");
            config.set("Graphics.WindowHeight", "1080");
        } else {
            ASSERT_TRUE(apply(folder, VideoEngine::Cpu));
            config.set("Graphics.WindowWidth", "1024");
            config.set("Graphics.WindowHeight", "640");
            config.set("Launcher.PrevWidth", "1280");
            config.set("Launcher.PrevHeight", "720");
        }
        config.failWritesOf(c.failingKey);
        const kyrtest::MessageBoxRecorder boxes;

        EXPECT_TRUE(applyVideoEngine(folder.folder(), c.engine, config));

        EXPECT_EQ(config.value("Graphics.WindowWidth") + "x" + config.value("Graphics.WindowHeight"), c.wantWindow);
        EXPECT_EQ(config.value("Launcher.PrevWidth") + "x" + config.value("Launcher.PrevHeight"), c.wantPrevious);
        EXPECT_EQ(folder.bytes(kEngineLibraryName), c.wantLibrary);
        ASSERT_EQ(boxes.shown().size(), 1u);
        const MessageBoxRequest& box = boxes.shown().front();
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_EQ(box.icon, MessageBoxIcon::Warning);
        EXPECT_EQ(box.title, "KYR Launcher - Warning");
        EXPECT_EQ(box.text, "Could not save the graphics profile in config.ini (the file is read-only or in use by "
                            "another program).\n\nThe game will still start, but performance may be affected if the "
                            "graphics profile does not match the selected video engine.");
    }
    setProcessVariable(kGalliumDriverVariable, nullptr);
}

// The probe's driver, played by a version text.
std::string fakeDriverVersion;
int fakeProbeCalls = 0;

bool fakeProbe(GlProbeResult& result) {
    ++fakeProbeCalls;
    return readGlVersion(result, fakeDriverVersion, "fake renderer");
}

TEST(VideoEngineAuto, TakesTheHardwareEngineOnlyFromOpenGl33) {
    const struct {
        const char* version;
        bool wantHardware;
    } cases[] = {
        {"3.2.0 Mesa 22.3.6", false},
        {"3.3.0 NVIDIA 535.54", true},
        {"4.6.0 Compatibility Profile", true},
        {"OpenGL ES 3.2 Mesa", false},
        {"", false},
    };
    glProbeOverride = &fakeProbe;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        const EngineFolder folder;
        folder.put(kMesaLibraryName, kMesa1);
        fakeDriverVersion = c.version;
        fakeProbeCalls = 0;
        MemoryGameConfig config;
        EXPECT_TRUE(applyVideoEngine(folder.folder(), VideoEngine::Auto, config));
        EXPECT_EQ(fakeProbeCalls, 1);
        EXPECT_EQ(folder.bytes(kEngineLibraryName), c.wantHardware ? "<missing>" : kMesa1);
        EXPECT_EQ(config.value("Graphics.MSAASamples"), c.wantHardware ? "4" : "0");
        EXPECT_EQ(processVariable(kGalliumDriverVariable), c.wantHardware ? "<unset>" : "llvmpipe");
    }
    // Values outside the enumeration count as Auto; an explicit engine never probes.
    fakeDriverVersion = "4.6";
    fakeProbeCalls = 0;
    const EngineFolder folder;
    MemoryGameConfig config;
    EXPECT_TRUE(applyVideoEngine(folder.folder(), static_cast<VideoEngine>(7), config));
    EXPECT_TRUE(applyVideoEngine(folder.folder(), VideoEngine::Gpu, config));
    EXPECT_EQ(fakeProbeCalls, 1);
    glProbeOverride = nullptr;
    setProcessVariable(kGalliumDriverVariable, nullptr);
}

} // namespace
} // namespace launcher
