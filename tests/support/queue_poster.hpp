#pragma once
// A MessagePoster that queues into memory instead of a window: the tests' stand-in for the window
// thread's message queue. It can be told to refuse posts, as PostMessage does for a destroyed window.

#include "launcher/shell/message_poster.hpp"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <utility>

namespace kyrtest {

struct PostedMessage {
    unsigned message = 0;
    void* payload = nullptr;
};

class QueuePoster : public launcher::MessagePoster {
public:
    bool post(unsigned message, void* payload) override {
        std::function<void(unsigned)> hook;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (refusing_) {
                return false;
            }
            queue_.push_back(PostedMessage{message, payload});
            ++posted_;
            arrived_.notify_all();
            hook = onPost_;
        }
        if (hook) {
            hook(message);
        }
        return true;
    }

    // Runs on the posting thread right after each successful post, to act at exactly that moment.
    void setOnPost(std::function<void(unsigned message)> hook) {
        std::lock_guard<std::mutex> lock(mutex_);
        onPost_ = std::move(hook);
    }

    void refusePosts(bool refuse) {
        std::lock_guard<std::mutex> lock(mutex_);
        refusing_ = refuse;
    }

    // Takes the oldest message, waiting up to `wait` for one; false when none came.
    bool take(PostedMessage& out, std::chrono::milliseconds wait = std::chrono::milliseconds(0)) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!arrived_.wait_for(lock, wait, [this] { return !queue_.empty(); })) {
            return false;
        }
        out = queue_.front();
        queue_.pop_front();
        return true;
    }

    std::size_t pending() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return queue_.size();
    }
    std::size_t postedCount() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return posted_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<PostedMessage> queue_;
    std::size_t posted_ = 0;
    bool refusing_ = false;
    std::function<void(unsigned)> onPost_;
};

} // namespace kyrtest
