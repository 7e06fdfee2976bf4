#pragma once
// The video engine of the game folder. The game loads an opengl32.dll from its own folder in place of the
// system's, so the software engine is a copy of the shipped Mesa library under that name and the hardware
// engine is its absence (or the player's earlier library, restored from its backup). The graphics
// profile in config.ini follows the engine.
//
// States of the folder (B = opengl32-qeffects.bak with its marker, P = the placed-copy marker):
//   native, clean             no opengl32.dll, no B, no P
//   native, earlier restored  the earlier library, B
//   software, no earlier      Mesa copy, P
//   software, earlier saved   Mesa copy, B, P
//   foreign, never switched   another library, no B, no P
// The launcher only deletes or overwrites an opengl32.dll that it placed: one identical to the Mesa
// library, or an exact file that P records (the game's patch may have replaced the Mesa library since).
// Any other library stays when the hardware engine is chosen, even over an older backup, and the software
// engine backs it up anew unless the backup already holds it.
//
// A switch cut short at any point (a crash, a power cut, the process ended) loses no library: opengl32.dll
// and the backup only ever change whole, by a move onto their names of a copy already on the disk; the
// backup's marker is on the disk before opengl32.dll is touched; P names a copy before it takes the
// library's name.

#include "launcher/game/engine_files.hpp"
#include "launcher/game/game_settings.hpp"

#include <string>

namespace launcher {

class GameConfig;

// Beside opengl32.dll while it is the launcher's copy: a line "<size> <sha256>\n" for that copy, and while
// a new copy is being placed, one for the copy that it replaces.
inline constexpr char kPlacedEngineMarkerName[] = "opengl32-launcher.placed";
// The content of the backup's marker, written once the backup is complete.
inline constexpr char kEngineBackupMarkerContent[] = "verified\n";

// Graphics profile keys and the window size of a software-engine run (the player's size is kept in
// kPrevWidthKey / kPrevHeightKey meanwhile).
inline constexpr char kMsaaSamplesKey[] = "MSAASamples";
inline constexpr char kEffectStaticKey[] = "EffectStatic";
inline constexpr char kSkipGpuParticlesKey[] = "SkipGpuParticles";
inline constexpr DisplayMode kSoftwareWindowLimit{1024, 640};

// Puts the folder into the state of the engine (Auto: hardware when probeOpenGl finds OpenGL 3.3, else
// software), writes the graphics profile and sets GALLIUM_DRIVER for the game. True when the engine's
// library state was reached; otherwise failure is the one text the player is shown: the software engine
// refused for a Mesa library that the update did not install (nothing is then written), or the engine not
// applied. A failed profile write shows the warning box (owned by boxOwner, an HWND) once, after the files
// were handled, and does not change the result.
bool applyVideoEngine(const std::string& folder, VideoEngine engine, GameConfig& config, void* boxOwner,
                      std::string& failure, const EngineFileWrites& writes = systemEngineFileWrites());

// The hardware engine's library state: a library the launcher did not place stays; otherwise the earlier
// library restored from a complete backup, or no opengl32.dll. False when a deletion or the restore failed.
bool restoreNativeEngine(const std::string& folder, const EngineFileWrites& writes = systemEngineFileWrites());

} // namespace launcher
