#include "launcher/shell/server_preferences.hpp"

#include "launcher/servers/server_list_worker.hpp"
#include "support/launcher_harness.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using launcher::IniServerPreferences;

class IniPreferences : public ::testing::Test {
protected:
    std::string iniPath() const { return (folder / "launcher.ini").string(); }
    std::string iniText() const { return kyrtest::read_bytes(folder / "launcher.ini"); }

    kyrtest::ScratchFolder folder;
};

TEST_F(IniPreferences, WritesTheServerKeysOfLauncherIni) {
    IniServerPreferences preferences(iniPath());
    EXPECT_EQ(preferences.lastServer(), "") << "no file reads as empty";
    EXPECT_TRUE(preferences.setLastServer("Beta_1"));
    EXPECT_TRUE(preferences.setRegion("alpha", "SA"));
    EXPECT_TRUE(preferences.setRegion("gamma", ""));
    EXPECT_TRUE(preferences.setAccessCode("Ab 12"));

    EXPECT_EQ(preferences.lastServer(), "beta_1");
    EXPECT_EQ(preferences.region("alpha"), "sa");
    const std::string text = iniText();
    for (const char* line : {"[Servers]", "Last=beta_1", "Region.alpha=sa", "Region.gamma=", "AccessCode=Ab12"}) {
        SCOPED_TRACE(line);
        EXPECT_NE(text.find(line), std::string::npos) << text;
    }
}

// The worker reads launcher.ini through the profile functions while it holds the launcher lock.
TEST_F(IniPreferences, WorkerRestoresPinsAndTheLastServerFromTheFile) {
    kyrtest::write_bytes(folder / "launcher.ini", "[Servers]\r\nLast=Beta\r\nRegion.alpha=SA\r\nRegion.beta=asia\r\n");
    kyrtest::write_bytes(folder / "servers.cache.json",
                         R"({"schema":1,"servers":[)"
                         R"({"slug":"alpha","endpoints":[{"region":"eu","ip":"127.0.0.1","port":1},)"
                         R"({"region":"sa","ip":"127.0.0.2","port":1}]},)"
                         R"({"slug":"beta","endpoints":[{"region":"eu","ip":"127.0.0.1","port":1}]}]})");
    IniServerPreferences preferences(iniPath());
    kyrtest::LauncherHarness h;
    h.state.folder = folder.path().string();
    h.state.serversCachePath = (folder / "servers.cache.json").string();
    h.state.launcherIniPath = iniPath();
    h.state.preferences = &preferences;

    launcher::serverListWorker(std::make_unique<launcher::ServerListJob>(launcher::ServerListJob{&h.state, ""}));

    kyrtest::PostedMessage posted;
    ASSERT_TRUE(h.queue.take(posted));
    std::unique_ptr<launcher::ServerListResult> result(static_cast<launcher::ServerListResult*>(posted.payload));
    EXPECT_TRUE(result->ok);
    EXPECT_TRUE(result->fromCache);
    EXPECT_EQ(h.state.selectedServerId, "beta");
    ASSERT_EQ(h.state.serverDirectory.servers.size(), 2u);
    EXPECT_EQ(h.state.serverDirectory.servers[0].selectedEndpoint, 1);
    EXPECT_EQ(h.state.serverDirectory.servers[1].selectedEndpoint, -1);
}

} // namespace
