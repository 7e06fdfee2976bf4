#include "launcher_window/launcher_driver_win.hpp"

#include "launcher/ui/launcher_window.hpp"
#include "support/ansi_text_win.hpp"
#include "support/host_path_win.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <utility>

#ifndef KYR_LAUNCHER_PATH
#error "KYR_LAUNCHER_PATH names the launcher program under test"
#endif

namespace kyrtest {
namespace {

// Where pointer rests between clicks: the bottom bar's status line, the server panel's status line, the
// dimmed space below the settings panel; no target in any view.
constexpr launcher::Point kRest{480, 335};

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

std::string screenAt(HWND window, int x, int y) {
    RECT area{};
    GetWindowRect(window, &area);
    return std::to_string(area.left + x) + " " + std::to_string(area.top + y);
}

// This process's environment with the store override in place of any inherited one.
std::string environmentWithStore(const std::string& url, const std::string& key) {
    std::string block;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
        if (std::strncmp(entry, "KYR_STORE_", 10) != 0) {
            block.append(entry).push_back('\0');
        }
    }
    FreeEnvironmentStringsA(strings);
    block.append("KYR_STORE_URL=" + url).push_back('\0');
    block.append("KYR_STORE_PUBKEY=" + key).push_back('\0');
    return block + '\0';
}

} // namespace

bool waitFor(int timeoutMs, const std::function<bool()>& check) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!check()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        Sleep(50);
    }
    return true;
}

bool runHostCommand(const std::string& command) {
    static int counter = 0;
    const std::string base = std::string(KYR_SCREENSHOT_DIR) + "/.host-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(++counter);
    write_bytes(windowsPath(base + ".sh"), "PATH=/usr/bin:/bin:$PATH\n(" + command + ") >/dev/null 2>&1\necho $? >" +
                                               quoted(base + ".tmp") + "\nmv " + quoted(base + ".tmp") + " " +
                                               quoted(base + ".done") + "\n");
    const std::string line = "/bin/sh " + base + ".sh"; // an ASCII path in the build folder
    std::string status = "<missing>";
    run_on_host(
        std::wstring(line.begin(), line.end()),
        [&] { return (status = read_bytes(windowsPath(base + ".done"))) != "<missing>"; }, 15000);
    std::filesystem::remove(windowsPath(base + ".sh"));
    std::filesystem::remove(windowsPath(base + ".done"));
    return status == "0\n";
}

Screenshot Screenshot::capture(HWND window, const std::string& name) {
    Screenshot shot;
    RECT area{};
    GetWindowRect(window, &area);
    const std::string path = std::string(KYR_SCREENSHOT_DIR) + "/" + name + ".ppm";
    const std::string crop = std::to_string(area.right - area.left) + "x" + std::to_string(area.bottom - area.top) +
                             "+" + std::to_string(area.left) + "+" + std::to_string(area.top);
    if (!runHostCommand("import -window root -crop " + crop + " +repage -depth 8 " + quoted("ppm:" + path))) {
        return shot;
    }
    // A binary PPM: "P6 width height 255", one blank, then the pixels.
    std::istringstream in(read_bytes(windowsPath(path)));
    std::string magic;
    int maxValue = 0;
    in >> magic >> shot.width_ >> shot.height_ >> maxValue;
    in.get();
    const std::size_t size = static_cast<std::size_t>(std::max(shot.width_, 0)) * std::max(shot.height_, 0) * 3;
    shot.pixels_.resize(size);
    if (magic != "P6" || maxValue != 255 || !in.read(shot.pixels_.data(), static_cast<std::streamsize>(size))) {
        shot.width_ = 0;
    }
    shot.path_ = path;
    return shot;
}

int Screenshot::pixelsNear(const launcher::Rect& area, std::uint32_t colour, int tolerance) const {
    int count = 0;
    for (int y = std::max(area.top, 0); y < std::min(area.bottom, height_); ++y) {
        for (int x = std::max(area.left, 0); x < std::min(area.right, width_); ++x) {
            const auto* pixel = reinterpret_cast<const unsigned char*>(&pixels_[(std::size_t(y) * width_ + x) * 3]);
            int distance = 0;
            for (int channel = 0; channel < 3; ++channel) {
                const int want = static_cast<int>((colour >> (8 * channel)) & 0xFF);
                distance = std::max(distance, std::abs(pixel[channel] - want));
            }
            count += distance <= tolerance ? 1 : 0;
        }
    }
    return count;
}

