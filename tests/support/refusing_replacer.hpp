#pragma once
// While an instance lives, the launcher's file replace refuses every move: the real file system cannot
// be made to refuse a rename on demand.

#include "launcher/shell/file_replace.hpp"

namespace kyrtest {

struct RefusingReplacer {
    RefusingReplacer() {
        launcher::fileReplacerOverride = [](const std::string&, const std::string&) { return false; };
    }
    ~RefusingReplacer() { launcher::fileReplacerOverride = nullptr; }
    RefusingReplacer(const RefusingReplacer&) = delete;
    RefusingReplacer& operator=(const RefusingReplacer&) = delete;
};

} // namespace kyrtest
