#pragma once
// While an instance lives, the launcher's file replace refuses every move and records the last one asked
// for: the real file system cannot be made to refuse a rename on demand.

#include "launcher/shell/file_replace.hpp"

#include <string>

namespace kyrtest {

class RefusingReplacer {
public:
    RefusingReplacer() {
        state() = {};
        launcher::fileReplacerOverride = &refuse;
    }
    ~RefusingReplacer() { launcher::fileReplacerOverride = nullptr; }
    RefusingReplacer(const RefusingReplacer&) = delete;
    RefusingReplacer& operator=(const RefusingReplacer&) = delete;

    int calls() const { return state().calls; }
    const std::string& lastFrom() const { return state().from; }
    const std::string& lastTo() const { return state().to; }

private:
    struct State {
        int calls = 0;
        std::string from;
        std::string to;
    };
    static State& state() {
        static State current;
        return current;
    }
    static bool refuse(const std::string& from, const std::string& to) {
        ++state().calls;
        state().from = from;
        state().to = to;
        return false;
    }
};

} // namespace kyrtest
