#pragma once
// The launcher's front end to the patch engine: starts the update worker (at start-up, on VERIFY and on
// FORCE), runs the update against the store with progress going to the window, and turns the result into
// the status line and the PLAY, VERIFY and FORCE button states on the window thread.

#include "launcher/shell/update_progress.hpp"
#include "patch/downloader_config.hpp"
#include "patch/failover_fetcher.hpp"
#include "patch/fetcher.hpp"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace launcher {

struct LauncherState;
struct UpdateResult;

// The store channel of this build: the update follows its version, the news panel shows its news.
inline constexpr char kStoreChannel[] = "windows";

// The patch store of this build as one reader (an update run, the news worker) sees it: the transport to
// each of its sources behind failover. Built on the reader's thread and used there for one run.
class StoreConnection {
public:
    // idleTimeoutMs: how long a download may wait for its next byte (the run configuration's).
    explicit StoreConnection(std::uint32_t idleTimeoutMs);
    StoreConnection(const StoreConnection&) = delete;
    StoreConnection& operator=(const StoreConnection&) = delete;

    gu::patch::FailoverFetcher& fetcher() { return failover_; }

private:
    std::string baseUrl_;
    std::unique_ptr<gu::patch::Fetcher> primary_;
    gu::patch::FailoverFetcher failover_;
};

// The update worker's argument: allocated by startUpdateCheck, freed by the worker.
struct UpdateTask {
    std::string folder;
    std::string configIniPath;
    std::string programName;  // the launcher's exe in folder, which the store may carry in a new version
    ProgressChannel progress; // the window's queue and the shared progress record with its lock
    const std::atomic<std::int32_t>* forceSecondary = nullptr;
    std::uint32_t downloadLimitKBps = 0; // launcher.ini's bandwidth limit when the run was started; 0: none
};

// Starts the update worker; the caller has set updateRunning to 1. When no thread can be started the
// flag is cleared again and the status says so.
void startUpdateCheck(LauncherState& state);

// Thread body: runs the update and always posts exactly one UpdateResult with WM_APP_UPDATE_DONE.
void updateWorker(std::unique_ptr<UpdateTask> task);

// One update run of folder against the store, filling outcome's downloaded (the run began changing the
// folder's data), message (the engine's error text on failure, "update failed" when it gave none), source
// and launcherReplaced; returns whether it succeeded.
bool runUpdate(const std::string& folder, bool forceSecondary, const UpdateTask& task, UpdateResult& outcome);

// The engine's settings for one run of folder, whose launcher exe is programName (ANSI code page). Whether
// the run removes the files that the store no longer lists is the build setting KYR_REMOVE_DROPPED_FILES.
gu::patch::DownloaderConfig runConfig(const std::string& folder, const std::string& programName);

// Whether a run obtained data for the folder: a progress report with a byte count, or a byte, chunk or pack
// that the engine counted (a run may fail before its next report). A failed run that did may have left the
// client half updated.
bool runObtainedData(const gu::patch::RunResult& result, bool progressReportedBytes);

// WM_APP_UPDATE_DONE on the window thread: status line and buttons; the server list after a success. A
// success that put a new launcher exe in place starts that exe and closes the window instead.
void onUpdateDone(LauncherState& state, const UpdateResult& result);

// The window's VERIFY and FORCE callbacks; both do nothing while an update runs. FORCE also puts the
// primary store last for every later run of this launcher.
void onVerifyClicked(LauncherState& state);
void onForceClicked(LauncherState& state);

// The store of this build, from the build settings KYR_STORE_URL and KYR_STORE_PUBKEY. Only a build made
// with KYR_ALLOW_STORE_OVERRIDE (tests, demos) lets the environment variables of the same names, when set,
// take their place. The URL always ends in "/".
std::string storeBaseUrl();
std::string storeTrustKey();
// The rule behind both: the environment's value only where overrides are allowed and it is not empty.
std::string chooseStoreSetting(const std::string& built, const char* environmentValue, bool overrideAllowed);

// Platform edges of the front end, one twin per platform.
// The transport for one run: WinHTTP on Windows; libcurl elsewhere (tests and tools). idleTimeoutMs is the
// run configuration's idle_timeout_ms.
std::unique_ptr<gu::patch::Fetcher> makeStoreFetcher(const std::string& baseUrl, std::uint32_t idleTimeoutMs);
// [Custom] "Language" of config.ini (default "Eng") by the rule of the interface texts.
bool playerPrefersSpanish(const std::string& configIniPath);
// [Launcher] "DownloadLimitKBps" of launcher.ini (launcher_settings.hpp); 0 when missing or unusable.
std::uint32_t downloadLimitKBps(const std::string& launcherIniPath);

} // namespace launcher
