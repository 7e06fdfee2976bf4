#pragma once
// One piece of work done on a thread of its own while the run's thread goes on with another: a local file
// read while a document downloads, a document downloaded while local files are read. Where the platform
// refuses the thread, the work is done by get(), on the calling thread: slower, never wrong.

#include "patch/thread_starter.hpp"

#include <functional>
#include <future>
#include <thread>
#include <utility>

namespace gu::patch {

template <typename Result> class SideTask {
public:
    SideTask(const ThreadStarter& start, std::function<Result()> work)
        : task_(std::move(work)), result_(task_.get_future()) {
        try {
            thread_ = start_thread(start, [this] { task_(); });
        } catch (const std::exception&) {
            // get() does the work.
        }
    }
    ~SideTask() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    SideTask(const SideTask&) = delete;
    SideTask& operator=(const SideTask&) = delete;

    // Waits for the work (or does it) and returns its result; rethrows what it threw. Once only.
    Result get() {
        if (thread_.joinable()) {
            thread_.join();
        } else {
            task_();
        }
        return result_.get();
    }

private:
    std::packaged_task<Result()> task_;
    std::future<Result> result_;
    std::thread thread_;
};

} // namespace gu::patch
