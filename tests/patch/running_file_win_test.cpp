// What the engine relies on to replace the launcher's own exe, checked with a program really running
// from a file: Windows refuses to replace or delete that file but lets it be renamed, and a renamed image
// keeps its new name for as long as the program runs.

#include "patch/running_file.hpp"

#include "patch/chunk_fetch.hpp"
#include "patch/downloader.hpp"
#include "patch/patch_state.hpp"
#include "patch/sha256.hpp"
#include "support/host_path_win.hpp"
#include "support/scratch_folder.hpp"
#include "support/test_store.hpp"

#include <windows.h>

#include <gtest/gtest.h>

#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;
using kyrtest::read_bytes;

// Refuses to move `source` anywhere: the second move of a replace, the new file onto the name.
class RefusingMovesOf : public gu::patch::FileMover {
public:
    explicit RefusingMovesOf(fs::path source) : source_(std::move(source)) {}
    void rename(const fs::path& from, const fs::path& to, std::error_code& ec) const override {
        if (from == source_) {
            ec = std::make_error_code(std::errc::io_error);
            return;
        }
        FileMover::rename(from, to, ec);
    }

private:
    fs::path source_;
};

// The stand-in game run from `program`, so that its file is the image of a running program until the end.
class RunningProgram {
public:
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;
    explicit RunningProgram(const fs::path& program) {
        fs::copy_file(kyrtest::windowsPath(KYR_STAND_IN_GAME_PATH), program);
        // The stand-in holds on once it wrote its record in its folder.
        std::wstring line = L"\"" + program.wstring() + L"\" /hold";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        started_ = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  program.parent_path().c_str(), &startup, &process_) != FALSE;
        for (int wait = 0; started_ && wait < 200 && !fs::exists(program.parent_path() / "launch-record.txt"); ++wait) {
            Sleep(50);
        }
    }
    ~RunningProgram() {
        if (started_) {
            TerminateProcess(process_.hProcess, 0);
            WaitForSingleObject(process_.hProcess, 5000);
            CloseHandle(process_.hThread);
            CloseHandle(process_.hProcess);
        }
    }
    bool started() const { return started_; }

private:
    PROCESS_INFORMATION process_{};
    bool started_ = false;
};

TEST(ReplaceRunningFile, TheFileOfARunningProgramIsMovedAsideAndBackNeverReplaced) {
    const kyrtest::ScratchFolder root;
    const fs::path program = root / "KyrLauncher.exe";
    const fs::path part = root / "KyrLauncher.exe.updpart";
    const fs::path aside = gu::patch::aside_path(program);
    std::optional<RunningProgram> launcher(std::in_place, program);
    ASSERT_TRUE(launcher->started());
    const std::string running = read_bytes(program);
    kyrtest::write_bytes(part, "new version");

    std::error_code error;
    gu::patch::system_file_mover().rename(part, program, error);
    EXPECT_TRUE(error) << "a plain move replaced the file of a running program";
    EXPECT_THROW(gu::patch::replace_running_file(part, program, "cannot install ", RefusingMovesOf(part)),
                 std::runtime_error);
    EXPECT_EQ(read_bytes(program), running) << "a cut between the two moves leaves the running file in place";
    EXPECT_FALSE(fs::exists(aside));
    gu::patch::replace_running_file(part, program, "cannot install ");
    EXPECT_EQ(read_bytes(program), "new version");
    EXPECT_EQ(read_bytes(aside), running);
    EXPECT_FALSE(fs::remove(aside, error)) << "the file of a running program was deleted";
    // Later updates in the same process, while the running image holds the aside name: another version,
    // then the same one again (a retry after a run that failed once it had replaced the program).
    for (const std::string version : {"newer version", "newer version"}) {
        SCOPED_TRACE(version);
        kyrtest::write_bytes(part, version);
        gu::patch::replace_running_file(part, program, "cannot install ");
        EXPECT_EQ(read_bytes(program), version);
        EXPECT_EQ(read_bytes(aside), running);
        EXPECT_FALSE(fs::exists(part));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(root.path()), fs::directory_iterator()), 3)
        << "only the program, its running image and the stand-in's record";

    launcher.reset();
    EXPECT_TRUE(fs::remove(aside, error)) << error.message();
}

// The launcher's own run, twice in the same process: the first replaces the launcher's exe and then fails
// on a missing object, the second gets through. The first recorded the exe it installed: the same version
// again leaves it be, a newer one replaces it again although the running image now holds the aside name.
TEST(ReplaceRunningFile, ARunAfterAFailedSelfUpdateSucceeds) {
    struct Case {
        const char* name;
        const char* retried_launcher; // what the store holds for the second run
        bool replaced_again;
    };
    const Case cases[] = {{"the same version", "new launcher", false}, {"a newer version", "newer launcher", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const kyrtest::ScratchFolder root;
        const fs::path program = root / "KyrLauncher.exe";
        const RunningProgram launcher(program);
        ASSERT_TRUE(launcher.started());
        gu::patch::PatchState installed; // the launcher as the previous version installed it
        installed.files["KyrLauncher.exe"] = gu::patch::sha256_hex(read_bytes(program));
        installed.save(root.path());
        kyrtest::TestStore store;
        store.publish({{"KyrLauncher.exe", "new launcher"}, {"Main.exe", "new game"}}, {});
        const std::string game_chunk = gu::patch::chunk_path(store.chunks_of("Main.exe").at(0).h);
        const std::string game_bytes = store.objects.at(game_chunk);
        store.objects.erase(game_chunk);
        kyrtest::MemoryFetcher fetcher(store);
        gu::patch::DownloaderConfig config;
        config.pubkey_b64 = store.pubkey_b64();
        config.root_dir = root.path().u8string();
        config.running_program = "KyrLauncher.exe";
        config.chunk_retry_delays_ms = {};
        config.document_retry_delays_ms = {};
        config.wait_for_store = false;

        const gu::patch::RunResult failed = gu::patch::Downloader(fetcher, config).run({}, {});
        ASSERT_FALSE(failed.ok);
        ASSERT_TRUE(failed.running_program_replaced) << failed.error;
        store.publish({{"KyrLauncher.exe", c.retried_launcher}, {"Main.exe", "new game"}}, {});
        store.objects[game_chunk] = game_bytes;
        const gu::patch::RunResult retried = gu::patch::Downloader(fetcher, config).run({}, {});
        EXPECT_TRUE(retried.ok) << retried.error;
        EXPECT_EQ(retried.running_program_replaced, c.replaced_again);
        EXPECT_EQ(read_bytes(program), c.retried_launcher);
        EXPECT_EQ(read_bytes(root / "Main.exe"), "new game");
    }
}

} // namespace
