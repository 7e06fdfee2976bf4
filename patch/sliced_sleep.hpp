#pragma once
// Every wait of the engine sleeps in short slices and asks the cancel callback between them, so that a
// player who cancels never waits for the rest of a long back-off.

#include <cstdint>
#include <functional>

namespace gu::patch {

inline constexpr std::uint32_t kSleepSliceMs = 250;

// The clock and the sleep behind a seam: tests run a 200-second wait ladder in virtual time.
class WaitClock {
public:
    virtual ~WaitClock() = default;
    // Milliseconds of a monotonic clock.
    virtual std::uint64_t now_ms();
    // One slice of sleep, never longer than kSleepSliceMs.
    virtual void pause_ms(std::uint32_t ms);
};

// The steady clock and the thread's own sleep; safe to share between threads.
WaitClock& system_wait_clock();

// Sleeps ms milliseconds in slices of at most kSleepSliceMs, polling cancel (may be empty) before each
// slice. Returns false when cancel said true, which ends the sleep early; true after the whole sleep.
bool sleep_sliced(std::uint64_t ms, const std::function<bool()>& cancel, WaitClock& clock = system_wait_clock());

} // namespace gu::patch
