#pragma once
// What the running launcher shows, checked against the window's own drawing of the expected state: the
// window is captured until the expected areas match or the time allowed has passed.

#include "launcher/ui/layout.hpp"
#include "launcher/ui/window_state.hpp"
#include "launcher_window/launcher_run_win.hpp"
#include "launcher_window/reference_canvas_win.hpp"
#include "launcher_window/screen_tools_win.hpp"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace kyrtest {

// The bottom bar inside the window's frame, which the bar's own drawing leaves to the frame.
inline constexpr launcher::Rect kBarInside{1, 320, 873, 379};

// What leads the status line of a failed update while FORCE is offered.
inline constexpr char kForceHint[] =
    "FORCE retries from the Secondary Server (only if the download fails; it is not faster). ";

// The bottom bar once an update run has ended: the status line, PLAY and FORCE as given, VERIFY enabled,
// the primary source shown.
launcher::WindowState bottomBarState(const std::string& status, bool error, bool play, bool force);

// "Client up to date." with a full bar, PLAY enabled and FORCE gone.
launcher::WindowState upToDateState();

// One part of the window as it should look: a state drawn by one panel, compared over some areas.
struct ExpectedView {
    launcher::WindowState state;
    PanelPainter panel;
    std::vector<launcher::Rect> areas;
};

// Clicks the middle of target, then rests the pointer at rest, where it hovers over no target, so that
// nothing is drawn hot when the window is compared.
bool clickAndRest(HWND window, const launcher::Rect& target, launcher::Point rest);

class LauncherScreen {
public:
    // Times are printed from the start of run's launcher.
    explicit LauncherScreen(const LauncherRun& run) : run_(run) {}

    bool valid() const { return canvas_.valid(); }
    ReferenceCanvas& canvas() { return canvas_; }

    bool shows(const Screenshot& shot, const ExpectedView& view);

    // Captures the window as NAME.png until check holds or timeoutMs has passed.
    bool waitFor(HWND window, const std::string& name, int timeoutMs,
                 const std::function<bool(const Screenshot&)>& check);
    bool waitForViews(HWND window, const std::string& name, int timeoutMs, const std::vector<ExpectedView>& views);

    // The end of a failed update: a status line in the error colour that begins with prefix (the engine's
    // own text may follow), PLAY as play says, VERIFY enabled, FORCE offered or, when not, gone.
    bool waitForFailedUpdate(HWND window, const std::string& name, const std::string& prefix, bool play, bool force);

    // The last capture, and after a wait that failed the drawing it was last compared with.
    const std::string& lastShot() const { return lastShot_; }

private:
    const LauncherRun& run_;
    ReferenceCanvas canvas_;
    std::string lastShot_;
};

} // namespace kyrtest
