#include "launcher_window/launcher_run_win.hpp"

#include "support/ansi_text_win.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <utility>

#ifndef KYR_LAUNCHER_PATH
#error "KYR_LAUNCHER_PATH names the launcher program under test"
#endif
#ifndef KYR_STAND_IN_GAME_PATH
#error "KYR_STAND_IN_GAME_PATH names the stand-in for Main.exe"
#endif

namespace kyrtest {

LauncherRun::LauncherRun(FileMap storeFiles, const std::string& folderName)
    : game_(folderName.empty() ? folder_.path() : folder_.path() / std::filesystem::u8path(folderName)),
      storeFiles_(std::move(storeFiles)) {
    namespace fs = std::filesystem;
    fs::create_directories(game_);
    store_.publish(storeFiles_);
    server_ = std::make_unique<HttpTestServer>([this](const HttpRequest& request) { return serve(request); });
    fs::copy_file(windowsPath(KYR_LAUNCHER_PATH), game_ / "KyrLauncher.exe");
    fs::copy_file(windowsPath(KYR_STAND_IN_GAME_PATH), game_ / "Main.exe");
}

std::string LauncherRun::folderText() const {
    return ansiText(game_.wstring());
}

void LauncherRun::replaceObject(const std::string& path, std::optional<std::string> bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    replaced_[path] = std::move(bytes);
}

void LauncherRun::restoreObjects() {
    std::lock_guard<std::mutex> lock(mutex_);
    replaced_.clear();
}

void LauncherRun::publish(FileMap files, const std::string& version) {
    std::lock_guard<std::mutex> lock(mutex_);
    StoreOptions options;
    options.version = version;
    options.chunk_size = 1 << 20; // a program of megabytes in few objects
    store_.publish(files, options);
    storeFiles_ = std::move(files);
}

// Runs on the server's threads: the published objects are only read, the replacements under the lock.
HttpResponse LauncherRun::serve(const HttpRequest& request) {
    const std::string path = request.target.substr(1);
    std::optional<std::string> body;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto replaced = replaced_.find(path);
        if (replaced != replaced_.end()) {
            body = replaced->second;
        } else if (const auto object = store_.objects.find(path); object != store_.objects.end()) {
            body = object->second;
        }
    }
    if (!body) {
        HttpResponse missing;
        missing.status = 404;
        return missing;
    }
    return serveObject(request, *body);
}

HWND LauncherRun::start(LauncherProcess& launcher) {
    return start(launcher, store_.pubkey_b64());
}

HWND LauncherRun::start(LauncherProcess& launcher, const std::string& key) {
    started_ = Clock::now();
    const std::string program = ansiText((game_ / "KyrLauncher.exe").wstring());
    if (!launcher.start(program, environmentWithStore(server_->baseUrl(), key))) {
        ADD_FAILURE() << "the launcher did not start: error " << GetLastError();
        return nullptr;
    }
    HWND window = nullptr;
    waitFor(15000, 20, [&] { return (window = visibleLauncherWindow(launcher.id())) != nullptr; });
    if (window != nullptr) {
        std::printf("[ timing   ] start to first paint: %lld ms\n", millisecondsSince(started_));
    }
    return window;
}

HWND LauncherRun::waitForRestart(const LauncherProcess& first, LauncherProcess& next) {
    HWND window = nullptr;
    DWORD owner = 0;
    waitFor(15000, 20, [&] { return (window = visibleLauncherWindowBesides(first.id(), owner)) != nullptr; });
    if (window == nullptr || !next.adopt(owner)) {
        return nullptr;
    }
    std::printf("[ timing   ] start to the restarted launcher's window: %lld ms\n", millisecondsSince(started_));
    return window;
}

} // namespace kyrtest
