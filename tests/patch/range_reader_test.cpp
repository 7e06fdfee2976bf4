#include "patch/range_reader.hpp"

#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

// One file is kept open between reads: each read gives the bytes of the file it names, and a range past
// the end fails, naming the file, without touching the output.
TEST(RangeReader, ReadsExactlyTheRangeOfTheFileAskedOrFails) {
    kyrtest::ScratchFolder folder;
    kyrtest::write_bytes(folder / "a.bin", "0123456789");
    kyrtest::write_bytes(folder / "b.bin", "abcdefghij");
    struct Case {
        const char* file;
        std::uint64_t offset;
        std::uint64_t length;
        std::string want; // appended bytes, or the error
    };
    const Case cases[] = {
        {"a.bin", 0, 3, "012"},
        {"a.bin", 7, 3, "789"},
        {"b.bin", 2, 2, "cd"},
        {"a.bin", 10, 0, ""},
        {"b.bin", 0, 10, "abcdefghij"},
        {"missing.bin", 0, 1, "cannot open missing.bin"},
        {"a.bin", 8, 3, "short read from a.bin"},
        {"b.bin", 11, 0, "short read from b.bin"},
        {"a.bin", 1, ~std::uint64_t{0}, "short read from a.bin"},
    };
    gu::patch::RangeReader reader;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " at " + std::to_string(c.offset));
        std::string out = ">";
        try {
            reader.append(folder / c.file, c.offset, c.length, c.file, out);
        } catch (const std::runtime_error& e) {
            out += e.what();
        }
        EXPECT_EQ(out, ">" + c.want);
    }
}

} // namespace
