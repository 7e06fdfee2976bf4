#include "launcher/servers/latency_display.hpp"
#include "launcher/ui/interface_texts.hpp"
#include "launcher/ui/panel_content.hpp"
#include "launcher/ui/panels_win.hpp"
#include "launcher/ui/server_list_view.hpp"
#include "launcher/ui/text_case.hpp"

#include <windows.h>

namespace launcher {
namespace {

void paintServerRow(DrawingKit& kit, const Rect& r, const ServerRow& row, bool selected, bool hot) {
    kit.gradientV(r, selected ? palette::BandTop : palette::Fill, palette::PanelBottom);
    Colour border = palette::Line;
    if (selected) {
        border = palette::Accent;
    } else if (hot) {
        border = palette::LineHot;
    }
    kit.roundRect(r, 8, kNoColour, border);
    const Colour kind = kindColour(row.kind);
    kit.roundRect(Rect{r.left + 1, r.top + 6, r.left + 5, r.bottom - 6}, 2, kind, kNoColour);

    const int lineTop = r.top + 6;
    const int lineBottom = r.top + 28;
    kit.text(Rect{r.left + 16, lineTop, r.left + 330, lineBottom}, row.name, FontId::F5,
             selected ? palette::TextBright : palette::TextNormal, TextAlign::Left, true);
    if (!row.kind.empty()) {
        const Rect pill{r.left + 338, r.top + 9, r.left + 428, r.top + 27};
        kit.roundRect(pill, 6, kNoColour, kind);
        kit.text(pill, upperCaseText(row.kind), FontId::F2, kind, TextAlign::Centre, true);
    }
    if (row.needsCode) {
        const Rect pill{r.left + 436, r.top + 9, r.left + 508, r.top + 27};
        kit.roundRect(pill, 6, kNoColour, palette::Warn);
        kit.text(pill, uiText(UiText::AccessCodePill), FontId::F2, palette::Warn, TextAlign::Centre);
    }
    const Badge badge = stateBadge(row.state);
    kit.text(Rect{r.right - 260, lineTop, r.right - 130, lineBottom}, badge.text, FontId::F2, badge.colour,
             TextAlign::Right);
    kit.text(Rect{r.right - 126, lineTop, r.right - 12, lineBottom}, playerCountText(row.online, row.maxOnline),
             FontId::F5, palette::TextBright, TextAlign::Right);

    const int secondTop = r.top + 30;
    const int secondBottom = r.bottom - 6;
    kit.text(Rect{r.left + 16, secondTop, r.left + 330, secondBottom}, row.ratesText, FontId::F6, palette::TextDim,
             TextAlign::Left, true);
    kit.text(Rect{r.left + 338, secondTop, r.right - 130, secondBottom}, rowRegionText(row), FontId::F6,
             palette::TextMuted, TextAlign::Left, true);
    kit.text(Rect{r.right - 126, secondTop, r.right - 12, secondBottom}, latencyText(row.bestLatencyMs), FontId::F6,
             latencyColour(row.bestLatencyMs), TextAlign::Right);
}

void paintRows(DrawingKit& kit, const ServerPanelState& servers) {
    const Rect& viewport = kRowViewportRect;
    ClipScope clip(kit.dc(), CreateRectRgn(viewport.left, viewport.top, viewport.right, viewport.bottom));
    if (!clip.valid()) {
        return;
    }
    for (std::size_t position = 0; position < servers.visible.size(); ++position) {
        const Rect r = rowRectAt(static_cast<int>(position), servers.scrollOffset);
        if (r.top >= viewport.bottom) {
            break;
        }
        if (r.bottom <= viewport.top) {
            continue;
        }
        const int index = servers.visible[position];
        paintServerRow(kit, r, servers.rows[static_cast<std::size_t>(index)], index == servers.selectedRow,
                       index == servers.hotRow);
    }
}

void paintRowList(DrawingKit& kit, const ServerPanelState& servers) {
    kit.fillRect(kRowViewportRect, palette::FillDeep);
    if (servers.visible.empty()) {
        kit.text(kRowViewportRect, emptyListText(!servers.rows.empty()), FontId::F5, palette::TextFaint,
                 TextAlign::Centre);
        return;
    }
    paintRows(kit, servers);
    const ScrollBar bar = scrollBarGeometry(static_cast<int>(servers.visible.size()), servers.scrollOffset);
    if (bar.shown) {
        kit.roundRect(bar.track, 6, palette::BandBottom, kNoColour);
        kit.roundRect(bar.thumb, 6, palette::LineHot, kNoColour);
    }
}

} // namespace

void paintServerPanel(const PaintContext& context) {
    DrawingKit& kit = context.kit;
    const WindowState& state = context.state;
    const ServerPanelState& servers = state.servers;
    const Rect& panel = kServerPanelRect;
    paintPanelBase(context, panel, 214);
    kit.text(Rect{panel.left + 20, panel.top + 12, panel.left + 400, panel.top + 36}, uiText(UiText::ServersTitle),
             FontId::F9, palette::TextBright, TextAlign::Left);
    paintCloseMark(context, kServerPanelCloseRect, kTargetServerPanelClose, palette::TextDim);

    kit.textBox(kSearchBoxRect, kTargetSearchBox, servers.search, uiText(UiText::SearchPlaceholder));
    kit.textBox(kAccessCodeBoxRect, kTargetAccessCodeBox, servers.accessCode, uiText(UiText::AccessCodePlaceholder));
    kit.button(kRefreshRect, uiText(UiText::RefreshButton), kTargetRefresh, false);

    paintRowList(kit, servers);

    const ServerRow* selected = selectedServerRow(servers);
    kit.stepper(kRegionLeftRect, kTargetRegionLeft, kRegionRightRect, kTargetRegionRight,
                widen(regionSelectorText(selected)));
    kit.text(kServerStatusRect, servers.status, FontId::F6, servers.statusError ? palette::Accent : palette::TextDim,
             TextAlign::Left, true);
    if (state.update.playEnabled && selected != nullptr) {
        kit.button(kPanelPlayRect, uiText(UiText::PanelPlay), kTargetPanelPlay, true);
    } else {
        kit.disabledButton(kPanelPlayRect, uiText(UiText::PanelPlay));
    }
}

} // namespace launcher
