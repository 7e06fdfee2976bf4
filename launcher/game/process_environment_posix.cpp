#include "launcher/game/process_environment.hpp"

#include <cstdlib>

namespace launcher {

void setProcessVariable(const char* name, const char* value) {
    if (value == nullptr) {
        ::unsetenv(name);
        return;
    }
    ::setenv(name, value, 1);
}

} // namespace launcher
