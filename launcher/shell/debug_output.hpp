#pragma once

namespace launcher {

using DebugLineSink = void (*)(const char* text);

// Tests point this at a capture function; while it is null, lines go to the platform's debugger output.
inline DebugLineSink debugLineSink = nullptr;

// The platform's channel: the debugger output on Windows; elsewhere stderr, only when KYR_DEBUG_OUTPUT is
// set to a non-empty value.
void writePlatformDebugLine(const char* text);

// Writes one diagnostic line (the text carries its own line feed). There is no log file.
inline void writeDebugLine(const char* text) {
    if (debugLineSink != nullptr) {
        debugLineSink(text);
        return;
    }
    writePlatformDebugLine(text);
}

} // namespace launcher
