#include "launcher/servers/server_list_worker.hpp"

#include "launcher/servers/server_cache.hpp"
#include "support/launcher_harness.hpp"
#include "support/scratch_folder.hpp"
#include "support/valdra_main_encoder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace launcher {
namespace {

const std::string kUnconfigured = "No server configured (error 0x00000000)";

std::string document(const std::string& slugs, int schema = 1) {
    std::string servers;
    for (std::size_t at = 0; at < slugs.size();) {
        const std::size_t end = std::min(slugs.find(' ', at), slugs.size());
        servers += (servers.empty() ? "" : ",") + std::string(R"({"slug":")") + slugs.substr(at, end - at) +
                   R"(","endpoints":[{"region":"eu","ip":"127.0.0.1","port":7000},{"region":"sa","ip":"127.0.0.2","port":7000}]})";
        at = end + 1;
    }
    return R"({"schema":)" + std::to_string(schema) + R"(,"servers":[)" + servers + "]}";
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
        silent(false, ""), garbage(true, "<html>"), newerButBroken(true, R"({"schema":2,"servers":{}})");
    const struct {
        const char* name;
        DirectorySources sources;
        int source;
        std::string got;
    } cases[] = {
        {"primary delivers", {&good, &downToo}, 0, "alpha"},
        {"secondary after a failed primary", {&down, &good}, 1, "alpha"},
        {"both fail: the primary's text", {&down, &downToo}, -1, "primary down"},
        {"primary silent: the secondary's text", {&silent, &downToo}, -1, "secondary down"},
        {"no primary address", {nullptr, &downToo}, -1, kUnconfigured},
        {"a body that is not a directory", {&garbage, nullptr}, -1, "La lista de servidores no es un JSON valido."},
        {"a failed newer primary leaves no trace", {&newerButBroken, &good}, 1, "alpha"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerDirectory directory;
        int source = 7;
        std::string body, error;
        const bool ok = fetchServerDirectory("Ab 1-!\xc3\xa9", directory, source, body, error, c.sources);
        EXPECT_EQ(source, c.source);
        EXPECT_EQ(ok ? slugsOf(directory) : error, c.got);
        EXPECT_EQ(ok ? body : "", ok ? document("alpha") : "");
        EXPECT_FALSE(directory.newerSchema);
    }
    EXPECT_EQ(good.header, L"X-Valdra-Access-Code: Ab1-\r\n");
    EXPECT_EQ(buildAccessCodeHeader("!? \t"), L"");
    EXPECT_EQ(buildAccessCodeHeader(std::string(64, 'a') + "Z"),
              L"X-Valdra-Access-Code: " + std::wstring(64, L'a') + L"\r\n");
}

TEST(InstallServerDirectory, KeepsOrMakesASelectionAndRestoresPins) {
    const struct {
        const char* selected;
        const char* last;
        const char* want;
    } cases[] = {{"beta", "gamma", "beta"}, {"gone", "gamma", "gamma"}, {"", "gone", "alpha"}, {"gone", "", "alpha"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.selected) + "/" + c.last);
        kyrtest::LauncherHarness h;
        h.state.selectedServerId = c.selected;
        h.preferences.setLastServer(c.last);
        h.preferences.setRegion("beta", "sa");
        ServerDirectory fresh;
        parseServerDirectory(document("alpha beta gamma"), fresh, nullptr);
        installServerDirectory(h.state, fresh, true);
        EXPECT_EQ(h.state.selectedServerId, c.want);
        EXPECT_EQ(h.state.serverDirectory.servers[1].selectedEndpoint, 1);
        EXPECT_TRUE(h.state.directoryFromClient);
    }
}

