#include "patch/sliced_sleep.hpp"

#include <algorithm>
#include <chrono>
#include <thread>

namespace gu::patch {

std::uint64_t WaitClock::now_ms() {
    const auto since_epoch = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count());
}

void WaitClock::pause_ms(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

WaitClock& system_wait_clock() {
    // Stateless, so one instance serves every thread.
    static WaitClock clock;
    return clock;
}

bool sleep_sliced(std::uint64_t ms, const std::function<bool()>& cancel, WaitClock& clock) {
    while (ms > 0) {
        if (cancel && cancel()) {
            return false;
        }
        const auto slice = static_cast<std::uint32_t>(std::min<std::uint64_t>(ms, kSleepSliceMs));
        clock.pause_ms(slice);
        ms -= slice;
    }
    return true;
}

} // namespace gu::patch
