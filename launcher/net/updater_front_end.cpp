#include "launcher/net/updater_front_end.hpp"

#include "launcher/game/game_client_interface.hpp"
#include "launcher/shell/folder_path.hpp"
#include "launcher/shell/launcher_state.hpp"
#include "launcher/shell/launcher_view.hpp"
#include "launcher/shell/message_poster.hpp"
#include "launcher/shell/server_list_actions.hpp"
#include "launcher/shell/window_messages.hpp"
#include "launcher/ui/interface_texts.hpp"
#include "patch/downloader.hpp"
#include "patch/failover_fetcher.hpp"
#include "patch/store_url.hpp"

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <system_error>

#ifndef KYR_DEFAULT_STORE_URL
#error "KYR_DEFAULT_STORE_URL comes from the build setting KYR_STORE_URL"
#endif
#ifndef KYR_DEFAULT_STORE_PUBKEY
#error "KYR_DEFAULT_STORE_PUBKEY comes from the build setting KYR_STORE_PUBKEY"
#endif
#ifndef KYR_STORE_OVERRIDE_ALLOWED
#error "KYR_STORE_OVERRIDE_ALLOWED comes from the build option KYR_ALLOW_STORE_OVERRIDE"
#endif
#ifndef KYR_REMOVE_DROPPED_FILES
#error "KYR_REMOVE_DROPPED_FILES comes from the build option of the same name"
#endif

