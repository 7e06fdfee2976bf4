#include "launcher/ui/interface_texts.hpp"
#include "launcher/ui/panel_content.hpp"
#include "launcher/ui/panels_win.hpp"
#include "launcher/ui/progress_geometry.hpp"

namespace launcher {
namespace {

void paintSourceIndicator(const PaintContext& context, int progressRight, int barTop) {
    const int source = context.state.update.source;
    const bool primary = source == 0;
    const Colour colour = primary ? palette::Ok : palette::Warn;
    context.kit.fillRect(Rect{progressRight - 210, barTop + 11, progressRight - 202, barTop + 19}, colour);
    const char* label =
        uiText(primary ? BilingualText::PrimaryServer : BilingualText::SecondaryServer, context.spanish);
    context.kit.text(Rect{progressRight - 198, barTop + 6, progressRight - 60, barTop + 24}, label, FontId::F6, colour,
                     TextAlign::Left, true);
}

void paintProgress(const PaintContext& context, int barTop) {
    DrawingKit& kit = context.kit;
    const UpdateDisplay& update = context.state.update;
    const Rect& track = context.layout.progressBar;
    kit.roundRect(track, 8, palette::FillDeep, palette::Line);
    const ProgressFill progress = progressFill(track, update.done, update.total, update.busy, update.busyOffset);
    if (progress.fill) {
        kit.accentFill(progress.fillRect);
    }
    if (progress.percent) {
        kit.text(Rect{track.right - 56, barTop + 6, track.right, barTop + 24}, progress.percentText, FontId::F6,
                 palette::TextNormal, TextAlign::Right);
    }
}

void paintVerify(const PaintContext& context) {
    DrawingKit& kit = context.kit;
    const Rect& rect = kVerifyRect;
    Colour icon = palette::TextFaint;
    if (context.state.update.verifyEnabled) {
        const bool hot = kit.isHot(kTargetVerify);
        kit.roundRect(rect, 8, palette::Fill, hot ? palette::Accent : palette::Line);
        icon = hot ? palette::TextBright : palette::TextMuted;
    } else {
        kit.roundRect(rect, 8, kNoColour, palette::Line);
    }
    kit.refreshIcon(rect.left + 9, rect.top + 9, icon);
}

void paintForce(const PaintContext& context) {
    DrawingKit& kit = context.kit;
    Colour colour = palette::Warn;
    if (!context.state.update.verifyEnabled) {
        colour = palette::TextFaint;
    } else if (kit.isHot(kTargetForce)) {
        colour = palette::TextBright;
    }
    const Colour border = context.state.update.verifyEnabled ? colour : palette::Line;
    kit.roundRect(kForceRect, 8, palette::ForceFill, border);
    kit.text(kForceRect, uiText(BilingualText::ForceButton, context.spanish), FontId::F7, colour, TextAlign::Centre);
}

void paintSettingsGear(const PaintContext& context) {
    DrawingKit& kit = context.kit;
    const bool hot = kit.isHot(kTargetSettingsGear);
    kit.roundRect(kSettingsGearRect, 8, palette::Fill, hot ? palette::Accent : palette::Line);
    kit.gearIcon(kSettingsGearRect.left, kSettingsGearRect.top, hot ? palette::TextBright : palette::TextNormal);
}

} // namespace

void paintBottomBar(const PaintContext& context) {
    DrawingKit& kit = context.kit;
    const UpdateDisplay& update = context.state.update;
    const Rect& bar = kBottomBarRect;
    kit.gradientV(bar, palette::BandTop, palette::FillDeep);
    kit.fillRect(Rect{bar.left, bar.top, bar.right, bar.top + 1}, palette::Separator);

    const int progressRight = context.layout.progressBar.right;
    const bool sourceKnown = update.source >= 0;
    if (sourceKnown) {
        paintSourceIndicator(context, progressRight, bar.top);
    }
    kit.text(Rect{16, bar.top + 6, statusLineRight(progressRight, sourceKnown), bar.top + 24}, update.status,
             FontId::F6, statusLineColour(update.statusError, update.playEnabled), TextAlign::Left, true);
    paintProgress(context, bar.top);
    paintVerify(context);
    if (update.forceEnabled) {
        paintForce(context);
    }
    paintSettingsGear(context);
    kit.playButton(kPlayRect, update.playEnabled, kit.isHot(kTargetPlay));
}

} // namespace launcher
