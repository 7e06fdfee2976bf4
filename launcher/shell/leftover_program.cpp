#include "launcher/shell/leftover_program.hpp"

namespace launcher {

bool removeWithRetries(const std::function<bool()>& attempt, const std::function<void()>& pause, int attempts) {
    for (int tried = 1; tried <= attempts; ++tried) {
        if (attempt()) {
            return true;
        }
        if (tried < attempts) {
            pause();
        }
    }
    return false;
}

} // namespace launcher
