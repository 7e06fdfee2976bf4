#pragma once
// Records the message boxes shown while it lives, instead of blocking the test on a real box. Recorders
// may nest: each starts from an empty record, and when it ends the one before it records again.

#include "launcher/game/message_box.hpp"

#include <vector>

namespace kyrtest {

class MessageBoxRecorder {
public:
    MessageBoxRecorder() : previous_(launcher::messageBoxOverride) {
        boxes().clear();
        launcher::messageBoxOverride = [](const launcher::MessageBoxRequest& request) { boxes().push_back(request); };
    }
    ~MessageBoxRecorder() { launcher::messageBoxOverride = previous_; }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    const std::vector<launcher::MessageBoxRequest>& shown() const { return boxes(); }

private:
    static std::vector<launcher::MessageBoxRequest>& boxes() {
        static std::vector<launcher::MessageBoxRequest> recorded;
        return recorded;
    }

    launcher::MessageBoxShower previous_;
};

} // namespace kyrtest
