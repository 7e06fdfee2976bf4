#include "patch/parallel_for.hpp"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
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

unsigned cpu_workers() {
    const unsigned hardware = std::thread::hardware_concurrency();
    return std::clamp(hardware, 1u, 4u);
}

} // namespace gu::patch
