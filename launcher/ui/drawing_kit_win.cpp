#include "launcher/ui/drawing_kit_win.hpp"

#include "launcher/ui/interface_texts.hpp"

#include <windows.h>

namespace launcher {
namespace {

COLOR16 channel16(std::uint32_t value) {
    return static_cast<COLOR16>(value << 8);
}

TRIVERTEX vertex(int x, int y, Colour colour) {
    TRIVERTEX v{};
    v.x = x;
    v.y = y;
    v.Red = channel16(redOf(colour));
    v.Green = channel16(greenOf(colour));
    v.Blue = channel16(blueOf(colour));
    return v;
}

UINT drawTextFormat(TextAlign align, bool ellipsis) {
    UINT format = DT_NOPREFIX;
    switch (align) {
    case TextAlign::Left:
        format |= DT_LEFT | DT_VCENTER | DT_SINGLELINE;
        break;
    case TextAlign::Centre:
        format |= DT_CENTER | DT_VCENTER | DT_SINGLELINE;
        break;
    case TextAlign::Right:
        format |= DT_RIGHT | DT_VCENTER | DT_SINGLELINE;
        break;
    case TextAlign::Wrap:
        format |= DT_LEFT | DT_WORDBREAK;
        break;
    }
    if (ellipsis) {
        return format | DT_END_ELLIPSIS;
    }
    // A text that is meant to fit keeps the overhang of its last glyph (bold faces draw past their
    // advance); only wrapped text is held to its rectangle.
    return align == TextAlign::Wrap ? format : format | DT_NOCLIP;
}

RECT toRect(const Rect& rect) {
    return RECT{rect.left, rect.top, rect.right, rect.bottom};
}

// Selects a pen and brush for one shape and deletes them once the shape is drawn. kNoColour selects
// the stock null pen or brush.
class ShapeTools {
public:
    ShapeTools(HDC dc, Colour fill, Colour border, int width = 1) : dc_(dc) {
        pen_ = border != kNoColour ? CreatePen(PS_SOLID, width, border) : nullptr;
        brush_ = fill != kNoColour ? CreateSolidBrush(fill) : nullptr;
        previousPen_ = SelectObject(dc, pen_ != nullptr ? static_cast<HGDIOBJ>(pen_) : GetStockObject(NULL_PEN));
        previousBrush_ =
            SelectObject(dc, brush_ != nullptr ? static_cast<HGDIOBJ>(brush_) : GetStockObject(NULL_BRUSH));
    }
    ~ShapeTools() {
        SelectObject(dc_, previousPen_);
        SelectObject(dc_, previousBrush_);
        if (pen_ != nullptr) {
            DeleteObject(pen_);
        }
        if (brush_ != nullptr) {
            DeleteObject(brush_);
        }
    }
    ShapeTools(const ShapeTools&) = delete;
    ShapeTools& operator=(const ShapeTools&) = delete;

private:
    HDC dc_;
    HPEN pen_;
    HBRUSH brush_;
    HGDIOBJ previousPen_;
    HGDIOBJ previousBrush_;
};

HRGN hexagonRegion(const std::array<Point, 6>& points) {
    POINT corners[6];
    for (std::size_t i = 0; i < points.size(); ++i) {
        corners[i] = POINT{points[i].x, points[i].y};
    }
    return CreatePolygonRgn(corners, 6, WINDING);
}

} // namespace

ClipScope::ClipScope(HDC dc, HRGN region) : dc_(dc), saved_(region != nullptr ? SaveDC(dc) : 0) {
    if (saved_ != 0) {
        ExtSelectClipRgn(dc, region, RGN_AND);
    }
    if (region != nullptr) {
        DeleteObject(region);
    }
}

ClipScope::~ClipScope() {
    if (saved_ != 0) {
        RestoreDC(dc_, saved_);
    }
}

std::wstring widen(std::string_view utf8) {
    if (utf8.empty()) {
        return std::wstring();
    }
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    if (length <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
    return wide;
}

DrawingKit::~DrawingKit() {
    if (pixelDc_ != nullptr) {
        SelectObject(pixelDc_, pixelPrevious_);
        DeleteDC(pixelDc_);
    }
    if (pixelBitmap_ != nullptr) {
        DeleteObject(pixelBitmap_);
    }
}

void DrawingKit::begin(HDC dc, const FontSet& fonts, int hotTarget, int focusedTarget) {
    dc_ = dc;
    fonts_ = &fonts;
    hotTarget_ = hotTarget;
    focusedTarget_ = focusedTarget;
    SetBkMode(dc, TRANSPARENT);
}

void DrawingKit::gradient(const Rect& rect, Colour from, Colour to, bool vertical) {
    if (rect.empty()) {
        return;
    }
    TRIVERTEX vertices[2] = {vertex(rect.left, rect.top, from), vertex(rect.right, rect.bottom, to)};
    GRADIENT_RECT mesh{0, 1};
    // GDI32's own entry: MSIMG32's GradientFill is a thin wrapper of it, in a library that would be looked
    // up in the game folder first.
    GdiGradientFill(dc_, vertices, 2, &mesh, 1, vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
}

void DrawingKit::gradientV(const Rect& rect, Colour top, Colour bottom) {
    gradient(rect, top, bottom, true);
}

void DrawingKit::gradientH(const Rect& rect, Colour left, Colour right) {
    gradient(rect, left, right, false);
}

void DrawingKit::frame(const Rect& rect) {
    roundRect(rect, 0, kNoColour, palette::Line);
}

void DrawingKit::alphaFill(const Rect& rect, Colour colour, int alpha) {
    if (rect.empty()) {
        return;
    }
    if (pixelDc_ == nullptr) {
        pixelDc_ = CreateCompatibleDC(dc_);
        pixelBitmap_ = pixelDc_ != nullptr ? CreateCompatibleBitmap(dc_, 1, 1) : nullptr;
        if (pixelBitmap_ == nullptr) {
            if (pixelDc_ != nullptr) {
                DeleteDC(pixelDc_);
                pixelDc_ = nullptr;
            }
            return;
        }
        pixelPrevious_ = SelectObject(pixelDc_, pixelBitmap_);
    }
    SetPixel(pixelDc_, 0, 0, colour);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(alpha < 0 ? 0 : alpha > 255 ? 255 : alpha), 0};
    GdiAlphaBlend(dc_, rect.left, rect.top, rect.width(), rect.height(), pixelDc_, 0, 0, 1, 1, blend);
}

void DrawingKit::accentFill(const Rect& rect) {
    ClipScope clip(dc_, CreateRoundRectRgn(rect.left, rect.top, rect.right, rect.bottom, 8, 8));
    if (clip.valid()) {
        gradientH(rect, palette::AccentDark, palette::Accent);
    }
}

void DrawingKit::button(const Rect& rect, std::string_view label, int target, bool primary) {
    const bool hot = isHot(target);
    if (primary) {
        roundRect(rect, 8, hot ? palette::AccentHot : palette::Accent, palette::AccentDark);
        text(rect, label, FontId::F7, palette::TextBright, TextAlign::Centre);
        return;
    }
    roundRect(rect, 8, palette::Fill, hot ? palette::Accent : palette::Line);
    text(rect, label, FontId::F7, hot ? palette::TextBright : palette::TextNormal, TextAlign::Centre);
}

void DrawingKit::disabledButton(const Rect& rect, std::string_view label) {
    roundRect(rect, 8, palette::Fill, palette::LineHot);
    text(rect, label, FontId::F7, palette::TextFaint, TextAlign::Centre);
}

void DrawingKit::stepper(const Rect& left, int leftId, const Rect& right, int rightId, const std::wstring& value) {
    text(left, uiText(UiText::StepperLeft), FontId::F11, isHot(leftId) ? palette::Accent : palette::LineHot,
         TextAlign::Centre);
    text(right, uiText(UiText::StepperRight), FontId::F11, isHot(rightId) ? palette::Accent : palette::LineHot,
         TextAlign::Centre);
    const Rect box{left.right, left.top + 2, right.left, left.bottom - 2};
    roundRect(box, 6, palette::FillDeep, palette::Line);
    text(box, value, FontId::F11, palette::TextNormal, TextAlign::Centre, true);
}

void DrawingKit::textBox(const Rect& rect, int target, const std::string& content, std::string_view placeholder) {
    const bool focused = target != 0 && target == focusedTarget_;
    Colour border = palette::Line;
    if (focused) {
        border = palette::Accent;
    } else if (isHot(target)) {
        border = palette::LineHot;
    }
    roundRect(rect, 8, palette::FillDeep, border);
    const Rect inner{rect.left + 10, rect.top, rect.right - 10, rect.bottom};
    if (!content.empty() || focused) {
        const std::string shown = focused ? content + uiText(UiText::TextCaret) : content;
        text(inner, shown, FontId::F11, palette::TextBright, TextAlign::Left, true);
    } else {
        text(inner, placeholder, FontId::F6, palette::TextFaint, TextAlign::Left, true);
    }
}

void DrawingKit::refreshIcon(int x, int y, Colour colour) {
    HPEN pen = CreatePen(PS_SOLID, 2, colour);
    HGDIOBJ previous = SelectObject(dc_, pen);
    Arc(dc_, x + 2, y + 2, x + 14, y + 14, x + 8, y + 1, x + 14, y + 8);
    SelectObject(dc_, previous);
    DeleteObject(pen);
    ShapeTools tools(dc_, colour, colour);
    const POINT head[3] = {{x + 9, y}, {x + 9, y + 6}, {x + 15, y + 3}};
    Polygon(dc_, head, 3);
}

void DrawingKit::gearIcon(int x, int y, Colour colour) {
    ellipse(Rect{x + 12, y + 12, x + 22, y + 22}, colour, 2);
    ellipse(Rect{x + 15, y + 15, x + 19, y + 19}, colour, 1);
    struct Spoke {
        int x1, y1, x2, y2;
    };
    constexpr Spoke kSpokes[] = {{8, 3, 8, 0}, {8, 13, 8, 16}, {3, 8, 0, 8},   {13, 8, 16, 8},
                                 {4, 4, 2, 2}, {12, 4, 14, 2}, {4, 12, 2, 14}, {12, 12, 14, 14}};
    const int ox = x + 9;
    const int oy = y + 9;
    for (const Spoke& spoke : kSpokes) {
        line(ox + spoke.x1, oy + spoke.y1, ox + spoke.x2, oy + spoke.y2, colour, 2);
    }
}

void DrawingKit::globeIcon(int x, int y, Colour colour) {
    ellipse(Rect{x + 5, y + 5, x + 19, y + 19}, colour, 1);
    ellipse(Rect{x + 9, y + 5, x + 15, y + 19}, colour, 1);
    line(x + 5, y + 12, x + 19, y + 12, colour);
}

void DrawingKit::playButton(const Rect& rect, bool enabled, bool hot) {
    const std::array<Point, 6> shape = playHexagon(rect);
    const std::string_view label = uiText(UiText::Play);
    if (!enabled) {
        polygon(shape, palette::Fill, palette::LineHot);
        text(rect, label, FontId::F8, palette::TextFaint, TextAlign::Centre);
        return;
    }
    polygon(playHexagon(offsetRect(rect, 3, 3)), kNoColour, palette::AccentDark);
    {
        ClipScope clip(dc_, hexagonRegion(shape));
        if (clip.valid()) {
            gradientV(rect, hot ? palette::AccentHot : palette::Accent, palette::AccentDark);
        }
    }
    polygon(shape, kNoColour, hot ? palette::AccentHot : palette::Accent);
    text(offsetRect(rect, 1, 1), label, FontId::F8, palette::FillDeep, TextAlign::Centre);
    text(rect, label, FontId::F8, palette::TextBright, TextAlign::Centre);
}

void DrawingKit::polygon(const std::array<Point, 6>& points, Colour fill, Colour border) {
    POINT corners[6];
    for (std::size_t i = 0; i < points.size(); ++i) {
        corners[i] = POINT{points[i].x, points[i].y};
    }
    ShapeTools tools(dc_, fill, border);
    Polygon(dc_, corners, 6);
}

void DrawingKit::roundRect(const Rect& rect, int corner, Colour fill, Colour border) {
    if (rect.empty()) {
        return;
    }
    ShapeTools tools(dc_, fill, border);
    // Without a pen GDI leaves out the right and bottom pixel of the fill; one more covers the rect.
    const int grow = border == kNoColour ? 1 : 0;
    if (corner > 0) {
        RoundRect(dc_, rect.left, rect.top, rect.right + grow, rect.bottom + grow, corner, corner);
    } else {
        Rectangle(dc_, rect.left, rect.top, rect.right + grow, rect.bottom + grow);
    }
}

void DrawingKit::fillRect(const Rect& rect, Colour colour) {
    roundRect(rect, 0, colour, kNoColour);
}

void DrawingKit::line(int x1, int y1, int x2, int y2, Colour colour, int width) {
    HPEN pen = CreatePen(PS_SOLID, width, colour);
    HGDIOBJ previous = SelectObject(dc_, pen);
    MoveToEx(dc_, x1, y1, nullptr);
    LineTo(dc_, x2, y2);
    SelectObject(dc_, previous);
    DeleteObject(pen);
}

void DrawingKit::ellipse(const Rect& rect, Colour border, int width) {
    ShapeTools tools(dc_, kNoColour, border, width);
    Ellipse(dc_, rect.left, rect.top, rect.right, rect.bottom);
}

void DrawingKit::text(const Rect& rect, std::wstring_view content, FontId font, Colour colour, TextAlign align,
                      bool ellipsis) {
    HFONT handle = fonts_ != nullptr ? fonts_->get(font) : nullptr;
    if (handle == nullptr || content.empty() || rect.empty()) {
        return;
    }
    HGDIOBJ previous = SelectObject(dc_, handle);
    SetTextColor(dc_, colour);
    RECT area = toRect(rect);
    DrawTextW(dc_, content.data(), static_cast<int>(content.size()), &area, drawTextFormat(align, ellipsis));
    SelectObject(dc_, previous);
}

void DrawingKit::text(const Rect& rect, std::string_view utf8, FontId font, Colour colour, TextAlign align,
                      bool ellipsis) {
    text(rect, std::wstring_view(widen(utf8)), font, colour, align, ellipsis);
}

int DrawingKit::textWidth(std::wstring_view content, FontId font) {
    HFONT handle = fonts_ != nullptr ? fonts_->get(font) : nullptr;
    if (handle == nullptr || content.empty()) {
        return 0;
    }
    HGDIOBJ previous = SelectObject(dc_, handle);
    SIZE size{};
    GetTextExtentPoint32W(dc_, content.data(), static_cast<int>(content.size()), &size);
    SelectObject(dc_, previous);
    return size.cx;
}

} // namespace launcher