bool click(HWND window, const launcher::Rect& target) {
    const int x = (target.left + target.right) / 2;
    const int y = (target.top + target.bottom) / 2;
    return runHostCommand("xdotool mousemove " + screenAt(window, x, y) + " sleep 0.1 click 1 sleep 0.1 mousemove " +
                          screenAt(window, kRest.x, kRest.y) + " sleep 0.1");
}

bool pressKey(const std::string& name) {
    return runHostCommand("xdotool key " + quoted(name) + " sleep 0.1");
}

LauncherProcess::~LauncherProcess() {
    if (handle != nullptr) {
        TerminateProcess(handle, 1); // fails harmlessly once the launcher has ended
        WaitForSingleObject(handle, 5000);
        CloseHandle(handle);
    }
}

DWORD LauncherProcess::exitCode() const {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(handle, &code);
    return code;
}

HWND visibleWindow(DWORD process, const char* name, bool besides, DWORD* owner) {
    for (HWND window = FindWindowExA(nullptr, nullptr, name, nullptr); window != nullptr;
         window = FindWindowExA(nullptr, window, name, nullptr)) {
        DWORD id = 0;
        if (GetWindowThreadProcessId(window, &id) != 0 && (id == process) != besides && IsWindowVisible(window)) {
            if (owner != nullptr) {
                *owner = id;
            }
            return window;
        }
    }
    return nullptr;
}

GameFolder::GameFolder(const FileMap& storeFiles, const std::string& folderName)
    : game_(scratch_.path() / std::filesystem::u8path(folderName)) {
    std::filesystem::create_directories(game_ / "Data" / "Local");
    store_.publish(storeFiles);
    server_ = std::make_unique<HttpTestServer>([this](const HttpRequest& request) { return serve(request); });
    std::filesystem::copy_file(windowsPath(KYR_LAUNCHER_PATH), game_ / "KyrLauncher.exe");
    std::filesystem::copy_file(windowsPath(KYR_STAND_IN_GAME_PATH), game_ / "Main.exe");
}

std::string GameFolder::text() const {
    return ansiText(game_.wstring());
}

void GameFolder::replaceObject(const std::string& path, std::string bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    replaced_[path] = std::move(bytes);
}

void GameFolder::stallNext(int ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    stallNextMs_ = ms;
}

void GameFolder::publish(const FileMap& files, const std::string& version) {
    std::lock_guard<std::mutex> lock(mutex_);
    StoreOptions options;
    options.version = version;
    options.chunk_size = 1 << 20; // a program of megabytes in few objects
    store_.publish(files, options);
}

// Runs on the server's threads, so the store is read under the lock (objects are small).
HttpResponse GameFolder::serve(const HttpRequest& request) {
    const std::string path = request.target.substr(1);
    std::lock_guard<std::mutex> lock(mutex_);
    const auto replaced = replaced_.find(path);
    const auto object = store_.objects.find(path);
    HttpResponse response;
    if (replaced != replaced_.end()) {
        response = serveObject(request, replaced->second);
    } else if (object != store_.objects.end()) {
        response = serveObject(request, object->second);
    } else {
        response.status = 404;
    }
    response.stallMs = std::exchange(stallNextMs_, 0);
    return response;
}

HWND GameFolder::start(LauncherProcess& launcher, std::string key) {
    HWND window = nullptr;
    if (spawn(launcher, text(), std::move(key))) {
        waitFor(15000,
                [&] { return (window = visibleWindow(launcher.id, launcher::kLauncherWindowClassName)) != nullptr; });
    }
    return window;
}

bool GameFolder::spawn(LauncherProcess& launcher, const std::string& folderText, std::string key) {
    if (key.empty()) {
        key = store_.pubkey_b64();
    }
    std::string line = "\"" + folderText + "\\KyrLauncher.exe\"";
    std::string environment = environmentWithStore(server_->baseUrl(), key);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, environment.data(), nullptr, &startup,
                        &process)) {
        ADD_FAILURE() << "the launcher did not start: error " << GetLastError();
        return false;
    }
    CloseHandle(process.hThread);
    launcher.handle = process.hProcess;
    launcher.id = process.dwProcessId;
    return true;
}

} // namespace kyrtest
