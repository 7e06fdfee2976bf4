#pragma once
// The texts and colours that the panels show for a given state, decided apart from the drawing so that
// the rules are checked without a display.

#include "launcher/shell/launcher_view.hpp"
#include "launcher/ui/palette.hpp"

#include <string>

namespace launcher {

// The kind bar and pill colour: exact, case-sensitive kinds; any other kind is muted.
Colour kindColour(const std::string& kind);

struct Badge {
    const char* text;
    Colour colour;
};
Badge stateBadge(const std::string& state);

// "online/max".
std::string playerCountText(int online, int maxOnline);

// The row's region column: the chosen endpoint's label, followed by " (fija)" when pinned.
std::string rowRegionText(const ServerRow& row);

// The region stepper's value: "AUTO" without a selected row, else "FIJA: " or "AUTO: " and the label
// in capitals.
std::string regionSelectorText(const ServerRow* selected);

// The header's server selector: a placeholder until a headline is known; else the name (two blanks
// after it) and either the no-connection mark or the live dot with the player counts.
struct SelectorText {
    std::string name; // empty for the placeholder and for a nameless server
    std::string status;
    Colour statusColour;
};
SelectorText serverSelectorText(const Headline& headline);

// The bottom bar's status line: red for an error, green while PLAY is offered, else dim.
Colour statusLineColour(bool error, bool playEnabled);

// The message of an empty row list: no rows at all, or a search that hides them all.
const char* emptyListText(bool anyRows);

} // namespace launcher
