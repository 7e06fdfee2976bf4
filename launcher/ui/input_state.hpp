#pragma once
// Mouse, wheel, keyboard and character input of the launcher window as changes of WindowState. What the
// state alone cannot do (callbacks, config.ini, the platform window) comes back as a Command that the
// window procedure carries out.

#include "launcher/ui/window_state.hpp"

#include <string>

namespace launcher {

enum class CommandKind {
    None,
    Play,
    Verify,
    Force,
    SelectServer,      // server: the slug of the row
    RefreshAccessCode, // the refresh button
    EnterAccessCode,   // Enter in the access code field
    CycleRegion,       // argument: -1 or +1
    Minimise,
    Close,
    OpenSettings,  // loads config.ini
    ApplySettings, // writes config.ini
    ResetSettings, // needs the screen's size
    OpenLink,      // link: a news item's, for the player's browser
};

struct Command {
    CommandKind kind = CommandKind::None;
    int argument = 0;
    std::string server;
    std::string link;
};

// Repaints only when the hot target or the hot row changed.
bool pointerMoved(WindowState& state, int x, int y);

// The pointer left the window: forgets the hot target and row. True when something was hot.
bool pointerLeft(WindowState& state);

struct PressOutcome {
    bool capture = false;   // a target is pressed: keep the mouse until release
    bool startDrag = false; // the title bar of the main view: move the window
    bool repaint = false;
};
PressOutcome pointerPressed(WindowState& state, int x, int y);

struct ReleaseOutcome {
    bool releaseCapture = false;
    bool repaint = false;
    Command command;
};
// A click happens only when the release hits the pressed target (and for a row, the same row).
ReleaseOutcome pointerReleased(WindowState& state, int x, int y);

// Wheel turns scroll the open server panel; true when the offset changed.
bool wheelTurned(WindowState& state, int wheelDelta);

enum class Key { Escape, Up, Down, Enter, Other };

struct KeyOutcome {
    bool repaint = false;
    Command command;
};
KeyOutcome keyPressed(WindowState& state, Key key);

// A UTF-16 code unit typed into the focused field of the open server panel; true when the text changed.
bool characterTyped(WindowState& state, unsigned unit);

} // namespace launcher
