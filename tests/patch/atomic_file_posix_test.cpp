#include "patch/atomic_file.hpp"

#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <sys/resource.h>

namespace {

namespace fs = std::filesystem;
using kyrtest::read_bytes;
using kyrtest::ScratchFolder;
using kyrtest::write_bytes;

// Caps the size of files this process may write, the way a full disk stops a write part-way; writes
// past the cap fail with EFBIG instead of raising SIGXFSZ.
class FileSizeCap {
public:
    explicit FileSizeCap(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        saved_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit capped = saved_;
        capped.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &capped);
    }
    ~FileSizeCap() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, saved_handler_);
    }
    FileSizeCap(const FileSizeCap&) = delete;
    FileSizeCap& operator=(const FileSizeCap&) = delete;

private:
    rlimit saved_{};
    void (*saved_handler_)(int) = nullptr;
};

TEST(WriteFileAtomically, ShortWriteRemovesTheTemporaryAndKeepsTheTarget) {
    ScratchFolder dir;
    const fs::path target = dir / "state.json";
    const fs::path temporary = dir / "state.json.tmp";
    write_bytes(target, "old");
    std::string error;
    {
        const FileSizeCap cap(65536);
        try {
            gu::patch::write_file_atomically(target, temporary, std::string(1 << 20, 'n'),
                                             {"open: ", "write: ", "install: "});
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
    }
    EXPECT_EQ(error, "write: " + temporary.u8string());
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_EQ(read_bytes(target), "old");
}

} // namespace
