#pragma once
// A LauncherState wired to fakes: a recording view, an in-memory queue for posted messages, launcher.ini
// in memory, and workers on joinable threads, so a test can wait for every worker it caused and then
// play the window thread by routing what they posted.

#include "launcher/shell/launcher_state.hpp"
#include "launcher/shell/message_routing.hpp"
#include "launcher/shell/window_messages.hpp"
#include "support/memory_preferences.hpp"
#include "support/queue_poster.hpp"
#include "support/recording_view.hpp"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace kyrtest {

// Starts workers on threads that joinAll waits for, counts how many ran at once, and can be told to fail
// as thread creation does when the system is out of resources.
class JoinableWorkers {
public:
    launcher::WorkerStarter starter() {
        return [this](launcher::WorkerBody body) {
            if (failing_.load()) {
                return false;
            }
            std::lock_guard<std::mutex> lock(mutex_);
            ++started_;
            threads_.emplace_back([this, work = std::move(body)] {
                const int running = ++running_;
                int seen = maxRunning_.load();
                while (running > seen && !maxRunning_.compare_exchange_weak(seen, running)) {
                }
                work();
                --running_;
            });
            return true;
        };
    }

    // Joins every worker, including those that workers started meanwhile.
    void joinAll() {
        for (;;) {
            std::vector<std::thread> batch;
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

    void failStarts(bool fail) { failing_ = fail; }
    int started() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return started_;
    }
    int maxRunning() const { return maxRunning_.load(); }

private:
    mutable std::mutex mutex_;
    std::vector<std::thread> threads_;
    int started_ = 0;
    std::atomic<bool> failing_{false};
    std::atomic<int> running_{0};
    std::atomic<int> maxRunning_{0};
};

// Deletes the record of a notification that no handler will see.
inline void discardNotification(const PostedMessage& posted) {
    switch (posted.message) {
    case launcher::WM_APP_UPDATE_DONE:
        delete static_cast<launcher::UpdateResult*>(posted.payload);
        break;
    case launcher::WM_APP_NEWS:
        delete static_cast<launcher::NewsResult*>(posted.payload);
        break;
    case launcher::WM_APP_SERVERS_DONE:
        delete static_cast<launcher::ServerListResult*>(posted.payload);
        break;
    default:
        break;
    }
}

struct LauncherHarness {
    LauncherHarness() {
        state.window = &view;
        state.poster = &queue;
        state.preferences = &preferences;
        state.startWorker = workers.starter();
    }
    ~LauncherHarness() {
        workers.joinAll();
        PostedMessage posted;
        while (queue.take(posted)) {
            discardNotification(posted);
        }
    }
    LauncherHarness(const LauncherHarness&) = delete;
    LauncherHarness& operator=(const LauncherHarness&) = delete;

    // Plays the window thread's main loop over everything queued so far: route, then dispatch (which
    // must not route again). Returns how many messages it handled.
    int pump() {
        int handled = 0;
        PostedMessage posted;
        while (queue.take(posted)) {
            std::uintptr_t wParam = 0;
            const auto lParam = reinterpret_cast<std::intptr_t>(posted.payload);
            launcher::routeFromMessageLoop(state, posted.message, wParam, lParam);
            launcher::routeFromWindowProcedure(state, posted.message, wParam, lParam);
            ++handled;
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
