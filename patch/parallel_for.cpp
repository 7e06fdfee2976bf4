#include "patch/parallel_for.hpp"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace gu::patch {

void parallel_for(std::size_t count, unsigned workers, const std::function<void(std::size_t)>& body) {
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            body(i);
        }
    };
    std::vector<std::thread> threads;
    const std::size_t extra = std::min<std::size_t>(workers > 1 ? workers - 1 : 0, count > 1 ? count - 1 : 0);
    for (std::size_t t = 0; t < extra; ++t) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break; // fewer threads only make it slower
        }
    }
    work();
    for (std::thread& thread : threads) {
        thread.join();
    }
}

WorkAhead::WorkAhead(std::vector<std::size_t> order, unsigned workers, std::function<void(std::size_t)> body)
    : order_(std::move(order)), body_(std::move(body)), done_(new std::atomic<bool>[order_.size()]) {
    for (std::size_t i = 0; i < order_.size(); ++i) {
        done_[i] = false;
    }
    const std::size_t extra = std::min<std::size_t>(workers > 1 ? workers - 1 : 0, order_.size());
    for (std::size_t t = 0; t < extra; ++t) {
        try {
            threads_.emplace_back([this] {
                while (run_next()) {
                }
            });
        } catch (const std::system_error&) {
            break; // the caller does the rest
        }
    }
}

WorkAhead::~WorkAhead() {
    while (run_next()) {
    }
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

bool WorkAhead::run_next() {
    const std::size_t started = next_++;
    if (started >= order_.size()) {
        return false;
    }
    const std::size_t i = order_[started];
    body_(i);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        done_[i] = true;
    }
    finished_.notify_all();
    return true;
}

void WorkAhead::wait_for(std::size_t i) {
    while (!done_[i]) {
        if (!run_next()) {
            std::unique_lock<std::mutex> lock(mutex_);
            finished_.wait(lock, [&] { return done_[i].load(); });
        }
    }
}

unsigned cpu_workers() {
    const unsigned hardware = std::thread::hardware_concurrency();
    return std::clamp(hardware, 1u, 4u);
}

} // namespace gu::patch
