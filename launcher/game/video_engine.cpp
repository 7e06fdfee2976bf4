#include "launcher/game/video_engine.hpp"
#include "launcher/game/message_box_texts.hpp"

#include "launcher/game/engine_files.hpp"
#include "launcher/game/game_client_interface.hpp"
#include "launcher/game/game_config.hpp"
#include "launcher/game/gl_probe.hpp"
#include "launcher/game/message_box.hpp"
#include "launcher/game/process_environment.hpp"
#include "launcher/servers/server_cache.hpp"
#include "launcher/shell/folder_path.hpp"
#include "patch/patch_state.hpp"

#include <filesystem>

#include <string_view>

namespace launcher {
namespace {

// The placed-copy marker holds two lines of about seventy bytes; anything larger is not the launcher's.
constexpr std::size_t kPlacedMarkerLimit = 512;
constexpr char kTemporarySuffix[] = ".tmp";

struct EngineFolder {
    EngineFolder(const std::string& folder, const EngineFileWrites& fileWrites)
        : root(folder), library(joinFolderPath(folder, kEngineLibraryName)),
          mesa(joinFolderPath(folder, kMesaLibraryName)), backup(joinFolderPath(folder, kEngineBackupName)),
          backupMarker(joinFolderPath(folder, kEngineBackupMarkerName)),
          placedMarker(joinFolderPath(folder, kPlacedEngineMarkerName)), writes(fileWrites) {}

