#include "launcher/shell/message_routing.hpp"

#include <windows.h>

namespace launcher {

unsigned runMessageLoop(LauncherState& state) {
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        std::uintptr_t wParam = message.wParam;
        if (routeFromMessageLoop(state, message.message, wParam, message.lParam)) {
            message.wParam = wParam;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<unsigned>(message.wParam);
}

} // namespace launcher
