#pragma once
// What the launcher window shows in a chosen state, drawn into memory by the window's own panel code with
// nothing under the pointer. A screenshot of the real program is compared with it area by area: values
// that only the running program knows (a measured latency, an engine's error text) are found by drawing
// the candidates until one matches.

#include "launcher/ui/drawing_kit_win.hpp"
#include "launcher/ui/fonts_win.hpp"
#include "launcher/ui/panels_win.hpp"
#include "launcher/ui/window_state.hpp"
#include "launcher_window/memory_canvas_win.hpp"
#include "launcher_window/screen_tools_win.hpp"

#include <algorithm>
#include <string>
#include <vector>

namespace kyrtest {

using PanelPainter = void (*)(const launcher::PaintContext& context);

class ReferenceCanvas {
public:
    ReferenceCanvas();

    bool valid() const { return valid_; }

    // Draws one panel of the window (launcher::paintBottomBar, paintServerPanel, ...) for state, in the
    // English interface. Areas that the panel does not cover keep what an earlier drawing left.
    void draw(const launcher::WindowState& state, PanelPainter panel);
    // The pixel of the last drawing at window coordinates; black outside.
    Rgb at(int x, int y) const { return pixels_.at(x, y); }
    // Keeps the last drawing as NAME.png in the screenshot folder, to set beside a screenshot that did not
    // match it; the path, or empty when it could not be written.
    std::string save(const std::string& name) const;
    // The width of a text in one of the window's fonts, in pixels.
    int textWidth(const std::wstring& text, launcher::FontId font);

private:
    MemoryCanvas pixels_;
    launcher::FontSet fonts_;
    launcher::DrawingKit kit_;
    bool valid_ = false;
};

// Pixels of area, outside the holes, that differ between two images by more than antialiasing noise.
template <typename ImageA, typename ImageB>
int differingPixels(const ImageA& got, const ImageB& want, const launcher::Rect& area,
                    const std::vector<launcher::Rect>& holes = {}) {
    int differences = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            const bool inHole = std::any_of(holes.begin(), holes.end(),
                                            [&](const launcher::Rect& hole) { return hole.contains(x, y); });
            differences += !inHole && colourDistance(got.at(x, y), want.at(x, y)) > 8 ? 1 : 0;
        }
    }
    return differences;
}

} // namespace kyrtest