namespace launcher {
namespace {

constexpr bool kStoreOverrideAllowed = KYR_STORE_OVERRIDE_ALLOWED != 0;

std::string settingOrOverride(const char* variable, const char* built) {
    return chooseStoreSetting(built, std::getenv(variable), kStoreOverrideAllowed);
}

// The client's own file tells whether the folder holds a game at all.
bool clientFilePresent(const std::string& folder) {
    std::error_code error;
    const std::filesystem::path path(joinFolderPath(folder, kClientServerFilePath));
    return std::filesystem::exists(path, error) && !std::filesystem::is_directory(path, error);
}

const char* phaseText(int phase) {
    switch (phase) {
    case 0:
        return uiText(UiText::CheckingForUpdates);
    case 1:
        return uiText(UiText::DownloadingGameData);
    case 2:
        return uiText(UiText::Installing);
    default:
        return uiText(UiText::ApplyingUpdate);
    }
}

// The failure line: the FORCE hint while FORCE is still available, then what went wrong.
std::string failureText(const UpdateResult& result, bool client, bool forceOff, bool spanish) {
    std::string text = forceOff ? uiText(BilingualText::ForceHint, spanish) : "";
    const bool detailed = !result.message.empty();
    if (!client) {
        text += uiText(BilingualText::PatchNotDownloaded, spanish);
        return detailed ? text + " (" + result.message + ")" : text;
    }
    if (result.downloaded) {
        text += uiText(UiText::UpdateInterrupted);
        return detailed ? text + " (" + result.message + ")" : text;
    }
    text += uiText(UiText::UpdateFailedClientIntact);
    return detailed ? text + ": " + result.message : text;
}

// Claims the single update slot; false when an update already runs.
bool claimUpdate(LauncherState& state) {
    std::int32_t idle = 0;
    return state.updateRunning.compare_exchange_strong(idle, 1);
}

// While a run is being started nothing else may start one or launch the game.
void lockButtons(LauncherView& window) {
    window.setVerifyEnabled(false);
    window.setPlayEnabled(false);
    window.setForceEnabled(false);
}

// The old exe keeps running from its ".old" name; the new one is started in its place and this one closes,
// so PLAY is never offered by the old code. When the new one cannot start, the player is told to do it.
void restartLauncher(LauncherState& state, bool spanish) {
    LauncherView& window = *state.window;
    window.setPlayEnabled(false);
    window.setForceEnabled(false);
    window.setProgress(1, 1);
    const std::string commandLine = "\"" + joinFolderPath(state.folder, state.programName) + "\"";
    if (state.startProgram && state.startProgram(state.folder, commandLine)) {
        window.setUpdateStatus(uiText(BilingualText::LauncherRestarting, spanish), false);
        state.poster->post(kWindowCloseMessage, nullptr);
        return;
    }
    window.setUpdateStatus(uiText(BilingualText::LauncherRestartFailed, spanish), true);
}

} // namespace

std::string chooseStoreSetting(const std::string& built, const char* environmentValue, bool overrideAllowed) {
    if (!overrideAllowed || environmentValue == nullptr || *environmentValue == '\0') {
        return built;
    }
    return environmentValue;
}

std::string storeBaseUrl() {
    return gu::patch::store_base_url(settingOrOverride("KYR_STORE_URL", KYR_DEFAULT_STORE_URL));
}

std::string storeTrustKey() {
    return settingOrOverride("KYR_STORE_PUBKEY", KYR_DEFAULT_STORE_PUBKEY);
}

StoreConnection::StoreConnection(std::uint32_t idleTimeoutMs)
    : baseUrl_(storeBaseUrl()), primary_(makeStoreFetcher(baseUrl_, idleTimeoutMs)),
      failover_({gu::patch::FetchSource{primary_.get(), baseUrl_}}, {}) {}

gu::patch::DownloaderConfig runConfig(const std::string& folder, const std::string& programName) {
    gu::patch::DownloaderConfig config;
    config.product = "valdra7q";
    config.channel = kStoreChannel;
    config.platform = "windows-x86";
    config.pubkey_b64 = storeTrustKey();
    const std::string root = folder.empty() ? "." : folder;
    config.root_dir = enginePath(root);
    config.transactional = clientFilePresent(root);
    config.skip_apk = true;
    // A ceiling: the pool starts with four and adds workers only while a distant store keeps the file
    // phase waiting.
    config.prefetch_workers = 16;
    config.prepare_root = false;
    config.remove_dropped = KYR_REMOVE_DROPPED_FILES != 0;
    config.running_program = programName.empty() ? "" : enginePath(programName);
    return config;
}

void startUpdateCheck(LauncherState& state) {
    {
        std::lock_guard<std::mutex> lock(state.progressLock);
        state.updateProgress.statusText.clear();
        state.updateProgress.source = state.forceSecondary.load() != 0 ? 1 : -1;
    }
    auto task = std::make_unique<UpdateTask>(UpdateTask{state.folder, state.configIniPath, state.programName,
                                                        progressChannelOf(state), &state.forceSecondary,
                                                        downloadLimitKBps(state.launcherIniPath)});
    UpdateTask* const handedOver = task.get();
    LauncherView& window = *state.window;
    if (state.startWorker([handedOver] { updateWorker(std::unique_ptr<UpdateTask>(handedOver)); })) {
        task.release(); // the worker frees it
        window.setBusyAnimation(true);
        return;
    }
    state.updateRunning.exchange(0);
    window.setBusyAnimation(false);
    window.setVerifyEnabled(true);
    window.setPlayEnabled(true);
    window.setUpdateStatus(uiText(UiText::CouldNotStartUpdateCheck), true);
}

void updateWorker(std::unique_ptr<UpdateTask> task) {
    auto result = std::make_unique<UpdateResult>();
    const bool forceSecondary = task->forceSecondary->load() != 0;
    try {
        result->ok = runUpdate(task->folder, forceSecondary, *task, *result);
    } catch (const std::exception& e) {
        // The run itself never throws; building its objects can (out of memory). The window must still
        // hear the end of the run, or updateRunning would stay set for good.
        result->ok = false;
        result->message = e.what();
    }
    postRecord(*task->progress.window, WM_APP_UPDATE_DONE, std::move(result));
}

bool runUpdate(const std::string& folder, bool forceSecondary, const UpdateTask& task, UpdateResult& outcome) {
    outcome.downloaded = false;
    outcome.launcherReplaced = false;
    outcome.source = -1;
    const ProgressChannel& channel = task.progress;
    reportProgressStatus(channel, uiText(UiText::CheckingForUpdates));

    gu::patch::DownloaderConfig config = runConfig(folder, task.programName);
    config.download_limit_bytes_per_s = std::uint64_t{task.downloadLimitKBps} * 1000;
    StoreConnection store(config.idle_timeout_ms);
    gu::patch::FailoverFetcher& failover = store.fetcher();
    failover.on_switch = [&channel](unsigned index) { reportProgressSource(channel, index != 0 ? 1 : 0); };
    failover.force_secondary = [forceSecondary] { return forceSecondary; };

    gu::patch::Downloader downloader(failover, config);
    bool progressReportedBytes = false;
    DownloadStatus status(channel, [&task] { return playerPrefersSpanish(task.configIniPath); });
    const gu::patch::RunResult result = downloader.run(
        [&](unsigned, unsigned, unsigned, std::uint64_t doneBytes, std::uint64_t totalBytes) {
            if (doneBytes != 0) {
                progressReportedBytes = true;
            }
            status.counts(doneBytes, totalBytes);
        },
        // The packs, and the chunks of a run without packs, are the downloads; installing after the packs
        // counts assembled bytes, not downloaded ones.
        [&](int phase) { status.enterPhase(phaseText(phase), phase == 1 || phase == 3); });

    outcome.downloaded = runObtainedData(result, progressReportedBytes);
    outcome.launcherReplaced = result.running_program_replaced;
    outcome.source = 0;
    reportProgressSource(channel, 0);
    if (!result.ok) {
        outcome.message = result.error.empty() ? "update failed" : result.error;
        return false;
    }
    outcome.message.clear();
    return true;
}

bool runObtainedData(const gu::patch::RunResult& result, bool progressReportedBytes) {
    return progressReportedBytes || result.bytes_downloaded != 0 || result.chunks_obtained != 0 ||
           result.packs_downloaded != 0 || result.files_written != 0;
}

void onUpdateDone(LauncherState& state, const UpdateResult& result) {
    state.updateRunning.exchange(0);
    LauncherView& window = *state.window;
    window.setBusyAnimation(false);
    window.setVerifyEnabled(true);
    window.setSourceIndicator(result.source);

    const bool client = clientFilePresent(state.folder);
    const bool forceOff = state.forceSecondary.load() == 0;
    const bool spanish = playerPrefersSpanish(state.configIniPath);
    if (result.ok && result.launcherReplaced) {
        restartLauncher(state, spanish);
        return;
    }
    if (result.ok && client) {
        window.setPlayEnabled(true);
        window.setForceEnabled(false);
        window.setProgress(1, 1);
        window.setUpdateStatus(uiText(BilingualText::ClientUpToDate, spanish), false);
        startServerListFetch(state);
        return;
    }
    window.setForceEnabled(forceOff);
    // A run that already changed data may have left the client half updated: not playable.
    window.setPlayEnabled(client && !result.downloaded);
    window.setUpdateStatus(failureText(result, client, forceOff, spanish), true);
}

void onVerifyClicked(LauncherState& state) {
    if (!claimUpdate(state)) {
        return;
    }
    LauncherView& window = *state.window;
    lockButtons(window);
    window.setProgress(0, 0);
    window.setUpdateStatus(uiText(UiText::CheckingForUpdates), false);
    startUpdateCheck(state);
}

void onForceClicked(LauncherState& state) {
    if (!claimUpdate(state)) {
        return;
    }
    state.forceSecondary.exchange(1);
    LauncherView& window = *state.window;
    lockButtons(window);
    window.setSourceIndicator(1);
    window.setProgress(0, 0);
    window.setUpdateStatus(uiText(BilingualText::ForcingDownload, playerPrefersSpanish(state.configIniPath)), false);
    startUpdateCheck(state);
}

} // namespace launcher
