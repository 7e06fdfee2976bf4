#include "launcher_window/reference_canvas_win.hpp"

#include "launcher/ui/hit_test.hpp"
#include "launcher/ui/layout.hpp"
#include "launcher_window/launcher_process_win.hpp"

#include <fstream>

namespace kyrtest {

using launcher::kWindowHeight;
using launcher::kWindowWidth;

ReferenceCanvas::ReferenceCanvas() : pixels_(kWindowWidth, kWindowHeight) {
    valid_ = pixels_.valid() && fonts_.create();
}

void ReferenceCanvas::draw(const launcher::WindowState& state, PanelPainter panel) {
    if (!valid_) {
        return;
    }
    const launcher::Layout layout = launcher::computeLayout(state.update.forceEnabled);
    kit_.begin(pixels_.dc(), fonts_, launcher::kTargetNone, launcher::kTargetNone);
    panel(launcher::PaintContext{kit_, state, layout, false, nullptr});
}

std::string ReferenceCanvas::save(const std::string& name) const {
    if (!valid_) {
        return {};
    }
    const std::string ppm = screenshotFolder() + "/." + name + ".ppm";
    const std::string png = screenshotFolder() + "/" + name + ".png";
    {
        std::ofstream out(windowsPath(ppm), std::ios::binary | std::ios::trunc);
        out << "P6\n" << kWindowWidth << " " << kWindowHeight << "\n255\n";
        for (int y = 0; y < kWindowHeight; ++y) {
            for (int x = 0; x < kWindowWidth; ++x) {
                const Rgb pixel = at(x, y);
                out << static_cast<char>(pixel.red) << static_cast<char>(pixel.green) << static_cast<char>(pixel.blue);
            }
        }
        if (!out) {
            return {};
        }
    }
    return runHostCommand("convert '" + ppm + "' '" + png + "' && rm -f '" + ppm + "'") ? png : std::string();
}

int ReferenceCanvas::textWidth(const std::wstring& text, launcher::FontId font) {
    if (!valid_) {
        return 0;
    }
    kit_.begin(pixels_.dc(), fonts_, launcher::kTargetNone, launcher::kTargetNone);
    return kit_.textWidth(text, font);
}

} // namespace kyrtest
