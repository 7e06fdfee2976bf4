#include "launcher/ui/input_state.hpp"

#include "launcher/ui/server_list_view.hpp"
#include "launcher/ui/text_editing.hpp"

namespace launcher {
namespace {

Command command(CommandKind kind, int argument = 0) {
    return Command{kind, argument, {}};
}

// Selects the row and names its server by slug, which stays right if the directory changes meanwhile.
Command selectRow(ServerPanelState& servers, int row) {
    servers.selectedRow = row;
    return Command{CommandKind::SelectServer, 0, servers.rows[static_cast<std::size_t>(row)].id};
}

// An item without a link only highlights.
Command openNewsLink(const NewsSlot& item) {
    Command open = command(item.link.empty() ? CommandKind::None : CommandKind::OpenLink);
    open.link = item.link;
    return open;
}

// The action of a completed click on a target other than a server row.
Command clickTarget(WindowState& state, int target) {
    GameSettings& settings = state.settings;
    switch (target) {
    case kTargetServerPanelClose:
        closeServerPanel(state);
        return {};
    case kTargetSearchBox:
        state.servers.focus = FocusedField::Search;
        return {};
    case kTargetAccessCodeBox:
        state.servers.focus = FocusedField::AccessCode;
        return {};
    case kTargetRefresh:
        state.servers.focus = FocusedField::None;
        return command(CommandKind::RefreshAccessCode);
    case kTargetRegionLeft:
    case kTargetRegionRight:
        if (selectedServerRow(state.servers) == nullptr) {
            return {};
        }
        return command(CommandKind::CycleRegion, target == kTargetRegionLeft ? -1 : 1);
    case kTargetPanelPlay:
        closeServerPanel(state);
        return command(CommandKind::Play);
    case kTargetSettingsClose:
    case kTargetSettingsCancel:
        cancelGameSettings(settings);
        return {};
    case kTargetSettingsApply:
        return command(CommandKind::ApplySettings);
    case kTargetSettingsReset:
        return command(CommandKind::ResetSettings);
    case kTargetEngineLeft:
    case kTargetEngineRight:
        stepEngine(settings, target == kTargetEngineLeft ? -1 : 1);
        return {};
    case kTargetResolutionLeft:
    case kTargetResolutionRight:
        stepResolution(settings, target == kTargetResolutionLeft ? -1 : 1);
        return {};
    case kTargetWindowed:
        toggleWindowed(settings);
        return {};
    case kTargetLanguageLeft:
    case kTargetLanguageRight:
        stepLanguage(settings, target == kTargetLanguageLeft ? -1 : 1);
        return {};
    case kTargetFpsLeft:
    case kTargetFpsRight:
        stepFpsMode(settings, target == kTargetFpsLeft ? -1 : 1);
        return {};
    case kTargetMinimise:
        return command(CommandKind::Minimise);
    case kTargetClose:
        return command(CommandKind::Close);
    case kTargetServerSelector:
        openServerPanel(state);
        return {};
    case kTargetVerify:
        return command(CommandKind::Verify);
    case kTargetForce:
        return command(CommandKind::Force);
    case kTargetSettingsGear:
        return command(CommandKind::OpenSettings);
    case kTargetPlay:
        return command(CommandKind::Play);
    case kTargetNewsItem0:
    case kTargetNewsItem0 + 1:
    case kTargetNewsItem0 + 2:
        return openNewsLink(state.news.items[target - kTargetNewsItem0]);
    default: // the header icon only highlights
        return {};
    }
}

} // namespace

bool pointerMoved(WindowState& state, int x, int y) {
    const StateHit hit = hitTestState(state, x, y);
    const bool changed = hit.target != state.pointer.hotTarget || hit.row != state.servers.hotRow;
    state.pointer.hotTarget = hit.target;
    state.servers.hotRow = hit.row;
    return changed;
}

bool pointerLeft(WindowState& state) {
    state.pointer.tracking = false;
    const bool wasHot = state.pointer.hotTarget != kTargetNone || state.servers.hotRow != -1;
    state.pointer.hotTarget = kTargetNone;
    state.servers.hotRow = -1;
    return wasHot;
}

PressOutcome pointerPressed(WindowState& state, int x, int y) {
    PressOutcome outcome;
    const StateHit hit = hitTestState(state, x, y);
    if (hit.target != kTargetNone) {
        state.pointer.pressedTarget = hit.target;
        state.servers.pressedRow = hit.row;
        outcome.capture = true;
        return outcome;
    }
    if (!state.servers.open && !state.settings.panelOpen && kTitleBarRect.contains(x, y)) {
        outcome.startDrag = true;
    } else if (state.servers.open) {
        state.servers.focus = FocusedField::None;
        outcome.repaint = true;
    }
    return outcome;
}

ReleaseOutcome pointerReleased(WindowState& state, int x, int y) {
    ReleaseOutcome outcome;
    const int pressed = state.pointer.pressedTarget;
    if (pressed == kTargetNone) {
        return outcome;
    }
    const int pressedRow = state.servers.pressedRow;
    state.pointer.pressedTarget = kTargetNone;
    state.servers.pressedRow = -1;
    outcome.releaseCapture = true;
    outcome.repaint = true;

    const StateHit hit = hitTestState(state, x, y);
    if (hit.target != pressed) {
        return outcome;
    }
    if (pressed == kTargetServerRow) {
        if (hit.row == pressedRow) {
            outcome.command = selectRow(state.servers, hit.row);
        }
        return outcome;
    }
    outcome.command = clickTarget(state, pressed);
    return outcome;
}

bool wheelTurned(WindowState& state, int wheelDelta) {
    if (!state.servers.open) {
        return false;
    }
    const int before = state.servers.scrollOffset;
    state.servers.scrollOffset = wheelScrollOffset(before, wheelDelta, static_cast<int>(state.servers.visible.size()));
    return state.servers.scrollOffset != before;
}

KeyOutcome keyPressed(WindowState& state, Key key) {
    KeyOutcome outcome;
    ServerPanelState& servers = state.servers;
    if (!servers.open) {
        return outcome;
    }
    switch (key) {
    case Key::Escape:
        closeServerPanel(state);
        outcome.repaint = true;
        break;
    case Key::Up:
    case Key::Down: {
        const SelectionStep step =
            stepSelection(servers.visible, servers.selectedRow, key == Key::Up ? -1 : 1, servers.scrollOffset);
        if (step.moved) {
            servers.scrollOffset = step.scrollOffset;
            outcome.command = selectRow(servers, step.row);
            outcome.repaint = true;
        }
        break;
    }
    case Key::Enter:
        if (servers.focus == FocusedField::AccessCode) {
            outcome.command = command(CommandKind::EnterAccessCode);
        }
        break;
    case Key::Other:
        break;
    }
    return outcome;
}

bool characterTyped(WindowState& state, unsigned unit) {
    ServerPanelState& servers = state.servers;
    if (!servers.open) {
        return false;
    }
    if (servers.focus == FocusedField::Search) {
        const bool changed =
            unit == kBackspace ? eraseLastSearchCharacter(servers.search) : typeSearchCharacter(servers.search, unit);
        if (changed) {
            rebuildVisibleRows(servers);
        }
        return changed;
    }
    if (servers.focus == FocusedField::AccessCode) {
        return unit == kBackspace ? eraseLastAccessCodeCharacter(servers.accessCode)
                                  : typeAccessCodeCharacter(servers.accessCode, unit);
    }
    return false;
}

} // namespace launcher
