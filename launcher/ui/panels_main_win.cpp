#include "launcher/ui/interface_texts.hpp"
#include "launcher/ui/panel_content.hpp"
#include "launcher/ui/panels_win.hpp"

#include <windows.h>

namespace launcher {
namespace {

constexpr int kIconSize = 24;

void paintTitle(const PaintContext& context) {
    DrawingKit& kit = context.kit;
    const std::wstring first = widen(uiText(UiText::TitleFirstPart));
    const Rect area{42, 0, 242, 42};
    kit.text(area, first, FontId::F1, palette::TextBright, TextAlign::Left);
    const int offset = kit.textWidth(first, FontId::F1);
    kit.text(Rect{area.left + offset, area.top, area.right, area.bottom}, uiText(UiText::TitleSecondPart), FontId::F1,
             palette::Accent, TextAlign::Left);
}

void paintServerSelector(const PaintContext& context) {
    DrawingKit& kit = context.kit;
    const Rect& rect = kServerSelectorRect;
    const bool hot = kit.isHot(kTargetServerSelector);
    kit.roundRect(rect, 8, hot ? palette::Fill : palette::BandBottom, hot ? palette::Accent : palette::Line);

    const SelectorText selector = serverSelectorText(context.state.news.headline);
    const Rect textArea{rect.left + 10, rect.top, rect.right - 22, rect.bottom};
    const std::wstring status = widen(selector.status);
    kit.text(textArea, status, FontId::F3, selector.statusColour, TextAlign::Right, true);
    if (!selector.name.empty()) {
        const int statusWidth = kit.textWidth(status, FontId::F3);
        const Rect nameArea{textArea.left, textArea.top, textArea.right - statusWidth, textArea.bottom};
        kit.text(nameArea, selector.name, FontId::F3, hot ? palette::TextBright : palette::TextNormal, TextAlign::Right,
                 true);
    }
    kit.text(Rect{rect.right - 20, rect.top, rect.right - 4, rect.bottom}, uiText(UiText::SelectorCaret), FontId::F6,
             hot ? palette::TextBright : palette::TextMuted, TextAlign::Centre);
}

void paintWindowButtons(const PaintContext& context) {
    DrawingKit& kit = context.kit;
    const Rect& icon = kHeaderIconRect;
    const bool iconHot = kit.isHot(kTargetHeaderIcon);
    kit.roundRect(icon, 8, palette::Fill, iconHot ? palette::Accent : palette::Line);
    kit.globeIcon(icon.left, icon.top, iconHot ? palette::TextBright : palette::TextMuted);
    kit.line(811, 13, 811, 29, palette::Line);

    const bool minimiseHot = kit.isHot(kTargetMinimise);
    if (minimiseHot) {
        kit.alphaFill(kMinimiseRect, palette::LineHot, 60);
    }
    kit.text(kMinimiseRect, uiText(UiText::MinimiseGlyph), FontId::F7,
             minimiseHot ? palette::TextBright : palette::TextFaint, TextAlign::Centre);
    paintCloseMark(context, kCloseRect, kTargetClose, palette::TextFaint);
}

} // namespace

void paintWindowBackground(const PaintContext& context) {
    context.kit.gradientV(kWindowRect, palette::WindowTop, palette::WindowBottom);
}

void paintWindowFrame(const PaintContext& context) {
    DrawingKit& kit = context.kit;
    kit.frame(kWindowRect);
    kit.gradientH(Rect{0, 0, kWindowWidth, 2}, palette::Accent, palette::AccentDark);
}

void paintHeader(const PaintContext& context) {
    DrawingKit& kit = context.kit;
    const Rect& bar = kTitleBarRect;
    kit.gradientV(bar, palette::BandTop, palette::BandBottom);
    kit.fillRect(Rect{bar.left, bar.bottom - 1, bar.right, bar.bottom}, palette::Separator);
    if (context.icon != nullptr) {
        DrawIconEx(kit.dc(), 12, 9, context.icon, kIconSize, kIconSize, 0, nullptr, DI_NORMAL);
    }
    paintTitle(context);
    paintServerSelector(context);
    paintWindowButtons(context);
}

void paintNewsPanel(const PaintContext& context) {
    DrawingKit& kit = context.kit;
    const Rect& panel = kContentPanelRect;
    const NewsDisplay& news = context.state.news;
    kit.gradientV(panel, palette::Fill, palette::PanelBottom);
    kit.frame(panel);
    const std::wstring heading = widen(uiText(UiText::NewsHeading));
    kit.text(Rect{panel.left + 12, panel.top + 6, panel.right - 12, panel.top + 28}, heading, FontId::F4,
             palette::TextBright, TextAlign::Left);
    const int headlineLeft = panel.left + 12 + kit.textWidth(heading, FontId::F4) + 14;
    kit.text(Rect{headlineLeft, panel.top + 6, panel.right - 12, panel.top + 28}, news.newsHeadline, FontId::F5,
             palette::Accent, TextAlign::Left, true);
    kit.gradientH(Rect{panel.left + 12, panel.top + 29, panel.left + 46, panel.top + 31}, palette::Accent,
                  palette::AccentDark);

    bool anyVisible = false;
    for (const NewsSlot& item : news.items) {
        anyVisible = anyVisible || item.visible;
    }
    if (!anyVisible) {
        const UiText message = news.noNews ? UiText::NoNews : UiText::NewsLoading;
        kit.text(Rect{panel.left + 12, panel.top + 34, panel.right - 12, panel.bottom - 8}, uiText(message), FontId::F5,
                 palette::TextFaint, TextAlign::Centre);
        return;
    }
    for (int k = 0; k < kNewsItemCount; ++k) {
        const Rect& item = context.layout.newsItems[k];
        if (!news.items[k].visible || item.empty()) {
            continue;
        }
        kit.roundRect(Rect{panel.left + 12, item.top + 8, panel.left + 15, item.bottom - 14}, 2, palette::Accent,
                      kNoColour);
        // The item's date at the right of its title line; a title with a link lights up under the pointer.
        const std::wstring date = widen(news.items[k].texts[3]);
        const int dateLeft = panel.right - 12 - kit.textWidth(date, FontId::F6);
        kit.text(Rect{dateLeft, item.top + 2, panel.right - 12, item.top + 22}, date, FontId::F6, palette::TextMuted,
                 TextAlign::Right);
        const bool linkHot = !news.items[k].link.empty() && kit.isHot(kTargetNewsItem0 + k);
        kit.text(Rect{panel.left + 27, item.top + 2, dateLeft - 12, item.top + 22}, news.items[k].texts[0], FontId::F5,
                 linkHot ? palette::AccentHot : palette::TextBright, TextAlign::Left, true);
        kit.text(Rect{panel.left + 27, item.top + 22, panel.right - 12, item.bottom - 6}, news.items[k].texts[1],
                 FontId::F6, palette::TextDim, TextAlign::Wrap);
        if (k < kNewsItemCount - 1) {
            kit.fillRect(Rect{panel.left + 12, item.bottom - 1, panel.right - 12, item.bottom}, palette::Separator);
        }
    }
}

void paintPanelBase(const PaintContext& context, const Rect& panel, int overlayAlpha) {
    DrawingKit& kit = context.kit;
    kit.alphaFill(kWindowRect, palette::FillDeep, overlayAlpha);
    kit.gradientV(panel, palette::BandTop, palette::BandBottom);
    kit.frame(panel);
    kit.gradientH(Rect{panel.left + 1, panel.top + 1, panel.right - 1, panel.top + 4}, palette::Accent,
                  palette::AccentDark);
}

void paintCloseMark(const PaintContext& context, const Rect& rect, int target, Colour restColour) {
    DrawingKit& kit = context.kit;
    const bool hot = kit.isHot(target);
    if (hot) {
        kit.alphaFill(rect, palette::Accent, 90);
    }
    kit.text(rect, uiText(UiText::CloseGlyph), FontId::F7, hot ? palette::TextBright : restColour, TextAlign::Centre);
}

} // namespace launcher
