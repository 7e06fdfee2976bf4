#include "tools/kyr-store/chunk_pipeline.hpp"

#include "tools/kyr-store/chunk_objects.hpp"

#include "patch/sha256.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>

namespace kyrstore {
namespace {

using gu::patch::ManifestChunk;
using gu::patch::ManifestFile;

struct ChunkJob {
    std::string bytes;
    ManifestChunk* slot; // filled with h and n by the worker
};

// A bounded hand-over from the reader to the workers; closing it wakes everybody.
class JobQueue {
public:
    explicit JobQueue(std::size_t capacity) : capacity_(capacity) {}

    bool push(ChunkJob job) {
        std::unique_lock<std::mutex> lock(mutex_);
        not_full_.wait(lock, [&] { return closed_ || jobs_.size() < capacity_; });
        if (closed_) {
            return false;
        }
        jobs_.push_back(std::move(job));
        not_empty_.notify_one();
        return true;
    }

    std::optional<ChunkJob> pop() {
        std::unique_lock<std::mutex> lock(mutex_);
        not_empty_.wait(lock, [&] { return closed_ || !jobs_.empty(); });
        if (jobs_.empty()) {
            return std::nullopt;
        }
        ChunkJob job = std::move(jobs_.front());
        jobs_.pop_front();
        not_full_.notify_one();
        return job;
    }

    // After close, pop still drains what is queued; push refuses.
    void close() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        not_full_.notify_all();
        not_empty_.notify_all();
    }

    void abandon() {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.clear();
        closed_ = true;
        not_full_.notify_all();
        not_empty_.notify_all();
    }

private:
    std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable not_full_;
    std::condition_variable not_empty_;
    std::deque<ChunkJob> jobs_;
    bool closed_ = false;
};

// What the workers share: which hashes are claimed, their stored sizes, the counters and the first error.
class SharedResults {
public:
    // True for the first worker that meets the hash: it stores the object, the others only refer to it.
    bool claim(const std::string& h) {
        std::lock_guard<std::mutex> lock(mutex_);
        return sizes_.emplace(h, 0).second;
    }

    void record(const std::string& h, const StoredObject& object) {
        std::lock_guard<std::mutex> lock(mutex_);
        sizes_[h] = object.z;
        stats_.stored_bytes += object.z;
        switch (object.fate) {
        case ObjectFate::reused:
            ++stats_.reused;
            break;
        case ObjectFate::repaired:
            ++stats_.repaired;
            stats_.written_bytes += object.z;
            break;
        case ObjectFate::written:
            ++stats_.written;
            stats_.written_bytes += object.z;
            break;
        }
    }

    void fail(std::exception_ptr error) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!error_) {
            error_ = std::move(error);
        }
    }

    std::exception_ptr error() {
        std::lock_guard<std::mutex> lock(mutex_);
        return error_;
    }

    // Only after every worker has ended.
    const std::unordered_map<std::string, std::uint64_t>& sizes() const { return sizes_; }
    ChunkingStats& stats() { return stats_; }

private:
    std::mutex mutex_;
    std::unordered_map<std::string, std::uint64_t> sizes_;
    ChunkingStats stats_;
    std::exception_ptr error_;
};

void run_worker(JobQueue& queue, SharedResults& shared, const ChunkingOptions& options,
                std::atomic<std::uint64_t>& done_bytes) {
    try {
        ChunkObjectWriter writer(options.store, options.level);
        while (std::optional<ChunkJob> job = queue.pop()) {
            const std::string h = gu::patch::sha256_hex(job->bytes);
            job->slot->h = h;
            job->slot->n = job->bytes.size();
            if (shared.claim(h)) {
                shared.record(h, writer.store(h, job->bytes));
            }
            done_bytes += job->bytes.size();
        }
    } catch (...) {
        shared.fail(std::current_exception());
        queue.abandon();
    }
}

