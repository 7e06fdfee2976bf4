#pragma once

#include <functional>
#include <thread>

namespace gu::patch {

// Starts one thread; throws (std::system_error) when the platform refuses it. Empty means std::thread.
// A seam: tests make the platform refuse threads.
using ThreadStarter = std::function<std::thread(std::function<void()>)>;

inline std::thread start_thread(const ThreadStarter& starter, std::function<void()> work) {
    return starter ? starter(std::move(work)) : std::thread(std::move(work));
}

} // namespace gu::patch
