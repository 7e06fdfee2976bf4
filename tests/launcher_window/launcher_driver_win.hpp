#pragma once
// KyrLauncher.exe run as a player runs it: in a game folder (inside a scratch folder) with the stand-in as
// its Main.exe, against a patch store served from this process; seen through screenshots (ImageMagick)
// and driven with real X input (xdotool), both run on the host of Wine's private X server. Wine starts
// host programs without a process handle, so each host command leaves a marker file when it ends.

#include "launcher/ui/layout.hpp"
#include "support/http_test_server.hpp"
#include "support/scratch_folder.hpp"
#include "support/test_store.hpp"

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace kyrtest {

// Polls check every 50 ms until it holds or timeoutMs has passed.
bool waitFor(int timeoutMs, const std::function<bool()>& check);

// Runs command with /bin/sh on the host; true when it ended in time with exit status 0.
bool runHostCommand(const std::string& command);

// The window's area of the X screen, kept as NAME.ppm in the screenshot folder.
class Screenshot {
public:
    static Screenshot capture(HWND window, const std::string& name);

    bool valid() const { return width_ > 0; }
    const std::string& path() const { return path_; }
    // Pixels of area within tolerance (largest difference of one channel) of colour (0x00BBGGRR).
    int pixelsNear(const launcher::Rect& area, std::uint32_t colour, int tolerance) const;

private:
    std::string path_;
    int width_ = 0;
    int height_ = 0;
    std::string pixels_; // RGB, row by row
};

// A click at the middle of target, after which the pointer rests where no target of any view lies, so
// that nothing is drawn hot when the window is captured.
bool click(HWND window, const launcher::Rect& target);
bool pressKey(const std::string& name);

// The launcher's process; one still running when a test ends is ended, so that its folder can go.
struct LauncherProcess {
    LauncherProcess() = default;
    ~LauncherProcess();
    LauncherProcess(const LauncherProcess&) = delete;
    LauncherProcess& operator=(const LauncherProcess&) = delete;

    bool ended(int timeoutMs) const {
        return WaitForSingleObject(handle, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
    }
    DWORD exitCode() const;

    HANDLE handle = nullptr;
    DWORD id = 0;
};

// A visible window of the class owned by process, or (besides set) by any process but that one; owner
// receives the process that owns it. Null while there is none.
HWND visibleWindow(DWORD process, const char* className, bool besides = false, DWORD* owner = nullptr);

// A game folder holding KyrLauncher.exe and the stand-in Main.exe, and the store that it updates from.
// Between runs a test may spoil objects of the store or publish another version.
class GameFolder {
public:
    // folderName (UTF-8) names the game folder inside the scratch folder.
    GameFolder(const FileMap& storeFiles, const std::string& folderName);

    const std::filesystem::path& path() const { return game_; }
    // The folder as the launcher names it (the ANSI code page); empty when the code page cannot name it.
    std::string text() const;
    const TestStore& store() const { return store_; }

    // From now on the store answers path with bytes.
    void replaceObject(const std::string& path, std::string bytes);
    // The next answer of the store waits ms before its body.
    void stallNext(int ms);
    void publish(const FileMap& files, const std::string& version);

    // Starts the launcher trusting key (the store's own when empty) and waits for its window.
    HWND start(LauncherProcess& launcher, std::string key = {});
    // Starts the launcher from the folder spelled as folderText (ANSI), trusting the store's key; does not
    // wait for anything.
    bool spawn(LauncherProcess& launcher, const std::string& folderText, std::string key = {});

private:
    HttpResponse serve(const HttpRequest& request);

    ScratchFolder scratch_;
    std::filesystem::path game_;
    TestStore store_;
    std::mutex mutex_;
    std::map<std::string, std::string> replaced_;
    int stallNextMs_ = 0;
    std::unique_ptr<HttpTestServer> server_;
};

} // namespace kyrtest
