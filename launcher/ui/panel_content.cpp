#include "launcher/ui/panel_content.hpp"

#include "launcher/ui/interface_texts.hpp"
#include "launcher/ui/text_case.hpp"

namespace launcher {

Colour kindColour(const std::string& kind) {
    if (kind == "oficial") {
        return palette::Accent;
    }
    if (kind == "fast") {
        return palette::Warn;
    }
    if (kind == "battle") {
        return palette::Violet;
    }
    if (kind == "evento") {
        return palette::Ok;
    }
    if (kind == "test") {
        return palette::LineHot;
    }
    return palette::TextMuted;
}

Badge stateBadge(const std::string& state) {
    if (state == "online") {
        return Badge{uiText(UiText::StateOnline), palette::Ok};
    }
    if (state == "maintenance") {
        return Badge{uiText(UiText::StateMaintenance), palette::Warn};
    }
    if (state == "offline") {
        return Badge{uiText(UiText::StateOffline), palette::Accent};
    }
    return Badge{uiText(UiText::StateUnknown), palette::TextFaint};
}

std::string playerCountText(int online, int maxOnline) {
    return std::to_string(online) + "/" + std::to_string(maxOnline);
}

std::string rowRegionText(const ServerRow& row) {
    return row.regionPinned ? row.bestLabel + uiText(UiText::PinnedRegionSuffix) : row.bestLabel;
}

std::string regionSelectorText(const ServerRow* selected) {
    if (selected == nullptr) {
        return uiText(UiText::RegionAuto);
    }
    const char* prefix = uiText(selected->regionPinned ? UiText::RegionPinnedPrefix : UiText::RegionAutoPrefix);
    return prefix + upperCaseText(selected->bestLabel);
}

SelectorText serverSelectorText(const Headline& headline) {
    if (!headline.visible) {
        return SelectorText{"", uiText(UiText::SearchingServers), palette::TextFaint};
    }
    SelectorText text;
    if (!headline.text.empty()) {
        text.name = headline.text + "  ";
    }
    if (headline.statusOk) {
        text.status = uiText(UiText::LiveDot) + playerCountText(headline.numberA, headline.numberB);
        text.statusColour = palette::Ok;
    } else {
        text.status = uiText(UiText::NoConnection);
        text.statusColour = palette::TextDim;
    }
    return text;
}

Colour statusLineColour(bool error, bool playEnabled) {
    if (error) {
        return palette::Accent;
    }
    return playEnabled ? palette::Ok : palette::TextDim;
}

const char* emptyListText(bool anyRows) {
    return uiText(anyRows ? UiText::NoServerMatches : UiText::NoServerList);
}

} // namespace launcher
