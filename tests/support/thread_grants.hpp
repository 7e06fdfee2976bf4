#pragma once
// A thread starter that grants the first `allowed` threads and then refuses, as a platform out of threads
// does: the seam through which tests check that refused threads only make the engine slower.

#include "patch/thread_starter.hpp"

#include <functional>
#include <system_error>
#include <thread>
#include <utility>

namespace kyrtest {

inline gu::patch::ThreadStarter granting_threads(int allowed) {
    return [allowed, granted = 0](std::function<void()> work) mutable {
        if (granted++ >= allowed) {
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        }
        return std::thread(std::move(work));
    };
}

} // namespace kyrtest
