#pragma once
// The one path from a worker thread back to the window thread: a message with an optional heap record.

#include <memory>

namespace launcher {

class MessagePoster {
public:
    virtual ~MessagePoster() = default;

    // Queues message for the window thread with payload as its record (may be null). True when queued:
    // the window thread owns the payload from then on. False leaves it with the caller.
    virtual bool post(unsigned message, void* payload) = 0;
};

// Hands record to the window thread; a refused post deletes it here, so it is neither leaked nor shared.
template <typename Record> bool postRecord(MessagePoster& poster, unsigned message, std::unique_ptr<Record> record) {
    if (!poster.post(message, record.get())) {
        return false;
    }
    record.release(); // owned by the window thread now; it may already be gone
    return true;
}

} // namespace launcher
