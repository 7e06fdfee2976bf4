#pragma once
// A LauncherState wired to fakes (view, message queue, launcher.ini, workers on joinable threads), so a
// test can wait for every worker it caused and then play the window thread by routing what they posted.

#include "launcher/shell/launcher_state.hpp"
#include "launcher/shell/message_routing.hpp"
#include "launcher/shell/window_messages.hpp"
#include "support/memory_preferences.hpp"
#include "support/queue_poster.hpp"
#include "support/recording_view.hpp"

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace kyrtest {

// Workers on threads that joinAll waits for; can fail to start, as when the system is out of resources.
class JoinableWorkers {
public:
    launcher::WorkerStarter starter() {
        return [this](launcher::WorkerBody body) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (failing_) {
                return false;
            }
            ++started_;
            threads_.emplace_back(std::move(body));
            return true;
        };
    }
    // Joins every worker, including those that workers started meanwhile.
    void joinAll() {
        for (std::vector<std::thread> batch;; batch.clear()) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                batch.swap(threads_);
            }
            if (batch.empty()) {
                return;
            }
            for (std::thread& thread : batch) {
                thread.join();
            }
        }
    }
    void failStarts(bool fail) {
        std::lock_guard<std::mutex> lock(mutex_);
        failing_ = fail;
    }
    int started() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return started_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::thread> threads_;
    int started_ = 0;
    bool failing_ = false;
};

struct LauncherHarness {
    LauncherHarness() {
        state.window = &view;
        state.poster = &queue;
        state.preferences = &preferences;
        state.startWorker = workers.starter();
    }
    // Routes what is left without starting more workers, so that every posted record is freed.
    ~LauncherHarness() {
        workers.joinAll();
        workers.failStarts(true);
        pump();
    }
    LauncherHarness(const LauncherHarness&) = delete;
    LauncherHarness& operator=(const LauncherHarness&) = delete;

    // The window thread's main loop over what is queued: route, then dispatch (which must not route again).
    int pump() {
        int handled = 0;
        for (PostedMessage posted; queue.take(posted); ++handled) {
            std::uintptr_t wParam = 0;
            const auto lParam = reinterpret_cast<std::intptr_t>(posted.payload);
            launcher::routeFromMessageLoop(state, posted.message, wParam, lParam);
            launcher::routeFromWindowProcedure(state, posted.message, wParam, lParam);
        }
        return handled;
    }
    // Waits for every worker, then routes what they posted, until nothing new comes.
    void settle() {
        do {
            workers.joinAll();
        } while (pump() > 0);
    }

    RecordingView view;
    QueuePoster queue;
    MemoryPreferences preferences;
    JoinableWorkers workers;
    launcher::LauncherState state;
};

} // namespace kyrtest
