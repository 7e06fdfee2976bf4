#pragma once
// Which clickable target lies under a point of the launcher window. The first match wins, in the order
// of the table in hit_test.cpp; a panel that is open hides every target of the views below it.

namespace launcher {

// Target ids; 0 is nothing. The numbers are fixed: the same ids mark hot and pressed targets.
enum TargetId : int {
    kTargetNone = 0,
    kTargetMinimise = 1,
    kTargetClose = 2,
    kTargetHeaderIcon = 3,
    kTargetVerify = 4,
    kTargetForce = 5,
    kTargetSettingsGear = 6,
    kTargetPlay = 7,
    kTargetNewsItem0 = 8, // 8, 9, 10
    kTargetSettingsClose = 11,
    kTargetSettingsCancel = 12,
    kTargetSettingsApply = 13,
    kTargetSettingsReset = 14,
    kTargetEngineLeft = 15,
    kTargetEngineRight = 16,
    kTargetResolutionLeft = 17,
    kTargetResolutionRight = 18,
    kTargetWindowed = 19,
    kTargetLanguageLeft = 20,
    kTargetLanguageRight = 21,
    kTargetFpsLeft = 22,
    kTargetFpsRight = 23,
    kTargetServerSelector = 24,
    kTargetServerPanelClose = 25,
    kTargetSearchBox = 26,
    kTargetAccessCodeBox = 27,
    kTargetRefresh = 28,
    kTargetServerRow = 29,
    kTargetRegionLeft = 30,
    kTargetRegionRight = 31,
    kTargetPanelPlay = 32,
};

// What the hit test needs to know of the window.
struct HitContext {
    bool serverPanelOpen = false;
    bool settingsOpen = false;
    bool playEnabled = false;
    bool verifyEnabled = false;
    bool forceEnabled = false;
    bool rowSelected = false;
    bool newsVisible[3] = {false, false, false};
    int scrollOffset = 0;
    int visibleRowCount = 0;
};

struct Hit {
    int target = kTargetNone;
    int slot = -1; // for kTargetServerRow: the position in the visible list
};

Hit hitTest(const HitContext& context, int x, int y);

// The position in the visible list of the row under the point, or -1: only inside the row viewport left
// of its scroll bar, and not in the gap between two rows.
int rowSlotAt(int scrollOffset, int visibleRowCount, int x, int y);

} // namespace launcher
