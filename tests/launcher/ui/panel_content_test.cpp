#include "launcher/ui/panel_content.hpp"

#include "launcher/servers/latency_display.hpp"

#include <gtest/gtest.h>

namespace {

using namespace launcher;

TEST(PanelContent, KindColoursCompareExactly) {
    const struct {
        const char* kind;
        Colour want;
    } cases[] = {
        {"oficial", palette::Accent}, {"fast", palette::Warn},     {"battle", palette::Violet},
        {"evento", palette::Ok},      {"test", palette::LineHot},  {"Oficial", palette::TextMuted},
        {"", palette::TextMuted},     {"pvp", palette::TextMuted}, {"oficial ", palette::TextMuted},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        EXPECT_EQ(kindColour(c.kind), c.want);
    }
}

TEST(PanelContent, StateBadges) {
    const struct {
        const char* state;
        const char* text;
        Colour colour;
    } cases[] = {
        {"online", "EN L\xC3\x8DNEA", palette::Ok},
        {"maintenance", "MANTENIMIENTO", palette::Warn},
        {"offline",
         "CA\xC3\x8D"
         "DO",
         palette::Accent},
        {"unknown", "SIN DATOS", palette::TextFaint},
        {"Online", "SIN DATOS", palette::TextFaint},
        {"", "SIN DATOS", palette::TextFaint},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        const Badge badge = stateBadge(c.state);
        EXPECT_STREQ(badge.text, c.text);
        EXPECT_EQ(badge.colour, c.colour);
    }
}

TEST(PanelContent, LatencyColoursComeFromThePalette) {
    const struct {
        int latency;
        const char* text;
        Colour colour;
    } cases[] = {
        {-1, "-- ms", palette::TextFaint},
        {79, "79 ms", palette::Ok},
        {80, "80 ms", palette::Warn},
        {180, "180 ms", palette::Accent},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.latency);
        EXPECT_EQ(latencyText(c.latency), c.text);
        EXPECT_EQ(latencyColour(c.latency), c.colour);
    }
}

TEST(PanelContent, RegionTexts) {
    ServerRow row;
    row.bestLabel = "Europa Oeste";
    EXPECT_EQ(rowRegionText(row), "Europa Oeste");
    EXPECT_EQ(regionSelectorText(&row), "AUTO: EUROPA OESTE");
    row.regionPinned = true;
    EXPECT_EQ(rowRegionText(row), "Europa Oeste (fija)");
    EXPECT_EQ(regionSelectorText(&row), "FIJA: EUROPA OESTE");
    EXPECT_EQ(regionSelectorText(nullptr), "AUTO");
    row.bestLabel = "Sudam\xC3\xA9rica";
    EXPECT_EQ(regionSelectorText(&row), "FIJA: SUDAM\xC3\x89RICA");
}

TEST(PanelContent, ServerSelectorText) {
    const struct {
        const char* name;
        Headline headline;
        const char* wantName;
        const char* wantStatus;
        Colour colour;
    } cases[] = {
        {"no headline yet", Headline{"Valdra", 1, 2, true, false}, "", "BUSCANDO SERVIDORES...", palette::TextFaint},
        {"live server", Headline{"Valdra", 120, 500, true, true}, "Valdra  ", "\xE2\x97\x8F 120/500", palette::Ok},
        {"not live", Headline{"Valdra", 120, 500, false, true}, "Valdra  ", "\xE2\x97\x8F SIN CONEXI\xC3\x93N",
         palette::TextDim},
        {"nameless", Headline{"", 0, 0, true, true}, "", "\xE2\x97\x8F 0/0", palette::Ok},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SelectorText text = serverSelectorText(c.headline);
        EXPECT_EQ(text.name, c.wantName);
        EXPECT_EQ(text.status, c.wantStatus);
        EXPECT_EQ(text.statusColour, c.colour);
    }
}

TEST(PanelContent, StatusLineColourAndEmptyList) {
    EXPECT_EQ(statusLineColour(true, true), palette::Accent);
    EXPECT_EQ(statusLineColour(false, true), palette::Ok);
    EXPECT_EQ(statusLineColour(false, false), palette::TextDim);
    EXPECT_STREQ(emptyListText(false), "Todav\xC3\xAD"
                                       "a no hay lista de servidores.");
    EXPECT_STREQ(emptyListText(true), "Ning\xC3\xBAn servidor coincide con la b\xC3\xBAsqueda.");
    EXPECT_EQ(playerCountText(-1, 0), "-1/0");
}

} // namespace
