#pragma once
// Everything the launcher window shows and remembers between messages, apart from its platform handles.
// The window procedure and the setters change it only through the functions here and in input_state.hpp,
// so every rule is checked without a display. Window thread only.

#include "launcher/game/game_settings.hpp"
#include "launcher/shell/launcher_view.hpp"
#include "launcher/ui/hit_test.hpp"
#include "launcher/ui/layout.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace launcher {

// The bottom bar, written by the update handlers.
struct UpdateDisplay {
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    bool busy = false; // an update runs: the busy animation ticks and closing is refused
    std::uint32_t busyOffset = 0;
    std::string status;
    bool statusError = false;
    bool playEnabled = false;
    bool verifyEnabled = true;
    int source = -1; // -1 unknown, 0 primary, 1 or more secondary
    bool forceEnabled = false;
};

struct NewsDisplay {
    Headline headline;        // the header's: the selected server
    std::string newsHeadline; // the news document's, beside the news panel's heading
    NewsSlot items[kNewsItemCount];
    bool noNews = false; // the news arrived empty: say so instead of "loading"
};

enum class FocusedField { None = 0, Search = 1, AccessCode = 2 };

struct ServerPanelState {
    bool open = false;
    std::vector<ServerRow> rows;
    std::vector<int> visible; // row indexes that the search lets through
    int selectedRow = -1;
    int scrollOffset = 0; // pixels
    int hotRow = -1;
    int pressedRow = -1;
    std::string search;     // UTF-8
    std::string accessCode; // ASCII
    FocusedField focus = FocusedField::None;
    std::string status;
    bool statusError = false;
};

struct PointerState {
    int hotTarget = kTargetNone;
    int pressedTarget = kTargetNone;
    bool tracking = false; // a leave notification has been asked for
};

struct WindowState {
    UpdateDisplay update;
    NewsDisplay news;
    GameSettings settings;
    ServerPanelState servers;
    PointerState pointer;
};

// The selected row, or null when none is selected (or the index no longer names a row).
const ServerRow* selectedServerRow(const ServerPanelState& servers);

// Hit testing against the window's current state; a server row hit gives its row index in row.
struct StateHit {
    int target = kTargetNone;
    int row = -1;
};
StateHit hitTestState(const WindowState& state, int x, int y);

// Applies the filter again and clamps the scroll offset.
void rebuildVisibleRows(ServerPanelState& servers);

// Replaces the rows, keeping the selection on the row with the same slug (-1 when it is gone); the hot
// and pressed rows are cleared.
void replaceServerRows(ServerPanelState& servers, std::vector<ServerRow> rows);

void openServerPanel(WindowState& state);
void closeServerPanel(WindowState& state);

// Disabling FORCE also forgets the pointer's hover and press on it.
void setForceOffered(WindowState& state, bool enabled);

// Start-up hands over the stored access code; at most kAccessCodeLimit characters are kept.
void setStoredAccessCode(ServerPanelState& servers, const std::string& code);

} // namespace launcher
