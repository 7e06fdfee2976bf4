#include "patch/atomic_file.hpp"

#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;
using kyrtest::read_bytes;

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
        bool temporary_folder_exists;
        std::string want_error;
        std::string want_target;
        std::string want_temporary;
    };
    const gu::patch::FileMover real;
    const RefusingMover no_rename(false);
    const RefusingMover no_rename_no_copy(true);
    const std::string busy = std::make_error_code(std::errc::device_or_resource_busy).message();
    const Case cases[] = {
        {"renamed", &real, true, "", std::string("x\0y\r\n", 5), "<missing>"},
        {"rename refused: copied", &no_rename, true, "", std::string("x\0y\r\n", 5), "<missing>"},
        {"copy refused too", &no_rename_no_copy, true, "install: T: " + busy, "old content",
         std::string("x\0y\r\n", 5)},
        {"temporary unopenable", &real, false, "open: P", "old content", "<missing>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kyrtest::ScratchFolder dir;
        const fs::path target = dir / "state.json";
        const fs::path temporary = dir / (c.temporary_folder_exists ? "" : "gone") / "state.json.tmp";
        kyrtest::write_bytes(target, "old content");
        std::string error;
        try {
            gu::patch::write_file_atomically(target, temporary, std::string("x\0y\r\n", 5),
                                             {"open: ", "write: ", "install: "}, {}, *c.mover);
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
        const auto replace = [](std::string text, const std::string& what, const std::string& with) {
            const std::size_t at = text.find(what);
            return at == std::string::npos ? text : text.replace(at, what.size(), with);
        };
        EXPECT_EQ(error, replace(replace(c.want_error, "T", target.u8string()), "P", temporary.u8string()));
        EXPECT_EQ(read_bytes(target), c.want_target);
        EXPECT_EQ(read_bytes(temporary), c.want_temporary);
    }
}

} // namespace
