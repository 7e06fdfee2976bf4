#include "launcher/shell/worker_thread.hpp"

#include <thread>
#include <utility>

namespace launcher {

bool startDetachedWorker(WorkerBody body) {
    try {
        std::thread([work = std::move(body)]() noexcept {
            try {
                work();
            } catch (...) {
                // A worker reports through its posted record; with none, there is nobody to tell.
            }
        }).detach();
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace launcher
