#include "patch/prefetch_pool.hpp"

#include "patch/errors.hpp"

#include <algorithm>
#include <stdexcept>
#include <unordered_set>
#include <utility>

namespace gu::patch {

namespace {

std::vector<PrefetchPool::Job> collect_jobs(ChunkFetchContext& context, const std::vector<ManifestChunk>& chunks) {
    std::vector<PrefetchPool::Job> jobs;
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
        PrefetchPool::Job job;
        job.chunk = &chunk;
        jobs.push_back(std::move(job));
    }
    return jobs;
}

void append_line(std::string& text, const std::string& line) {
    text += line;
    text += '\n';
}

// True when the worker may take another job of this window.
bool run_job(ChunkObjects& store, PrefetchPool::Job& job) {
    const LogLine buffer = [&job](const std::string& line) { append_line(job.log_text, line); };
    try {
        job.bytes = store.retry_fetch(chunk_path(job.chunk->h), job.chunk->z, false, buffer);
        job.done = true;
    } catch (const LocalWriteError& e) {
        append_line(job.log_text, std::string("prefetch stopped, local write failed: ") + e.what());
        return false;
    } catch (const std::exception& e) {
        append_line(job.log_text, std::string("prefetch failed, will retry sequentially: ") + e.what());
    } catch (...) {
        // Nothing may escape a thread's function: it would end the process.
        append_line(job.log_text, "prefetch failed, will retry sequentially: unknown error");
    }
    return true;
}

void forward_job_lines(const std::vector<PrefetchPool::Job>& jobs, const LogLine& log) {
    for (const PrefetchPool::Job& job : jobs) {
        // Every buffered line ends in a line feed; a message may hold more than one line.
        std::size_t start = 0;
        std::size_t end = 0;
        while ((end = job.log_text.find('\n', start)) != std::string::npos) {
            log(job.log_text.substr(start, end - start));
            start = end + 1;
        }
    }
}

} // namespace

PrefetchPool::PrefetchPool(std::uint32_t workers, ThreadStarter start_thread)
    : workers_(workers), start_thread_(std::move(start_thread)) {}

PrefetchPool::~PrefetchPool() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    work_arrives_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void PrefetchPool::start_workers(std::size_t wanted, const LogLine& log) {
    std::string refusal;
    while (threads_.size() < wanted) {
        try {
            threads_.push_back(gu::patch::start_thread(start_thread_, [this] { work(); }));
        } catch (const std::exception& e) {
            refusal = e.what();
            break;
        }
    }
    if (threads_.size() < wanted && log) {
        log("prefetch pool: spawned " + std::to_string(threads_.size()) + "/" + std::to_string(wanted) +
            " workers (" + refusal + "); the rest goes sequential");
    }
}

void PrefetchPool::prefetch(ChunkFetchContext& context, const DownloaderConfig& config,
                            const std::vector<ManifestChunk>& chunks) {
    if (workers_ < 2) {
        return;
    }
    std::vector<Job> jobs = collect_jobs(context, chunks);
    if (jobs.size() < 2) {
        return;
    }
    if (config.cancel && config.cancel()) {
        throw std::runtime_error("cancelled");
    }
    start_workers(std::min<std::size_t>(workers_, jobs.size()), context.log);
    if (!threads_.empty()) {
        std::unique_lock<std::mutex> lock(mutex_);
        jobs_ = &jobs;
        store_ = &context.retry_fetch;
        next_job_ = 0;
        finished_jobs_ = 0;
        work_arrives_.notify_all();
        window_done_.wait(lock, [&] { return finished_jobs_ == jobs.size(); });
        jobs_ = nullptr;
    }
    if (context.log) {
        forward_job_lines(jobs, context.log);
    }
    for (Job& job : jobs) {
        if (job.done) {
            context.prefetched[job.chunk->h] = std::move(job.bytes);
        }
    }
}

void PrefetchPool::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        work_arrives_.wait(lock, [&] { return stopping_ || (jobs_ != nullptr && next_job_ < jobs_->size()); });
        if (stopping_) {
            return;
        }
        std::vector<Job>& jobs = *jobs_;
        ChunkObjects& store = *store_;
        Job& job = jobs[next_job_++];
        lock.unlock();
        const bool go_on = run_job(store, job);
        lock.lock();
        ++finished_jobs_;
        if (!go_on) {
            // The disk here fails: the rest of the window is left to the sequential pass.
            finished_jobs_ += jobs.size() - next_job_;
            next_job_ = jobs.size();
        }
        if (finished_jobs_ == jobs.size()) {
            window_done_.notify_one();
        }
    }
}

} // namespace gu::patch