class ProgressThrottle {
public:
    explicit ProgressThrottle(const std::function<void(std::uint64_t, std::uint64_t)>& report) : report_(report) {}

    void maybe(std::uint64_t done, std::uint64_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (report_ && now - last_ >= std::chrono::milliseconds(100)) {
            last_ = now;
            report_(done, total);
        }
    }

    void finish(std::uint64_t total) {
        if (report_) {
            report_(total, total);
        }
    }

private:
    const std::function<void(std::uint64_t, std::uint64_t)>& report_;
    std::chrono::steady_clock::time_point last_{};
};

} // namespace

std::vector<ManifestFile> chunk_game_files(const std::vector<GameFile>& files, const ChunkingOptions& options,
                                           ChunkingStats& stats) {
    const unsigned workers = options.threads == 0 ? 1 : options.threads;
    std::uint64_t total_bytes = 0;
    for (const GameFile& file : files) {
        total_bytes += file.size;
    }

    // A deque keeps its elements in place while the reader appends, so workers may fill slots meanwhile.
    std::deque<ManifestChunk> slots;
    std::vector<std::size_t> first_slot;
    first_slot.reserve(files.size() + 1);
    std::vector<std::string> file_hashes;
    file_hashes.reserve(files.size());

    JobQueue queue(static_cast<std::size_t>(workers) * 2);
    SharedResults shared;
    std::atomic<std::uint64_t> done_bytes{0};
    std::vector<std::thread> threads;
    threads.reserve(workers);
    const auto stop_workers = [&](bool abandon) {
        if (abandon) {
            queue.abandon();
        } else {
            queue.close();
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    };
    try {
        for (unsigned i = 0; i < workers; ++i) {
            threads.emplace_back(run_worker, std::ref(queue), std::ref(shared), std::cref(options),
                                 std::ref(done_bytes));
        }
        ProgressThrottle progress(options.progress);
        for (const GameFile& file : files) {
            first_slot.push_back(slots.size());
            FileChunker chunker(file.source, options.sizes);
            gu::patch::Sha256 whole;
            std::uint64_t read = 0;
            std::string_view chunk;
            while (chunker.next(chunk)) {
                whole.update(chunk);
                read += chunk.size();
                slots.emplace_back();
                if (!queue.push({std::string(chunk), &slots.back()})) {
                    break; // a worker failed; its error is reported below
                }
                progress.maybe(done_bytes.load(), total_bytes);
            }
            if (shared.error()) {
                break;
            }
            if (read != file.size) {
                throw std::runtime_error("file \"" + file.path + "\" changed while it was published (size " +
                                         std::to_string(file.size) + ", read " + std::to_string(read) + ")");
            }
            const gu::patch::Sha256Digest digest = whole.finish();
            file_hashes.push_back(gu::patch::to_hex(digest.data(), digest.size()));
        }
        stop_workers(false);
        if (std::exception_ptr error = shared.error()) {
            std::rethrow_exception(error);
        }
        progress.finish(total_bytes);
    } catch (...) {
        if (!threads.empty() && threads.front().joinable()) {
            stop_workers(true);
        }
        throw;
    }
    first_slot.push_back(slots.size());

    std::vector<ManifestFile> entries;
    entries.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        ManifestFile entry;
        entry.path = files[i].path;
        entry.size = files[i].size;
        entry.sha256 = file_hashes[i];
        entry.chunks.assign(slots.begin() + static_cast<std::ptrdiff_t>(first_slot[i]),
                            slots.begin() + static_cast<std::ptrdiff_t>(first_slot[i + 1]));
        for (ManifestChunk& chunk : entry.chunks) {
            chunk.z = shared.sizes().at(chunk.h);
        }
        entries.push_back(std::move(entry));
    }
    stats = shared.stats();
    stats.chunk_uses = slots.size();
    stats.distinct = shared.sizes().size();
    return entries;
}

} // namespace kyrstore
