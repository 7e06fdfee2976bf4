#pragma once
// A MessagePoster that queues into memory instead of a window: the tests' stand-in for the window
// thread's message queue. It can be told to refuse posts, as PostMessage does for a destroyed window.

#include "launcher/shell/message_poster.hpp"

#include <cstddef>
#include <deque>
#include <mutex>

namespace kyrtest {

struct PostedMessage {
    unsigned message = 0;
    void* payload = nullptr;
};

class QueuePoster : public launcher::MessagePoster {
public:
    bool post(unsigned message, void* payload) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!refusing_) {
            queue_.push_back(PostedMessage{message, payload});
        }
        return !refusing_;
    }
    void refusePosts(bool refuse) {
        std::lock_guard<std::mutex> lock(mutex_);
        refusing_ = refuse;
    }
    // Takes the oldest message; false when there is none.
    bool take(PostedMessage& out) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queue_.empty()) {
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

private:
    mutable std::mutex mutex_;
    std::deque<PostedMessage> queue_;
    bool refusing_ = false;
};

} // namespace kyrtest
