// The game folder as the settings panel and PLAY leave it: config.ini's settings, the display modes offered,
// and the video engine's libraries, which never cost the player a file of their own.

#include "launcher/game/video_engine.hpp"

#include "launcher/game/engine_files.hpp"
#include "launcher/game/game_client_interface.hpp"
#include "launcher/game/game_settings.hpp"
#include "launcher/game/gl_probe.hpp"
#include "launcher/game/message_box_texts.hpp"
#include "launcher/game/process_environment.hpp"
#include "patch/patch_state.hpp"
#include "support/scratch_folder.hpp"
#include "tests/launcher/game/memory_game_config.hpp"
#include "tests/launcher/game/message_box_recorder.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace launcher {
namespace {

using kyrtest::MemoryGameConfig;
using kyrtest::read_bytes;
using kyrtest::ScratchFolder;
using kyrtest::write_bytes;

// Two releases of the Mesa library (the game's patch may ship a new one) and two of a player's own library.
inline constexpr char kMesa1[] = "MESA llvmpipe release 1";
inline constexpr char kMesa2[] = "MESA llvmpipe release 2, a little longer";
inline constexpr char kMesa3[] = "MESA llvmpipe release 3, longer again than the second";
inline constexpr char kForeign[] = "MESA llvmpipe release 9"; // kMesa1 but for its last byte
inline constexpr char kNewerForeign[] = "QEFFECTS wrapper library, the player's newer release";

// The variable as the game inherits it: on Windows the process environment block, not getenv's copy.
inline std::string processVariable(const char* name) {
#ifdef _WIN32
    char value[256];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length == 0 || length >= sizeof value ? "<unset>" : std::string(value, length);
#else
    const char* value = std::getenv(name);
    return value == nullptr ? "<unset>" : value;
#endif
}

class EngineFolder {
public:
    std::string folder() const { return scratch_.path().string(); }
    std::string path(const char* name) const { return (scratch_ / name).string(); }
    // A Mesa library put here is the one the update installed, unless `installed` is false.
    void put(const char* name, std::string_view bytes, bool installed = true) const {
        write_bytes(scratch_ / name, bytes);
        if (installed && std::string_view(name) == kMesaLibraryName) {
            gu::patch::PatchState state;
            FileFingerprint mesa;
            fingerprintFile(path(name), mesa);
            state.files[name] = mesa.sha256;
            state.save(scratch_.path());
        }
    }
    std::string bytes(const char* name) const { return read_bytes(scratch_ / name); }
    void remove(const char* name) const { std::filesystem::remove(scratch_ / name); }

    // "dll=<library> mesa=<library> bak=<library> ok=<yes|no|bad> placed=<yes|no>", libraries named.
    std::string describe() const {
        const std::string marker = bytes(kEngineBackupMarkerName);
        return "dll=" + nameOf(kEngineLibraryName) + " mesa=" + nameOf(kMesaLibraryName) +
               " bak=" + nameOf(kEngineBackupName) + " ok=" +
               (marker == "<missing>"    ? "no"
                : marker == "verified\n" ? "yes"
                                         : "bad") +
               " placed=" + (bytes(kPlacedEngineMarkerName) == "<missing>" ? "no" : "yes");
    }

private:
    std::string nameOf(const char* file) const {
        const std::string content = bytes(file);
        const std::pair<const char*, const char*> names[] = {{"<missing>", "-"},    {kMesa1, "mesa1"},
                                                             {kMesa2, "mesa2"},     {kMesa3, "mesa3"},
                                                             {kForeign, "foreign"}, {kNewerForeign, "newer"}};
        for (const auto& [stored, name] : names) {
            if (content == stored) {
                return name;
            }
        }
        return "'" + content + "'";
    }

