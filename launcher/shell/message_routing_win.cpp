#include "launcher/shell/message_routing.hpp"

#include <windows.h>

namespace launcher {

// Unicode throughout: an ANSI loop would hand the window a typed character outside the player's code page
// as '?'.
unsigned runMessageLoop(LauncherState& state) {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        std::uintptr_t wParam = message.wParam;
        if (routeFromMessageLoop(state, message.message, wParam, message.lParam)) {
            message.wParam = wParam;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<unsigned>(message.wParam);
}

} // namespace launcher
