#pragma once
// The prefetch pool: worker threads download the run's chunk objects ahead of the file phase, in the order
// the files use them, so that fetch_chunk finds each one waiting, or on its way, when its file needs it.
// The workers fetch across files and while files are assembled, instead of stopping the file phase for
// each file's chunks; they live as long as the pool, so each keeps its connection to the store (and its
// TLS session). Memory: chunks fetched and not taken yet, with those on their way, stay within a budget.
//
// A store far away needs more requests on their way than a near one to keep the link busy: each request
// waits a round trip before its bytes flow. The pool starts a few workers and adds one whenever the file
// phase waits for a chunk while every worker is fetching and the budget has room for more, up to its
// ceiling. A store whose quickest answer so far came within kNearStoreMs (the same machine, the local
// network) gets no more: there the file phase waits for the processor, which more threads only share.
// Nor does a store that failed a request (one that limits its clients' connections, say): more requests
// would only add to its refusals.

#include "patch/chunk_fetch.hpp"
#include "patch/pending_log.hpp"
#include "patch/sliced_sleep.hpp"
#include "patch/store_records.hpp"
#include "patch/thread_starter.hpp"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

namespace gu::patch {

class PrefetchPool {
public:
    static constexpr std::uint64_t kDefaultBudgetBytes = 2 * 1024 * 1024;
    static constexpr std::uint32_t kStartingWorkers = 4;
    static constexpr std::uint64_t kNearStoreMs = 2;

    // Fetches `chunks` (distinct, in the order the file phase first uses them; they must outlive the
    // pool) from `store` with up to `max_workers` threads, none below 2. `clock` times the fetches.
    // Nothing happens before start().
    PrefetchPool(std::vector<const ManifestChunk*> chunks, ChunkObjects& store, std::uint32_t max_workers,
                 ThreadStarter start_thread = {}, std::uint64_t budget_bytes = kDefaultBudgetBytes,
                 WaitClock& clock = system_wait_clock());
    // Waits for the transfers under way and ends the workers.
    ~PrefetchPool();
    PrefetchPool(const PrefetchPool&) = delete;
    PrefetchPool& operator=(const PrefetchPool&) = delete;

    // Starts the first workers; logs when fewer than those could be started.
    void start(const LogLine& log);
    // The chunk's compressed bytes, once, waiting while they are on their way. Nothing when the pool does
    // not fetch that chunk, failed to (fetch_chunk then fetches it itself), or it was passed: taking a
    // chunk drops the ones before it that were not taken, since the file phase takes them in order.
    std::optional<std::string> take(const std::string& hash);
    // Passes the lines the workers logged to `log`, on the calling thread (the run's).
    void forward_log(const LogLine& log);

private:
    enum class State { queued, fetching, done, failed, gone };
    struct Job {
        const ManifestChunk* chunk = nullptr;
        State state = State::queued;
        std::string bytes;
    };

    void work();
    bool may_start_next() const; // with the lock held
    void drop_before(std::size_t index);
    void start_worker();
    void add_worker_if_all_busy(); // with the lock held

    std::vector<Job> jobs_;
    std::unordered_map<std::string_view, std::size_t> index_; // by chunk hash
    ChunkObjects& store_;
    const std::uint32_t max_workers_;
    const ThreadStarter start_thread_;
    const std::uint64_t budget_bytes_;
    WaitClock& clock_;

    std::mutex mutex_;
    std::condition_variable workers_wake_; // a job to start, room in the budget, the end
    std::condition_variable taker_wakes_;  // a job finished
    std::size_t next_job_ = 0;
    std::size_t passed_ = 0; // the jobs before it are all taken or passed by the file phase
    std::uint64_t outstanding_bytes_ = 0; // of the jobs fetching, and fetched and not taken
    std::size_t fetching_ = 0;            // workers in a fetch
    std::optional<std::uint64_t> quickest_fetch_ms_;
    bool growth_stopped_ = false; // a request failed, or the platform refused a thread
    bool stopping_ = false;
    bool stopped_ = false; // a local write failed: nothing more is fetched
    PendingLog log_lines_;
    std::vector<std::thread> threads_;
};

} // namespace gu::patch