    ScratchFolder scratch_;
};

TEST(GameSettings, DisplayModesListEachUsableSizeOnceInOrder) {
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> driver = {
        {1920, 1080}, {800, 600}, {1920, 1080}, {640, 480}, {639, 480}, {640, 479}, {2000, 479}, {0x80000000u, 1080}};
    EXPECT_EQ(buildDisplayModeList([&](std::uint32_t number, std::uint32_t& w, std::uint32_t& h) {
                  w = number < driver.size() ? driver[number].first : 0;
                  h = number < driver.size() ? driver[number].second : 0;
                  return number < driver.size();
              }),
              (DisplayModeList{{640, 480}, {800, 600}, {1920, 1080}}));
}

// "engine resolution windowed language fps modes" loaded from config.ini, then the settings saved.
TEST(GameSettings, LoadReadsEachKeyWithItsFallbackAndSaveWritesThemAll) {
    const struct {
        std::vector<std::pair<const char*, const char*>> values;
        const char* want;
    } cases[] = {{{}, "0 1 0 0 0 3"},
                 {{{"Launcher.Engine", "gpu"}, {"Custom.Language", "spn"}, {"Graphics.FpsMode", "3"}}, "1 1 0 1 3 3"},
                 {{{"Launcher.Engine", "GPU2"}, {"Custom.Language", "Ger"}, {"Graphics.FpsMode", "4"}}, "0 1 0 0 0 3"},
                 {{{"Graphics.WindowWidth", "1920"}, {"Graphics.WindowHeight", "1080"}, {"Graphics.WindowMode", "2"}},
                  "0 2 1 0 0 3"},
                 {{{"Graphics.WindowWidth", "1366"}, {"Graphics.WindowHeight", "700"}}, "0 3 0 0 0 4"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want);
        MemoryGameConfig config;
        for (const auto& [key, value] : c.values) {
            config.set(key, value);
        }
        GameSettings s;
        s.modes = {{800, 600}, {1024, 768}, {1920, 1080}};
        loadGameSettings(s, config);
        EXPECT_EQ(std::to_string(s.engine) + " " + std::to_string(s.resolution) + " " + std::to_string(s.windowed) +
                      " " + std::to_string(s.language) + " " + std::to_string(s.fpsMode) + " " +
                      std::to_string(s.modes.size()),
                  c.want);
        MemoryGameConfig saved;
        const kyrtest::MessageBoxRecorder boxes;
        EXPECT_TRUE(saveGameSettings(s, saved, nullptr));
        EXPECT_EQ(saved.writes().size(), 6u);
        EXPECT_EQ(saved.languageValue(), saved.value("Custom.Language"));
        EXPECT_FALSE(s.panelOpen);
        s.resolution = static_cast<int>(s.modes.size());
        EXPECT_TRUE(saveGameSettings(s, saved = MemoryGameConfig(), nullptr));
        EXPECT_EQ(saved.value("Graphics.WindowWidth"), "<absent>") << "a resolution past the list selects no size";
    }
    const struct {
        void (*step)(GameSettings&, int);
        int GameSettings::*field;
        int from, direction, want;
    } steps[] = {{stepEngine, &GameSettings::engine, 2, 1, 0},
                 {stepLanguage, &GameSettings::language, 0, -1, 2},
                 {stepResolution, &GameSettings::resolution, 0, -1, 2},
                 {stepResolution, &GameSettings::resolution, -1, 1, 0}};
    for (const auto& c : steps) {
        GameSettings settings;
        settings.modes = {{800, 600}, {1024, 768}, {1920, 1080}};
        settings.*c.field = c.from;
        c.step(settings, c.direction);
        EXPECT_EQ(settings.*c.field, c.want) << c.from << " by " << c.direction;
    }
}

constexpr char kNativeClean[] = "dll=- mesa=mesa1 bak=- ok=no placed=no";
constexpr char kNativeRestored[] = "dll=foreign mesa=mesa1 bak=foreign ok=yes placed=no";
constexpr char kSoftwareEarlierSaved[] = "dll=mesa1 mesa=mesa1 bak=foreign ok=yes placed=yes";
constexpr char kForeignKept[] = "dll=foreign mesa=mesa1 bak=- ok=no placed=no";

// "" when the engine was applied, else the one text that PLAY shows.
std::string apply(const EngineFolder& folder, VideoEngine engine,
                  const EngineFileWrites& writes = systemEngineFileWrites()) {
    MemoryGameConfig config;
    std::string failure;
    return applyVideoEngine(folder.folder(), engine, config, nullptr, failure, writes) ? "" : failure;
}

// Steps that players take: C and G apply an engine, the others change a file behind the launcher's back
// (f, n: the player's library or a newer one; c: a backup cut short; m: the backup marker lost; 2, 3: the
// game's patch brings a new Mesa library; x: another one appears outside the patch; 0: the Mesa library
// goes).
void play(const EngineFolder& folder, const std::string& steps,
          const EngineFileWrites& writes = systemEngineFileWrites()) {
    const std::map<char, std::pair<const char*, std::string>> changes = {
        {'f', {kEngineLibraryName, kForeign}},   {'n', {kEngineLibraryName, kNewerForeign}},
        {'c', {kEngineBackupName, "MESA llvm"}}, {'m', {kEngineBackupMarkerName, ""}},
        {'2', {kMesaLibraryName, kMesa2}},       {'3', {kMesaLibraryName, kMesa3}},
        {'x', {kMesaLibraryName, kMesa3}},       {'0', {kMesaLibraryName, ""}}};
    for (const char step : steps) {
        if (step == 'C' || step == 'G') {
            apply(folder, step == 'C' ? VideoEngine::Cpu : VideoEngine::Gpu, writes);
        } else if (changes.at(step).second.empty()) {
            folder.remove(changes.at(step).first);
        } else {
            folder.put(changes.at(step).first, changes.at(step).second, step != 'x');
        }
    }
}

// A folder reached the way players reach it, from the Mesa library alone.
void arrange(const EngineFolder& folder, const std::string& steps,
             const EngineFileWrites& writes = systemEngineFileWrites()) {
    folder.put(kMesaLibraryName, kMesa1);
    play(folder, steps, writes);
}

TEST(VideoEngine, EachEngineTakesEachStateWithoutLosingThePlayersLibrary) {
    const struct {
        const char* steps; // the folder as arranged
        VideoEngine engine;
        const char* wantFailure; // the text that PLAY shows
        const char* wantState;
    } cases[] = {{"", VideoEngine::Gpu, "", kNativeClean},
                 {"", VideoEngine::Cpu, "", "dll=mesa1 mesa=mesa1 bak=- ok=no placed=yes"},
                 {"fCG", VideoEngine::Cpu, "", kSoftwareEarlierSaved},
                 {"fC", VideoEngine::Gpu, "", kNativeRestored},
                 {"f", VideoEngine::Gpu, "", kForeignKept},
                 {"fCm", VideoEngine::Gpu, "", kNativeClean},
                 {"fCm", VideoEngine::Cpu, "", "dll=mesa1 mesa=mesa1 bak=foreign ok=no placed=yes"},
                 {"fc", VideoEngine::Cpu, "", kSoftwareEarlierSaved},
                 {"C2", VideoEngine::Gpu, "", "dll=- mesa=mesa2 bak=- ok=no placed=no"},
                 {"Cf", VideoEngine::Gpu, "", kForeignKept},
                 {"fCn", VideoEngine::Gpu, "", "dll=newer mesa=mesa1 bak=foreign ok=yes placed=no"},
                 {"fCn", VideoEngine::Cpu, "", "dll=mesa1 mesa=mesa1 bak=newer ok=yes placed=yes"},
                 {"f0", VideoEngine::Cpu, kEngineNotAppliedText, "dll=foreign mesa=- bak=- ok=no placed=no"},
                 {"fx", VideoEngine::Cpu, kMesaNotVerifiedText, "dll=foreign mesa=mesa3 bak=- ok=no placed=no"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.steps) + (c.engine == VideoEngine::Cpu ? " then CPU" : " then GPU"));
        const EngineFolder folder;
        arrange(folder, c.steps);
        const kyrtest::MessageBoxRecorder boxes;
        EXPECT_EQ(apply(folder, c.engine), c.wantFailure);
        EXPECT_EQ(folder.describe(), c.wantState);
        EXPECT_TRUE(boxes.shown().empty());
    }
    const EngineFolder folder;
    arrange(folder, "f");
    std::filesystem::create_directory(folder.path(kEngineBackupMarkerName));
    EXPECT_EQ(apply(folder, VideoEngine::Cpu), kEngineNotAppliedText) << "no backup marker, no swap";
    EXPECT_EQ(folder.bytes(kEngineLibraryName), kForeign);
    const EngineFileWrites& writes = systemEngineFileWrites();
    EXPECT_TRUE(writes.copyToNewFile(folder.path(kEngineLibraryName), folder.path("copy")));
    EXPECT_FALSE(writes.copyToNewFile(folder.path(kMesaLibraryName), folder.path("copy"))) << "never over a file";
    EXPECT_EQ(folder.bytes("copy"), kForeign);
    setProcessVariable(kGalliumDriverVariable, nullptr);
}

