#include "patch/retired_files.hpp"

#include <utility>

namespace gu::patch {

RetiredFiles::RetiredFiles(ThreadStarter start_thread) : start_thread_(std::move(start_thread)) {}

RetiredFiles::~RetiredFiles() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wakes_.notify_one();
    if (thread_.joinable()) {
        thread_.join();
    }
    for (const int handle : to_close_) {
        detail::release_held_file(handle);
    }
}

void RetiredFiles::replace(const std::filesystem::path& target, const std::function<void()>& replace) {
    bool room = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        room = held_ < kMostHeld;
    }
    const int held = room ? detail::hold_file(target) : -1;
    try {
        replace();
    } catch (...) {
        detail::release_held_file(held);
        throw;
    }
    if (held < 0) {
        return;
    }
    if (!thread_.joinable()) {
        try {
            thread_ = start_thread(start_thread_, [this] { close_held(); });
        } catch (const std::exception&) {
            detail::release_held_file(held);
            return;
        }
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        to_close_.push_back(held);
        ++held_;
    }
    wakes_.notify_one();
}

void RetiredFiles::close_held() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        wakes_.wait(lock, [&] { return stopping_ || !to_close_.empty(); });
        if (to_close_.empty()) {
            return;
        }
        std::vector<int> batch;
        batch.swap(to_close_);
        lock.unlock();
        for (const int handle : batch) {
            detail::release_held_file(handle);
        }
        lock.lock();
        held_ -= batch.size();
    }
}

} // namespace gu::patch
