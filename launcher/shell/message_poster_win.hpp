#pragma once

#include "launcher/shell/message_poster.hpp"

namespace launcher {

// Posts to a window with PostMessageA (wParam 0, the record in lParam). Safe to use from any thread.
class WindowMessagePoster : public MessagePoster {
public:
    explicit WindowMessagePoster(void* window) : window_(window) {}

    bool post(unsigned message, void* payload) override;

private:
    void* window_; // HWND
};

} // namespace launcher
