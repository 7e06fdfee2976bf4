#include "launcher/servers/server_cache.hpp"

#include "support/refusing_replacer.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace launcher {
namespace {

using kyrtest::read_bytes;
using kyrtest::write_bytes;

// Distinct bytes at every position, so a block appended twice or out of order shows.
std::string patterned(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 31 + i / 251) & 0xFF);
    }
    return bytes;
}

TEST(ReadTextFile, ReadsUpToTheLimitAndRefusesMore) {
    const kyrtest::ScratchFolder scratch;
    const std::string path = (scratch / "file.bin").string();
    const struct {
        const char* name;
        std::size_t size;
        std::size_t limit;
        bool want;
    } cases[] = {
        {"empty file", 0, 0, true},
        {"one byte at a limit of one", 1, 1, true},
        {"one byte over a limit of zero", 1, 0, false},
        {"just under one block", 8191, 8191, true},
        {"exactly one block", 8192, 8192, true},
        {"one block over by one", 8192, 8191, false},
        {"a block and one byte", 8193, 8193, true},
        {"a block and one byte over", 8193, 8192, false},
        {"several blocks under a larger limit", 20000, 65536, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = patterned(c.size);
        write_bytes(path, bytes);
        std::string text = "previous";
        EXPECT_EQ(readTextFile(path, text, c.limit), c.want);
        if (c.want) {
            EXPECT_EQ(text, bytes);
        }
    }
}

TEST(ReadTextFile, CacheLimitIsFourMebibytes) {
    const kyrtest::ScratchFolder scratch;
    const std::string path = (scratch / "servers.cache.json").string();
    std::string text;
    write_bytes(path, std::string(kServerCacheLimit, ' '));
    EXPECT_TRUE(readTextFile(path, text, kServerCacheLimit));
    EXPECT_EQ(text.size(), 4194304u);
    write_bytes(path, std::string(kServerCacheLimit + 1, ' '));
    EXPECT_FALSE(readTextFile(path, text, kServerCacheLimit));
}

TEST(ReadTextFile, MissingFileOrFolderFails) {
    const kyrtest::ScratchFolder scratch;
    std::string text = "kept";
    EXPECT_FALSE(readTextFile((scratch / "missing.json").string(), text, 100));
    EXPECT_EQ(text, "kept");
    EXPECT_FALSE(readTextFile(scratch.path().string(), text, 100));
}

class ServerCache : public ::testing::Test {
protected:
    std::string path() const { return (scratch_ / "servers.cache.json").string(); }
    std::string temporary() const { return path() + ".tmp"; }
    bool exists(const std::string& file) const { return std::filesystem::exists(file); }

    kyrtest::ScratchFolder scratch_;
};

TEST_F(ServerCache, SavesAndReplacesTheBody) {
    EXPECT_TRUE(saveServerCache(path(), "{\"schema\":1,\"servers\":[]}"));
    EXPECT_EQ(read_bytes(path()), "{\"schema\":1,\"servers\":[]}");
    EXPECT_TRUE(saveServerCache(path(), "{}"));
    EXPECT_EQ(read_bytes(path()), "{}");
    EXPECT_FALSE(exists(temporary()));
}

TEST_F(ServerCache, EmptyBodyWritesNothing) {
    EXPECT_FALSE(saveServerCache(path(), ""));
    EXPECT_FALSE(exists(path()));
    EXPECT_FALSE(exists(temporary()));

    write_bytes(path(), "previous");
    EXPECT_FALSE(saveServerCache(path(), ""));
    EXPECT_EQ(read_bytes(path()), "previous");
}

TEST_F(ServerCache, RefusedReplaceKeepsThePreviousCache) {
    write_bytes(path(), "previous");
    {
        const kyrtest::RefusingReplacer refusing;
        EXPECT_FALSE(saveServerCache(path(), "next"));
        EXPECT_EQ(refusing.calls(), 1);
    }
    EXPECT_EQ(read_bytes(path()), "previous");
    EXPECT_FALSE(exists(temporary()));
}

} // namespace
} // namespace launcher
