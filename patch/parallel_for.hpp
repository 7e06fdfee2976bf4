#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace gu::patch {

// Runs body(i) for every i in [0, count) on up to `workers` threads, the calling one included, and
// returns when all are done. body must not throw.
void parallel_for(std::size_t count, unsigned workers, const std::function<void(std::size_t)>& body);

// Runs body(i) for every i of `order` (the items 0 to n-1, in the order they are started) on up to
// `workers` - 1 threads of its own while the caller consumes the results: wait_for(i) returns once body(i)
// is done, running pending items on the calling thread meanwhile, so the caller is the last worker rather
// than idle. The destructor finishes every item. body must not throw.
class WorkAhead {
public:
    WorkAhead(std::vector<std::size_t> order, unsigned workers, std::function<void(std::size_t)> body);
    ~WorkAhead();
    WorkAhead(const WorkAhead&) = delete;
    WorkAhead& operator=(const WorkAhead&) = delete;

    void wait_for(std::size_t i);

private:
    bool run_next();

    const std::vector<std::size_t> order_;
    const std::function<void(std::size_t)> body_;
    std::atomic<std::size_t> next_{0};
    std::unique_ptr<std::atomic<bool>[]> done_;
    std::mutex mutex_;
    std::condition_variable finished_;
    std::vector<std::thread> threads_;
};

// Threads worth using for CPU-bound work on this machine (at least 1, at most 4).
unsigned cpu_workers();

} // namespace gu::patch
