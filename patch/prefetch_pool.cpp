#include "patch/prefetch_pool.hpp"

#include "patch/errors.hpp"

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <utility>

namespace gu::patch {

namespace {

struct PrefetchJob {
    const ManifestChunk* chunk = nullptr;
    // Written by the one worker that took the job, read after the join.
    std::string bytes;
    bool done = false;
    std::string log_text;
};

std::vector<PrefetchJob> collect_jobs(ChunkFetchContext& context, const std::vector<ManifestChunk>& chunks) {
    std::vector<PrefetchJob> jobs;
    std::unordered_set<std::string> seen;
    for (const ManifestChunk& chunk : chunks) {
        if (!seen.insert(chunk.h).second) {
            continue;
        }
        if (context.local_chunks.count(chunk.h) != 0 || context.previous_chunks.count(chunk.h) != 0 ||
            (context.held != nullptr && context.held->holds(chunk.h)) || context.prefetched.count(chunk.h) != 0 ||
            (context.packs != nullptr && context.packs->will_deliver(chunk.h))) {
            continue;
        }
        PrefetchJob job;
        job.chunk = &chunk;
        jobs.push_back(std::move(job));
    }
    return jobs;
}

void append_line(std::string& text, const std::string& line) {
    text += line;
    text += '\n';
}

void run_worker(ChunkObjects& store, std::vector<PrefetchJob>& jobs, std::atomic<std::size_t>& next_job) {
    while (true) {
        const std::size_t index = next_job.fetch_add(1);
        if (index >= jobs.size()) {
            return;
        }
        PrefetchJob& job = jobs[index];
        const LogLine buffer = [&job](const std::string& line) { append_line(job.log_text, line); };
        try {
            job.bytes = store.retry_fetch(chunk_path(job.chunk->h), job.chunk->z, false, buffer);
            job.done = true;
        } catch (const LocalWriteError& e) {
            append_line(job.log_text, std::string("prefetch stopped, local write failed: ") + e.what());
            return;
        } catch (const std::exception& e) {
            append_line(job.log_text, std::string("prefetch failed, will retry sequentially: ") + e.what());
        } catch (...) {
            // Nothing may escape a thread's function: it would end the process.
            append_line(job.log_text, "prefetch failed, will retry sequentially: unknown error");
        }
    }
}

} // namespace

void prefetch_chunks(ChunkFetchContext& context, const DownloaderConfig& config,
                     const std::vector<ManifestChunk>& chunks, const ThreadStarter& start_thread) {
    if (config.prefetch_workers < 2) {
        return;
    }
    std::vector<PrefetchJob> jobs = collect_jobs(context, chunks);
    if (jobs.size() < 2) {
        return;
    }
    if (config.cancel && config.cancel()) {
        throw std::runtime_error("cancelled");
    }

    const std::size_t wanted = std::min<std::size_t>(config.prefetch_workers, jobs.size());
    std::atomic<std::size_t> next_job{0};
    std::vector<std::thread> workers;
    workers.reserve(wanted);
    std::string spawn_error;
    for (std::size_t i = 0; i < wanted; ++i) {
        std::function<void()> work = [&context, &jobs, &next_job] { run_worker(context.retry_fetch, jobs, next_job); };
        try {
            workers.push_back(gu::patch::start_thread(start_thread, std::move(work)));
        } catch (const std::exception& e) {
            spawn_error = e.what();
            break;
        }
    }
    for (std::thread& worker : workers) {
        worker.join();
    }

    const LogLine& log = context.log;
    if (log) {
        if (workers.size() < wanted) {
            log("prefetch pool: spawned " + std::to_string(workers.size()) + "/" + std::to_string(wanted) +
                " workers (" + spawn_error + "); the rest goes sequential");
        }
        for (const PrefetchJob& job : jobs) {
            // Every buffered line ends in a line feed; a message may hold more than one line.
            std::size_t start = 0;
            std::size_t end = 0;
            while ((end = job.log_text.find('\n', start)) != std::string::npos) {
                log(job.log_text.substr(start, end - start));
                start = end + 1;
            }
        }
    }
    for (PrefetchJob& job : jobs) {
        if (job.done) {
            context.prefetched[job.chunk->h] = std::move(job.bytes);
        }
    }
}

} // namespace gu::patch
