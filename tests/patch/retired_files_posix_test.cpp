// A replaced file is held across its replacement and closed later on a thread of its own: whatever was
// under the name, the replacement is the same, nothing is read or followed, and nothing stays open.

#include "patch/retired_files.hpp"
#include "support/scratch_folder.hpp"
#include "support/thread_grants.hpp"

#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>
#include <sys/stat.h>

namespace {

using namespace gu::patch;
namespace fs = std::filesystem;

std::size_t open_descriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const fs::directory_entry& entry : fs::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

TEST(RetiredFiles, ReplacesWhateverIsUnderTheNameAndLeavesNothingOpen) {
    enum class Planted { nothing, file, fifo, link_out };
    struct Case {
        const char* name;
        Planted planted;
        bool replace_fails;
        bool thread_refused;
    };
    const Case cases[] = {
        {"no file yet", Planted::nothing, false, false},
        {"an old file", Planted::file, false, false},
        {"an old file, no thread to close it", Planted::file, false, true},
        {"an old file, the replace fails", Planted::file, true, false},
        {"a FIFO: held without opening it for reading", Planted::fifo, false, false},
        {"a link out of the folder: the link is replaced, not what it points to", Planted::link_out, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const kyrtest::ScratchFolder root;
        const fs::path target = root / "game.pak";
        const fs::path outside = root.path().parent_path() / "player.sav";
        kyrtest::write_bytes(outside, "the player's");
        switch (c.planted) {
        case Planted::nothing:
            break;
        case Planted::file:
            kyrtest::write_bytes(target, "old");
            break;
        case Planted::fifo:
            ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
            break;
        case Planted::link_out:
            fs::create_symlink(outside, target);
            break;
        }
        kyrtest::write_bytes(root / "game.pak.updpart", "new");
        const std::size_t before = open_descriptors();
        {
            RetiredFiles retired(c.thread_refused ? kyrtest::granting_threads(0) : ThreadStarter{});
            const auto replace = [&] {
                if (c.replace_fails) {
                    throw std::runtime_error("disk gone");
                }
                fs::rename(root / "game.pak.updpart", target);
            };
            if (c.replace_fails) {
                EXPECT_THROW(retired.replace(target, replace), std::runtime_error);
                EXPECT_EQ(kyrtest::read_bytes(target), "old");
            } else {
                retired.replace(target, replace);
                EXPECT_EQ(kyrtest::read_bytes(target), "new");
            }
        }
        EXPECT_EQ(open_descriptors(), before);
        EXPECT_EQ(kyrtest::read_bytes(outside), "the player's");
    }
}

// A closing thread that falls behind (here: held back until the end) never holds more than its bound.
TEST(RetiredFiles, HoldsAtMostItsBoundWhileTheClosingThreadLags) {
    const kyrtest::ScratchFolder root;
    std::mutex gate;
    std::unique_lock<std::mutex> held_back(gate);
    const ThreadStarter lagging = [&](std::function<void()> work) {
        return std::thread([&gate, work = std::move(work)] {
            const std::lock_guard<std::mutex> released(gate);
            work();
        });
    };
    const std::size_t before = open_descriptors();
    {
        RetiredFiles retired(lagging);
        for (std::size_t i = 0; i < RetiredFiles::kMostHeld + 10; ++i) {
            kyrtest::write_bytes(root / "old", "old");
            kyrtest::write_bytes(root / "new", "new");
            retired.replace(root / "old", [&] { fs::rename(root / "new", root / "old"); });
        }
        EXPECT_EQ(open_descriptors(), before + RetiredFiles::kMostHeld);
        held_back.unlock();
    }
    EXPECT_EQ(open_descriptors(), before);
}

} // namespace
