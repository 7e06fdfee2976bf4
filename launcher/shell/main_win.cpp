// KyrLauncher.exe: takes its folder's lock (or brings the launcher that holds it forward and ends), finds
// its folder (the game folder), seeds the client's server file, creates the shared state and the window,
// starts the update check, the news, the server list and the removal of the exe that a self-update left
// behind, and runs the message loop until the window is gone. Command-line arguments are ignored.

#include "launcher/game/game_client_interface.hpp"
#include "launcher/game/game_launch.hpp"
#include "launcher/game/message_box.hpp"
#include "launcher/game/message_box_texts.hpp"
#include "launcher/net/updater_front_end.hpp"
#include "launcher/shell/file_replace.hpp"
#include "launcher/shell/folder_lock.hpp"
#include "launcher/shell/launcher_settings.hpp"
#include "launcher/shell/launcher_state.hpp"
#include "launcher/shell/leftover_program.hpp"
#include "launcher/shell/message_poster_win.hpp"
#include "launcher/shell/message_routing.hpp"
#include "launcher/shell/news_worker.hpp"
#include "launcher/shell/program_start.hpp"
#include "launcher/shell/safe_path.hpp"
#include "launcher/shell/server_list_actions.hpp"
#include "launcher/shell/server_preferences.hpp"
#include "launcher/ui/interface_texts.hpp"
#include "launcher/ui/launcher_window.hpp"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

using namespace launcher;

constexpr std::size_t kPathBuffer = 260;

// snprintf into the platform's path limit: a path that does not fit is cut, never rejected.
std::string formPath(const char* format, const std::string& base) {
    char buffer[kPathBuffer];
    std::snprintf(buffer, sizeof buffer, format, base.c_str());
    return buffer;
}

// The folder of the launcher's exe and the exe's name in it.
bool findLauncherProgram(std::string& folder, std::string& programName) {
    char module[kPathBuffer];
    const DWORD length = GetModuleFileNameA(nullptr, module, static_cast<DWORD>(sizeof module));
    if (length == 0 || length >= sizeof module) {
        return false;
    }
    const char* slash = std::strrchr(module, '\\');
    if (slash == nullptr) {
        return false;
    }
    folder.assign(module, static_cast<std::size_t>(slash - module));
    if (folder.size() > kPathBuffer - 1) {
        folder.resize(kPathBuffer - 1);
    }
    programName = slash + 1;
    return true;
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The client's built-in server file is read below Data\Local; a copy beside the launcher seeds it once.
// Data and Data\Local are followed only to a folder on a drive, and the copy never goes through a link.
// Every failure here is ignored: the server list then reports its own.
void seedClientServerFile(const std::string& folder) {
    const std::string rootFile = formPath("%s\\valdra.main", folder);
    const std::string localFolder = formPath("%s\\Data\\Local", folder);
    const std::string localFile = formPath("%s\\valdra.main", localFolder);
    if (!exists(rootFile) || exists(localFile)) {
        return;
    }
    CreateDirectoryA(formPath("%s\\Data", folder).c_str(), nullptr);
    CreateDirectoryA(localFolder.c_str(), nullptr);
    if (foldersStayOnDrives(folder, kGameLocalDataFolder)) {
        copyToNewFile(rootFile, localFile);
    }
}

void showStartupError(const char* text) {
    showMessageBox({nullptr, text, kLauncherErrorTitle, MessageBoxIcon::Error});
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    // Libraries loaded from here on come from the system folder only, never from the game folder, which the
    // player can write. Looked up: Windows 7 has the call only with an update.
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    if (const auto setDefaultDllDirectories =
            reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void (*)()>(
                GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")))) {
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    // Lives for the whole run, as does the lock it holds.
    auto* folderLock = new FolderLock;
    if (!folderLock->take()) {
        folderLock->bringForwardHolder(kLauncherWindowClassName);
        return 0;
    }
    std::string folder;
    std::string programName;
    if (!findLauncherProgram(folder, programName)) {
        showStartupError(kFolderNotFoundText);
        return 1;
    }
    seedClientServerFile(folder);

    // Lives for the whole run: workers still running at the end are cut off by ExitProcess.
    auto* state = new LauncherState;
    state->folder = folder;
    state->configIniPath = formPath("%s\\config.ini", folder);
    state->launcherIniPath = formPath("%s\\launcher.ini", folder);
    state->serversCachePath = formPath("%s\\servers.cache.json", folder);
    state->programName = programName;
    // The new version that a self-update starts takes the folder's lock as it starts: this launcher lets go
    // of it first (it only closes from then on), and takes it back when nothing started.
    state->startProgram = [folderLock](const std::string& programFolder, const std::string& commandLine) {
        folderLock->release();
        if (startProgramInFolder(programFolder, commandLine)) {
            return true;
        }
        folderLock->take();
        return false;
    };
    state->onUpdateDone = onUpdateDone;
    state->preferences = new IniServerPreferences(state->launcherIniPath);

    auto window = std::make_unique<LauncherWindow>();
    state->window = window.get();
    if (!window->create(instance, folder, state->configIniPath, state)) {
        showStartupError(kWindowNotCreatedText);
        state->window = nullptr;
        window.reset();
        delete state->preferences;
        delete state;
        return 1;
    }
    state->windowHandle = window->handle();
    state->poster = new WindowMessagePoster(window->handle());
    window->setNotificationRouter(routeFromWindowProcedure);
    window->setActionCallbacks({launchGame, onVerifyClicked, onForceClicked});
    window->setServerListCallbacks({selectServer, applyAccessCode, cycleRegion, applyAccessCode});
    window->setAccessCode(readAccessCode(state->launcherIniPath));
    window->show(showCommand);

    state->updateRunning.exchange(1);
    window->setVerifyEnabled(false);
    window->setUpdateStatus(uiText(UiText::CheckingForUpdates), false);
    startUpdateCheck(*state);

    state->startWorker([poster = state->poster] {
        StoreConnection store(gu::patch::kDefaultIdleTimeoutMs);
        newsWorker(*poster, store.fetcher(), storeTrustKey());
    });
    state->startWorker(removeLeftoverProgram);
    startServerListFetch(*state);

    // Nothing is torn down: the process ends with the code of WM_QUIT.
    const unsigned exitCode = runMessageLoop(*state);
    ExitProcess(exitCode);
}
