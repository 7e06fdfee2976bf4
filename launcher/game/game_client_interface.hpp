#pragma once
// What is fixed at the boundary with the game client (Main.exe and the files it reads). The launcher
// prepares these before the game starts and exchanges nothing with it while it runs. Paths below the game
// folder use "\" as the game names them; joinFolderPath (launcher/shell/folder_path.hpp) joins them.

namespace launcher {

inline constexpr char kGameExecutableName[] = "Main.exe";
inline constexpr char kGameConfigFileName[] = "config.ini";

// The game's data folder and the two server files in it.
inline constexpr char kGameLocalDataFolder[] = "Data\\Local";
inline constexpr char kServerListBmdPath[] = "Data\\Local\\ServerList.bmd";
inline constexpr char kClientServerFileName[] = "valdra.main";
inline constexpr char kClientServerFilePath[] = "Data\\Local\\valdra.main";

// The ServerList.bmd companions: the saved template and the transient new file.
inline constexpr char kServerListBmdTemplateSuffix[] = ".orig";
inline constexpr char kTemporaryFileSuffix[] = ".tmp";

// Command lines (printf formats): with the game folder, host and port, or with the game folder alone.
inline constexpr char kGameCommandLineWithServer[] = "\"%s\\Main.exe\" /u%s /p%d";
inline constexpr char kGameCommandLine[] = "\"%s\\Main.exe\"";

// The game's language, under HKEY_CURRENT_USER, as a REG_SZ holding "Eng", "Spn" or "Por".
inline constexpr char kGameRegistryKey[] = "SOFTWARE\\Halvane\\Kyr\\Config";
inline constexpr char kGameLanguageValue[] = "LangSelection";

// Video engine files in the game folder.
inline constexpr char kEngineLibraryName[] = "opengl32.dll";
inline constexpr char kMesaLibraryName[] = "opengl32-mesa.dll";
inline constexpr char kEngineBackupName[] = "opengl32-qeffects.bak";
inline constexpr char kEngineBackupMarkerName[] = "opengl32-qeffects.bak.ok";

// Inherited by the game: "llvmpipe" makes the Mesa library select its software driver.
inline constexpr char kGalliumDriverVariable[] = "GALLIUM_DRIVER";
inline constexpr char kGalliumDriverSoftware[] = "llvmpipe";

} // namespace launcher
