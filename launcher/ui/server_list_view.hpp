#pragma once
// The server panel's list: which rows the search lets through, how far the viewport may scroll, where
// each row and the scroll bar sit, and how the arrow keys move the selection.

#include "launcher/shell/launcher_view.hpp"
#include "launcher/ui/layout.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace launcher {

// ASCII letters lowered; every other byte (UTF-8 included) is kept as it is.
std::string lowerAscii(std::string_view text);

// Indexes of the rows that the search text lets through, in row order: all rows for an empty search,
// else those whose name, kind, region label and slug, joined with single blanks, contain the search
// (both lowered with lowerAscii).
std::vector<int> filterRows(const std::vector<ServerRow>& rows, std::string_view search);

// 66n - 4 pixels for n rows (0 for none).
int rowContentHeight(int rowCount);
int maxScrollOffset(int rowCount);
int clampScrollOffset(int offset, int rowCount);

// The offset after a wheel turn: 32 pixels per notch of 120, forward scrolls up; clamped.
int wheelScrollOffset(int offset, int wheelDelta, int rowCount);

// The offset that shows the row at position fully: its top when it lies above the viewport, its bottom
// touching the viewport's bottom when it lies below; clamped.
int scrollToShow(int offset, int position, int rowCount);

// Where the row at position is drawn (44 .. 818 wide, 62 high), scrolled.
Rect rowRectAt(int position, int scrollOffset);

struct ScrollBar {
    bool shown = false; // only when the rows are taller than the viewport
    Rect track;
    Rect thumb;
};
ScrollBar scrollBarGeometry(int rowCount, int scrollOffset);

struct SelectionStep {
    bool moved = false; // false only for an empty list
    int row = -1;       // the newly selected row index
    int scrollOffset = 0;
};

// Up (-1) or Down (+1) from the selected row's position in the visible list (0 when it is not there),
// clamped to the list; scrolls the new row into view.
SelectionStep stepSelection(const std::vector<int>& visible, int selectedRow, int direction, int scrollOffset);

} // namespace launcher
