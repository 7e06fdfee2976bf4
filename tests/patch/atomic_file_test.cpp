#include "patch/atomic_file.hpp"

#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;
using gu::patch::AtomicWriteMessages;
using gu::patch::FileMover;
using kyrtest::read_bytes;
using kyrtest::ScratchFolder;
using kyrtest::write_bytes;

const AtomicWriteMessages kMessages{"open: ", "write: ", "install: "};

// Stands in for a target that is locked against renaming (and, optionally, against overwriting too).
class RefusingMover : public FileMover {
public:
    RefusingMover(bool refuse_rename, bool refuse_copy) : refuse_rename_(refuse_rename), refuse_copy_(refuse_copy) {}

    void rename(const fs::path& from, const fs::path& to, std::error_code& ec) const override {
        ++renames;
        if (refuse_rename_) {
            ec = std::make_error_code(std::errc::permission_denied);
            return;
        }
        FileMover::rename(from, to, ec);
    }
    void copy_overwrite(const fs::path& from, const fs::path& to, std::error_code& ec) const override {
        ++copies;
        if (refuse_copy_) {
            ec = std::make_error_code(std::errc::device_or_resource_busy);
            return;
        }
        FileMover::copy_overwrite(from, to, ec);
    }

    mutable int renames = 0;
    mutable int copies = 0;

private:
    bool refuse_rename_;
    bool refuse_copy_;
};

std::string error_of(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "<no error>";
}

TEST(WriteFileAtomically, CreatesOrReplacesTheTargetAndRemovesTheTemporary) {
    ScratchFolder dir;
    const fs::path target = dir / "state.json";
    const fs::path temporary = dir / "state.json.tmp";
    for (const std::string& content : {std::string("first"), std::string(), std::string("x\0y\r\n", 5)}) {
        SCOPED_TRACE(content.size());
        gu::patch::write_file_atomically(target, temporary, content, kMessages);
        EXPECT_EQ(read_bytes(target), content);
        EXPECT_FALSE(fs::exists(temporary));
    }
}

TEST(WriteFileAtomically, RefusedRenameFallsBackToCopy) {
    ScratchFolder dir;
    const fs::path target = dir / "state.json";
    const fs::path temporary = dir / "state.json.tmp";
    write_bytes(target, "old content that is longer than the new");
    const RefusingMover mover(true, false);
    int before_copy_calls = 0;
    gu::patch::write_file_atomically(
        target, temporary, "new", kMessages, [&] { ++before_copy_calls; }, mover);
    EXPECT_EQ(read_bytes(target), "new");
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_EQ(mover.renames, 1);
    EXPECT_EQ(mover.copies, 1);
    EXPECT_EQ(before_copy_calls, 1);
}

TEST(WriteFileAtomically, SuccessfulRenameNeitherCopiesNorCallsTheHook) {
    ScratchFolder dir;
    const RefusingMover mover(false, false);
    int before_copy_calls = 0;
    gu::patch::write_file_atomically(
        dir / "t", dir / "t.tmp", "x", kMessages, [&] { ++before_copy_calls; }, mover);
    EXPECT_EQ(mover.copies, 0);
    EXPECT_EQ(before_copy_calls, 0);
}

TEST(WriteFileAtomically, RefusedCopyKeepsTheOldTargetAndTheTemporary) {
    ScratchFolder dir;
    const fs::path target = dir / "state.json";
    const fs::path temporary = dir / "state.json.tmp";
    write_bytes(target, "old");
    const RefusingMover mover(true, true);
    EXPECT_EQ(error_of([&] { gu::patch::write_file_atomically(target, temporary, "new", kMessages, {}, mover); }),
              "install: " + target.u8string() + ": " +
                  std::make_error_code(std::errc::device_or_resource_busy).message());
    EXPECT_EQ(read_bytes(target), "old");
    EXPECT_EQ(read_bytes(temporary), "new");
}

TEST(WriteFileAtomically, UnopenableTemporaryLeavesTheTargetAlone) {
    ScratchFolder dir;
    const fs::path target = dir / "state.json";
    const fs::path temporary = dir / "no such folder" / "state.json.tmp";
    write_bytes(target, "old");
    EXPECT_EQ(error_of([&] { gu::patch::write_file_atomically(target, temporary, "new", kMessages); }),
              "open: " + temporary.u8string());
    EXPECT_EQ(read_bytes(target), "old");
}

TEST(ReplaceFile, RealMoveOntoAFolderFailsAfterTheHook) {
    ScratchFolder dir;
    write_bytes(dir / "from", "data");
    fs::create_directories(dir / "to" / "inside");
    int before_copy_calls = 0;
    const std::string error = error_of(
        [&] { gu::patch::replace_file(dir / "from", dir / "to", "cannot install ", [&] { ++before_copy_calls; }); });
    EXPECT_EQ(error.rfind("cannot install " + (dir / "to").u8string() + ": ", 0), 0u) << error;
    EXPECT_EQ(before_copy_calls, 1);
    EXPECT_EQ(read_bytes(dir / "from"), "data");
}

TEST(ReplaceFile, MovesAcrossFolders) {
    ScratchFolder dir;
    fs::create_directories(dir / "stage" / "sub");
    fs::create_directories(dir / "final" / "sub");
    write_bytes(dir / "stage" / "sub" / "f", "new");
    write_bytes(dir / "final" / "sub" / "f", "old");
    gu::patch::replace_file(dir / "stage" / "sub" / "f", dir / "final" / "sub" / "f", "x: ");
    EXPECT_EQ(read_bytes(dir / "final" / "sub" / "f"), "new");
    EXPECT_FALSE(fs::exists(dir / "stage" / "sub" / "f"));
}

TEST(WithSuffix, AppendsToTheFileName) {
    EXPECT_EQ(gu::patch::with_suffix(fs::path("a") / "b.json", ".tmp"), fs::path("a") / "b.json.tmp");
    EXPECT_EQ(gu::patch::with_suffix(fs::path("Main.exe"), ".updpart"), fs::path("Main.exe.updpart"));
}

} // namespace
