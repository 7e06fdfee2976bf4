#include "launcher/shell/debug_output.hpp"

#include <cstdio>
#include <cstdlib>

namespace launcher {

// No debugger channel to write to here, so the line is opt-in to keep tools' stderr clean.
void writePlatformDebugLine(const char* text) {
    const char* wanted = std::getenv("KYR_DEBUG_OUTPUT");
    if (wanted != nullptr && *wanted != '\0') {
        std::fputs(text, stderr);
    }
}

} // namespace launcher
