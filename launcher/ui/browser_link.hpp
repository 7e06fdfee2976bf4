#pragma once
// Opening a news link in the player's browser. Windows only.

#include <string>

namespace launcher {

// Hands an https:// link (the news document's rule, checked again here) to the shell on a thread of its
// own, so the window never waits for a browser. False when the link is refused or no thread started.
bool openLinkInBrowser(const std::string& link);

} // namespace launcher
