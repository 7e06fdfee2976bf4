#include "launcher_window/latency_cells_win.hpp"

#include "launcher/ui/panels_win.hpp"
#include "launcher/ui/server_list_view.hpp"
#include "launcher/ui/window_state.hpp"

namespace kyrtest {
namespace {

std::vector<Rgb> pixelsOf(const ReferenceCanvas& canvas, const launcher::Rect& area) {
    std::vector<Rgb> pixels;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            pixels.push_back(canvas.at(x, y));
        }
    }
    return pixels;
}

bool matches(const Screenshot& shot, const launcher::Rect& area, const std::vector<Rgb>& pixels) {
    std::size_t index = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            if (colourDistance(shot.at(x, y), pixels[index++]) > 8) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

launcher::Rect latencyCell(int position) {
    const launcher::Rect row = launcher::rowRectAt(position, 0);
    return launcher::Rect{row.right - 126, row.top + 30, row.right - 12, row.bottom - 6};
}

int LatencyCells::shownAt(const Screenshot& shot, int position, bool selected) {
    const launcher::Rect area = latencyCell(position);
    for (int latency = -1; latency <= kLongestShownLatencyMs; ++latency) {
        if (matches(shot, area, cell(latency, selected))) {
            return latency;
        }
    }
    return kNoLatencyShown;
}

// Two rows, the first selected, drawn with the latency; every position draws a cell alike.
const std::vector<Rgb>& LatencyCells::cell(int latency, bool selected) {
    const auto kept = cells_.find({latency, selected});
    if (kept != cells_.end()) {
        return kept->second;
    }
    launcher::WindowState state;
    state.servers.open = true;
    state.servers.rows.resize(2);
    for (launcher::ServerRow& row : state.servers.rows) {
        row.bestLatencyMs = latency;
    }
    state.servers.selectedRow = 0;
    launcher::rebuildVisibleRows(state.servers);
    canvas_.draw(state, launcher::paintServerPanel);
    cells_[{latency, true}] = pixelsOf(canvas_, latencyCell(0));
    cells_[{latency, false}] = pixelsOf(canvas_, latencyCell(1));
    return cells_[{latency, selected}];
}

} // namespace kyrtest
