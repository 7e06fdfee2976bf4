// The prefetch pool downloads a file's missing chunk objects ahead of its assembly, with workers that live
// from one window to the next (each keeps its connection), and leaves failures to the sequential pass.

#include "patch/errors.hpp"
#include "patch/prefetch_pool.hpp"
#include "patch/range_reader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>

namespace {

using namespace gu::patch;

// Serves every object as its path, except the ones told to fail, and counts what it was asked.
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

std::vector<ManifestChunk> chunks_named(std::initializer_list<const char*> hashes) {
    std::vector<ManifestChunk> chunks;
    for (const char* hash : hashes) {
        ManifestChunk chunk;
        chunk.h = hash;
        chunks.push_back(chunk);
    }
    return chunks;
}

TEST(PrefetchPool, FetchesEachWindowWithWorkersKeptAcrossWindows) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> failures;
        std::set<std::string> want_prefetched; // of the windows aa bb cc aa | dd ee ff 11
        const char* want_line;
    };
    const Case cases[] = {
        {"all arrive", {}, {"aa", "bb", "cc", "dd", "ee", "ff"}, nullptr},
        {"a failed download is left to the sequential pass",
         {{"bb", "fetch"}},
         {"aa", "cc", "dd", "ee", "ff"},
         "prefetch failed, will retry sequentially: connection reset"},
        {"a local write failure ends its window without a hang; the next window runs",
         {{"aa", "disk"}, {"bb", "disk"}, {"cc", "disk"}},
         {"dd", "ee", "ff"},
         "prefetch stopped, local write failed: disk full"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocalChunkMap local;
        LocalChunkMap previous{{"11", LocalChunkRef{"old.bin", 0, 1}}}; // on the disk already
        const std::filesystem::path folder = "unused";
        ChunkSet verified;
        std::uint32_t obtained = 0;
        std::uint64_t downloaded = 0;
        PrefetchedChunks prefetched;
        ScriptedObjects objects;
        objects.failures = c.failures;
        std::vector<std::string> lines;
        const LogLine log = [&](const std::string& line) { lines.push_back(line); };
        RangeReader files;
        ChunkFetchContext context{local,      folder,  previous, folder, nullptr, verified,
                                  ChunkCounters{obtained, downloaded},
                                  prefetched, objects, log,      files};
        std::atomic<int> started{0};
        const ThreadStarter counting = [&](std::function<void()> work) {
            ++started;
            return std::thread(std::move(work));
        };
        {
            PrefetchPool pool(2, counting);
            pool.prefetch(context, DownloaderConfig{}, chunks_named({"aa", "bb", "cc", "aa"}));
            pool.prefetch(context, DownloaderConfig{}, chunks_named({"dd", "ee", "ff", "11"}));
        }
        EXPECT_EQ(started, 2);
        std::set<std::string> got;
        for (const auto& [hash, bytes] : prefetched) {
            EXPECT_EQ(bytes, chunk_path(hash));
            got.insert(hash);
        }
        EXPECT_EQ(got, c.want_prefetched);
        EXPECT_LE(objects.asked("aa"), 1); // named twice
        EXPECT_EQ(objects.asked("11"), 0);
        if (c.want_line != nullptr) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), c.want_line), lines.end());
        }
    }
}

} // namespace
