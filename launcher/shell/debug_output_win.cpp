#include "launcher/shell/debug_output.hpp"

#include <windows.h>

namespace launcher {

void writePlatformDebugLine(const char* text) {
    OutputDebugStringA(text);
}

} // namespace launcher
