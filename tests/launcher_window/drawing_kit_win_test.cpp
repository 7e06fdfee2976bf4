#include "launcher/ui/drawing_kit_win.hpp"

#include "launcher/ui/hit_test.hpp"
#include "launcher_window/memory_canvas_win.hpp"
#include "launcher_window/screen_tools_win.hpp"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

using namespace launcher;
using kyrtest::expectPixels;
using kyrtest::Rgb;

constexpr Colour kWhite = rgb(255, 255, 255);

// A white 32-bit memory bitmap to draw into, with direct access to its pixels.
class Canvas {
public:
    Canvas(int width, int height) : pixels_(width, height) {
        kit.begin(pixels_.dc(), fonts_, hot, focused);
        kit.fillRect(Rect{0, 0, width, height}, kWhite);
    }

    void restart(int hotTarget, int focusedTarget) { kit.begin(pixels_.dc(), fonts_, hotTarget, focusedTarget); }
    Rgb at(int x, int y) const { return pixels_.at(x, y); }

    DrawingKit kit;
    int hot = 0;
    int focused = 0;

private:
    kyrtest::MemoryCanvas pixels_;
    FontSet fonts_; // never created: texts are left out, shapes stay exact
};

Colour between(Colour a, Colour b, double t) {
    return kyrtest::mixColour(a, b, t);
}

TEST(DrawingKit, GradientsRunFromTheirFirstColourToTheirSecond) {
    Canvas canvas(120, 60);
    canvas.kit.gradientV(Rect{0, 0, 40, 50}, palette::Accent, palette::AccentDark);
    canvas.kit.gradientH(Rect{50, 0, 110, 20}, palette::WindowTop, palette::Ok);
    expectPixels(canvas, {
                             {"vertical top", 20, 0, palette::Accent, 2},
                             {"vertical middle", 20, 25, between(palette::Accent, palette::AccentDark, 0.5), 4},
                             {"vertical bottom", 20, 49, palette::AccentDark, 4},
                             {"below the vertical gradient", 20, 50, kWhite, 0},
                             {"horizontal left", 50, 10, palette::WindowTop, 2},
                             {"horizontal right", 109, 10, palette::Ok, 5},
                             {"right of the horizontal gradient", 110, 10, kWhite, 0},
                         });
}

TEST(DrawingKit, FrameDrawsOnePixelLineWithoutFill) {
    Canvas canvas(60, 40);
    canvas.kit.frame(Rect{10, 10, 40, 30});
    expectPixels(canvas, {
                             {"top-left", 10, 10, palette::Line, 0},
                             {"bottom-right", 39, 29, palette::Line, 0},
                             {"inside", 11, 11, kWhite, 0},
                             {"outside right", 40, 20, kWhite, 0},
                             {"outside bottom", 20, 30, kWhite, 0},
                         });
}

TEST(DrawingKit, AlphaFillBlendsAConstantOpacity) {
    Canvas canvas(60, 40);
    canvas.kit.alphaFill(Rect{0, 0, 30, 40}, palette::FillDeep, 200);
    canvas.kit.alphaFill(Rect{30, 0, 60, 40}, palette::Accent, 90);
    // 200/255 of (6, 6, 8) over white, and 90/255 of Accent over white.
    expectPixels(canvas, {
                             {"deep overlay", 15, 20, rgb(60, 60, 61), 3},
                             {"accent hover", 45, 20, rgb(241, 182, 191), 3},
                         });
    canvas.kit.alphaFill(Rect{0, 0, 30, 40}, palette::FillDeep, 200); // the kept bitmap takes the new colour
    expectPixels(canvas, {{"second pass", 15, 20, rgb(17, 17, 19), 3}});
}

TEST(DrawingKit, AccentFillIsClippedToRoundedCorners) {
    Canvas canvas(80, 40);
    canvas.kit.accentFill(Rect{10, 10, 70, 30});
    expectPixels(canvas, {
                             {"rounded corner stays clear", 10, 10, kWhite, 0},
                             {"left end", 11, 20, palette::AccentDark, 6},
                             {"middle", 40, 20, between(palette::AccentDark, palette::Accent, 0.5), 6},
                             {"right end", 68, 20, palette::Accent, 6},
                             {"outside", 70, 20, kWhite, 0},
                         });
}

