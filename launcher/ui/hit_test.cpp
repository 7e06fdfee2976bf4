#include "launcher/ui/hit_test.hpp"

#include "launcher/ui/layout.hpp"

namespace launcher {
namespace {

struct Target {
    int id;
    Rect rect;
};

constexpr Target kServerPanelTargets[] = {
    {kTargetServerPanelClose, kServerPanelCloseRect},
    {kTargetSearchBox, kSearchBoxRect},
    {kTargetAccessCodeBox, kAccessCodeBoxRect},
    {kTargetRefresh, kRefreshRect},
    {kTargetRegionLeft, kRegionLeftRect},
    {kTargetRegionRight, kRegionRightRect},
    {kTargetPanelPlay, kPanelPlayRect},
};

constexpr Target kSettingsTargets[] = {
    {kTargetSettingsClose, kSettingsCloseRect},
    {kTargetSettingsCancel, kCancelRect},
    {kTargetSettingsApply, kApplyRect},
    {kTargetSettingsReset, kResetRect},
    {kTargetEngineLeft, kEngineLeftRect},
    {kTargetEngineRight, kEngineRightRect},
    {kTargetResolutionLeft, kResolutionLeftRect},
    {kTargetResolutionRight, kResolutionRightRect},
    {kTargetWindowed, kWindowedCheckRect},
    {kTargetLanguageLeft, kLanguageLeftRect},
    {kTargetLanguageRight, kLanguageRightRect},
    {kTargetFpsLeft, kFpsLeftRect},
    {kTargetFpsRight, kFpsRightRect},
};

constexpr Target kMainTargets[] = {
    {kTargetMinimise, kMinimiseRect},
    {kTargetClose, kCloseRect},
    {kTargetHeaderIcon, kHeaderIconRect},
    {kTargetServerSelector, kServerSelectorRect},
    {kTargetVerify, kVerifyRect},
    {kTargetForce, kForceRect},
    {kTargetSettingsGear, kSettingsGearRect},
    {kTargetPlay, kPlayRect},
};

bool enabledInServerPanel(const HitContext& context, int id) {
    return id != kTargetPanelPlay || (context.playEnabled && context.rowSelected);
}

bool enabledInMainView(const HitContext& context, int id) {
    switch (id) {
    case kTargetVerify:
        return context.verifyEnabled;
    case kTargetForce:
        return context.forceEnabled && context.verifyEnabled;
    case kTargetPlay:
        return context.playEnabled;
    default:
        return true;
    }
}

Hit hitServerPanel(const HitContext& context, int x, int y) {
    for (const Target& target : kServerPanelTargets) {
        if (target.rect.contains(x, y) && enabledInServerPanel(context, target.id)) {
            return Hit{target.id, -1};
        }
    }
    const int slot = rowSlotAt(context.scrollOffset, context.visibleRowCount, x, y);
    return slot >= 0 ? Hit{kTargetServerRow, slot} : Hit{};
}

Hit hitSettings(int x, int y) {
    for (const Target& target : kSettingsTargets) {
        if (target.rect.contains(x, y)) {
            return Hit{target.id, -1};
        }
    }
    return Hit{};
}

Hit hitMainView(const HitContext& context, int x, int y) {
    for (const Target& target : kMainTargets) {
        if (target.rect.contains(x, y) && enabledInMainView(context, target.id)) {
            return Hit{target.id, -1};
        }
    }
    for (int k = 0; k < kNewsItemCount; ++k) {
        if (context.newsVisible[k] && newsItemRect(k).contains(x, y)) {
            return Hit{kTargetNewsItem0 + k, -1};
        }
    }
    return Hit{};
}

} // namespace

Hit hitTest(const HitContext& context, int x, int y) {
    if (context.serverPanelOpen) {
        return hitServerPanel(context, x, y);
    }
    if (context.settingsOpen) {
        return hitSettings(x, y);
    }
    return hitMainView(context, x, y);
}

int rowSlotAt(int scrollOffset, int visibleRowCount, int x, int y) {
    const Rect rows{kRowViewportRect.left, kRowViewportRect.top, kRowViewportRect.right - kScrollBarWidth,
                    kRowViewportRect.bottom};
    if (!rows.contains(x, y)) {
        return -1;
    }
    const int contentY = scrollOffset + (y - kRowViewportRect.top);
    if (contentY < 0 || contentY % kRowPitch >= kRowHeight) {
        return -1;
    }
    const int slot = contentY / kRowPitch;
    return slot < visibleRowCount ? slot : -1;
}

} // namespace launcher
