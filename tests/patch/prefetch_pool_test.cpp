// The prefetch pool fetches the run's chunk objects ahead of the files, in the order they are used, within
// its budget, and leaves what it cannot fetch to the file phase.

#include "patch/errors.hpp"
#include "patch/prefetch_pool.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <stdexcept>

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

} // namespace