    std::string root;
    std::string library;
    std::string mesa;
    std::string backup;
    std::string backupMarker;
    std::string placedMarker;
    const EngineFileWrites& writes;
};

std::string temporaryOf(const std::string& path) {
    return path + kTemporarySuffix;
}

bool removeIfPresent(const EngineFolder& folder, const std::string& path) {
    return !isFile(path) || folder.writes.remove(path);
}

// What a switch cut short left under the temporary names: never a file of the player's, never read.
void removeLeftovers(const EngineFolder& folder) {
    for (const std::string* path : {&folder.library, &folder.backup, &folder.backupMarker, &folder.placedMarker}) {
        removeIfPresent(folder, temporaryOf(*path));
    }
}

// The new content of target, under its temporary name, on the disk: a copy of from, or bytes.
bool stageCopy(const EngineFolder& folder, const std::string& from, const std::string& target) {
    const std::string temporary = temporaryOf(target);
    return removeIfPresent(folder, temporary) && folder.writes.copyToNewFile(from, temporary);
}

bool stageBytes(const EngineFolder& folder, std::string_view bytes, const std::string& target) {
    const std::string temporary = temporaryOf(target);
    return removeIfPresent(folder, temporary) && folder.writes.writeNewFile(temporary, bytes);
}

// The staged content takes target's name in one step: target is the old file or the new one, never part.
bool commitStaged(const EngineFolder& folder, const std::string& target) {
    const std::string temporary = temporaryOf(target);
    if (folder.writes.moveOnto(temporary, target)) {
        return true;
    }
    folder.writes.remove(temporary);
    return false;
}

std::string placedMarkerLine(const FileFingerprint& fingerprint) {
    return std::to_string(fingerprint.size) + " " + fingerprint.sha256 + "\n";
}

// Whether opengl32.dll is an exact file that the placed-copy marker records; hashed only when a recorded
// size agrees.
bool matchesPlacedMarker(const EngineFolder& folder) {
    std::string recorded;
    std::uint64_t size = 0;
    if (!readTextFile(folder.placedMarker, recorded, kPlacedMarkerLimit) || !fileSize(folder.library, size)) {
        return false;
    }
    recorded.insert(0, "\n");
    if (recorded.find("\n" + std::to_string(size) + " ") == std::string::npos) {
        return false;
    }
    FileFingerprint fingerprint;
    return fingerprintFile(folder.library, fingerprint) &&
           recorded.find("\n" + placedMarkerLine(fingerprint)) != std::string::npos;
}

bool isPlacedCopy(const EngineFolder& folder) {
    return filesIdentical(folder.library, folder.mesa) || matchesPlacedMarker(folder);
}

// Removes opengl32.dll when it is the launcher's copy; any other library stays. False only when the
// launcher's copy could not be deleted.
bool removePlacedLibrary(const EngineFolder& folder) {
    if (isFile(folder.library) && isPlacedCopy(folder) && !folder.writes.remove(folder.library)) {
        return false;
    }
    removeIfPresent(folder, folder.placedMarker);
    return true;
}

// Whether the complete backup holds exactly the library in place.
bool backupHoldsLibrary(const EngineFolder& folder) {
    return isFile(folder.backup) && isFile(folder.backupMarker) && filesIdentical(folder.library, folder.backup);
}

// Keeps a library that the launcher did not place in the backup, in place of an older or cut-short one:
// the library in the folder is the one the player (or a mod) put there last. The new backup takes the name
// only once it is whole and on the disk, so an older one is replaced whole or not at all. The marker is on
// the disk before the library is touched: a backup without marker is discarded at the next hardware-engine
// run, which is safe only while the library was never replaced, so a marker that cannot be written stops
// the switch.
bool backUpForeignLibrary(const EngineFolder& folder) {
    if (!stageCopy(folder, folder.library, folder.backup) || !commitStaged(folder, folder.backup)) {
        return false;
    }
    if (isFile(folder.backupMarker)) {
        return true;
    }
    return stageBytes(folder, kEngineBackupMarkerContent, folder.backupMarker) &&
           commitStaged(folder, folder.backupMarker);
}

// Records the staged copy, and the launcher's copy in place if there is one, before the staged copy takes
// the library's name: whichever of the two a cut leaves there is still known as the launcher's, even once
// the game's patch has brought another Mesa library. Without the marker the copy is still recognised while
// it equals the Mesa library, so a failure here does not stop the switch.
void recordPlacedCopy(const EngineFolder& folder, bool libraryPlaced) {
    FileFingerprint staged;
    if (!fingerprintFile(temporaryOf(folder.library), staged)) {
        return;
    }
    std::string lines = placedMarkerLine(staged);
    FileFingerprint current;
    if (libraryPlaced && fingerprintFile(folder.library, current) && !(current == staged)) {
        lines += placedMarkerLine(current);
    }
    if (stageBytes(folder, lines, folder.placedMarker)) {
        commitStaged(folder, folder.placedMarker);
    }
}

bool placeMesaLibrary(const EngineFolder& folder) {
    if (!isFile(folder.mesa)) {
        return false;
    }
    const bool libraryPresent = isFile(folder.library);
    const bool libraryPlaced = libraryPresent && isPlacedCopy(folder);
    if (libraryPresent && !libraryPlaced && !backupHoldsLibrary(folder) && !backUpForeignLibrary(folder)) {
        return false;
    }
    if (!stageCopy(folder, folder.mesa, folder.library)) {
        return false;
    }
    recordPlacedCopy(folder, libraryPlaced);
    return commitStaged(folder, folder.library);
}

bool restoreHardwareLibrary(const EngineFolder& folder) {
    if (!isFile(folder.backup)) {
        return removePlacedLibrary(folder);
    }
    if (isFile(folder.mesa) && filesIdentical(folder.backup, folder.mesa)) {
        // The backup holds nothing that the Mesa library does not.
        folder.writes.remove(folder.backup);
        removeIfPresent(folder, folder.backupMarker);
        return removePlacedLibrary(folder);
    }
    if (isFile(folder.backupMarker)) {
        if (isFile(folder.library) && !isPlacedCopy(folder)) {
            // The player (or a mod) put this library here after the backup was taken: it is newer and stays.
            return removePlacedLibrary(folder);
        }
        if (!stageCopy(folder, folder.backup, folder.library) || !commitStaged(folder, folder.library)) {
            return false;
        }
        removeIfPresent(folder, folder.placedMarker);
        return true;
    }
    // A backup without its marker was cut short, or the library was never replaced since it was taken (the
    // marker is written first): nothing is lost with it.
    folder.writes.remove(folder.backup);
    return removePlacedLibrary(folder);
}

bool writeProfile(GameConfig& config, const char* msaaSamples, const char* effectStatic, const char* skipGpuParticles) {
    const bool msaa = config.writeText(kGraphicsSection, kMsaaSamplesKey, msaaSamples);
    const bool effects = config.writeText(kGraphicsSection, kEffectStaticKey, effectStatic);
    const bool particles = config.writeText(kGraphicsSection, kSkipGpuParticlesKey, skipGpuParticles);
    return msaa && effects && particles;
}

void warnProfileNotSaved(void* boxOwner) {
    showMessageBox({boxOwner, kProfileNotSavedText, kLauncherWarningTitle, MessageBoxIcon::Warning});
}

bool applyHardwareEngine(const EngineFolder& folder, GameConfig& config, void* boxOwner) {
    bool profileSaved = writeProfile(config, "4", "1", "0");
    const int previousWidth = config.readNumber(kLauncherSection, kPrevWidthKey, 0);
    const int previousHeight = config.readNumber(kLauncherSection, kPrevHeightKey, 0);
    if (previousWidth >= 1 && previousHeight >= 1) {
        // The pair goes only once the player's size is back; if it stayed, a later run would apply it again.
        if (writeWindowSize(config, previousWidth, previousHeight)) {
            profileSaved = dropKeptWindowSize(config) && profileSaved;
        } else {
            profileSaved = false;
        }
    }
    setProcessVariable(kGalliumDriverVariable, nullptr);
    const bool restored = restoreHardwareLibrary(folder);
    if (!profileSaved) {
        warnProfileNotSaved(boxOwner);
    }
    return restored;
}

// Whether the Mesa library is the one that the signed update installed: any other file under its name
// could be anything, and the game would load it.
bool mesaIsInstalledOne(const EngineFolder& folder) {
    const gu::patch::PatchState state = gu::patch::PatchState::load(std::filesystem::u8path(enginePath(folder.root)));
    const auto installed = state.files.find(kMesaLibraryName);
    FileFingerprint fingerprint;
    return installed != state.files.end() && fingerprintFile(folder.mesa, fingerprint) &&
           fingerprint.sha256 == installed->second;
}

bool applySoftwareEngine(const EngineFolder& folder, GameConfig& config, void* boxOwner) {
    bool profileSaved = writeProfile(config, "0", "0", "1");
    const int width = config.readNumber(kGraphicsSection, kWindowWidthKey, kDefaultWindowWidth);
    const int height = config.readNumber(kGraphicsSection, kWindowHeightKey, kDefaultWindowHeight);
    if (width > kSoftwareWindowLimit.width || height > kSoftwareWindowLimit.height) {
        const bool widthKept = config.writeText(kLauncherSection, kPrevWidthKey, std::to_string(width));
        const bool heightKept = config.writeText(kLauncherSection, kPrevHeightKey, std::to_string(height));
        // The window is reduced only when the player's size can be restored later.
        profileSaved = widthKept && heightKept &&
                       writeWindowSize(config, kSoftwareWindowLimit.width, kSoftwareWindowLimit.height) && profileSaved;
    }
    setProcessVariable(kGalliumDriverVariable, kGalliumDriverSoftware);
    const bool placed = placeMesaLibrary(folder);
    if (!profileSaved) {
        warnProfileNotSaved(boxOwner);
    }
    return placed;
}

} // namespace

bool applyVideoEngine(const std::string& folder, VideoEngine engine, GameConfig& config, void* boxOwner,
                      std::string& failure, const EngineFileWrites& writes) {
    const EngineFolder engineFolder(folder, writes);
    removeLeftovers(engineFolder);
    const bool hardware = engine == VideoEngine::Gpu || (engine != VideoEngine::Cpu && probeOpenGl());
    if (!hardware && isFile(engineFolder.mesa) && !mesaIsInstalledOne(engineFolder)) {
        failure = kMesaNotVerifiedText;
        return false;
    }
    if (hardware ? applyHardwareEngine(engineFolder, config, boxOwner)
                 : applySoftwareEngine(engineFolder, config, boxOwner)) {
        return true;
    }
    failure = kEngineNotAppliedText;
    return false;
}

bool restoreNativeEngine(const std::string& folder, const EngineFileWrites& writes) {
    return restoreHardwareLibrary(EngineFolder(folder, writes));
}

} // namespace launcher
