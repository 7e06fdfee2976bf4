#pragma once
// The door every byte of a run's downloads passes as it arrives, in whichever fetcher and on whichever
// thread: it counts the bytes and holds them to the player's bandwidth limit, one token bucket for all
// transfers of the run together (chunks, packs and documents, every prefetch worker).

#include "patch/sliced_sleep.hpp"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace gu::patch {

class TransferGate {
public:
    // limit_bytes_per_s 0: no limit, the bytes are only counted. cancel may be empty. The bucket starts
    // empty, so even the first second of a run stays within the limit.
    TransferGate(std::uint64_t limit_bytes_per_s, std::function<bool()> cancel, WaitClock& clock = system_wait_clock());

    // A block of `bytes` arrived: counts it and, under a limit, returns once the run's transfers are back
    // within it, sleeping in slices. False when cancel said true meanwhile: the caller ends its transfer.
    bool pass(std::uint64_t bytes);

    std::uint64_t bytes_passed() const { return passed_.load(); }

    // Told the running count after each block, on the thread that passed it. Set and cleared only while
    // no transfer runs (the engine watches its pack phase, when only the run's own thread downloads).
    void watch(std::function<void(std::uint64_t)> watcher) { watcher_ = std::move(watcher); }

private:
    // Milliseconds to wait until the block just taken is paid for.
    std::uint64_t take(std::uint64_t bytes);

    const double bytes_per_ms_;
    const double capacity_; // what an idle moment may save up: half a second's worth
    const std::function<bool()> cancel_;
    WaitClock& clock_;
    std::mutex mutex_;
    double tokens_ = 0; // negative while arrived bytes are not yet paid for
    std::uint64_t refilled_at_ms_;
    std::atomic<std::uint64_t> passed_{0};
    std::function<void(std::uint64_t)> watcher_;
};

// Passes a block through gate when there is one; false only when a wait for the limit was cancelled.
inline bool admit(TransferGate* gate, std::uint64_t bytes) {
    return gate == nullptr || gate->pass(bytes);
}

} // namespace gu::patch