// A game folder with the launcher's paths, and the worker run against it on the test thread.
class ServerListWorkerFolder : public ::testing::Test {
protected:
    void SetUp() override {
        h.state.folder = folder.path().string();
        h.state.serversCachePath = cache().string();
        std::filesystem::create_directories(folder / "Data" / "Local");
        kyrtest::write_bytes(folder / "Data" / "Local" / "valdra.main",
                             kyrtest::encodeValdraMain({"127.0.0.1", 0, 1, 70000, "127.0.0.2"}));
    }
    std::filesystem::path cache() const { return folder / "servers.cache.json"; }
    std::unique_ptr<ServerListResult> run(const std::string& accessCode = "") {
        serverListWorker(std::make_unique<ServerListJob>(ServerListJob{&h.state, accessCode}));
        kyrtest::PostedMessage posted;
        EXPECT_TRUE(h.queue.take(posted));
        EXPECT_EQ(posted.message, WM_APP_SERVERS_DONE);
        EXPECT_EQ(h.queue.pending(), 0u) << "exactly one notification";
        return std::unique_ptr<ServerListResult>(static_cast<ServerListResult*>(posted.payload));
    }

    kyrtest::ScratchFolder folder;
    kyrtest::LauncherHarness h;
};

TEST_F(ServerListWorkerFolder, NetworkDirectoryIsCachedVerbatimAndInstalled) {
    ScriptedSource primary(true, document("beta alpha"));
    h.state.directorySources.primary = &primary;
    kyrtest::write_bytes(cache(), document("stale"));
    const auto result = run("Code-7");
    EXPECT_TRUE(result->ok);
    EXPECT_EQ(result->source, 0);
    EXPECT_EQ(primary.header, L"X-Valdra-Access-Code: Code-7\r\n");
    EXPECT_EQ(kyrtest::read_bytes(cache()), document("beta alpha"));
    EXPECT_EQ(slugsOf(h.state.serverDirectory), "alpha beta");
    EXPECT_EQ(h.state.selectedServerId, "alpha");
}

TEST_F(ServerListWorkerFolder, FallsBackToTheCacheThenToTheClientFile) {
    const std::string big = document("big");
    const struct {
        const char* name;
        std::string cache;
        std::string want;
    } cases[] = {
        {"newer cache", document("cached", 2), "cached"},
        {"cache of exactly 4 MiB", big + std::string(kServerCacheLimit - big.size(), ' '), "big"},
        {"no cache", "", "valdra-2 valdra"},
        {"4 MiB plus one byte", big + std::string(kServerCacheLimit + 1 - big.size(), ' '), "valdra-2 valdra"},
        {"not JSON", "not json", "valdra-2 valdra"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(cache());
        if (!c.cache.empty()) {
            kyrtest::write_bytes(cache(), c.cache);
        }
        const auto result = run();
        EXPECT_TRUE(result->ok);
        EXPECT_EQ(result->error, kUnconfigured);
        EXPECT_EQ(result->fromCache, c.want != "valdra-2 valdra");
        EXPECT_EQ(result->fromClient, c.want == "valdra-2 valdra");
        EXPECT_EQ(slugsOf(h.state.serverDirectory), c.want);
        EXPECT_EQ(h.state.serverDirectory.newerSchema, c.want == "cached");
        EXPECT_EQ(std::filesystem::exists(cache()), !c.cache.empty()) << "a bad cache is never deleted";
    }
}

TEST_F(ServerListWorkerFolder, NothingObtainedLeavesTheSharedStateAlone) {
    parseServerDirectory(document("keep"), h.state.serverDirectory, nullptr);
    h.state.serverDirectory.servers[0].endpoints[0].latencyMs = 12;
    h.state.selectedServerId = "keep";
    std::filesystem::remove(folder / "Data" / "Local" / "valdra.main");
    ScriptedSource silent(false, "");
    h.state.directorySources = {&silent, &silent};
    const auto result = run();
    EXPECT_FALSE(result->ok);
    EXPECT_EQ(result->error, "No se pudo obtener la lista de servidores.");
    EXPECT_EQ(slugsOf(h.state.serverDirectory), "keep");
    EXPECT_EQ(h.state.serverDirectory.servers[0].endpoints[0].latencyMs, 12);
    EXPECT_EQ(h.state.selectedServerId, "keep");
}

} // namespace
} // namespace launcher
