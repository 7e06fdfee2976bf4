#include "launcher/shell/message_poster_win.hpp"

#include "launcher/shell/window_messages.hpp"

#include <windows.h>

namespace launcher {

static_assert(kAppMessageBase == WM_APP, "worker notifications sit right above WM_APP");

bool WindowMessagePoster::post(unsigned message, void* payload) {
    return PostMessageA(static_cast<HWND>(window_), message, 0, reinterpret_cast<LPARAM>(payload)) != FALSE;
}

} // namespace launcher
