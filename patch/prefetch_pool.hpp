#pragma once
// The prefetch pool: before the sequential pass assembles a file, a few worker threads download the
// file's missing chunk objects in parallel, so that fetch_chunk then finds them in `prefetched`. The
// workers live as long as the pool, so each keeps its connection to the store (and its TLS session) from
// one window to the next instead of opening a new one per window.

#include "patch/chunk_fetch.hpp"
#include "patch/downloader_config.hpp"
#include "patch/store_records.hpp"
#include "patch/thread_starter.hpp"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace gu::patch {

class PrefetchPool {
public:
    // Up to `workers` threads (none below 2), started as windows first need them.
    explicit PrefetchPool(std::uint32_t workers, ThreadStarter start_thread = {});
    // Ends the workers; a window is never under way then (prefetch returns only once its window is done).
    ~PrefetchPool();
    PrefetchPool(const PrefetchPool&) = delete;
    PrefetchPool& operator=(const PrefetchPool&) = delete;

    // Downloads the distinct chunk objects of `chunks` that neither the installed files (local_chunks,
    // previous_chunks) nor a usable pack can serve, and moves them into context.prefetched; returns once
    // every one is done. A chunk whose download fails is simply left out: fetch_chunk fetches it itself.
    // Workers only use context.retry_fetch (without store waits) and their own buffers; everything else,
    // the log included, is touched on the calling thread. Throws "cancelled".
    void prefetch(ChunkFetchContext& context, const DownloaderConfig& config, const std::vector<ManifestChunk>& chunks);

    struct Job {
        const ManifestChunk* chunk = nullptr;
        std::string bytes;
        bool done = false;
        std::string log_text;
    };

private:
    void start_workers(std::size_t wanted, const LogLine& log);
    void work();

    const std::uint32_t workers_;
    const ThreadStarter start_thread_;
    std::mutex mutex_;
    std::condition_variable work_arrives_;
    std::condition_variable window_done_;
    // The window under way: its jobs, the next one to take, how many are finished, where they download.
    std::vector<Job>* jobs_ = nullptr;
    ChunkObjects* store_ = nullptr;
    std::size_t next_job_ = 0;
    std::size_t finished_jobs_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace gu::patch
