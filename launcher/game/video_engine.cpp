#include "launcher/game/video_engine.hpp"
#include "launcher/game/message_box_texts.hpp"

#include "launcher/game/engine_files.hpp"
#include "launcher/game/game_client_interface.hpp"
#include "launcher/game/game_config.hpp"
#include "launcher/game/gl_probe.hpp"
#include "launcher/game/message_box.hpp"
#include "launcher/game/process_environment.hpp"
#include "launcher/servers/server_cache.hpp"
#include "launcher/shell/file_replace.hpp"
#include "launcher/shell/folder_path.hpp"

#include <cstdio>

namespace launcher {
namespace {


// The placed-copy marker is a few dozen bytes; anything larger is not the launcher's.
constexpr std::size_t kPlacedMarkerLimit = 128;

struct EnginePaths {
    explicit EnginePaths(const std::string& folder)
        : library(joinFolderPath(folder, kEngineLibraryName)), mesa(joinFolderPath(folder, kMesaLibraryName)),
          backup(joinFolderPath(folder, kEngineBackupName)),
          backupMarker(joinFolderPath(folder, kEngineBackupMarkerName)),
          placedMarker(joinFolderPath(folder, kPlacedEngineMarkerName)) {}

    std::string library;
    std::string mesa;
    std::string backup;
    std::string backupMarker;
    std::string placedMarker;
};

// Files of the launcher's own making: a read-only attribute, copied along from the Mesa library or the
// player's library, must not keep them from going.
bool removeOwnFile(const std::string& path) {
    resetFileAttributes(path);
    return deleteFile(path);
}

std::string placedMarkerText(const FileFingerprint& fingerprint) {
    return std::to_string(fingerprint.size) + " " + fingerprint.sha256 + "\n";
}

// Whether opengl32.dll is the exact file that the placed-copy marker records; hashed only when the sizes
// agree.
bool matchesPlacedMarker(const EnginePaths& paths) {
    std::string recorded;
    std::uint64_t size = 0;
    if (!readTextFile(paths.placedMarker, recorded, kPlacedMarkerLimit) || !fileSize(paths.library, size)) {
        return false;
    }
    const std::string sizePrefix = std::to_string(size) + " ";
    if (recorded.compare(0, sizePrefix.size(), sizePrefix) != 0) {
        return false;
    }
    FileFingerprint fingerprint;
    return fingerprintFile(paths.library, fingerprint) && placedMarkerText(fingerprint) == recorded;
}

bool isPlacedCopy(const EnginePaths& paths) {
    return filesIdentical(paths.library, paths.mesa) || matchesPlacedMarker(paths);
}

// Remembers the copy just placed. Without the marker the copy is still recognised while it equals the
// Mesa library, so a failure here is not reported.
void recordPlacedCopy(const EnginePaths& paths) {
    FileFingerprint fingerprint;
    if (fingerprintFile(paths.library, fingerprint)) {
        writeFileReplacing(paths.placedMarker, placedMarkerText(fingerprint), true);
    }
}

// Removes opengl32.dll when it is the launcher's copy; any other library stays. False only when the
// launcher's copy could not be deleted.
bool removePlacedLibrary(const EnginePaths& paths) {
    if (isFile(paths.library) && isPlacedCopy(paths) && !removeOwnFile(paths.library)) {
        return false;
    }
    if (isFile(paths.placedMarker)) {
        removeOwnFile(paths.placedMarker);
    }
    return true;
}

// Whether the complete backup holds exactly the library in place.
bool backupHoldsLibrary(const EnginePaths& paths) {
    return isFile(paths.backup) && isFile(paths.backupMarker) && filesIdentical(paths.library, paths.backup);
}

// Keeps a library that the launcher did not place in the backup, in place of an older or cut-short one:
// the library in the folder is the one the player (or a mod) put there last. The stale marker goes first
// and the marker is written last, so only a whole backup has one. A backup without marker is discarded at
// the next hardware-engine run, after the Mesa copy had replaced the only other copy of the library, so a
// marker that cannot be written stops the switch instead.
bool backUpForeignLibrary(const EnginePaths& paths) {
    if (isFile(paths.backupMarker) && !removeOwnFile(paths.backupMarker)) {
        return false;
    }
    if (isFile(paths.backup) && !removeOwnFile(paths.backup)) {
        return false;
    }
    if (!copyFileNew(paths.library, paths.backup)) {
        return false;
    }
    std::FILE* marker = std::fopen(paths.backupMarker.c_str(), "wb");
    bool marked = false;
    if (marker != nullptr) {
        const std::size_t length = sizeof(kEngineBackupMarkerContent) - 1;
        marked = std::fwrite(kEngineBackupMarkerContent, 1, length, marker) == length;
        marked = std::fclose(marker) == 0 && marked;
    }
    if (!marked) {
        removeOwnFile(paths.backupMarker);
        removeOwnFile(paths.backup);
    }
    return marked;
}

bool placeMesaLibrary(const EnginePaths& paths) {
    if (!isFile(paths.mesa)) {
        return false;
    }
    if (isFile(paths.library) && !isPlacedCopy(paths) && !backupHoldsLibrary(paths) && !backUpForeignLibrary(paths)) {
        return false;
    }
    if (!copyFileOver(paths.mesa, paths.library)) {
        return false;
    }
    recordPlacedCopy(paths);
    return true;
}

bool writeProfile(GameConfig& config, const char* msaaSamples, const char* effectStatic, const char* skipGpuParticles) {
    const bool msaa = config.writeText(kGraphicsSection, kMsaaSamplesKey, msaaSamples);
    const bool effects = config.writeText(kGraphicsSection, kEffectStaticKey, effectStatic);
    const bool particles = config.writeText(kGraphicsSection, kSkipGpuParticlesKey, skipGpuParticles);
    return msaa && effects && particles;
}

void warnProfileNotSaved() {
    showMessageBox({nullptr, kProfileNotSavedText, kLauncherWarningTitle, MessageBoxIcon::Warning});
}

bool applyHardwareEngine(const std::string& folder, GameConfig& config) {
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
    const bool restored = restoreNativeEngine(folder);
    if (!profileSaved) {
        warnProfileNotSaved();
    }
    return restored;
}

bool applySoftwareEngine(const std::string& folder, GameConfig& config) {
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
    const bool placed = placeMesaLibrary(EnginePaths(folder));
    if (!profileSaved) {
        warnProfileNotSaved();
    }
    return placed;
}

} // namespace

bool applyVideoEngine(const std::string& folder, VideoEngine engine, GameConfig& config) {
    const bool hardware = engine == VideoEngine::Gpu || (engine != VideoEngine::Cpu && probeOpenGl());
    return hardware ? applyHardwareEngine(folder, config) : applySoftwareEngine(folder, config);
}

bool restoreNativeEngine(const std::string& folder) {
    const EnginePaths paths(folder);
    if (!isFile(paths.backup)) {
        return removePlacedLibrary(paths);
    }
    if (isFile(paths.mesa) && filesIdentical(paths.backup, paths.mesa)) {
        // The backup holds nothing that the Mesa library does not.
        removeOwnFile(paths.backup);
        removeOwnFile(paths.backupMarker);
        return removePlacedLibrary(paths);
    }
    if (isFile(paths.backupMarker)) {
        if (isFile(paths.library) && !isPlacedCopy(paths)) {
            // The player (or a mod) put this library here after the backup was taken: it is newer and stays.
            return removePlacedLibrary(paths);
        }
        if (!copyFileOver(paths.backup, paths.library)) {
            return false;
        }
        removeOwnFile(paths.placedMarker);
        return true;
    }
    // A backup without its marker was cut short and cannot be restored.
    removeOwnFile(paths.backup);
    return removePlacedLibrary(paths);
}

} // namespace launcher
