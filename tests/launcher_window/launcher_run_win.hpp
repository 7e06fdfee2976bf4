#pragma once
// A game folder holding the real KyrLauncher.exe and the stand-in Main.exe, and a patch store served from
// this process. What else the folder holds (client server file, config.ini, servers.cache.json) is up to
// each test. Between runs a test may take objects of the store away or spoil them, then put them back.

#include "launcher_window/launcher_process_win.hpp"
#include "support/http_test_server.hpp"
#include "support/scratch_folder.hpp"
#include "support/test_store.hpp"

#include <windows.h>

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace kyrtest {

class LauncherRun {
public:
    // folderName (UTF-8), when given, names the game folder inside the scratch folder.
    explicit LauncherRun(FileMap storeFiles, const std::string& folderName = {});

    const std::filesystem::path& folder() const { return game_; }
    // The folder as the launcher names it in Main.exe's command line (the ANSI code page); empty when the
    // code page cannot name it.
    std::string folderText() const;
    const FileMap& storeFiles() const { return storeFiles_; }
    const TestStore& store() const { return store_; }

    // From now on the store answers path with bytes, or with 404 when there are none.
    void replaceObject(const std::string& path, std::optional<std::string> bytes);
    // Every object as published again.
    void restoreObjects();
    // From now on the store offers files as version.
    void publish(FileMap files, const std::string& version);

    // Starts the launcher with the store's key (or another) and waits for its window; the time it took
    // is printed. Null when no window appeared.
    HWND start(LauncherProcess& launcher);
    HWND start(LauncherProcess& launcher, const std::string& key);
    Clock::time_point started() const { return started_; }
    // Waits for the window of the launcher that first restarted into, adopted by next. Null when none came.
    HWND waitForRestart(const LauncherProcess& first, LauncherProcess& next);

private:
    HttpResponse serve(const HttpRequest& request);

    ScratchFolder folder_;
    std::filesystem::path game_;
    TestStore store_;
    FileMap storeFiles_;
    std::mutex mutex_;
    std::map<std::string, std::optional<std::string>> replaced_;
    std::unique_ptr<HttpTestServer> server_;
    Clock::time_point started_;
};

} // namespace kyrtest
