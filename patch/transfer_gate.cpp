#include "patch/transfer_gate.hpp"

#include <algorithm>
#include <cmath>

namespace gu::patch {
namespace {

constexpr double kSavedUpMs = 500;

} // namespace

TransferGate::TransferGate(std::uint64_t limit_bytes_per_s, std::function<bool()> cancel, WaitClock& clock)
    : bytes_per_ms_(static_cast<double>(limit_bytes_per_s) / 1000), capacity_(bytes_per_ms_ * kSavedUpMs),
      cancel_(std::move(cancel)), clock_(clock), refilled_at_ms_(clock.now_ms()) {}

std::uint64_t TransferGate::take(std::uint64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::uint64_t now = clock_.now_ms();
    if (now > refilled_at_ms_) {
        tokens_ = std::min(capacity_, tokens_ + static_cast<double>(now - refilled_at_ms_) * bytes_per_ms_);
        refilled_at_ms_ = now;
    }
    // Every caller takes its block at once and waits for the debt up to and including it: concurrent
    // transfers queue behind each other and together keep to the rate.
    tokens_ -= static_cast<double>(bytes);
    return tokens_ < 0 ? static_cast<std::uint64_t>(std::ceil(-tokens_ / bytes_per_ms_)) : 0;
}

bool TransferGate::pass(std::uint64_t bytes) {
    const std::uint64_t total = passed_.fetch_add(bytes) + bytes;
    if (watcher_) {
        watcher_(total);
    }
    if (bytes_per_ms_ <= 0) {
        return true;
    }
    return sleep_sliced(take(bytes), cancel_, clock_);
}

} // namespace gu::patch