TEST(DrawingKit, ShapesWithoutBorderCoverTheirWholeRectangle) {
    Canvas canvas(40, 40);
    canvas.kit.fillRect(Rect{5, 5, 20, 20}, palette::Warn);
    canvas.kit.roundRect(Rect{22, 5, 38, 20}, 0, palette::Fill, palette::Accent);
    expectPixels(canvas, {
                             {"last column", 19, 12, palette::Warn, 0},
                             {"last row", 12, 19, palette::Warn, 0},
                             {"past the end", 20, 12, kWhite, 0},
                             {"border", 22, 12, palette::Accent, 0},
                             {"fill inside the border", 30, 12, palette::Fill, 0},
                         });
}

TEST(DrawingKit, ButtonsTextBoxesAndSteppersFollowTheirState) {
    const Rect box{10, 10, 110, 36};
    const struct {
        const char* name;
        int hot;
        int focused;
        bool primary;
        bool textBox;
        Colour fill;
        Colour border;
    } cases[] = {
        {"primary at rest", 0, 0, true, false, palette::Accent, palette::AccentDark},
        {"primary hot", kTargetRefresh, 0, true, false, palette::AccentHot, palette::AccentDark},
        {"secondary at rest", 0, 0, false, false, palette::Fill, palette::Line},
        {"secondary hot", kTargetRefresh, 0, false, false, palette::Fill, palette::Accent},
        {"text box at rest", 0, 0, false, true, palette::FillDeep, palette::Line},
        {"text box hot", kTargetSearchBox, 0, false, true, palette::FillDeep, palette::LineHot},
        {"text box focused and hot", kTargetSearchBox, kTargetSearchBox, false, true, palette::FillDeep,
         palette::Accent},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas canvas(120, 50);
        canvas.restart(c.hot, c.focused);
        if (c.textBox) {
            canvas.kit.textBox(box, kTargetSearchBox, "", "");
        } else {
            canvas.kit.button(box, "", kTargetRefresh, c.primary);
        }
        expectPixels(canvas, {{"fill", 60, 23, c.fill, 0}, {"top border", 60, 10, c.border, 0}});
    }

    Canvas canvas(200, 40);
    canvas.kit.stepper(Rect{0, 0, 24, 30}, kTargetEngineLeft, Rect{150, 0, 174, 30}, kTargetEngineRight, L"");
    expectPixels(canvas, {
                             {"value box fill", 80, 15, palette::FillDeep, 0},
                             {"value box border", 80, 2, palette::Line, 0},
                             {"two pixels above the box", 80, 1, kWhite, 0},
                         });
}

TEST(DrawingKit, PlayButtonFillsItsHexagon) {
    const Rect play{10, 10, 150, 54}; // cut 13
    Canvas enabled(170, 70);
    enabled.kit.playButton(play, true, false);
    expectPixels(enabled, {
                              {"cut corner stays clear", 12, 12, kWhite, 0},
                              {"gradient top", 40, 12, palette::Accent, 12},
                              {"gradient bottom", 40, 51, palette::AccentDark, 12},
                              {"outline along the top", 80, 10, palette::Accent, 0},
                              {"shadow below the bottom edge", 80, 57, palette::AccentDark, 0},
                          });
    Canvas hot(170, 70);
    hot.kit.playButton(play, true, true);
    expectPixels(hot, {{"hot gradient top", 40, 12, palette::AccentHot, 12}});
    Canvas disabled(170, 70);
    disabled.kit.playButton(play, false, false);
    expectPixels(disabled, {
                               {"flat fill", 40, 20, palette::Fill, 0},
                               {"outline", 80, 10, palette::LineHot, 0},
                               {"no shadow", 80, 57, kWhite, 0},
                           });
}

TEST(DrawingKit, WidenConvertsUtf8) {
    EXPECT_EQ(widen("C\xC3\xB3"
                    "digo"),
              L"C\u00f3digo");
    EXPECT_EQ(widen(""), L"");
    EXPECT_EQ(widen("\xE2\x97\x8F 5/9"), L"\u25cf 5/9");
}

} // namespace
