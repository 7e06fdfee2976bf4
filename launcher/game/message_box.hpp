#pragma once
// Message boxes to the player. They block the window thread until answered, so tests put a recorder in
// place of the platform's box.

#include <string>

namespace launcher {

enum class MessageBoxIcon { Information, Warning, Error };

struct MessageBoxRequest {
    void* owner = nullptr; // HWND of the owning window; null for a box without owner
    std::string text;
    std::string title;
    MessageBoxIcon icon = MessageBoxIcon::Information;
};

using MessageBoxShower = void (*)(const MessageBoxRequest& request);

// While set, boxes go here instead of the platform.
inline MessageBoxShower messageBoxOverride = nullptr;

// MessageBoxA with an OK button on Windows; elsewhere the text goes to the standard error stream.
void showMessageBoxOnPlatform(const MessageBoxRequest& request);

inline void showMessageBox(const MessageBoxRequest& request) {
    if (messageBoxOverride != nullptr) {
        messageBoxOverride(request);
        return;
    }
    showMessageBoxOnPlatform(request);
}

} // namespace launcher
