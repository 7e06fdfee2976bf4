#include "patch/atomic_file.hpp"

#include "patch/durable_file.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;
std::vector<fs::path> flushed;

// Stands in for a target that is locked against renaming, and optionally against overwriting too.
class RefusingMover : public gu::patch::FileMover {
public:
    explicit RefusingMover(bool refuse_copy) : refuse_copy_(refuse_copy) {}
    void rename(const fs::path&, const fs::path&, std::error_code& ec) const override {
        ec = std::make_error_code(std::errc::permission_denied);
    }
    void copy_overwrite(const fs::path& from, const fs::path& to, std::error_code& ec) const override {
        if (refuse_copy_) {
            ec = std::make_error_code(std::errc::device_or_resource_busy);
            return;
        }
        FileMover::copy_overwrite(from, to, ec);
    }

private:
    bool refuse_copy_;
};

// The target is replaced whole or kept whole; a refused rename falls back to overwriting it by copy.
TEST(WriteFileAtomically, ReplacesTheTargetWholeOrKeepsItWhole) {
    struct Case {
        const char* name;
        const gu::patch::FileMover* mover;
        std::string want_error; // its start
        std::string want_target;
        std::string want_temporary;
    };
    const gu::patch::FileMover real;
    const RefusingMover no_rename(false);
    const RefusingMover no_rename_no_copy(true);
    const std::string bytes("x\0y\r\n", 5);
    const Case cases[] = {
        {"renamed", &real, "", bytes, "<missing>"},
        {"rename refused: copied", &no_rename, "", bytes, "<missing>"},
        {"copy refused too", &no_rename_no_copy, "install: ", "old content", bytes},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kyrtest::ScratchFolder dir;
        kyrtest::write_bytes(dir / "state.json", "old content");
        std::string error;
        flushed.clear();
        gu::patch::flush_observer = [](const fs::path& path, gu::patch::Flush) { flushed.push_back(path); };
        try {
            gu::patch::write_file_atomically(dir / "state.json", dir / "state.json.tmp", bytes,
                                             {"open: ", "write: ", "install: "}, {}, *c.mover);
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
        gu::patch::flush_observer = nullptr;
        EXPECT_EQ(std::count(flushed.begin(), flushed.end(), dir / "state.json"), c.mover == &no_rename ? 1 : 0)
            << "a target overwritten in place reaches the disk before its temporary goes";
        EXPECT_EQ(error.substr(0, c.want_error.size()), c.want_error);
        EXPECT_EQ(error.empty(), c.want_error.empty());
        EXPECT_EQ(kyrtest::read_bytes(dir / "state.json"), c.want_target);
        EXPECT_EQ(kyrtest::read_bytes(dir / "state.json.tmp"), c.want_temporary);
    }
}

} // namespace
