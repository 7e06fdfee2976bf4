#include "launcher/game/display_modes.hpp"

#include <windows.h>

namespace launcher {

DisplayModeList buildDisplayModeList() {
    return buildDisplayModeList([](std::uint32_t modeNumber, std::uint32_t& width, std::uint32_t& height) {
        DEVMODEA mode;
        ZeroMemory(&mode, sizeof(mode));
        mode.dmSize = sizeof(mode);
        if (!EnumDisplaySettingsA(nullptr, modeNumber, &mode)) {
            return false;
        }
        width = mode.dmPelsWidth;
        height = mode.dmPelsHeight;
        return true;
    });
}

DisplayMode primaryScreenSize() {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

} // namespace launcher
