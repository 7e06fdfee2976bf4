// What the engine relies on to replace the launcher's own exe, checked with a program really running
// from a file: Windows refuses to replace or delete that file but lets it be renamed.

#include "patch/running_file.hpp"

#include "support/host_path_win.hpp"
#include "support/scratch_folder.hpp"

#include <windows.h>

#include <gtest/gtest.h>

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

TEST(ReplaceRunningFile, TheFileOfARunningProgramIsMovedAsideAndBackNeverReplaced) {
    const kyrtest::ScratchFolder root;
    const fs::path program = root / "KyrLauncher.exe";
    const fs::path part = root / "KyrLauncher.exe.updpart";
    const fs::path aside = gu::patch::aside_path(program);
    fs::copy_file(kyrtest::windowsPath(KYR_STAND_IN_GAME_PATH), program);
    const std::string running = read_bytes(program);
    kyrtest::write_bytes(part, "new version");
    // The stand-in holds on once it wrote its record in its folder.
    std::wstring line = L"\"" + program.wstring() + L"\" /hold";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, root.path().c_str(), &startup,
                               &process));
    for (int wait = 0; wait < 200 && !fs::exists(root / "launch-record.txt"); ++wait) {
        Sleep(50);
    }

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

    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 5000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_TRUE(fs::remove(aside, error)) << error.message();
}

} // namespace
