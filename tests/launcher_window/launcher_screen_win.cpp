#include "launcher_window/launcher_screen_win.hpp"

#include "launcher/ui/drawing_kit_win.hpp"
#include "launcher/ui/palette.hpp"
#include "launcher/ui/panels_win.hpp"
#include "launcher/ui/progress_geometry.hpp"
#include "launcher_window/launcher_process_win.hpp"

#include <algorithm>
#include <cstdio>

namespace kyrtest {

using launcher::Rect;

launcher::WindowState bottomBarState(const std::string& status, bool error, bool play, bool force) {
    launcher::WindowState state;
    state.update.status = status;
    state.update.statusError = error;
    state.update.playEnabled = play;
    state.update.verifyEnabled = true;
    state.update.forceEnabled = force;
    state.update.source = 0;
    return state;
}

launcher::WindowState upToDateState() {
    launcher::WindowState state = bottomBarState("Client up to date.", false, true, false);
    state.update.done = 1;
    state.update.total = 1;
    return state;
}

bool clickAndRest(HWND window, const Rect& target, launcher::Point rest) {
    Pointer pointer(window);
    const launcher::Point at = centre(target);
    return pointer.click(at.x, at.y) && pointer.move(rest.x, rest.y);
}

bool LauncherScreen::shows(const Screenshot& shot, const ExpectedView& view) {
    canvas_.draw(view.state, view.panel);
    return std::all_of(view.areas.begin(), view.areas.end(),
                       [&](const Rect& area) { return differingPixels(shot, canvas_, area) == 0; });
}

bool LauncherScreen::waitFor(HWND window, const std::string& name, int timeoutMs,
                             const std::function<bool(const Screenshot&)>& check) {
    Screenshot shot;
    const bool shown = kyrtest::waitFor(timeoutMs, 50, [&] {
        shot = Screenshot::capture(window, name);
        return shot.valid() && check(shot);
    });
    lastShot_ = shot.path();
    if (!shown) {
        lastShot_ += " (last compared with " + canvas_.save(name + "_expected") + ")";
        return false;
    }
    std::printf("[ timing   ] start to %s: %lld ms\n", name.c_str(), millisecondsSince(run_.started()));
    return true;
}

bool LauncherScreen::waitForViews(HWND window, const std::string& name, int timeoutMs,
                                  const std::vector<ExpectedView>& views) {
    return waitFor(window, name, timeoutMs, [&](const Screenshot& shot) {
        return std::all_of(views.begin(), views.end(), [&](const ExpectedView& view) { return shows(shot, view); });
    });
}

bool LauncherScreen::waitForFailedUpdate(HWND window, const std::string& name, const std::string& prefix, bool play,
                                         bool force) {
    const int top = launcher::kBottomBarRect.top;
    const Rect line{16, top + 6, launcher::statusLineRight(launcher::progressBarRect(force).right, true), top + 24};
    const int prefixWidth = canvas_.textWidth(launcher::widen(prefix), launcher::FontId::F6);
    const Rect known{line.left, line.top, std::min(line.left + prefixWidth - 1, line.right), line.bottom};
    // A long tail makes the drawing cut the line where a long engine text cuts the real one.
    const ExpectedView bar{bottomBarState(prefix + std::string(200, 'x'), true, play, force),
                           launcher::paintBottomBar,
                           {known, launcher::kPlayRect, launcher::kVerifyRect}};
    return waitFor(window, name, 30000, [&](const Screenshot& shot) {
        if (!shows(shot, bar)) {
            return false;
        }
        if (force) {
            return differingPixels(shot, canvas_, launcher::kForceRect) == 0;
        }
        return pixelsNear(shot, launcher::kForceRect, launcher::palette::ForceFill, 2) == 0;
    });
}

} // namespace kyrtest
