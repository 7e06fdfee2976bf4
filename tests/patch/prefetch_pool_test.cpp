#include "patch/prefetch_pool.hpp"

#include "patch/errors.hpp"
#include "patch/store_retry.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace gu::patch;
namespace fs = std::filesystem;

// A chunk object store shared by the workers: each path answers with its bytes or one of a few failures.
class FakeStore : public ChunkObjects {
public:
    std::string retry_fetch(const std::string& path, std::uint64_t, bool may_wait, const LogLine& log_line) override {
        std::unique_lock<std::mutex> lock(mutex_);
        asked.push_back(path);
        waits_allowed = waits_allowed || may_wait;
        const auto failure = failures.find(path);
        const std::string answer = failure == failures.end() ? "" : failure->second;
        lock.unlock();
        if (!answer.empty()) {
            log_line("chunk " + path + " attempt 1/1 failed: " + answer);
            throw FetchError(answer);
        }
        log_line("served " + path);
        return "bytes of " + path;
    }

    std::vector<std::string> asked;
    bool waits_allowed = false;
    std::map<std::string, std::string> failures; // path -> error text

private:
    std::mutex mutex_;
};

class FakePacks : public PackFiles {
public:
    std::optional<fs::path> pack_for_chunk(std::uint32_t pack) override {
        ++asked;
        if (pack == kThrows) {
            throw LocalWriteError("pack disk full");
        }
        if (pack == kServed) {
            return fs::path("p") / std::to_string(pack);
        }
        return std::nullopt;
    }

    static constexpr std::uint32_t kServed = 0;
    static constexpr std::uint32_t kNothing = 1;
    static constexpr std::uint32_t kThrows = 2;
    int asked = 0;
};

ManifestChunk chunk(const std::string& h) {
    return {h, 10, 5};
}

class PrefetchPool : public ::testing::Test {
protected:
    PrefetchPool() {
        config_.prefetch_workers = 4;
        index_.chunks["pk"] = {FakePacks::kServed, 0, 5};
        index_.chunks["pz"] = {FakePacks::kServed, 0, 4}; // wrong length: the pack is not asked
        index_.chunks["pn"] = {FakePacks::kNothing, 0, 5};
        index_.chunks["pt"] = {FakePacks::kThrows, 0, 5};
    }

    ChunkFetchContext context() {
        return {
            local_,      game_dir_, previous_, game_dir_, true, index_, packs_, verified_, {chunks_obtained_, bytes_},
            prefetched_, fake_store_,   log_,      files_};
    }

    // Runs the pool, counting the workers it starts.
    void run(const std::vector<ManifestChunk>& chunks) {
        ChunkFetchContext ctx = context();
        prefetch_chunks(ctx, config_, chunks, [this](std::function<void()> work) {
            ++started_;
            return std::thread(std::move(work));
        });
    }

    std::vector<std::string> prefetched_keys() const {
        std::set<std::string> keys;
        for (const auto& [h, bytes] : prefetched_) {
            EXPECT_EQ(bytes, "bytes of " + chunk_path(h));
            keys.insert(h);
        }
        return {keys.begin(), keys.end()};
    }

    DownloaderConfig config_;
    LocalChunkMap local_;
    LocalChunkMap previous_;
    fs::path game_dir_ = "game";
    PackIndex index_;
    FakePacks packs_;
    ChunkSet verified_;
    std::uint32_t chunks_obtained_ = 0;
    std::uint64_t bytes_ = 0;
    PrefetchedChunks prefetched_;
    FakeStore fake_store_;
    std::vector<std::string> lines_;
    std::set<std::thread::id> log_threads_;
    LogLine log_ = [this](const std::string& line) {
        lines_.push_back(line);
        log_threads_.insert(std::this_thread::get_id());
    };
    int started_ = 0;
    RangeReader files_;
};

TEST_F(PrefetchPool, FetchesTheChunksNoCheaperSourceHasAndLogsInJobOrder) {
    config_.prefetch_workers = 3;
    local_ = {{"lo", {"Data/x", 0, 10}}};
    previous_ = {{"pv", {"Data/y", 0, 10}}};
    run({chunk("a1"), chunk("lo"), chunk("pk"), chunk("pz"), chunk("pv"), chunk("pn"), chunk("pt"), chunk("a1")});
    EXPECT_EQ(started_, 3);
    EXPECT_EQ(prefetched_keys(), (std::vector<std::string>{"a1", "pn", "pt", "pz"}));
    EXPECT_FALSE(fake_store_.waits_allowed);
    EXPECT_EQ(fake_store_.asked.size(), 4u);
    EXPECT_EQ(lines_, (std::vector<std::string>{"served " + chunk_path("a1"), "served " + chunk_path("pz"),
                                                "served " + chunk_path("pn"), "served " + chunk_path("pt")}));
}

TEST_F(PrefetchPool, FailedJobsAreLeftOutAndTheirLinesKeepJobOrder) {
    config_.prefetch_workers = 2;
    fake_store_.failures[chunk_path("j1")] = "HTTP 404";
    fake_store_.failures[chunk_path("j2")] = "first line\nsecond line";
    run({chunk("j0"), chunk("j1"), chunk("j2"), chunk("j3")});
    EXPECT_EQ(prefetched_keys(), (std::vector<std::string>{"j0", "j3"}));
    EXPECT_EQ(lines_, (std::vector<std::string>{
                          "served " + chunk_path("j0"),
                          "chunk " + chunk_path("j1") + " attempt 1/1 failed: HTTP 404",
                          "prefetch failed, will retry sequentially: HTTP 404",
                          "chunk " + chunk_path("j2") + " attempt 1/1 failed: first line",
                          "second line",
                          "prefetch failed, will retry sequentially: first line",
                          "second line",
                          "served " + chunk_path("j3"),
                      }));
    EXPECT_EQ(log_threads_, std::set<std::thread::id>{std::this_thread::get_id()});
}

} // namespace
