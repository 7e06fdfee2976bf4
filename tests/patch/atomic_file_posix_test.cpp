#include "patch/atomic_file.hpp"

#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <sys/resource.h>

namespace {

namespace fs = std::filesystem;

// A file size cap stops the write part-way, as a full disk does (EFBIG instead of SIGXFSZ).
TEST(WriteFileAtomically, ShortWriteRemovesTheTemporaryAndKeepsTheTarget) {
    kyrtest::ScratchFolder dir;
    const fs::path target = dir / "state.json";
    const fs::path temporary = dir / "state.json.tmp";
    kyrtest::write_bytes(target, "old");
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit capped = saved;
    capped.rlim_cur = 65536;
    const auto saved_handler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &capped);
    std::string error;
    try {
        gu::patch::write_file_atomically(target, temporary, std::string(1 << 20, 'n'), {"open: ", "write: ", "i: "});
    } catch (const std::runtime_error& e) {
        error = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, saved_handler);
    EXPECT_EQ(error, "write: " + temporary.u8string());
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_EQ(kyrtest::read_bytes(target), "old");
}

} // namespace
