#include "launcher/shell/server_rows.hpp"

#include "support/launcher_harness.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using launcher::ServerDirectory;
using launcher::ServerEndpoint;
using launcher::ServerEntry;

ServerEndpoint endpoint(const std::string& label, int latency, int priority = 0) {
    ServerEndpoint e;
    e.region = label;
    e.label = label;
    e.ip = "127.0.0.1";
    e.port = 7000;
    e.latencyMs = latency;
    e.priority = priority;
    return e;
}

ServerEntry server(const std::string& slug, const std::string& state = "online") {
    ServerEntry entry;
    entry.slug = slug;
    entry.name = "Name " + slug;
    entry.kind = "fast";
    entry.state = state;
    entry.access = "public";
    entry.online = 12;
    entry.maxOnline = 500;
    entry.endpoints = {endpoint("EU", 90, 1), endpoint("SA", 30, 2)};
    return entry;
}

TEST(RatesText, JoinsExpAndDropOrFallsBackToTheDescription) {
    const struct {
        const char* name;
        const char* exp;
        const char* drop;
        const char* want;
    } cases[] = {
        {"both", "x100", "x5", "EXP x100  -  DROP x5"},
        {"exp only", "x100", "", "EXP x100"},
        {"drop only", "", "x5", "DROP x5"},
        {"neither: the description", "", "", "A quiet server"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerEntry entry;
        entry.ratesExp = c.exp;
        entry.ratesDrop = c.drop;
        entry.description = "A quiet server";
        EXPECT_EQ(launcher::ratesText(entry), c.want);
    }
}

TEST(BuildServerRows, ProjectsEachServerWithItsChosenEndpoint) {
    ServerDirectory directory;
    directory.servers = {server("alpha"), server("beta"), server("empty")};
    directory.servers[1].access = "code";
    directory.servers[1].selectedEndpoint = 0;
    directory.servers[2].endpoints.clear();

    const auto snapshot = launcher::buildServerRows(directory, "");

    ASSERT_EQ(snapshot.rows.size(), 3u);
    const launcher::ServerRow& alpha = snapshot.rows[0];
    EXPECT_EQ(alpha.id, "alpha");
    EXPECT_EQ(alpha.name, "Name alpha");
    EXPECT_EQ(alpha.kind, "fast");
    EXPECT_EQ(alpha.state, "online");
    EXPECT_EQ(alpha.online, 12);
    EXPECT_EQ(alpha.maxOnline, 500);
    EXPECT_EQ(alpha.bestLabel, "SA") << "fastest endpoint";
    EXPECT_EQ(alpha.bestLatencyMs, 30);
    EXPECT_FALSE(alpha.needsCode);
    EXPECT_FALSE(alpha.regionPinned);
    EXPECT_EQ(snapshot.rows[1].bestLabel, "EU") << "pinned endpoint";
    EXPECT_EQ(snapshot.rows[1].bestLatencyMs, 90);
    EXPECT_TRUE(snapshot.rows[1].needsCode);
    EXPECT_TRUE(snapshot.rows[1].regionPinned);
    EXPECT_EQ(snapshot.rows[2].bestLabel, "");
    EXPECT_EQ(snapshot.rows[2].bestLatencyMs, -1);
    EXPECT_EQ(snapshot.selectedRow, -1);
    EXPECT_FALSE(snapshot.headline.visible);
}

TEST(BuildServerRows, SelectedServerGivesTheRowAndTheHeadline) {
    const struct {
        const char* name;
        std::string state;
        bool statusOk;
    } cases[] = {
        {"online", "online", true},
        {"maintenance", "maintenance", true},
        {"unknown", "unknown", true},
        {"offline", "offline", false},
        {"a state the window does not know", "closed", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerDirectory directory;
        directory.servers = {server("alpha"), server("beta", c.state)};
        const auto snapshot = launcher::buildServerRows(directory, "beta");
        EXPECT_EQ(snapshot.selectedRow, 1);
        EXPECT_TRUE(snapshot.headline.visible);
        EXPECT_EQ(snapshot.headline.text, "Name beta");
        EXPECT_EQ(snapshot.headline.numberA, 12);
        EXPECT_EQ(snapshot.headline.numberB, 500);
        EXPECT_EQ(snapshot.headline.statusOk, c.statusOk);
    }
}

TEST(RefreshServerRows, GivesRowsThenSelectionThenHeadline) {
    kyrtest::LauncherHarness h;
    h.state.serverDirectory.servers = {server("alpha"), server("beta")};
    h.state.selectedServerId = "beta";
    launcher::refreshServerRows(h.state);
    ASSERT_EQ(h.view.rowSets.size(), 1u);
    EXPECT_EQ(h.view.rowSets[0].size(), 2u);
    EXPECT_EQ(h.view.selectedRows, (std::vector<int>{1}));
    ASSERT_EQ(h.view.headlines.size(), 1u);
    EXPECT_EQ(h.view.headlines[0].text, "Name beta");

    h.state.selectedServerId = "gone";
    launcher::refreshServerRows(h.state);
    EXPECT_EQ(h.view.selectedRows, (std::vector<int>{1, -1}));
    EXPECT_EQ(h.view.headlines.size(), 1u) << "no headline for a server that is not listed";
}

} // namespace
