#include "launcher/servers/server_list_worker.hpp"

#include "launcher/servers/server_cache.hpp"
#include "support/launcher_harness.hpp"
#include "support/scratch_folder.hpp"
#include "support/valdra_main_encoder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace launcher {
namespace {

const std::string kUnconfigured = "No server configured (error 0x00000000)";

std::string document(const std::string& slug, int schema = 1) {
    return R"({"schema":)" + std::to_string(schema) + R"(,"servers":[{"slug":")" + slug +
           R"(","endpoints":[{"region":"eu","ip":"127.0.0.1","port":7000},{"region":"sa","ip":"127.0.0.2","port":7000}]},)" +
           R"({"slug":"beta","endpoints":[{"region":"sa","ip":"127.0.0.3","port":7000}]}]})";
}

std::string slugsOf(const ServerDirectory& directory) {
    std::string slugs;
    for (const ServerEntry& server : directory.servers) {
        slugs += (slugs.empty() ? "" : " ") + server.slug;
    }
    return slugs;
}

// A network source that answers with a fixed body or failure, and remembers the header it was given.
struct ScriptedSource : DirectoryDocumentSource {
    ScriptedSource(bool delivers, std::string text) : ok(delivers), answer(std::move(text)) {}
    bool fetch(const std::wstring& accessCodeHeader, std::string& body, std::string& error) override {
        header = accessCodeHeader;
        (ok ? body : error) = answer;
        return ok;
    }
    bool ok;
    std::string answer;
    std::wstring header;
};

TEST(FetchServerDirectory, TriesPrimaryThenSecondaryAndReportsTheFirstFailure) {
    ScriptedSource good(true, document("alpha")), down(false, "primary down"), downToo(false, "secondary down"),
        newerButBroken(true, R"({"schema":2,"servers":{}})");
    const struct {
        DirectorySources sources;
        int source;
        std::string got;
    } cases[] = {{{&down, &good}, 1, "alpha beta"},
                 {{&down, &downToo}, -1, "primary down"},
                 {{nullptr, &downToo}, -1, kUnconfigured},
                 {{&newerButBroken, &good}, 1, "alpha beta"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.got);
        ServerDirectory directory;
        int source = 7;
        std::string body, error;
        const bool ok = fetchServerDirectory("Ab 1-!\xc3\xa9", directory, source, body, error, c.sources);
        EXPECT_EQ(source, c.source);
        EXPECT_EQ(ok ? slugsOf(directory) : error, c.got);
        EXPECT_FALSE(directory.newerSchema) << "a failed source leaves no trace";
    }
    EXPECT_EQ(good.header, L"X-Valdra-Access-Code: Ab1-\r\n");
    EXPECT_EQ(buildAccessCodeHeader("!? \t"), L"");
    EXPECT_EQ(buildAccessCodeHeader(std::string(65, 'a')),
              L"X-Valdra-Access-Code: " + std::wstring(64, L'a') + L"\r\n");
}

// The worker in a game folder with the client's valdra.main: the network's list is cached verbatim,
// else the cache is read (a bad one is kept, never deleted), else the client file.
TEST(ServerListWorker, TakesTheNetworkThenTheCacheThenTheClientFile) {
    const kyrtest::ScratchFolder folder;
    const std::filesystem::path cache = folder / "servers.cache.json";
    kyrtest::LauncherHarness h;
    h.state.folder = folder.path().string();
    h.state.serversCachePath = cache.string();
    std::filesystem::create_directories(folder / "Data" / "Local");
    kyrtest::write_bytes(folder / "Data" / "Local" / "valdra.main",
                         kyrtest::encodeValdraMain({"127.0.0.1", 0, 1, 70000, "127.0.0.2"}));
    const auto run = [&] {
        serverListWorker(std::make_unique<ServerListJob>(ServerListJob{&h.state, "Code-7"}));
        kyrtest::PostedMessage posted;
        EXPECT_TRUE(h.queue.take(posted) && posted.message == WM_APP_SERVERS_DONE && h.queue.pending() == 0);
        return std::unique_ptr<ServerListResult>(static_cast<ServerListResult*>(posted.payload));
    };
    ScriptedSource primary(true, document("alpha"));
    h.state.directorySources.primary = &primary;
    h.preferences.setLastServer("beta");
    h.preferences.setPinnedEndpoint("alpha", "sa");
    EXPECT_TRUE(run()->ok);
    EXPECT_EQ(kyrtest::read_bytes(cache), document("alpha"));
    EXPECT_EQ(h.state.selectedServerId, "beta");
    EXPECT_EQ(h.state.serverDirectory.servers[0].selectedEndpoint, 1) << "a region stored by an earlier version";

    h.state.directorySources.primary = nullptr;
    const std::string big = document("big");
    const struct {
        std::string cache, want;
    } cases[] = {{document("cached", 2), "beta cached"},
                 {big + std::string(kServerCacheLimit - big.size(), ' '), "beta big"},
                 {big + std::string(kServerCacheLimit + 1 - big.size(), ' '), "valdra-2 valdra"},
                 {"not json", "valdra-2 valdra"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want + " " + std::to_string(c.cache.size()));
        kyrtest::write_bytes(cache, c.cache);
        const auto result = run();
        const bool client = c.want == "valdra-2 valdra";
        EXPECT_TRUE(result->ok && result->error == kUnconfigured);
        EXPECT_EQ(result->fromCache, !client);
        EXPECT_EQ(h.state.directoryFromClient, client);
        EXPECT_EQ(slugsOf(h.state.serverDirectory), c.want);
        EXPECT_EQ(h.state.serverDirectory.newerSchema, c.want == "beta cached");
        EXPECT_EQ(kyrtest::read_bytes(cache), c.cache);
    }
    std::filesystem::remove(folder / "Data" / "Local" / "valdra.main");
    std::filesystem::remove(cache);
    const auto result = run();
    EXPECT_FALSE(result->ok);
    EXPECT_EQ(slugsOf(h.state.serverDirectory), "valdra-2 valdra") << "nothing obtained changes nothing";
}

} // namespace
} // namespace launcher
