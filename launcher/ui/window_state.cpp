#include "launcher/ui/window_state.hpp"

#include "launcher/shell/launcher_settings.hpp"
#include "launcher/ui/server_list_view.hpp"

#include <utility>

namespace launcher {
namespace {

HitContext hitContextOf(const WindowState& state) {
    HitContext context;
    context.serverPanelOpen = state.servers.open;
    context.settingsOpen = state.settings.panelOpen;
    context.playEnabled = state.update.playEnabled;
    context.verifyEnabled = state.update.verifyEnabled;
    context.forceEnabled = state.update.forceEnabled;
    context.rowSelected = selectedServerRow(state.servers) != nullptr;
    for (int k = 0; k < kNewsItemCount; ++k) {
        context.newsVisible[k] = state.news.items[k].visible;
    }
    context.scrollOffset = state.servers.scrollOffset;
    context.visibleRowCount = static_cast<int>(state.servers.visible.size());
    return context;
}

void clearPointerTargets(WindowState& state) {
    state.pointer.hotTarget = kTargetNone;
    state.pointer.pressedTarget = kTargetNone;
}

} // namespace

const ServerRow* selectedServerRow(const ServerPanelState& servers) {
    const int row = servers.selectedRow;
    if (row < 0 || static_cast<std::size_t>(row) >= servers.rows.size()) {
        return nullptr;
    }
    return &servers.rows[static_cast<std::size_t>(row)];
}

StateHit hitTestState(const WindowState& state, int x, int y) {
    const Hit hit = hitTest(hitContextOf(state), x, y);
    StateHit result{hit.target, -1};
    if (hit.target == kTargetServerRow) {
        result.row = state.servers.visible[static_cast<std::size_t>(hit.slot)];
    }
    return result;
}

void rebuildVisibleRows(ServerPanelState& servers) {
    servers.visible = filterRows(servers.rows, servers.search);
    servers.scrollOffset = clampScrollOffset(servers.scrollOffset, static_cast<int>(servers.visible.size()));
}

void replaceServerRows(ServerPanelState& servers, std::vector<ServerRow> rows) {
    const ServerRow* selected = selectedServerRow(servers);
    const std::string selectedId = selected != nullptr ? selected->id : std::string();
    servers.rows = std::move(rows);
    servers.selectedRow = -1;
    if (selected != nullptr) {
        for (std::size_t i = 0; i < servers.rows.size(); ++i) {
            if (servers.rows[i].id == selectedId) {
                servers.selectedRow = static_cast<int>(i);
                break;
            }
        }
    }
    servers.hotRow = -1;
    servers.pressedRow = -1;
    rebuildVisibleRows(servers);
}

void openServerPanel(WindowState& state) {
    state.servers.open = true;
    state.servers.focus = FocusedField::None;
    clearPointerTargets(state);
    rebuildVisibleRows(state.servers);
}

void closeServerPanel(WindowState& state) {
    state.servers.open = false;
    state.servers.focus = FocusedField::None;
    clearPointerTargets(state);
    state.servers.hotRow = -1;
    state.servers.pressedRow = -1;
}

void setForceOffered(WindowState& state, bool enabled) {
    state.update.forceEnabled = enabled;
    if (enabled) {
        return;
    }
    if (state.pointer.hotTarget == kTargetForce) {
        state.pointer.hotTarget = kTargetNone;
    }
    if (state.pointer.pressedTarget == kTargetForce) {
        state.pointer.pressedTarget = kTargetNone;
    }
}

void setStoredAccessCode(ServerPanelState& servers, const std::string& code) {
    servers.accessCode = code.substr(0, kAccessCodeLimit);
}

} // namespace launcher
