#include "patch/atomic_file.hpp"

#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

namespace fs = std::filesystem;
using kyrtest::read_bytes;
using kyrtest::ScratchFolder;
using kyrtest::write_bytes;

// A reader that shares reading and writing but not deletion: Windows then refuses to move another file
// over the target, while overwriting it in place is still allowed.
class RenameLock {
public:
    explicit RenameLock(const fs::path& file)
        : handle_(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~RenameLock() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }
    RenameLock(const RenameLock&) = delete;
    RenameLock& operator=(const RenameLock&) = delete;
    bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

TEST(WriteFileAtomically, TargetLockedAgainstRenamingIsOverwrittenByCopy) {
    ScratchFolder dir;
    const fs::path target = dir / "patchstate.json";
    const fs::path temporary = dir / "patchstate.json.tmp";
    write_bytes(target, "old content");
    {
        const RenameLock lock(target);
        ASSERT_TRUE(lock.held());
        int before_copy_calls = 0;
        gu::patch::write_file_atomically(target, temporary, "new", {"open: ", "write: ", "install: "},
                                         [&] { ++before_copy_calls; });
        EXPECT_EQ(before_copy_calls, 1) << "the move was expected to be refused";
        EXPECT_EQ(read_bytes(target), "new");
    }
    EXPECT_FALSE(fs::exists(temporary));
}

} // namespace
