#include "patch/atomic_file.hpp"

#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

namespace fs = std::filesystem;

// A reader that shares reading and writing but not deletion: Windows then refuses to move another file
// over the target, while overwriting it in place is still allowed.
TEST(WriteFileAtomically, TargetLockedAgainstRenamingIsOverwrittenByCopy) {
    kyrtest::ScratchFolder dir;
    const fs::path target = dir / "patchstate.json";
    const fs::path temporary = dir / "patchstate.json.tmp";
    kyrtest::write_bytes(target, "old content");
    const HANDLE lock = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    int before_copy_calls = 0;
    gu::patch::write_file_atomically(target, temporary, "new", {"open: ", "write: ", "install: "},
                                     [&] { ++before_copy_calls; });
    CloseHandle(lock);
    EXPECT_EQ(before_copy_calls, 1) << "the move was expected to be refused";
    EXPECT_EQ(kyrtest::read_bytes(target), "new");
    EXPECT_FALSE(fs::exists(temporary));
}

} // namespace
