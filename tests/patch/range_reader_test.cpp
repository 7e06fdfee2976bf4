// Range reads with one file kept open: right bytes whichever file comes next, failures that leave the
// output alone, and a released file that can be replaced (Windows refuses that while it is open).

#include "patch/range_reader.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

using gu::patch::RangeReader;
namespace fs = std::filesystem;

class RangeReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        kyrtest::write_bytes(folder_ / "a.bin", "0123456789");
        kyrtest::write_bytes(folder_ / "b.bin", "abcdefghij");
    }
    kyrtest::ScratchFolder folder_;
    RangeReader reader_;
};

TEST_F(RangeReaderTest, ReadsRangesOfWhicheverFileIsAsked) {
    struct Read {
        const char* file;
        std::uint64_t offset;
        std::uint64_t length;
        const char* want;
    };
    const Read reads[] = {
        {"a.bin", 0, 3, "012"}, {"a.bin", 7, 3, "789"}, {"b.bin", 2, 2, "cd"},
        {"a.bin", 4, 0, ""},    {"a.bin", 10, 0, ""},   {"b.bin", 0, 10, "abcdefghij"},
    };
    std::string appended = ">";
    for (const Read& read : reads) {
        SCOPED_TRACE(std::string(read.file) + " at " + std::to_string(read.offset));
        EXPECT_EQ(reader_.read(folder_ / read.file, read.offset, read.length, read.file), read.want);
        reader_.append(folder_ / read.file, read.offset, read.length, read.file, appended);
    }
    EXPECT_EQ(appended, ">012789cdabcdefghij");
}

TEST_F(RangeReaderTest, FailuresNameTheFileAndLeaveTheOutputAlone) {
    struct Failure {
        const char* file;
        std::uint64_t offset;
        std::uint64_t length;
        const char* message;
    };
    const Failure failures[] = {
        {"missing.bin", 0, 1, "cannot open missing.bin"},
        {"a.bin", 8, 3, "short read from a.bin"},
        {"a.bin", 11, 0, "short read from a.bin"},
        {"a.bin", 1, ~std::uint64_t{0}, "short read from a.bin"},
    };
    for (const Failure& failure : failures) {
        SCOPED_TRACE(failure.message);
        std::string out = "kept";
        try {
            reader_.append(folder_ / failure.file, failure.offset, failure.length, failure.file, out);
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), failure.message);
        }
        EXPECT_EQ(out, "kept");
    }
}

} // namespace
