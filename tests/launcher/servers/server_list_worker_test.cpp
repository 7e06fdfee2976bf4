#include "launcher/servers/server_list_worker.hpp"

#include "launcher/servers/server_cache.hpp"
#include "support/launcher_harness.hpp"
#include "support/scratch_folder.hpp"
#include "support/valdra_main_encoder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using launcher::DirectoryDocumentSource;
using launcher::ServerDirectory;
using launcher::ServerEndpoint;
using launcher::ServerEntry;
using launcher::ServerListResult;

const std::string kUnconfigured = "No server configured (error 0x00000000)";

std::string document(const std::vector<std::string>& slugs, int schema = 1, int port = 7000) {
    std::string servers;
    for (const std::string& slug : slugs) {
        servers += (servers.empty() ? "" : ",") + std::string(R"({"slug":")") + slug +
                   R"(","endpoints":[{"region":"eu","ip":"127.0.0.1","port":)" + std::to_string(port) +
                   R"(},{"region":"sa","ip":"127.0.0.2","port":7000}]})";
    }
    return R"({"schema":)" + std::to_string(schema) + R"(,"servers":[)" + servers + "]}";
}

std::vector<std::string> slugsOf(const ServerDirectory& directory) {
    std::vector<std::string> slugs;
    for (const ServerEntry& server : directory.servers) {
        slugs.push_back(server.slug);
    }
    return slugs;
}

// A network source that answers with a fixed body or failure, and remembers the header it was given.
class ScriptedSource : public DirectoryDocumentSource {
public:
    ScriptedSource(bool ok, std::string answer) : ok_(ok), answer_(std::move(answer)) {}

    bool fetch(const std::wstring& accessCodeHeader, std::string& body, std::string& error) override {
        header = accessCodeHeader;
        ++calls;
        (ok_ ? body : error) = answer_;
        return ok_;
    }

    std::wstring header;
    int calls = 0;

private:
    bool ok_;
    std::string answer_;
};

TEST(FetchServerDirectory, WithoutConfiguredSourcesFailsWithTheFixedText) {
    ServerDirectory directory;
    int source = 5;
    std::string body = "untouched";
    std::string error;
    EXPECT_FALSE(launcher::fetchServerDirectory("CODE", directory, source, body, error));
    EXPECT_EQ(source, -1);
    EXPECT_EQ(error, kUnconfigured);
    EXPECT_EQ(body, "untouched");
    EXPECT_TRUE(directory.servers.empty());
}

TEST(FetchServerDirectory, TriesPrimaryThenSecondaryAndReportsTheFirstFailure) {
    ScriptedSource good(true, document({"alpha"}));
    ScriptedSource down(false, "primary down");
    ScriptedSource downToo(false, "secondary down");
    ScriptedSource silent(false, "");
    ScriptedSource garbage(true, "<html>");
    const struct {
        const char* name;
        DirectoryDocumentSource* primary;
        DirectoryDocumentSource* secondary;
        bool ok;
        int source;
        std::string error;
    } cases[] = {
        {"primary delivers", &good, &downToo, true, 0, ""},
        {"secondary after a failed primary", &down, &good, true, 1, "primary down"},
        {"both fail: the primary's text", &down, &downToo, false, -1, "primary down"},
        {"primary silent: the secondary's text", &silent, &downToo, false, -1, "secondary down"},
        {"no primary address: its fixed text first", nullptr, &downToo, false, -1, kUnconfigured},
        {"no secondary address", &down, nullptr, false, -1, "primary down"},
        {"a body that is not a directory fails like a transport", &garbage, nullptr, false, -1,
         "La lista de servidores no es un JSON valido."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerDirectory directory;
        int source = 7;
        std::string body;
        std::string error;
        const bool ok = launcher::fetchServerDirectory("", directory, source, body, error, {c.primary, c.secondary});
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(source, c.source);
        if (ok) {
            EXPECT_EQ(body, document({"alpha"}));
            EXPECT_EQ(slugsOf(directory), (std::vector<std::string>{"alpha"}));
        } else {
            EXPECT_EQ(error, c.error);
        }
    }
}

TEST(FetchServerDirectory, SendsTheAccessCodeHeaderAndDropsWhatAFailedSourceParsed) {
    ScriptedSource newerButBroken(true, R"({"schema":2,"servers":{}})");
    ScriptedSource good(true, document({"alpha"}));
    ServerDirectory directory;
    int source = -1;
    std::string body;
    std::string error;
    ASSERT_TRUE(launcher::fetchServerDirectory("Ab 1-!", directory, source, body, error, {&newerButBroken, &good}));
    EXPECT_EQ(newerButBroken.header, L"X-Valdra-Access-Code: Ab1-\r\n");
    EXPECT_EQ(good.header, L"X-Valdra-Access-Code: Ab1-\r\n");
    EXPECT_FALSE(directory.newerSchema) << "the secondary's schema-1 directory carries no trace of the primary";
}

TEST(BuildAccessCodeHeader, FiltersTheCodeAndLeavesNoLineWhenNothingRemains) {
    const std::string sixtyFive = std::string(64, 'a') + "Z";
    const struct {
        const char* name;
        std::string code;
        std::wstring want;
    } cases[] = {
        {"empty", "", L""},
        {"only dropped bytes", "!? \t\xc3\xa9", L""},
        {"case kept, allowed punctuation kept", "aB-_.9", L"X-Valdra-Access-Code: aB-_.9\r\n"},
        {"blanks and symbols dropped", " a b!c ", L"X-Valdra-Access-Code: abc\r\n"},
        {"non-ASCII dropped whole", "x\xc3\xa9y", L"X-Valdra-Access-Code: xy\r\n"},
        {"stops after 64 characters", sixtyFive, L"X-Valdra-Access-Code: " + std::wstring(64, L'a') + L"\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(launcher::buildAccessCodeHeader(c.code), c.want);
    }
}

ServerEntry serverWithEndpoints(const std::string& slug, std::vector<ServerEndpoint> endpoints) {
    ServerEntry server;
    server.slug = slug;
    server.endpoints = std::move(endpoints);
    return server;
}

ServerEndpoint endpoint(const std::string& region, const std::string& ip, int port, int latency = -1) {
    ServerEndpoint e;
    e.region = region;
    e.label = region;
    e.ip = ip;
    e.port = port;
    e.latencyMs = latency;
    return e;
}

ServerDirectory directoryOf(std::vector<ServerEntry> servers) {
    ServerDirectory directory;
    directory.schema = 1;
    directory.servers = std::move(servers);
    return directory;
}

TEST(InstallServerDirectory, CarriesLatenciesAndRestoresPinnedRegions) {
    kyrtest::LauncherHarness h;
    h.state.serverDirectory = directoryOf(
        {serverWithEndpoints("alpha", {endpoint("eu", "127.0.0.1", 7000, 31), endpoint("sa", "127.0.0.2", 7000, 90)})});
    h.state.serverDirectory.servers[0].selectedEndpoint = 0;
    h.state.selectedServerId = "alpha";
    h.preferences.setRegion("alpha", "sa");
    h.preferences.setRegion("beta", "asia");

    launcher::installServerDirectory(h.state,
                                     directoryOf({serverWithEndpoints("alpha", {endpoint("eu-new", "127.0.0.1", 7000),
                                                                                endpoint("sa", "127.0.0.2", 7001)}),
                                                  serverWithEndpoints("beta", {endpoint("eu", "127.0.0.2", 7000)})}),
                                     true);

    const ServerDirectory& installed = h.state.serverDirectory;
    ASSERT_EQ(slugsOf(installed), (std::vector<std::string>{"alpha", "beta"}));
    EXPECT_EQ(installed.servers[0].endpoints[0].latencyMs, 31) << "same address, new label";
    EXPECT_EQ(installed.servers[0].endpoints[1].latencyMs, -1) << "port changed";
    EXPECT_EQ(installed.servers[1].endpoints[0].latencyMs, -1) << "another server's endpoint";
    EXPECT_EQ(installed.servers[0].selectedEndpoint, 1) << "pinned to the stored region";
    EXPECT_EQ(installed.servers[1].selectedEndpoint, -1) << "stored region that no endpoint has";
    EXPECT_TRUE(h.state.directoryFromClient);
}

TEST(InstallServerDirectory, KeepsOrMakesASelection) {
    const struct {
        const char* name;
        std::string selected;
        std::string last;
        std::string want;
    } cases[] = {
        {"selection still present: Last not consulted", "beta", "gamma", "beta"},
        {"selection gone: Last", "gone", "gamma", "gamma"},
        {"nothing selected: Last", "", "gamma", "gamma"},
        {"Last not in the directory: the first server", "", "gone", "alpha"},
        {"no Last: the first server", "gone", "", "alpha"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        kyrtest::LauncherHarness h;
        h.state.selectedServerId = c.selected;
        if (!c.last.empty()) {
            h.preferences.setLastServer(c.last);
        }
        launcher::installServerDirectory(h.state,
                                         directoryOf({serverWithEndpoints("alpha", {endpoint("eu", "127.0.0.1", 1)}),
                                                      serverWithEndpoints("beta", {endpoint("eu", "127.0.0.1", 1)}),
                                                      serverWithEndpoints("gamma", {endpoint("eu", "127.0.0.1", 1)})}),
                                         false);
        EXPECT_EQ(h.state.selectedServerId, c.want);
    }
}

// A game folder on disk with the launcher's paths, and the worker run against it on the test thread.
class ServerListWorkerFolder : public ::testing::Test {
protected:
    void SetUp() override {
        h.state.folder = folder.path().string();
        h.state.serversCachePath = (folder / "servers.cache.json").string();
        h.state.launcherIniPath = (folder / "launcher.ini").string();
    }

    void writeCache(const std::string& text) { kyrtest::write_bytes(folder / "servers.cache.json", text); }

    void writeClientFile() {
        std::filesystem::create_directories(folder / "Data" / "Local");
        kyrtest::ValdraMainLayout layout;
        layout.addressA = "127.0.0.1";
        layout.portA = 0;
        layout.flagB = 1;
        layout.portB = 70000;
        layout.addressB = "127.0.0.2";
        kyrtest::write_bytes(folder / "Data" / "Local" / "valdra.main", kyrtest::encodeValdraMain(layout));
    }

    std::unique_ptr<ServerListResult> run(const std::string& accessCode = "") {
        launcher::serverListWorker(
            std::make_unique<launcher::ServerListJob>(launcher::ServerListJob{&h.state, accessCode}));
        kyrtest::PostedMessage posted;
        EXPECT_TRUE(h.queue.take(posted));
        EXPECT_EQ(posted.message, launcher::WM_APP_SERVERS_DONE);
        EXPECT_EQ(h.queue.pending(), 0u) << "exactly one notification";
        return std::unique_ptr<ServerListResult>(static_cast<ServerListResult*>(posted.payload));
    }

    kyrtest::ScratchFolder folder;
    kyrtest::LauncherHarness h;
};

TEST_F(ServerListWorkerFolder, NetworkDirectoryIsCachedVerbatimAndInstalled) {
    ScriptedSource primary(true, document({"beta", "alpha"}));
    h.state.directorySources.primary = &primary;
    writeCache(document({"stale"}));

    const auto result = run("Code-7");

    EXPECT_TRUE(result->ok);
    EXPECT_EQ(result->source, 0);
    EXPECT_FALSE(result->fromCache);
    EXPECT_FALSE(result->fromClient);
    EXPECT_EQ(primary.header, L"X-Valdra-Access-Code: Code-7\r\n");
    EXPECT_EQ(kyrtest::read_bytes(folder / "servers.cache.json"), document({"beta", "alpha"}));
    EXPECT_EQ(slugsOf(h.state.serverDirectory), (std::vector<std::string>{"alpha", "beta"}));
    EXPECT_EQ(h.state.selectedServerId, "alpha");
}

TEST_F(ServerListWorkerFolder, FallsBackToTheCacheWithTheNetworkError) {
    writeCache(document({"cached"}, 2));
    writeClientFile();

    const auto result = run();

    EXPECT_TRUE(result->ok);
    EXPECT_TRUE(result->fromCache);
    EXPECT_FALSE(result->fromClient);
    EXPECT_EQ(result->source, -1);
    EXPECT_EQ(result->error, kUnconfigured);
    EXPECT_EQ(slugsOf(h.state.serverDirectory), (std::vector<std::string>{"cached"}));
    EXPECT_TRUE(h.state.serverDirectory.fromCache);
    EXPECT_TRUE(h.state.serverDirectory.newerSchema);
    EXPECT_FALSE(h.state.directoryFromClient);
}

TEST_F(ServerListWorkerFolder, UnusableCachesFallBackToTheClientFile) {
    const std::string oversized =
        document({"big"}) + std::string(launcher::kServerCacheLimit + 1 - document({"big"}).size(), ' ');
    const struct {
        const char* name;
        std::string cache;
    } cases[] = {
        {"no cache", "<none>"},
        {"4 MiB plus one byte", oversized},
        {"not JSON", "not json"},
        {"newer schema that then breaks", R"({"schema":3,"servers":"x"})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(folder / "servers.cache.json");
        if (c.cache != "<none>") {
            writeCache(c.cache);
        }
        writeClientFile();
        h.state.selectedServerId.clear();

        const auto result = run();

        EXPECT_TRUE(result->ok);
        EXPECT_TRUE(result->fromClient);
        EXPECT_FALSE(result->fromCache);
        EXPECT_EQ(result->error, kUnconfigured);
        EXPECT_EQ(slugsOf(h.state.serverDirectory), (std::vector<std::string>{"valdra-2", "valdra"}));
        EXPECT_EQ(h.state.serverDirectory.servers[0].endpoints[0].port, 44000);
        EXPECT_FALSE(h.state.serverDirectory.newerSchema) << "the client file's directory is schema 1";
        EXPECT_TRUE(h.state.directoryFromClient);
        EXPECT_EQ(h.state.selectedServerId, "valdra-2");
        if (c.cache != "<none>") {
            EXPECT_EQ(kyrtest::read_bytes(folder / "servers.cache.json"), c.cache) << "a bad cache is never deleted";
        }
    }
}

TEST_F(ServerListWorkerFolder, NothingObtainedLeavesTheSharedStateAlone) {
    h.state.serverDirectory = directoryOf({serverWithEndpoints("keep", {endpoint("eu", "127.0.0.1", 1, 12)})});
    h.state.serverDirectory.servers[0].selectedEndpoint = 0;
    h.state.selectedServerId = "keep";
    writeCache("{}");

    const auto result = run();

    EXPECT_FALSE(result->ok);
    EXPECT_EQ(result->error, kUnconfigured);
    ASSERT_EQ(slugsOf(h.state.serverDirectory), (std::vector<std::string>{"keep"}));
    EXPECT_EQ(h.state.serverDirectory.servers[0].endpoints[0].latencyMs, 12);
    EXPECT_EQ(h.state.serverDirectory.servers[0].selectedEndpoint, 0);
    EXPECT_EQ(h.state.selectedServerId, "keep");
}

TEST_F(ServerListWorkerFolder, WithoutANetworkTextTheFailureHasItsOwn) {
    ScriptedSource silent(false, "");
    h.state.directorySources = {&silent, &silent};

    const auto result = run();

    EXPECT_FALSE(result->ok);
    EXPECT_EQ(result->error, "No se pudo obtener la lista de servidores.");
}

TEST_F(ServerListWorkerFolder, FailedCacheWriteDoesNotFailTheNetworkDirectory) {
    ScriptedSource primary(true, document({"alpha"}));
    h.state.directorySources.primary = &primary;
    h.state.serversCachePath = (folder / "missing-folder" / "servers.cache.json").string();

    const auto result = run();

    EXPECT_TRUE(result->ok);
    EXPECT_EQ(result->source, 0);
    EXPECT_EQ(slugsOf(h.state.serverDirectory), (std::vector<std::string>{"alpha"}));
}

TEST_F(ServerListWorkerFolder, RefusedPostDeletesTheResult) {
    writeClientFile();
    h.queue.refusePosts(true);
    launcher::serverListWorker(std::make_unique<launcher::ServerListJob>(launcher::ServerListJob{&h.state, ""}));
    EXPECT_EQ(h.queue.postedCount(), 0u); // the leak checker of the sanitized build sees the rest
    EXPECT_EQ(slugsOf(h.state.serverDirectory), (std::vector<std::string>{"valdra-2", "valdra"}));
}

} // namespace
