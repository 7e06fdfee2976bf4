#include "launcher/game/message_box.hpp"

#include <cstdio>

namespace launcher {

// Off Windows only the tools and tests run, and they have no window to put a box on.
void showMessageBoxOnPlatform(const MessageBoxRequest& request) {
    std::fprintf(stderr, "%s: %s\n", request.title.c_str(), request.text.c_str());
}

} // namespace launcher
