#pragma once
// The small set of GDI drawing primitives the panels are made of. Pens and brushes live only for the
// shape they draw; the 1 x 1 bitmap behind alphaFill is made on first use and kept with the kit.

#include "launcher/ui/fonts_win.hpp"
#include "launcher/ui/layout.hpp"
#include "launcher/ui/palette.hpp"

#include <array>
#include <string>
#include <string_view>

struct HDC__;
struct HBITMAP__;
struct HRGN__;

namespace launcher {

// "No fill" or "no border" for shapes; the platform's invalid colour value.
inline constexpr Colour kNoColour = 0xFFFFFFFF;

enum class TextAlign { Left, Centre, Right, Wrap };

std::wstring widen(std::string_view utf8);

// Limits drawing to a region (which it takes over) until it goes out of scope. A region that could not
// be made leaves valid() false, and the caller skips what it would have held.
class ClipScope {
public:
    ClipScope(HDC__* dc, HRGN__* region);
    ~ClipScope();
    ClipScope(const ClipScope&) = delete;
    ClipScope& operator=(const ClipScope&) = delete;
    bool valid() const { return saved_ != 0; }

private:
    HDC__* dc_;
    int saved_;
};

class DrawingKit {
public:
    DrawingKit() = default;
    ~DrawingKit();
    DrawingKit(const DrawingKit&) = delete;
    DrawingKit& operator=(const DrawingKit&) = delete;

    // Starts a paint into dc: which target is under the pointer and which text box has the focus.
    void begin(HDC__* dc, const FontSet& fonts, int hotTarget, int focusedTarget);
    HDC__* dc() const { return dc_; }
    bool isHot(int target) const { return target != 0 && target == hotTarget_; }

    void gradientV(const Rect& rect, Colour top, Colour bottom);
    void gradientH(const Rect& rect, Colour left, Colour right);
    void frame(const Rect& rect);
    void alphaFill(const Rect& rect, Colour colour, int alpha);
    void accentFill(const Rect& rect);

    void button(const Rect& rect, std::string_view label, int target, bool primary);
    // A button that cannot be used: Fill, a LineHot border and a faint label.
    void disabledButton(const Rect& rect, std::string_view label);
    void stepper(const Rect& left, int leftId, const Rect& right, int rightId, const std::wstring& value);
    void textBox(const Rect& rect, int target, const std::string& text, std::string_view placeholder);

    // Icons; the refresh and globe icons from their origin, the gear from its button's top-left.
    void refreshIcon(int x, int y, Colour colour);
    void gearIcon(int x, int y, Colour colour);
    void globeIcon(int x, int y, Colour colour);

    // The PLAY hexagon: enabled with shadow, gradient and outline, or flat when disabled.
    void playButton(const Rect& rect, bool enabled, bool hot);

    // Shapes: corner 0 draws a plain rectangle; kNoColour leaves out the fill or the border.
    void roundRect(const Rect& rect, int corner, Colour fill, Colour border);
    void fillRect(const Rect& rect, Colour colour);
    void line(int x1, int y1, int x2, int y2, Colour colour, int width = 1);
    void ellipse(const Rect& rect, Colour border, int width);

    void text(const Rect& rect, std::wstring_view text, FontId font, Colour colour, TextAlign align,
              bool ellipsis = false);
    void text(const Rect& rect, std::string_view utf8, FontId font, Colour colour, TextAlign align,
              bool ellipsis = false);
    int textWidth(std::wstring_view text, FontId font);

private:
    void gradient(const Rect& rect, Colour from, Colour to, bool vertical);
    void polygon(const std::array<Point, 6>& points, Colour fill, Colour border);

    HDC__* dc_ = nullptr;
    const FontSet* fonts_ = nullptr;
    int hotTarget_ = 0;
    int focusedTarget_ = 0;
    HDC__* pixelDc_ = nullptr;
    HBITMAP__* pixelBitmap_ = nullptr;
    void* pixelPrevious_ = nullptr; // HGDIOBJ
};

} // namespace launcher
