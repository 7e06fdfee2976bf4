#pragma once
// Comparisons with a reference implementation inside one benchmark: each iteration runs ours, then the
// reference, so both see the same machine state, timed in this thread's CPU time (the machine is shared,
// and wall time would charge other processes' slices to whichever side they happened to interrupt).

#include <benchmark/benchmark.h>

#include <time.h>

namespace kyrbench {

inline double thread_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct SideBySide {
    double ours_seconds = 0;
    double reference_seconds = 0;
};

template <class Ours, class Reference>
SideBySide time_side_by_side(benchmark::State& state, Ours&& ours, Reference&& reference) {
    SideBySide total;
    for (auto _ : state) {
        const double t0 = thread_seconds();
        ours();
        const double t1 = thread_seconds();
        reference();
        const double t2 = thread_seconds();
        total.ours_seconds += t1 - t0;
        total.reference_seconds += t2 - t1;
    }
    return total;
}

} // namespace kyrbench
