#include "launcher/game/process_environment.hpp"

#include <windows.h>

namespace launcher {

// The process environment block, which CreateProcessA hands on; the C runtime's copy (getenv) does not
// see this change.
void setProcessVariable(const char* name, const char* value) {
    SetEnvironmentVariableA(name, value);
}

} // namespace launcher
