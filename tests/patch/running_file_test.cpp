// Moving a new version of a running program's file into place: the running file goes aside, and a move
// that fails on the way never leaves the program without its file.

#include "patch/running_file.hpp"

#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;
using gu::patch::FileMover;
using kyrtest::read_bytes;
using kyrtest::write_bytes;

// Refuses the n-th move (counting from 1), as a cut power line or a locked file would; 0 refuses none.
class MoverFailingAt : public FileMover {
public:
    explicit MoverFailingAt(int failing) : failing_(failing) {}
    void rename(const fs::path& from, const fs::path& to, std::error_code& ec) const override {
        if (++moves_ == failing_) {
            ec = std::make_error_code(std::errc::permission_denied);
            return;
        }
        FileMover::rename(from, to, ec);
    }

private:
    int failing_;
    mutable int moves_ = 0;
};

TEST(ReplaceRunningFile, NewFileTakesTheNameAndTheOldOneIsAsideOrBack) {
    struct Case {
        const char* name;
        int failing_move;
        bool target_exists;
        std::string want_target; // "<missing>" when absent
        std::string want_aside;
        bool throws;
    };
    const Case cases[] = {
        {"both moves succeed", 0, true, "new", "old", false},
        {"no running file yet", 0, false, "new", "leftover of an earlier update", false},
        {"moving aside refused", 1, true, "old", "<missing>", true},
        {"cut between the moves", 2, true, "old", "<missing>", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const kyrtest::ScratchFolder root;
        const fs::path target = root / "KyrLauncher.exe";
        const fs::path part = root / "KyrLauncher.exe.updpart";
        write_bytes(part, "new");
        write_bytes(root / "KyrLauncher.exe.old", "leftover of an earlier update");
        if (c.target_exists) {
            write_bytes(target, "old");
        }
        const MoverFailingAt mover(c.failing_move);
        std::string error;
        try {
            gu::patch::replace_running_file(part, target, "failed to install ", mover);
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
        EXPECT_EQ(!error.empty(), c.throws) << error;
        if (c.throws) {
            EXPECT_EQ(error.rfind("failed to install " + gu::patch::path_text(target) + ": ", 0), 0u) << error;
            EXPECT_EQ(read_bytes(part), "new");
        }
        EXPECT_EQ(read_bytes(target), c.want_target);
        EXPECT_EQ(read_bytes(gu::patch::aside_path(target)), c.want_aside);
    }
}

} // namespace
