// The prefetch pool fetches the run's chunk objects ahead of the files, in the order they are used, within
// its budget, and leaves what it cannot fetch to the file phase.

#include "patch/errors.hpp"
#include "patch/prefetch_pool.hpp"
#include "support/thread_grants.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

using namespace gu::patch;

// Serves every object as its path, except the ones told to fail; counts what it was asked and the most
// transfers at once.
class ScriptedObjects final : public ChunkObjects {
public:
    std::map<std::string, std::string> failures; // chunk hash -> "fetch" or "disk"
    std::string retry_fetch(const std::string& path, std::uint64_t, bool, const LogLine&) override {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            ++asked_[path];
        }
        for (const auto& [hash, kind] : failures) {
            if (path == chunk_path(hash)) {
                if (kind == "disk") {
                    throw LocalWriteError("disk full");
                }
                throw FetchError("connection reset");
            }
        }
        return path;
    }
    int asked(const std::string& hash) {
        const std::lock_guard<std::mutex> lock(mutex_);
        return asked_[chunk_path(hash)];
    }

private:
    std::mutex mutex_;
    std::map<std::string, int> asked_;
};

TEST(PrefetchPool, HandsOverChunksInTheirOrderWithinItsBudget) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> failures;
        std::vector<std::string> takes;
        std::vector<std::string> want; // what each take returns, "" for nothing
        const char* want_line;
        bool threads_refused = false;
    };
    // Chunks aa bb cc dd ee of 10 bytes each; the budget holds two.
    const Case cases[] = {
        {"in order", {}, {"aa", "bb", "cc", "dd", "ee"}, {"aa", "bb", "cc", "dd", "ee"}, nullptr},
        {"a chunk not fetched here, and one taken twice", {}, {"ff", "aa", "aa"}, {"", "aa", ""}, nullptr},
        {"a failed download is left to the file phase",
         {{"bb", "fetch"}},
         {"aa", "bb", "cc"},
         {"aa", "", "cc"},
         "prefetch failed, will retry sequentially: connection reset"},
        {"a chunk passed is dropped: the budget frees for those behind it",
         {},
         {"cc", "aa", "ee", "dd"},
         {"cc", "", "ee", ""},
         nullptr},
        {"a local write failure stops the fetching without a hang",
         {{"aa", "disk"}, {"bb", "disk"}},
         {"aa", "bb", "cc", "dd", "ee"},
         {"", "", "", "", ""},
         "prefetch stopped, local write failed: disk full"},
        {"no thread starts: everything is left to the file phase",
         {},
         {"aa", "bb"},
         {"", ""},
         "prefetch pool: spawned 0/3 workers (refused); the rest goes sequential",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ManifestChunk> chunks;
        for (const char* hash : {"aa", "bb", "cc", "dd", "ee"}) {
            chunks.push_back(ManifestChunk{hash, 10, 10});
        }
        std::vector<const ManifestChunk*> order;
        for (const ManifestChunk& chunk : chunks) {
            order.push_back(&chunk);
        }
        order.push_back(&chunks[0]); // used again later: fetched once
        ScriptedObjects objects;
        objects.failures = c.failures;
        std::atomic<int> started{0};
        const ThreadStarter counting = [&](std::function<void()> work) {
            if (c.threads_refused) {
                throw std::runtime_error("refused");
            }
            ++started;
            return std::thread(std::move(work));
        };
        std::vector<std::string> lines;
        const LogLine log = [&](const std::string& line) { lines.push_back(line); };
        {
            PrefetchPool pool(order, objects, 3, counting, 20);
            pool.start(log);
            for (std::size_t i = 0; i < c.takes.size(); ++i) {
                const std::optional<std::string> got = pool.take(c.takes[i]);
                EXPECT_EQ(got.value_or(""), c.want[i].empty() ? "" : chunk_path(c.want[i])) << c.takes[i];
            }
            pool.forward_log(log);
        }
        EXPECT_EQ(started, c.threads_refused ? 0 : 3);
        EXPECT_LE(objects.asked("aa"), 1);
        if (c.want_line != nullptr) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), c.want_line), lines.end());
        }
    }
}

// A store whose every answer takes answer_ms on the test's clock (and a moment of real time, so that the
// file phase waits for it); counts the fetches on their way at once. The first chunk may fail.
class DistantObjects final : public ChunkObjects, public WaitClock {
public:
    DistantObjects(std::uint64_t answer_ms, bool first_fails) : answer_ms_(answer_ms), first_fails_(first_fails) {}
    std::string retry_fetch(const std::string& path, std::uint64_t, bool, const LogLine&) override {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            most_at_once_ = std::max(most_at_once_, ++at_once_);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        now_ += answer_ms_;
        const std::lock_guard<std::mutex> lock(mutex_);
        --at_once_;
        if (first_fails_ && path == chunk_path("c0")) {
            throw FetchError("503 Service Unavailable");
        }
        return path;
    }
    std::uint64_t now_ms() override { return now_; }
    int most_at_once() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return most_at_once_;
    }

private:
    const std::uint64_t answer_ms_;
    const bool first_fails_;
    std::atomic<std::uint64_t> now_{0};
    std::mutex mutex_;
    int at_once_ = 0;
    int most_at_once_ = 0;
};

TEST(PrefetchPool, AddsWorkersOnlyWhileADistantStoreKeepsTheFilesWaiting) {
    struct Case {
        const char* name;
        std::uint64_t answer_ms;
        std::uint64_t budget_chunks;
        std::uint32_t max_workers;
        int threads_granted;
        bool first_fails;
        int want_threads;
        int want_most_at_once; // at most
    };
    const Case cases[] = {
        {"a distant store: one worker more per wait, up to the ceiling", 20, 1000, 8, 100, false, 8, 8},
        {"a store that answers within 2 ms keeps the first four", 1, 1000, 8, 100, false, 4, 4},
        {"the budget holds the transfers back, not the workers", 20, 3, 8, 100, false, 4, 3},
        {"a ceiling below four", 20, 1000, 3, 100, false, 3, 3},
        {"the platform refuses a fifth thread: the four go on", 20, 1000, 8, 4, false, 4, 4},
        {"a store that failed a request gets no more workers", 20, 1000, 8, 100, true, 4, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ManifestChunk> chunks;
        for (int i = 0; i < 120; ++i) {
            chunks.push_back(ManifestChunk{"c" + std::to_string(i), 10, 10});
        }
        std::vector<const ManifestChunk*> order;
        for (const ManifestChunk& chunk : chunks) {
            order.push_back(&chunk);
        }
        DistantObjects store(c.answer_ms, c.first_fails);
        std::atomic<int> started{0};
        const ThreadStarter granting = kyrtest::granting_threads(c.threads_granted);
        const ThreadStarter counting = [&](std::function<void()> work) {
            std::thread thread = granting(std::move(work));
            ++started;
            return thread;
        };
        {
            PrefetchPool pool(order, store, c.max_workers, counting, 10 * c.budget_chunks, store);
            pool.start({});
            for (const ManifestChunk& chunk : chunks) {
                const bool failed = c.first_fails && chunk.h == "c0";
                EXPECT_EQ(pool.take(chunk.h).value_or(""), failed ? "" : chunk_path(chunk.h));
            }
        }
        EXPECT_EQ(started, c.want_threads);
        EXPECT_LE(store.most_at_once(), c.want_most_at_once);
    }
}

} // namespace
