#include "launcher/ui/interface_texts.hpp"
#include "launcher/ui/panels_win.hpp"

namespace launcher {
namespace {

constexpr int kLabelLeft = 177;
constexpr int kLabelRight = 357;
constexpr int kSeparatorRight = 697;
constexpr int kSeparatorRows[] = {135, 169, 203, 241};

void paintRowLabel(DrawingKit& kit, UiText label, const Rect& row) {
    kit.text(Rect{kLabelLeft, row.top, kLabelRight, row.bottom}, uiText(label), FontId::F10, palette::TextDim,
             TextAlign::Left);
}

void paintWindowedCheck(DrawingKit& kit, bool checked) {
    const Rect& box = kWindowedCheckRect;
    kit.roundRect(box, 6, kNoColour, kit.isHot(kTargetWindowed) ? palette::Accent : palette::LineHot);
    if (!checked) {
        return;
    }
    kit.roundRect(Rect{box.left + 3, box.top + 3, box.right - 3, box.bottom - 3}, 4, palette::Accent, kNoColour);
    kit.text(box, uiText(UiText::CheckMark), FontId::F2, palette::TextBright, TextAlign::Centre);
}

} // namespace

void paintSettingsPanel(const PaintContext& context) {
    DrawingKit& kit = context.kit;
    const GameSettings& settings = context.state.settings;
    const Rect& panel = kSettingsPanelRect;
    paintPanelBase(context, panel, 200);
    kit.text(Rect{panel.left + 20, panel.top + 12, panel.right - 40, panel.top + 36}, uiText(UiText::SettingsTitle),
             FontId::F9, palette::TextBright, TextAlign::Left);
    paintCloseMark(context, kSettingsCloseRect, kTargetSettingsClose, palette::TextDim);

    paintRowLabel(kit, UiText::EngineLabel, kEngineLeftRect);
    paintRowLabel(kit, UiText::LanguageLabel, kLanguageLeftRect);
    paintRowLabel(kit, UiText::FpsLimitLabel, kFpsLeftRect);
    paintRowLabel(kit, UiText::ResolutionLabel, kResolutionLeftRect);
    paintRowLabel(kit, UiText::WindowedModeLabel, kWindowedCheckRect);
    for (const int y : kSeparatorRows) {
        kit.fillRect(Rect{kLabelLeft, y, kSeparatorRight, y + 1}, palette::Separator);
    }

    kit.stepper(kEngineLeftRect, kTargetEngineLeft, kEngineRightRect, kTargetEngineRight,
                videoEngineLabel(settings.engine));
    kit.stepper(kLanguageLeftRect, kTargetLanguageLeft, kLanguageRightRect, kTargetLanguageRight,
                languageLabel(settings.language));
    kit.stepper(kFpsLeftRect, kTargetFpsLeft, kFpsRightRect, kTargetFpsRight, fpsModeLabel(settings.fpsMode));
    kit.stepper(kResolutionLeftRect, kTargetResolutionLeft, kResolutionRightRect, kTargetResolutionRight,
                resolutionLabel(settings));
    paintWindowedCheck(kit, settings.windowed);

    kit.button(kResetRect, uiText(UiText::ResetButton), kTargetSettingsReset, false);
    kit.button(kCancelRect, uiText(UiText::CancelButton), kTargetSettingsCancel, false);
    kit.button(kApplyRect, uiText(UiText::ApplyButton), kTargetSettingsApply, true);
}

} // namespace launcher
