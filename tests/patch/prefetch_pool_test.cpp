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
        const auto hold = hold_until_done.find(path);
        if (hold != hold_until_done.end()) {
            const std::string other = hold->second;
            changed_.wait_for(lock, std::chrono::seconds(10), [&] { return done_.count(other) != 0; });
            held_long_enough = held_long_enough || done_.count(other) != 0;
        }
        const auto failure = failures.find(path);
        const std::string answer = failure == failures.end() ? "" : failure->second;
        finish(path);
        lock.unlock();
        if (answer == "local write") {
            throw LocalWriteError("disk full");
        }
        if (!answer.empty()) {
            log_line("chunk " + path + " attempt 1/1 failed: " + answer);
            throw FetchError(answer);
        }
        log_line("served " + path);
        return "bytes of " + path;
    }

    std::vector<std::string> asked;
    bool waits_allowed = false;
    std::map<std::string, std::string> failures;        // path -> error text, or "local write"
    std::map<std::string, std::string> hold_until_done; // path -> path that must be answered first
    bool held_long_enough = false;

private:
    void finish(const std::string& path) {
        done_.insert(path);
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::set<std::string> done_;
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
            prefetched_, *store_,   log_,      files_};
    }

    // Runs the pool, counting the workers it starts.
    void run(const std::vector<ManifestChunk>& chunks, int fail_from = -1) {
        ChunkFetchContext ctx = context();
        prefetch_chunks(ctx, config_, chunks, [this, fail_from](std::function<void()> work) {
            if (fail_from >= 0 && started_ >= fail_from) {
                throw std::runtime_error("no more threads");
            }
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
    ChunkObjects* store_ = &fake_store_;
    std::vector<std::string> lines_;
    std::set<std::thread::id> log_threads_;
    LogLine log_ = [this](const std::string& line) {
        lines_.push_back(line);
        log_threads_.insert(std::this_thread::get_id());
    };
    int started_ = 0;
    RangeReader files_;
};

TEST_F(PrefetchPool, StartsNoThreadWithoutTwoJobsAndTwoWorkers) {
    struct Case {
        std::string name;
        std::uint32_t workers;
        std::vector<std::string> hashes;
        int want_pack_asks;
    };
    const std::vector<Case> cases = {
        {"one worker", 1, {"a1", "b2", "c3", "pk"}, 0},
        {"no worker", 0, {"a1", "b2"}, 0},
        {"a single job", 4, {"a1"}, 0},
        {"one hash twice", 4, {"a1", "a1"}, 0},
        {"the rest installed now or before", 4, {"a1", "lo", "pv"}, 0},
        {"the rest in a pack", 4, {"a1", "pk"}, 1},
        {"the rest already prefetched", 4, {"a1", "pf"}, 0},
        {"nothing to do", 4, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        local_ = {{"lo", {"Data/x", 0, 10}}};
        previous_ = {{"pv", {"Data/y", 0, 10}}};
        prefetched_ = {{"pf", "bytes of " + chunk_path("pf")}};
        packs_.asked = 0;
        config_.prefetch_workers = c.workers;
        std::vector<ManifestChunk> chunks;
        for (const std::string& h : c.hashes) {
            chunks.push_back(chunk(h));
        }
        run(chunks);
        EXPECT_EQ(started_, 0);
        EXPECT_TRUE(fake_store_.asked.empty());
        EXPECT_EQ(packs_.asked, c.want_pack_asks);
        EXPECT_EQ(prefetched_.size(), 1u);
        EXPECT_TRUE(lines_.empty());
    }
}

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
    // The first job is answered last, so job order differs from completion order.
    fake_store_.hold_until_done[chunk_path("j0")] = chunk_path("j3");
    fake_store_.failures[chunk_path("j1")] = "HTTP 404";
    fake_store_.failures[chunk_path("j2")] = "first line\nsecond line";
    run({chunk("j0"), chunk("j1"), chunk("j2"), chunk("j3")});
    EXPECT_TRUE(fake_store_.held_long_enough);
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

TEST_F(PrefetchPool, LocalWriteFailureStopsOnlyTheWorkerThatMetIt) {
    struct Case {
        std::string name;
        std::vector<std::string> local_write; // hashes whose object cannot be written
        std::size_t want_asked;
        std::vector<std::string> want_prefetched;
    };
    const std::vector<Case> cases = {
        {"one worker stops, the other finishes", {"j0"}, 5, {"j1", "j2", "j3", "j4"}},
        {"both workers stop", {"j0", "j1", "j2", "j3", "j4"}, 2, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeStore fresh;
        store_ = &fresh;
        prefetched_.clear();
        lines_.clear();
        config_.prefetch_workers = 2;
        for (const std::string& h : c.local_write) {
            fresh.failures[chunk_path(h)] = "local write";
        }
        run({chunk("j0"), chunk("j1"), chunk("j2"), chunk("j3"), chunk("j4")});
        EXPECT_EQ(fresh.asked.size(), c.want_asked);
        std::vector<std::string> got;
        for (const auto& [h, bytes] : prefetched_) {
            got.push_back(h);
        }
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, c.want_prefetched);
        EXPECT_EQ(std::count(lines_.begin(), lines_.end(), "prefetch stopped, local write failed: disk full"),
                  static_cast<std::ptrdiff_t>(std::min<std::size_t>(c.local_write.size(), 2)));
    }
}

TEST_F(PrefetchPool, RefusedThreadsLeaveTheJobsToTheWorkersStarted) {
    struct Case {
        std::string name;
        int fail_from;
        std::string want_first_line;
        std::size_t want_prefetched;
    };
    const std::vector<Case> cases = {
        {"one of three", 1, "prefetch pool: spawned 1/3 workers (no more threads); the rest goes sequential", 4},
        {"none of three", 0, "prefetch pool: spawned 0/3 workers (no more threads); the rest goes sequential", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        started_ = 0;
        lines_.clear();
        prefetched_.clear();
        config_.prefetch_workers = 3;
        run({chunk("j0"), chunk("j1"), chunk("j2"), chunk("j3")}, c.fail_from);
        ASSERT_FALSE(lines_.empty());
        EXPECT_EQ(lines_.front(), c.want_first_line);
        EXPECT_EQ(prefetched_.size(), c.want_prefetched);
    }
}

TEST_F(PrefetchPool, CancelBeforeTheWorkersStart) {
    config_.cancel = [] { return true; };
    try {
        run({chunk("j0"), chunk("j1")});
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "cancelled");
    }
    EXPECT_EQ(started_, 0);
    EXPECT_TRUE(fake_store_.asked.empty());
}

// A store whose chunk objects fail a set number of times; safe for the workers.
class FlakyFetcher : public Fetcher {
public:
    std::string get(const std::string& path, std::uint64_t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        calls.push_back(path);
        int& left = failures_left[path];
        if (left > 0) {
            --left;
            throw FetchError("HTTP 502");
        }
        return "bytes of " + path;
    }
    void download(const std::string&, const std::string&) override {}
    void download_from(const std::string&, const std::string&, std::uint64_t) override {}

    std::map<std::string, int> failures_left;
    std::vector<std::string> calls;

private:
    std::mutex mutex_;
};

TEST_F(PrefetchPool, WorkersRetryButNeverWaitForTheStore) {
    FlakyFetcher fetcher;
    config_.chunk_retry_delays_ms = {1, 1, 1};
    config_.wait_for_store = true;
    StoreRetry retry(fetcher, config_, "v1/channels/windows.json");
    store_ = &retry;
    config_.prefetch_workers = 2;
    fetcher.failures_left[chunk_path("j0")] = 2;
    fetcher.failures_left[chunk_path("j1")] = 100;
    // Each chunk object is "bytes of " + its path: the size that retry_fetch checks.
    std::vector<ManifestChunk> chunks;
    for (const std::string h : {"j0", "j1", "j2"}) {
        chunks.push_back({h, 10, ("bytes of " + chunk_path(h)).size()});
    }
    run(chunks);

    EXPECT_EQ(prefetched_keys(), (std::vector<std::string>{"j0", "j2"}));
    EXPECT_EQ(std::count(fetcher.calls.begin(), fetcher.calls.end(), "v1/channels/windows.json"), 0);
    EXPECT_EQ(std::count(fetcher.calls.begin(), fetcher.calls.end(), chunk_path("j1")), 4);
    const std::string j0 = "chunk " + chunk_path("j0") + " attempt ";
    const std::string j1 = "chunk " + chunk_path("j1") + " attempt ";
    EXPECT_EQ(lines_, (std::vector<std::string>{
                          j0 + "1/4 failed: HTTP 502",
                          j0 + "2/4 failed: HTTP 502",
                          j1 + "1/4 failed: HTTP 502",
                          j1 + "2/4 failed: HTTP 502",
                          j1 + "3/4 failed: HTTP 502",
                          j1 + "4/4 failed: HTTP 502",
                          "prefetch failed, will retry sequentially: HTTP 502",
                      }));
}

} // namespace