// The system's moves and removals until the cut: the write numbered `cut` never completes (a new file is
// left half written, a move or a removal does not happen) and every later one fails, as when the launcher
// is ended or the power goes in the middle of a switch. New files are written without the system's flush,
// which would only slow the many switches down; with no cut, these are the writes of an uncut switch.
class CutShortWrites : public EngineFileWrites {
public:
    explicit CutShortWrites(int cut) : cut_(cut) {}

    bool copyToNewFile(const std::string& from, const std::string& to) const override {
        return create(to, read_bytes(from));
    }
    bool writeNewFile(const std::string& path, std::string_view bytes) const override {
        return create(path, std::string(bytes));
    }
    bool moveOnto(const std::string& from, const std::string& to) const override {
        return reached() && EngineFileWrites::moveOnto(from, to);
    }
    bool remove(const std::string& path) const override { return reached() && EngineFileWrites::remove(path); }

    bool cutShort() const { return writes_ >= cut_; }

private:
    bool reached() const { return ++writes_ < cut_; }
    bool create(const std::string& path, const std::string& bytes) const {
        if (std::filesystem::exists(path)) {
            ++writes_;
            return false;
        }
        const bool whole = reached();
        if (whole || writes_ == cut_) {
            write_bytes(path, whole ? bytes : bytes.substr(0, bytes.size() / 2));
        }
        return whole;
    }

