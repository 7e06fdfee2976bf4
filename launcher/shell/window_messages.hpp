#pragma once
// The notifications that worker threads post to the launcher window, and their records. A record is
// allocated by the sending thread and owned by the window thread once the post succeeded; wParam is 0.

#include <cstdint>
#include <string>

namespace launcher {

// WM_APP of the platform headers, which this header does not include.
inline constexpr unsigned kAppMessageBase = 0x8000;

inline constexpr unsigned WM_APP_UPDATE_PROGRESS = kAppMessageBase + 1; // no record
inline constexpr unsigned WM_APP_UPDATE_DONE = kAppMessageBase + 2;     // UpdateResult
inline constexpr unsigned WM_APP_NEWS = kAppMessageBase + 3;            // NewsResult
inline constexpr unsigned WM_APP_SERVERS_DONE = kAppMessageBase + 4;    // ServerListResult
inline constexpr unsigned WM_APP_PROBE_DONE = kAppMessageBase + 5;      // no record

// WM_CLOSE: the window closes through its ordinary path (game started, launcher restarted).
inline constexpr unsigned kWindowCloseMessage = 0x0010;

inline bool isWorkerNotification(unsigned message) {
    return message >= WM_APP_UPDATE_PROGRESS && message <= WM_APP_PROBE_DONE;
}

// Outcome of one update run, posted once when the update worker ends.
struct UpdateResult {
    bool ok = false;
    bool downloaded = false; // the run began changing the game folder's data
    std::string message;     // the engine's error text on failure
    std::int32_t source = -1;
    bool launcherReplaced = false; // a new version of the launcher's own exe is in place
};

inline constexpr int kNewsItems = 3;

struct NewsResult {
    std::string headline;
    bool present[kNewsItems] = {false, false, false};
    std::string column1[kNewsItems];
    std::string column2[kNewsItems];
    std::string column3[kNewsItems];
    std::string link[kNewsItems]; // an https:// link that a click on item k opens; empty: none
    bool complete = false;        // the source finished; with no item present the panel says there is no news
};

struct ServerListResult {
    bool ok = false;          // a directory was obtained and installed
    std::int32_t source = -1; // -1 none, 0 primary, 1 secondary
    bool fromCache = false;
    bool fromClient = false;
    std::string error; // the text to show when !ok; may hold the network error behind a fallback when ok
};

} // namespace launcher
