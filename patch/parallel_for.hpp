#pragma once

#include <cstddef>
#include <functional>

namespace gu::patch {

// Runs body(i) for every i in [0, count) on up to `workers` threads, the calling one included, and
// returns when all are done. body must not throw.
void parallel_for(std::size_t count, unsigned workers, const std::function<void(std::size_t)>& body);

// Threads worth using for CPU-bound work on this machine (at least 1, at most 4).
unsigned cpu_workers();

} // namespace gu::patch
