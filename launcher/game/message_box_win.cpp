#include "launcher/game/message_box.hpp"

#include <windows.h>

namespace launcher {

void showMessageBoxOnPlatform(const MessageBoxRequest& request) {
    UINT icon = MB_ICONINFORMATION;
    if (request.icon == MessageBoxIcon::Warning) {
        icon = MB_ICONWARNING;
    } else if (request.icon == MessageBoxIcon::Error) {
        icon = MB_ICONERROR;
    }
    MessageBoxA(static_cast<HWND>(request.owner), request.text.c_str(), request.title.c_str(), MB_OK | icon);
}

} // namespace launcher
