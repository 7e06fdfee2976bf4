// KyrLauncher.exe itself in a prepared game folder, against a store served from this process, driven with
// real X input: the update, the bottom bar it leaves, PLAY and the files and command line it produces.

#include "launcher/ui/launcher_window.hpp"
#include "launcher/ui/layout.hpp"
#include "launcher/ui/palette.hpp"
#include "launcher_window/screen_tools_win.hpp"
#include "launcher_window/window_scenes_win.hpp"
#include "support/http_test_server.hpp"
#include "support/scratch_folder.hpp"
#include "support/test_signer.hpp"
#include "support/test_store.hpp"
#include "support/valdra_main_encoder.hpp"

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#ifndef KYR_LAUNCHER_PATH
#error "KYR_LAUNCHER_PATH names the launcher program under test"
#endif
#ifndef KYR_STAND_IN_GAME_PATH
#error "KYR_STAND_IN_GAME_PATH names the stand-in for Main.exe"
#endif

namespace {

using namespace launcher;
using kyrtest::Screenshot;
using Clock = std::chrono::steady_clock;

// The build gives Unix paths; Wine reaches the Unix root as drive Z:.
std::string windowsPath(std::string path) {
    if (!path.empty() && path.front() == '/') {
        path = "Z:" + path;
    }
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
    return path;
}

Point centre(const Rect& rect) {
    return Point{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Polls check every stepMs (pumping this thread's messages) until it holds or timeoutMs has passed.
bool waitFor(int timeoutMs, int stepMs, const std::function<bool()>& check) {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!check()) {
        if (Clock::now() >= end) {
            return false;
        }
        kyrtest::pumpMessages(stepMs);
    }
    return true;
}

struct WindowSearch {
    DWORD process = 0;
    HWND found = nullptr;
};

BOOL CALLBACK matchLauncherWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    char name[64] = {};
    if (GetWindowThreadProcessId(window, &owner) != 0 && owner == search->process && IsWindowVisible(window) &&
        GetClassNameA(window, name, sizeof name) > 0 && std::strcmp(name, kLauncherWindowClassName) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND visibleLauncherWindow(DWORD process) {
    WindowSearch search{process, nullptr};
    EnumWindows(matchLauncherWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// This process's environment with the store override in place of any inherited one.
std::string environmentWithStore(const std::string& url, const std::string& key) {
    std::string block;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
        if (std::strncmp(entry, "KYR_STORE_URL=", 14) != 0 && std::strncmp(entry, "KYR_STORE_PUBKEY=", 17) != 0) {
            block.append(entry).push_back('\0');
        }
    }
    FreeEnvironmentStringsA(strings);
    block.append("KYR_STORE_URL=" + url).push_back('\0');
    block.append("KYR_STORE_PUBKEY=" + key).push_back('\0');
    block.push_back('\0');
    return block;
}

// The launcher program; still running at the end of a test, it is ended so that its folder can go.
class LauncherProcess {
public:
    ~LauncherProcess() {
        if (process_.hProcess == nullptr) {
            return;
        }
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.hProcess, 1);
            WaitForSingleObject(process_.hProcess, 5000);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }

    bool start(const std::string& program, const std::string& environment) {
        std::string line = "\"" + program + "\"";
        std::string block = environment;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        return CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, block.data(), nullptr, &startup,
                              &process_) != FALSE;
    }
    DWORD id() const { return process_.dwProcessId; }
    bool ended(int timeoutMs) const { return WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0; }
    DWORD exitCode() const {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION process_{};
};

// Pixels of area that differ from the reference by more than antialiasing noise.
int differingPixels(const Screenshot& got, const Screenshot& want, const Rect& area) {
    int differences = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            differences += kyrtest::colourDistance(got.at(x, y), want.at(x, y)) > 8 ? 1 : 0;
        }
    }
    return differences;
}

int pixelsNear(const Screenshot& shot, const Rect& area, std::uint32_t colour, int tolerance) {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            count += kyrtest::colourDistance(shot.at(x, y), kyrtest::rgbOf(colour)) <= tolerance ? 1 : 0;
        }
    }
    return count;
}

class LauncherProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kyrtest::runHostCommand("xdotool mousemove 0 0"));
        // The bottom bar a successful run leaves, drawn by the window code in this process before the
        // launcher opens its own window in the same place.
        kyrtest::Scene upToDate;
        upToDate.done = 1;
        upToDate.total = 1;
        {
            kyrtest::SceneWindow scene(upToDate);
            ASSERT_TRUE(scene.created());
            kyrtest::pumpMessages(200);
            upToDateBar_ = Screenshot::capture(scene.window.handle(), "launcher_program_reference");
        }
        kyrtest::pumpMessages(100);
        ASSERT_TRUE(upToDateBar_.valid());

        store_.publish(storeFiles_);
        gameServer_ = std::make_unique<kyrtest::HttpTestServer>(
            [](const kyrtest::HttpRequest&) { return kyrtest::HttpResponse{}; });
        storeServer_ = std::make_unique<kyrtest::HttpTestServer>([this](const kyrtest::HttpRequest& request) {
            const auto object = store_.objects.find(request.target.substr(1));
            if (object == store_.objects.end()) {
                kyrtest::HttpResponse missing;
                missing.status = 404;
                return missing;
            }
            return kyrtest::serveObject(request, object->second);
        });
        prepareGameFolder();
    }

    void prepareGameFolder() {
        namespace fs = std::filesystem;
        const fs::path root = folder_.path();
        fs::copy_file(windowsPath(KYR_LAUNCHER_PATH), root / "KyrLauncher.exe");
        fs::copy_file(windowsPath(KYR_STAND_IN_GAME_PATH), root / "Main.exe");
        fs::create_directories(root / "Data" / "Local");
        kyrtest::ValdraMainLayout client;
        client.addressA = "127.0.0.1";
        client.portA = gameServer_->port();
        kyrtest::write_bytes(root / "Data" / "Local" / "valdra.main", kyrtest::encodeValdraMain(client));
        // The hardware engine needs no Mesa copy in the folder and no OpenGL probe.
        kyrtest::write_bytes(root / "config.ini", "[Launcher]\r\nEngine=GPU\r\n");
        const std::string port = std::to_string(gameServer_->port());
        kyrtest::write_bytes(root / "servers.cache.json",
                             R"({"schema":1,"servers":[{"slug":"valdra","name":"Valdra","state":"online",)"
                             R"("endpoints":[{"region":"eu","ip":"127.0.0.1","port":)" +
                                 port + R"(}],"channels":[{"code":0,"name":"Valdra-1","group":"Valdra"}]}]})");
    }

    std::string folder() const { return folder_.path().string(); }

    // Starts the launcher and waits for its window; the time it took is printed.
    HWND startLauncher(LauncherProcess& launcher, const std::string& key) {
        started_ = Clock::now();
        const std::string program = (folder_.path() / "KyrLauncher.exe").string();
        if (!launcher.start(program, environmentWithStore(storeServer_->baseUrl(), key))) {
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

    kyrtest::ScratchFolder folder_;
    kyrtest::TestStore store_;
    const kyrtest::FileMap storeFiles_{{"Data/Player/skin.bmd", std::string(3000, 's')},
                                       {"Data/Music/theme.ogg", std::string(700, 'o') + "theme"},
                                       {"Data/Local/Text.bmd", "text"}};
    std::unique_ptr<kyrtest::HttpTestServer> gameServer_;
    std::unique_ptr<kyrtest::HttpTestServer> storeServer_;
    Screenshot upToDateBar_;
    Clock::time_point started_;
};

TEST_F(LauncherProgramTest, UpdatesTheFolderThenPlayStartsTheGameAndCloses) {
    namespace fs = std::filesystem;
    LauncherProcess launcher;
    HWND window = startLauncher(launcher, store_.pubkey_b64());
    ASSERT_NE(window, nullptr) << "the launcher window did not appear";

    const fs::path state = folder_.path() / "patchstate.json";
    ASSERT_TRUE(waitFor(30000, 50, [&] { return fs::exists(state); })) << "the update did not end";
    std::printf("[ timing   ] start to patchstate.json: %lld ms\n", millisecondsSince(started_));
    for (const auto& [path, bytes] : storeFiles_) {
        SCOPED_TRACE(path);
        EXPECT_EQ(kyrtest::read_bytes(folder_.path() / path), bytes);
        EXPECT_NE(kyrtest::read_bytes(state).find(path), std::string::npos);
    }

    // The bottom bar reads "Client up to date." with a full bar, PLAY enabled and FORCE gone.
    Screenshot shot;
    int differences = -1;
    const bool upToDate = waitFor(10000, 50, [&] {
        shot = Screenshot::capture(window, "launcher_program_up_to_date");
        differences = shot.valid() ? differingPixels(shot, upToDateBar_, kBottomBarRect) : -1;
        return differences == 0;
    });
    EXPECT_TRUE(upToDate) << differences << " pixels of the bottom bar differ; " << shot.path() << " against "
                          << upToDateBar_.path();
    if (upToDate) {
        std::printf("[ timing   ] start to \"Client up to date.\" on screen: %lld ms\n", millisecondsSince(started_));
    }

    const Point play = centre(kPlayRect);
    ASSERT_TRUE(kyrtest::Pointer(window).click(play.x, play.y));
    const fs::path record = folder_.path() / "launch-record.txt";
    ASSERT_TRUE(waitFor(10000, 50, [&] { return fs::exists(record); })) << "Main.exe was not started";
    const std::string recorded = kyrtest::read_bytes(record);
    const std::string port = std::to_string(gameServer_->port());
    EXPECT_NE(recorded.find("command=\"" + folder() + "\\Main.exe\" /u127.0.0.1 /p" + port + "\n"), std::string::npos)
        << recorded;
    EXPECT_NE(recorded.find("cwd=" + folder() + "\n"), std::string::npos) << recorded;

    EXPECT_GT(fs::file_size(folder_.path() / "Data" / "Local" / "ServerList.bmd"), 0u);
    char stamp[64] = {};
    GetPrivateProfileStringA("Servers", "BmdStamp", "", stamp, sizeof stamp,
                             (folder_.path() / "launcher.ini").string().c_str());
    EXPECT_STRNE(stamp, "") << "launcher.ini holds the stamp of the ServerList.bmd written";

    EXPECT_TRUE(launcher.ended(5000)) << "the launcher stayed open after starting the game";
    EXPECT_EQ(launcher.exitCode(), 0u);
}

TEST_F(LauncherProgramTest, AStoreSignedWithAnotherKeyLeavesTheClientPlayableWithForceOffered) {
    namespace fs = std::filesystem;
    std::array<std::uint8_t, 32> otherSeed{};
    otherSeed.fill(0x5a);
    const std::string otherKey = kyrtest::TestSigner(otherSeed).public_key_base64();
    ASSERT_NE(otherKey, store_.pubkey_b64());
    LauncherProcess launcher;
    HWND window = startLauncher(launcher, otherKey);
    ASSERT_NE(window, nullptr) << "the launcher window did not appear";

    // The failure is drawn as a red status line with FORCE in its place; the bar no longer slides.
    const Rect statusLine{16, kBottomBarRect.top + 6, 300, kBottomBarRect.top + 24};
    Screenshot shot;
    const bool failed = waitFor(30000, 50, [&] {
        shot = Screenshot::capture(window, "launcher_program_broken_store");
        return shot.valid() && pixelsNear(shot, statusLine, palette::Accent, 40) > 20 &&
               pixelsNear(shot, kForceRect, palette::Warn, 40) > 20;
    });
    ASSERT_TRUE(failed) << "no failure status with FORCE offered: " << shot.path();
    std::printf("[ timing   ] start to the failure status: %lld ms\n", millisecondsSince(started_));
    EXPECT_EQ(pixelsNear(shot, progressBarRect(true), palette::Accent, 40), 0) << shot.path();
    // PLAY stays enabled: drawn exactly as in the up-to-date bar.
    EXPECT_EQ(differingPixels(shot, upToDateBar_, kPlayRect), 0) << shot.path();

    EXPECT_FALSE(fs::exists(folder_.path() / "patchstate.json"));
    for (const auto& [path, bytes] : storeFiles_) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(fs::exists(folder_.path() / path));
    }
    EXPECT_FALSE(launcher.ended(0)) << "a failed update keeps the launcher open";
}

} // namespace
