#include "launcher/shell/server_rows.hpp"

#include "support/launcher_harness.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace launcher {
namespace {

ServerEntry server(const std::string& slug, const std::string& state = "online") {
    ServerEntry entry;
    entry.slug = slug;
    entry.name = "Name " + slug;
    entry.state = state;
    entry.access = "public";
    entry.online = 12;
    entry.maxOnline = 500;
    entry.endpoints = {{"eu", "EU", "127.0.0.1", 7000, 1, 90}, {"sa", "SA", "127.0.0.1", 7000, 2, 30}};
    return entry;
}

TEST(RatesText, JoinsExpAndDropOrFallsBackToTheDescription) {
    const struct {
        const char* exp;
        const char* drop;
        const char* want;
    } cases[] = {{"x100", "x5", "EXP x100  -  DROP x5"},
                 {"x100", "", "EXP x100"},
                 {"", "x5", "DROP x5"},
                 {"", "", "A quiet server"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want);
        ServerEntry entry;
        entry.ratesExp = c.exp;
        entry.ratesDrop = c.drop;
        entry.description = "A quiet server";
        EXPECT_EQ(ratesText(entry), c.want);
    }
}

TEST(BuildServerRows, ProjectsTheChosenEndpointAndTheSelectedServersHeadline) {
    ServerDirectory directory;
    directory.servers = {server("alpha"), server("beta"), server("empty")};
    directory.servers[1].access = "code";
    directory.servers[1].selectedEndpoint = 0;
    directory.servers[2].endpoints.clear();
    const auto rows = buildServerRows(directory, "").rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].bestLabel + " " + std::to_string(rows[0].bestLatencyMs), "SA 30");
    EXPECT_FALSE(rows[0].needsCode || rows[0].regionPinned);
    EXPECT_EQ(rows[1].bestLabel + " " + std::to_string(rows[1].bestLatencyMs), "EU 90");
    EXPECT_TRUE(rows[1].needsCode && rows[1].regionPinned);
    EXPECT_EQ(rows[2].bestLabel + " " + std::to_string(rows[2].bestLatencyMs), " -1");

    const struct {
        const char* state;
        bool statusOk;
    } cases[] = {{"online", true}, {"maintenance", true}, {"unknown", true}, {"offline", false}, {"closed", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        directory.servers[1].state = c.state;
        const auto snapshot = buildServerRows(directory, "beta");
        EXPECT_EQ(snapshot.selectedRow, 1);
        EXPECT_TRUE(snapshot.headline.visible);
        EXPECT_EQ(snapshot.headline.text, "Name beta");
        EXPECT_EQ(snapshot.headline.numberA * 1000 + snapshot.headline.numberB, 12500);
        EXPECT_EQ(snapshot.headline.statusOk, c.statusOk);
    }
    EXPECT_EQ(buildServerRows(directory, "gone").selectedRow, -1);
    EXPECT_FALSE(buildServerRows(directory, "gone").headline.visible);
}

TEST(RefreshServerRows, GivesRowsThenSelectionThenHeadline) {
    kyrtest::LauncherHarness h;
    h.state.serverDirectory.servers = {server("alpha"), server("beta")};
    h.state.selectedServerId = "beta";
    refreshServerRows(h.state);
    h.state.selectedServerId = "gone";
    refreshServerRows(h.state);
    EXPECT_EQ(h.view.rowSets.size(), 2u);
    EXPECT_EQ(h.view.selectedRows, (std::vector<int>{1, -1}));
    ASSERT_EQ(h.view.headlines.size(), 1u) << "no headline for a server that is not listed";
    EXPECT_EQ(h.view.headlines[0].text, "Name beta");
}

} // namespace
} // namespace launcher
