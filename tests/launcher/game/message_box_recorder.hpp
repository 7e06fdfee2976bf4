#pragma once
// Records the message boxes shown while it lives, instead of blocking the test on a real box. Recorders
// may nest: each starts from an empty record, and when it ends the one before it records again. An action
// can run inside each box, as a click that the box's message loop lets through.

#include "launcher/game/message_box.hpp"

#include <functional>
#include <utility>
#include <vector>

namespace kyrtest {

class MessageBoxRecorder {
public:
    MessageBoxRecorder() : previous_(launcher::messageBoxOverride), previousAction_(std::move(whileOpen())) {
        boxes().clear();
        whileOpen() = nullptr;
        launcher::messageBoxOverride = &record;
    }
    ~MessageBoxRecorder() {
        launcher::messageBoxOverride = previous_;
        whileOpen() = std::move(previousAction_);
    }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    const std::vector<launcher::MessageBoxRequest>& shown() const { return boxes(); }
    // Runs action inside every box shown from now on.
    void whileShown(std::function<void()> action) { whileOpen() = std::move(action); }

private:
    static std::vector<launcher::MessageBoxRequest>& boxes() {
        static std::vector<launcher::MessageBoxRequest> recorded;
        return recorded;
    }
    static std::function<void()>& whileOpen() {
        static std::function<void()> action;
        return action;
    }
    static void record(const launcher::MessageBoxRequest& request) {
        boxes().push_back(request);
        if (whileOpen()) {
            const std::function<void()> action = whileOpen();
            action();
        }
    }

    launcher::MessageBoxShower previous_;
    std::function<void()> previousAction_;
};

} // namespace kyrtest
