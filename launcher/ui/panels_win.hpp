#pragma once
// The panels of the launcher window, each drawn whole into the back buffer on every paint. The window
// decides the order (launcher_window_win.cpp); each panel reads only the window's state.

#include "launcher/ui/drawing_kit_win.hpp"
#include "launcher/ui/window_state.hpp"

struct HICON__;

namespace launcher {

struct PaintContext {
    DrawingKit& kit;
    const WindowState& state;
    const Layout& layout;
    bool spanish;  // the game language, read once per paint
    HICON__* icon; // the title bar's 24 x 24 icon; may be null
};

// Window background, and the frame with the accent strip drawn over everything of the main view.
void paintWindowBackground(const PaintContext& context);
void paintWindowFrame(const PaintContext& context);

void paintHeader(const PaintContext& context);
void paintNewsPanel(const PaintContext& context);
void paintBottomBar(const PaintContext& context);
void paintSettingsPanel(const PaintContext& context);
void paintServerPanel(const PaintContext& context);

// Shared by both panels: the overlay over the main view, then the panel's body with its accent strip.
void paintPanelBase(const PaintContext& context, const Rect& panel, int overlayAlpha);
// A close mark "×" like the window's own, highlighted while hot.
void paintCloseMark(const PaintContext& context, const Rect& rect, int target, Colour restColour);

} // namespace launcher
