#include "launcher/servers/server_cache.hpp"

#include "support/refusing_replacer.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace launcher {
namespace {

TEST(ReadTextFile, ReadsUpToTheLimitAndRefusesMore) {
    const kyrtest::ScratchFolder scratch;
    const std::string path = (scratch / "file.bin").string();
    const struct {
        std::size_t size, limit;
        bool want;
    } cases[] = {{0, 0, true},          {1, 0, false},         {8192, 8192, true},
                 {8192, 8191, false},   {8193, 8192, false},   {20000, 65536, true},
                 {kServerCacheLimit, kServerCacheLimit, true}, {kServerCacheLimit + 1, kServerCacheLimit, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " of " + std::to_string(c.limit));
        std::string bytes(c.size, '\0');
        for (std::size_t i = 0; i < c.size; ++i) {
            bytes[i] = static_cast<char>(i * 31 + i / 251);
        }
        kyrtest::write_bytes(path, bytes);
        std::string text = "previous";
        EXPECT_EQ(readTextFile(path, text, c.limit), c.want);
        if (c.want) {
            EXPECT_EQ(text, bytes);
        }
    }
    std::string text;
    EXPECT_FALSE(readTextFile((scratch / "missing").string(), text, 100));
    EXPECT_FALSE(readTextFile(scratch.path().string(), text, 100));
}

TEST(ServerCache, ReplacesTheBodyAndKeepsThePreviousOnAnyFailure) {
    const kyrtest::ScratchFolder scratch;
    const std::string path = (scratch / "servers.cache.json").string();
    EXPECT_FALSE(saveServerCache(path, ""));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(saveServerCache(path, "{\"schema\":1}"));
    EXPECT_TRUE(saveServerCache(path, "{}"));
    EXPECT_EQ(kyrtest::read_bytes(path), "{}");
    EXPECT_FALSE(saveServerCache(path, ""));
    {
        const kyrtest::RefusingReplacer refusing;
        EXPECT_FALSE(saveServerCache(path, "next"));
        EXPECT_EQ(refusing.calls(), 1);
    }
    EXPECT_EQ(kyrtest::read_bytes(path), "{}");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

} // namespace
} // namespace launcher
