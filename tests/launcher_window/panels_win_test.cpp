#include "launcher/ui/layout.hpp"
#include "launcher/ui/palette.hpp"
#include "launcher_window/screen_tools_win.hpp"
#include "launcher_window/window_scenes_win.hpp"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace launcher;
using kyrtest::colourDistance;
using kyrtest::Rgb;
using kyrtest::rgbOf;
using kyrtest::Scene;
using kyrtest::SceneWindow;
using kyrtest::Screenshot;

Colour between(Colour a, Colour b, double t) {
    return kyrtest::mixColour(a, b, t);
}

// The colour of a FillDeep overlay at alpha over a colour.
Colour overlaid(Colour under, int alpha) {
    return between(under, palette::FillDeep, alpha / 255.0);
}

void expectPixels(const Screenshot& shot, std::initializer_list<kyrtest::PixelCase> cases) {
    ASSERT_TRUE(shot.valid()) << "no screenshot";
    EXPECT_EQ(shot.width(), kWindowWidth);
    EXPECT_EQ(shot.height(), kWindowHeight);
    SCOPED_TRACE(shot.path());
    kyrtest::expectPixels(shot, cases);
}

class Panels : public ::testing::Test {
protected:
    Screenshot open(const Scene& scene, const char* name) {
        window_.reset();
        // Keep the pointer off the window so that nothing is drawn hot.
        EXPECT_TRUE(kyrtest::runHostCommand("xdotool mousemove 0 0"));
        window_.reset(new SceneWindow(scene));
        EXPECT_TRUE(window_->created());
        return window_->created() ? Screenshot::capture(window_->window.handle(), name) : Screenshot{};
    }
    std::unique_ptr<SceneWindow> window_;
};

TEST_F(Panels, MainViewFrameAccentStripAndBackground) {
    Scene scene;
    scene.rows = 3;
    scene.selected = 0;
    scene.done = 50;
    scene.total = 200;
    scene.source = 0;
    const Screenshot shot = open(scene, "main_view");
    // The background shows between the header and the content panel, and left of the content panel.
    const double at45 = 45.0 / kWindowHeight;
    const double at316 = 316.0 / kWindowHeight;
    expectPixels(
        shot, {
                  {"accent strip, left end", 1, 0, palette::Accent, 3},
                  {"accent strip, right end", 872, 1, palette::AccentDark, 3},
                  {"frame, left", 0, 200, palette::Line, 0},
                  {"frame, right", 873, 200, palette::Line, 0},
                  {"frame, bottom", 400, 379, palette::Line, 0},
                  {"background near the top", 6, 45, between(palette::WindowTop, palette::WindowBottom, at45), 2},
                  {"background near the bottom", 6, 316, between(palette::WindowTop, palette::WindowBottom, at316), 2},
                  {"header separator", 400, 41, palette::Separator, 0},
                  {"content panel frame", 12, 200, palette::Line, 0},
                  {"bottom bar separator", 400, 320, palette::Separator, 0},
                  {"primary source square", 614 - 206, 335, palette::Ok, 0},
              });
}

TEST_F(Panels, PlayAndProgress) {
    Scene scene;
    scene.done = 50;
    scene.total = 200; // a quarter of 598 pixels: 16 .. 165
    const Screenshot enabled = open(scene, "play_enabled");
    expectPixels(
        enabled,
        {
            {"PLAY gradient near its top", 745, 331, between(palette::Accent, palette::AccentDark, 3 / 44.0), 10},
            {"PLAY gradient near its bottom", 745, 369, between(palette::Accent, palette::AccentDark, 41 / 44.0), 10},
            {"PLAY cut corner shows the bar", 724, 330, palette::BandTop, 14},
            {"progress fill start", 20, 355, palette::AccentDark, 12},
            {"progress fill end", 160, 355, palette::Accent, 12},
            {"track after the fill", 300, 355, palette::FillDeep, 0},
            {"VERIFY fill", 636, 350, palette::Fill, 0},
            {"gear fill", 680, 350, palette::Fill, 0},
        });

    scene.play = false;
    scene.verify = false;
    scene.force = true;
    const Screenshot disabled = open(scene, "play_disabled");
    expectPixels(disabled, {
                               {"PLAY flat fill", 745, 335, palette::Fill, 0},
                               {"PLAY outline", 760, 328, palette::LineHot, 0},
                               {"FORCE fill", 536, 350, palette::ForceFill, 0},
                               {"FORCE border without VERIFY", 576, 333, palette::Line, 0},
                               {"progress track shortened for FORCE", 520, 355,
                                between(palette::BandTop, palette::FillDeep, 35 / 60.0), 3},
                           });
}

