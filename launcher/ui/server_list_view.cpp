#include "launcher/ui/server_list_view.hpp"

#include <algorithm>

namespace launcher {
namespace {

constexpr int kWheelNotch = 120;
constexpr int kWheelStep = 32;
constexpr int kMinThumbHeight = 20;

} // namespace

std::string lowerAscii(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lowered;
}

std::vector<int> filterRows(const std::vector<ServerRow>& rows, std::string_view search) {
    std::vector<int> visible;
    const std::string needle = lowerAscii(search);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ServerRow& row = rows[i];
        if (!needle.empty()) {
            const std::string haystack = lowerAscii(row.name + " " + row.kind + " " + row.bestLabel + " " + row.id);
            if (haystack.find(needle) == std::string::npos) {
                continue;
            }
        }
        visible.push_back(static_cast<int>(i));
    }
    return visible;
}

int rowContentHeight(int rowCount) {
    return rowCount > 0 ? kRowPitch * rowCount - (kRowPitch - kRowHeight) : 0;
}

int maxScrollOffset(int rowCount) {
    return std::max(0, rowContentHeight(rowCount) - kViewportHeight);
}

int clampScrollOffset(int offset, int rowCount) {
    return std::clamp(offset, 0, maxScrollOffset(rowCount));
}

int wheelScrollOffset(int offset, int wheelDelta, int rowCount) {
    const long long moved = offset - static_cast<long long>(wheelDelta) * kWheelStep / kWheelNotch;
    return static_cast<int>(std::clamp<long long>(moved, 0, maxScrollOffset(rowCount)));
}

int scrollToShow(int offset, int position, int rowCount) {
    const int top = kRowPitch * position;
    const int bottom = top + kRowHeight;
    if (top < offset) {
        offset = top;
    } else if (bottom > offset + kViewportHeight) {
        offset = bottom - kViewportHeight;
    }
    return clampScrollOffset(offset, rowCount);
}

Rect rowRectAt(int position, int scrollOffset) {
    const int top = kRowViewportRect.top + kRowPitch * position - scrollOffset;
    return Rect{kRowViewportRect.left, top, kRowDrawRight, top + kRowHeight};
}

ScrollBar scrollBarGeometry(int rowCount, int scrollOffset) {
    ScrollBar bar;
    const int content = rowContentHeight(rowCount);
    if (content <= kViewportHeight) {
        return bar;
    }
    bar.shown = true;
    bar.track = Rect{kRowViewportRect.right - kScrollBarWidth, kRowViewportRect.top, kRowViewportRect.right,
                     kRowViewportRect.bottom};
    const int thumbHeight =
        std::min(kViewportHeight, std::max(kMinThumbHeight, kViewportHeight * kViewportHeight / content));
    const int travel = kViewportHeight - thumbHeight;
    const int scroll = clampScrollOffset(scrollOffset, rowCount);
    const int top = kRowViewportRect.top + travel * scroll / (content - kViewportHeight);
    bar.thumb = Rect{bar.track.left, top, bar.track.right, top + thumbHeight};
    return bar;
}

SelectionStep stepSelection(const std::vector<int>& visible, int selectedRow, int direction, int scrollOffset) {
    SelectionStep step;
    step.scrollOffset = scrollOffset;
    if (visible.empty()) {
        return step;
    }
    const auto found = std::find(visible.begin(), visible.end(), selectedRow);
    const int position = found == visible.end() ? 0 : static_cast<int>(found - visible.begin());
    const int count = static_cast<int>(visible.size());
    const int next = std::clamp(position + (direction < 0 ? -1 : 1), 0, count - 1);
    step.moved = true;
    step.row = visible[next];
    step.scrollOffset = scrollToShow(scrollOffset, next, count);
    return step;
}

} // namespace launcher