    int cut_;
    mutable int writes_ = 0;
};

// A switch cut short at each of its writes in turn, then the engines as the player goes on choosing them
// (and the game's patch bringing another Mesa library): the player's library always comes back whole.
TEST(VideoEngine, ASwitchCutShortAtAnyWriteLosesNoLibrary) {
    const struct {
        const char* steps; // the folder as arranged
        VideoEngine engine;
        const char* players; // the player's latest library
    } cases[] = {{"f", VideoEngine::Cpu, kForeign},
                 {"fC", VideoEngine::Gpu, kForeign},
                 {"fCn", VideoEngine::Cpu, kNewerForeign},
                 {"fC2", VideoEngine::Cpu, kForeign}};
    for (const auto& c : cases) {
        bool cutShort = true;
        for (int cut = 1; cutShort; ++cut) {
            for (const char* after : {"G", "CG", "3G"}) {
                SCOPED_TRACE(std::string(c.steps) + (c.engine == VideoEngine::Cpu ? "C" : "G") + " cut at write " +
                             std::to_string(cut) + ", then " + after);
                const EngineFolder folder;
                const CutShortWrites uncut(std::numeric_limits<int>::max());
                arrange(folder, c.steps, uncut);
                const CutShortWrites writes(cut);
                apply(folder, c.engine, writes);
                cutShort = writes.cutShort();
                play(folder, after, uncut);
                EXPECT_EQ(folder.bytes(kEngineLibraryName), c.players);
            }
        }
    }
    setProcessVariable(kGalliumDriverVariable, nullptr);
}

// The software engine runs in a window of at most 1024x640; the player's size is kept and given back.
TEST(VideoEngine, SoftwareEngineReducesOnlyALargerWindowAndHardwareGivesItBack) {
    const struct {
        const char *width, *height, *want;
    } cases[] = {{"1024", "640", "1024x640 <absent>x<absent>"},
                 {"1025", "640", "1024x640 1025x640"},
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
        std::string failure;
        ASSERT_TRUE(applyVideoEngine(folder.folder(), VideoEngine::Cpu, config, nullptr, failure));
        EXPECT_EQ(config.value("Graphics.WindowWidth") + "x" + config.value("Graphics.WindowHeight") + " " +
                      config.value("Launcher.PrevWidth") + "x" + config.value("Launcher.PrevHeight"),
                  c.want);
        EXPECT_EQ(config.value("Graphics.MSAASamples") + processVariable(kGalliumDriverVariable), "0llvmpipe");
        ASSERT_TRUE(applyVideoEngine(folder.folder(), VideoEngine::Gpu, config, nullptr, failure));
        EXPECT_EQ(config.value("Graphics.WindowWidth") + "x" + config.value("Graphics.WindowHeight"),
                  std::string(c.width) + "x" + (c.height != nullptr ? c.height : "768"));
        EXPECT_EQ(config.value("Graphics.MSAASamples") + processVariable(kGalliumDriverVariable), "4<unset>");
        EXPECT_TRUE(boxes.shown().empty());
    }
    setProcessVariable(kGalliumDriverVariable, nullptr);
}

TEST(VideoEngine, AutoTakesTheHardwareEngineOnlyFromOpenGl33) {
    const struct {
        const char* version;
        int major, minor;
        bool capable;
    } cases[] = {{"3.2.0 Mesa", 3, 2, false},
                 {"3.3.0 NVIDIA", 3, 3, true},
                 {"10.1", 10, 1, true},
                 {"OpenGL ES 3.2", 0, 0, false},
                 {"4 6", 0, 0, false}};
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
        EXPECT_EQ(apply(folder, VideoEngine::Auto), "");
        EXPECT_EQ(folder.bytes(kEngineLibraryName), c.capable ? "<missing>" : kMesa1);
    }
    glProbeOverride = nullptr;
    setProcessVariable(kGalliumDriverVariable, nullptr);
}

} // namespace
} // namespace launcher
