#include "patch/prefetch_pool.hpp"

#include "patch/errors.hpp"

#include <algorithm>
#include <string>
#include <utility>

namespace gu::patch {

PrefetchPool::PrefetchPool(std::vector<const ManifestChunk*> chunks, ChunkObjects& store, std::uint32_t max_workers,
                           ThreadStarter start_thread, std::uint64_t budget_bytes, WaitClock& clock)
    : store_(store), max_workers_(max_workers), start_thread_(std::move(start_thread)), budget_bytes_(budget_bytes),
      clock_(clock) {
    for (const ManifestChunk* chunk : chunks) {
        if (index_.emplace(chunk->h, jobs_.size()).second) {
            jobs_.push_back(Job{chunk});
        }
    }
}

PrefetchPool::~PrefetchPool() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    workers_wake_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void PrefetchPool::start(const LogLine& log) {
    if (max_workers_ < 2 || jobs_.size() < 2) {
        return;
    }
    const std::size_t wanted = std::min<std::size_t>({max_workers_, kStartingWorkers, jobs_.size()});
    std::string refusal;
    while (threads_.size() < wanted) {
        try {
            start_worker();
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

void PrefetchPool::start_worker() {
    threads_.push_back(gu::patch::start_thread(start_thread_, [this] { work(); }));
}

bool PrefetchPool::may_start_next() const {
    if (stopped_ || next_job_ >= jobs_.size()) {
        return false;
    }
    const std::uint64_t size = jobs_[next_job_].chunk->z;
    return outstanding_bytes_ == 0 || outstanding_bytes_ + size <= budget_bytes_;
}

void PrefetchPool::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        workers_wake_.wait(lock, [&] { return stopping_ || may_start_next(); });
        if (stopping_) {
            return;
        }
        Job& job = jobs_[next_job_++];
        if (job.state != State::queued) {
            continue; // passed by the file phase before it was started
        }
        job.state = State::fetching;
        outstanding_bytes_ += job.chunk->z;
        ++fetching_;
        lock.unlock();
        const LogLine log = [this](const std::string& line) { log_lines_.add(line); };
        std::string bytes;
        bool fetched = false;
        bool disk_fails = false;
        const std::uint64_t started_ms = clock_.now_ms();
        try {
            bytes = store_.retry_fetch(chunk_path(job.chunk->h), job.chunk->z, false, log);
            fetched = true;
        } catch (const LocalWriteError& e) {
            log(std::string("prefetch stopped, local write failed: ") + e.what());
            disk_fails = true;
        } catch (const std::exception& e) {
            log(std::string("prefetch failed, will retry sequentially: ") + e.what());
        } catch (...) {
            // Nothing may escape a thread's function: it would end the process.
            log("prefetch failed, will retry sequentially: unknown error");
        }
        const std::uint64_t took_ms = clock_.now_ms() - started_ms;
        lock.lock();
        --fetching_;
        if (fetched) {
            quickest_fetch_ms_ = std::min(quickest_fetch_ms_.value_or(took_ms), took_ms);
        } else {
            growth_stopped_ = true;
        }
        stopped_ = stopped_ || disk_fails;
        if (fetched && job.state == State::fetching) {
            job.state = State::done;
            job.bytes = std::move(bytes);
        } else {
            // Failed, or passed while it was on its way: its room is free again.
            job.state = fetched ? State::gone : State::failed;
            outstanding_bytes_ -= job.chunk->z;
            workers_wake_.notify_all();
        }
        taker_wakes_.notify_all();
    }
}

// The jobs before `index` that were not taken will never be: their bytes go, those not started yet are
// skipped, and a worker fetching one frees its room when it returns. Each job is passed once.
void PrefetchPool::drop_before(std::size_t index) {
    bool room_freed = false;
    for (; passed_ < index; ++passed_) {
        Job& job = jobs_[passed_];
        if (job.state == State::done) {
            outstanding_bytes_ -= job.chunk->z;
            std::string().swap(job.bytes);
            room_freed = true;
        }
        job.state = State::gone;
    }
    if (room_freed) {
        workers_wake_.notify_all();
    }
}

std::optional<std::string> PrefetchPool::take(const std::string& hash) {
    const auto found = index_.find(hash);
    if (found == index_.end() || threads_.empty()) {
        return std::nullopt;
    }
    const std::size_t index = found->second;
    std::unique_lock<std::mutex> lock(mutex_);
    drop_before(index);
    Job& job = jobs_[index];
    if (job.state == State::queued || job.state == State::fetching) {
        add_worker_if_all_busy();
    }
    taker_wakes_.wait(lock, [&] {
        return job.state == State::done || job.state == State::failed || job.state == State::gone ||
               (job.state == State::queued && stopped_);
    });
    const bool done = job.state == State::done;
    job.state = State::gone;
    if (!done) {
        return std::nullopt;
    }
    outstanding_bytes_ -= job.chunk->z;
    std::string bytes = std::move(job.bytes);
    lock.unlock();
    workers_wake_.notify_all();
    return bytes;
}

void PrefetchPool::add_worker_if_all_busy() {
    const bool distant_store = quickest_fetch_ms_ && *quickest_fetch_ms_ >= kNearStoreMs;
    if (!distant_store || growth_stopped_ || threads_.empty() || threads_.size() >= max_workers_ ||
        fetching_ < threads_.size() || !may_start_next()) {
        return;
    }
    try {
        start_worker();
    } catch (const std::exception&) {
        growth_stopped_ = true;
    }
}

void PrefetchPool::forward_log(const LogLine& log) {
    log_lines_.forward(log);
}

} // namespace gu::patch