TEST_F(Panels, SpanishSecondarySourceWithForce) {
    Scene scene;
    scene.language = "Spn";
    scene.source = 1;
    scene.force = true;
    scene.play = false;
    scene.statusError = true;
    scene.status = "FORZAR reintenta desde el Servidor Secundario (solo si la descarga falla; no es mas rapido). "
                   "No se pudo bajar el parche. Toca VERIFICAR para reintentar.";
    const Screenshot shot = open(scene, "main_view_spanish_force");
    expectPixels(shot, {
                           {"secondary source square", 514 - 206, 335, palette::Warn, 0},
                           {"FORCE border offered", 576, 333, palette::Warn, 0},
                           {"FORCE fill", 536, 350, palette::ForceFill, 0},
                       });
    int warnLabel = 0;
    for (int x = kForceRect.left + 8; x < kForceRect.right - 8; ++x) {
        for (int y = kForceRect.top + 8; y < kForceRect.bottom - 8; ++y) {
            warnLabel += colourDistance(shot.at(x, y), rgbOf(palette::Warn)) < 40 ? 1 : 0;
        }
    }
    EXPECT_GT(warnLabel, 20) << "the FORZAR label is drawn in Warn";
}

TEST_F(Panels, BusyProgressSlidesASegment) {
    Scene scene;
    scene.busy = true;
    scene.play = false;
    scene.verify = false;
    scene.status = "Checking for updates...";
    const Screenshot shot = open(scene, "busy_progress");
    ASSERT_TRUE(shot.valid());
    int accent = 0;
    int deep = 0;
    for (int x = 20; x < 610; ++x) {
        const Rgb pixel = shot.at(x, 355);
        accent += pixel.red > 100 && pixel.green < 60 ? 1 : 0;
        deep += colourDistance(pixel, rgbOf(palette::FillDeep)) == 0 ? 1 : 0;
    }
    // The segment is a third of the track (199 pixels) unless it is entering or leaving the track.
    EXPECT_GT(accent, 0) << shot.path();
    EXPECT_LE(accent, 200);
    EXPECT_GT(deep, 390);
}

TEST_F(Panels, SettingsPanel) {
    Scene scene;
    scene.view = "settings";
    const Screenshot shot = open(scene, "settings_panel");
    expectPixels(shot, {
                           {"overlay over the header", 265, 30,
                            overlaid(between(palette::BandTop, palette::BandBottom, 30 / 42.0), 200), 3},
                           {"panel accent strip, left", 160, 59, palette::Accent, 4},
                           {"panel accent strip, right", 714, 59, palette::AccentDark, 4},
                           {"panel frame", 157, 200, palette::Line, 0},
                           {"row separator", 300, 135, palette::Separator, 0},
                           {"stepper value box", 560, 108, palette::FillDeep, 0},
                           {"windowed check mark box", 683, 252, palette::Accent, 0},
                           {"APPLY is primary", 603, 290, palette::Accent, 0},
                           {"CANCEL is secondary", 503, 290, palette::Fill, 0},
                       });
}

TEST_F(Panels, ServerPanelWithRows) {
    Scene scene;
    scene.view = "servers";
    scene.rows = 10;
    scene.selected = 0;
    const Screenshot shot = open(scene, "server_panel");
    expectPixels(shot, {
                           {"overlay over the bottom bar", 10, 375,
                            overlaid(between(palette::BandTop, palette::FillDeep, 55 / 60.0), 214), 3},
                           {"panel accent strip", 30, 16, palette::Accent, 6},
                           {"selected row border", 400, 94, palette::Accent, 0},
                           {"other row border", 400, 160, palette::Line, 0},
                           {"kind bar oficial", 47, 125, palette::Accent, 0},
                           {"kind bar fast", 47, 191, palette::Warn, 0},
                           {"kind bar battle", 47, 257, palette::Violet, 0},
                           {"gap between rows", 400, 157, palette::FillDeep, 0},
                           {"scroll bar thumb (72 pixels)", 826, 94 + 60, palette::LineHot, 0},
                           {"scroll bar track", 826, 94 + 100, palette::BandBottom, 0},
                           {"search box", 200, 64, palette::FillDeep, 0},
                           {"JUGAR is primary", 706, 325, palette::Accent, 0},
                       });
}

TEST_F(Panels, ServerPanelWithoutRowsOrSelection) {
    Scene scene;
    scene.view = "servers";
    scene.rows = 3;
    const Screenshot shot = open(scene, "server_panel_no_selection");
    expectPixels(shot, {
                           {"row border at rest", 400, 94, palette::Line, 0},
                           {"no scroll bar with three rows", 826, 100, palette::FillDeep, 0},
                           {"JUGAR disabled", 706, 325, palette::Fill, 0},
                           {"kind bar evento absent: viewport", 47, 290, palette::FillDeep, 0},
                       });
    scene.rows = 0;
    const Screenshot empty = open(scene, "server_panel_empty");
    expectPixels(empty, {{"viewport", 100, 100, palette::FillDeep, 0}});
}

} // namespace
