#include "patch/chunk_fetch.hpp"

#include "patch/errors.hpp"
#include "patch/sha256.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>
#include <zstd.h>

#include <fstream>
#include <map>
#include <stdexcept>

namespace {

using namespace gu::patch;
namespace fs = std::filesystem;

std::string compress(const std::string& data) {
    std::string out(ZSTD_compressBound(data.size()), '\0');
    const std::size_t size = ZSTD_compress(out.data(), out.size(), data.data(), data.size(), 3);
    EXPECT_FALSE(ZSTD_isError(size));
    out.resize(size);
    return out;
}

class FakePacks : public PackFiles {
public:
    std::optional<fs::path> pack_for_chunk(std::uint32_t pack) override {
        asked.push_back(pack);
        return answer ? answer(pack) : std::nullopt;
    }

    std::function<std::optional<fs::path>(std::uint32_t)> answer;
    std::vector<std::uint32_t> asked;
};

class FakeStore : public ChunkObjects {
public:
    std::string retry_fetch(const std::string& path, std::uint64_t, bool may_wait, const LogLine& log_line) override {
        asked.push_back(path);
        EXPECT_TRUE(may_wait);
        log_line("store served " + path);
        if (failure) {
            failure();
        }
        const auto found = objects.find(path);
        if (found == objects.end()) {
            throw FetchError("HTTP 404 " + path);
        }
        return found->second;
    }

    std::map<std::string, std::string> objects;
    std::function<void()> failure;
    std::vector<std::string> asked;
};

class FetchChunk : public ::testing::Test {
protected:
    void SetUp() override {
        game_dir_ = scratch_.path();
        previous_dir_ = game_dir_ / "root";
    }
    void TearDown() override { files_.release_all(); }

    ChunkFetchContext context() {
        return {local_,     game_dir_, previous_,   previous_dir_, use_packs_, index_, packs_,
                verified_,  {chunks_obtained_, bytes_downloaded_},  prefetched_,   store_,     log_, files_};
    }

    // A chunk of data whose object the store holds.
    ManifestChunk stored_chunk(const std::string& data) {
        const std::string object = compress(data);
        ManifestChunk chunk{sha256_hex(data), data.size(), object.size()};
        store_.objects[chunk_path(chunk.h)] = object;
        return chunk;
    }

    // Releases every open file first, as the update run does before it changes one.
    void write_file(const std::string& relative, const std::string& content) {
        files_.release_all();
        const fs::path file = game_dir_ / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }

    // Writes a pack holding `object` after a few other bytes and points the index and the downloader at it.
    void serve_pack(const ManifestChunk& chunk, const std::string& object) {
        write_file(".updpacks/p3.pack", "pack header " + object + " tail");
        index_.chunks[chunk.h] = {3, 12, chunk.z};
        packs_.answer = [this](std::uint32_t) { return game_dir_ / ".updpacks" / "p3.pack"; };
    }

    const std::string data_ = std::string(300, 'a') + "chunk payload" + std::string(200, 'z');

    LocalChunkMap local_;
    kyrtest::ScratchFolder scratch_;
    fs::path game_dir_;
    LocalChunkMap previous_;
    fs::path previous_dir_;
    bool use_packs_ = true;
    PackIndex index_;
    FakePacks packs_;
    ChunkSet verified_;
    std::uint32_t chunks_obtained_ = 0;
    std::uint64_t bytes_downloaded_ = 0;
    PrefetchedChunks prefetched_;
    FakeStore store_;
    std::vector<std::string> log_lines_;
    LogLine log_ = [this](const std::string& line) { log_lines_.push_back(line); };
    RangeReader files_;
};

TEST_F(FetchChunk, UnusableInstalledEntryIsDroppedAndTheStoreServes) {
    struct Case {
        const char* name;
        const char* file;
        std::string content;
        std::uint64_t offset;
    };
    const std::string other = std::string(data_.size(), 'q');
    const Case cases[] = {
        {"installed file changed", "Data/a.bin", other, 0},
        {"installed file too short", "Data/a.bin", data_.substr(0, 100), 0},
        {"range reaching past the end", "Data/a.bin", data_, 1},
        {"path is a folder", "Data/a.bin/inner", data_, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        files_.release_all();
        fs::remove_all(game_dir_ / "Data");
        if (c.file != nullptr) {
            write_file(c.file, c.content);
        }
        const ManifestChunk chunk = stored_chunk(data_);
        local_ = {{chunk.h, {"Data/a.bin", c.offset, chunk.n}}};
        store_.asked.clear();

        auto ctx = context();
        EXPECT_EQ(fetch_chunk(ctx, chunk), data_);
        EXPECT_EQ(store_.asked, std::vector<std::string>{chunk_path(chunk.h)});
        EXPECT_TRUE(local_.empty());
    }
}

TEST_F(FetchChunk, PackFailuresFallThroughSilently) {
    const std::string same_size_other = std::string(data_.size(), 'b');
    const std::string data_a = std::string(data_.size(), 'a');
    struct Case {
        const char* name;
        std::string chunk_data;
        std::string pack_object;                                      // placed at the chunk's location
        std::function<std::optional<fs::path>(std::uint32_t)> answer; // empty: the pack file
    };
    const Case cases[] = {
        {"download failed", data_, compress(data_),
         [](std::uint32_t) -> std::optional<fs::path> {
             throw FetchError("all 1 store sources failed for v1/packs/p3 [x: HTTP 503]");
         }},
        {"pack demoted", data_, compress(data_), [](std::uint32_t) { return std::optional<fs::path>(); }},
        {"corrupt bytes at the location", data_, std::string(compress(data_).size(), 'x'), {}},
        {"other chunk's bytes at the location", data_a, compress(same_size_other), {}},
    };
    ASSERT_EQ(compress(data_a).size(), compress(same_size_other).size());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ManifestChunk chunk = stored_chunk(c.chunk_data);
        serve_pack(chunk, c.pack_object);
        if (c.answer) {
            packs_.answer = c.answer;
        }
        chunks_obtained_ = 0;
        bytes_downloaded_ = 0;
        verified_.clear();
        log_lines_.clear();

        auto ctx = context();
        EXPECT_EQ(fetch_chunk(ctx, chunk), c.chunk_data);
        EXPECT_EQ(log_lines_, std::vector<std::string>{"store served " + chunk_path(chunk.h)});
        EXPECT_EQ(bytes_downloaded_, chunk.z);
    }
}

TEST_F(FetchChunk, BadChunkObjectFailsTheChunk) {
    const std::string other = std::string(data_.size(), 'q');
    struct Case {
        const char* name;
        std::string object;
        bool prefetched;
        std::string want;
    };
    const ManifestChunk chunk = stored_chunk(data_);
    const std::string mismatch = "chunk \"" + chunk.h + "\": sha256 mismatch (got \"" + sha256_hex(other) + "\")";
    const Case cases[] = {
        {"store object of other bytes", compress(other), false, mismatch},
        {"prefetched object of other bytes", compress(other), true, mismatch},
        {"object of another size", compress(data_ + "!"), false, "zstd_decompress: Destination buffer is too small"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.prefetched) {
            prefetched_[chunk.h] = c.object;
        } else {
            store_.objects[chunk_path(chunk.h)] = c.object;
        }
        auto ctx = context();
        try {
            fetch_chunk(ctx, chunk);
            ADD_FAILURE() << "accepted";
        } catch (const VerifyError& e) {
            EXPECT_EQ(e.what(), c.want);
        }
        EXPECT_TRUE(verified_.empty());
        EXPECT_EQ(chunks_obtained_, 0u);
    }
}

} // namespace
