#include "launcher/net/updater_front_end.hpp"

#include "support/http_test_server.hpp"
#include "support/launcher_harness.hpp"
#include "support/scratch_folder.hpp"
#include "support/test_store.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace launcher {
namespace {

using kyrtest::Status;

const std::string kForceHint = "FORCE retries from the Secondary Server (only if the download fails; it is not "
                               "faster). ";
const char kNotDownloaded[] = "Could not download the patch. Tap VERIFY to retry.";
const char kInterrupted[] = "The update was interrupted halfway through. Tap VERIFY to retry.";
const char kClientIntact[] = "Update failed (current client intact)";

void setEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

// Points the front end at a store for one test; the build's values return afterwards.
struct StoreOverride {
    StoreOverride(const std::string& url, const std::string& key) {
        setEnvironment("KYR_STORE_URL", url);
        setEnvironment("KYR_STORE_PUBKEY", key);
    }
    ~StoreOverride() {
        setEnvironment("KYR_STORE_URL", "");
        setEnvironment("KYR_STORE_PUBKEY", "");
    }
};

// A harness on a game folder of its own (no config.ini: English), with or without the client.
struct FrontEnd {
    explicit FrontEnd(bool client = true) {
        h.state.folder = folder.path().string();
        h.state.configIniPath = (folder / "config.ini").string();
        h.state.onUpdateDone = onUpdateDone;
        h.state.programName = "KyrLauncher.exe";
        h.state.startProgram = [this](const std::string& in, const std::string& commandLine) {
            started.push_back(in + " | " + commandLine);
            return true;
        };
        if (client) {
            std::filesystem::create_directories(folder / "Data" / "Local");
            kyrtest::write_bytes(folder / "Data" / "Local" / "valdra.main", "client");
        }
    }
    Status lastStatus() const { return h.view.updateStatuses.back(); }

    kyrtest::ScratchFolder folder;
    kyrtest::LauncherHarness h;
    std::vector<std::string> started;
};

TEST(UpdaterFrontEnd, ResultsSetTheButtonsAndTheStatusLine) {
    const struct {
        bool ok, downloaded;
        const char* message;
        bool client, forced, replaced, play, force;
        std::string status;
        bool error;
    } cases[] = {
        {true, false, "", true, false, false, true, false, "Client up to date.", false},
        {true, false, "", false, false, false, false, true, kForceHint + kNotDownloaded, true},
        {false, false, "boom", false, true, false, false, false, std::string(kNotDownloaded) + " (boom)", true},
        {false, true, "disk full", true, false, false, false, true, kForceHint + kInterrupted + " (disk full)", true},
        {false, false, "bad signature", true, false, false, true, true, kForceHint + kClientIntact + ": bad signature",
         true},
        {false, false, "", true, true, false, true, false, kClientIntact, true},
        {true, true, "", true, false, true, false, false, "Launcher updated. Restarting...", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        FrontEnd f(c.client);
        f.h.state.updateRunning = 1;
        f.h.state.forceSecondary = c.forced ? 1 : 0;
        UpdateResult result{c.ok, c.downloaded, c.message, 0};
        result.launcherReplaced = c.replaced;
        onUpdateDone(f.h.state, result);
        EXPECT_EQ(f.h.state.updateRunning.load(), 0);
        EXPECT_EQ(f.h.view.playEnabled.back(), c.play);
        EXPECT_EQ(f.h.view.forceEnabled.back(), c.force);
        EXPECT_EQ(f.lastStatus(), (Status{c.status, c.error}));
        EXPECT_EQ(f.h.workers.started(), c.ok && c.client && !c.replaced ? 1 : 0) << "the server list follows";
        EXPECT_EQ(f.started.size(), c.replaced ? 1u : 0u) << "a replaced launcher restarts into the new one";
    }
    gu::patch::RunResult wroteOnly;
    wroteOnly.files_written = 1;
    EXPECT_TRUE(runObtainedData(wroteOnly, false)) << "a run that wrote files changed the client";
}

// Trust comes from the build: only a build that allows it reads the store from the environment.
TEST(UpdaterFrontEnd, StoreSettingsComeFromTheBuildUnlessItAllowsTheEnvironment) {
    const struct {
        const char* environment;
        bool allowed;
        const char* want;
    } cases[] = {{"http://127.0.0.1:9/s/", true, "http://127.0.0.1:9/s/"},
                 {nullptr, true, "https://built/"},
                 {"", true, "https://built/"},
                 {"http://127.0.0.1:9/s/", false, "https://built/"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.allowed);
        EXPECT_EQ(chooseStoreSetting("https://built/", c.environment, c.allowed), c.want);
    }
    const std::string builtUrl = storeBaseUrl();
    {
        const StoreOverride store("http://127.0.0.1:9/staging", "a2V5");
        EXPECT_EQ(storeBaseUrl(), "http://127.0.0.1:9/staging/");
        EXPECT_EQ(storeTrustKey(), "a2V5");
    }
    EXPECT_EQ(storeBaseUrl(), builtUrl);
}

// The whole path of a player's VERIFY: worker, transport, engine, progress on the window, result handler;
// a store signed with another key than the one the launcher trusts changes nothing.
TEST(UpdaterFrontEnd, VerifyBringsTheFolderUpToDateOnlyFromTheTrustedStore) {
    kyrtest::TestStore store;
    const kyrtest::FileMap files = {{"Data/Local/valdra.main", std::string(300, 'v')}, {"Main.exe", "m"}};
    store.publish(files);
    kyrtest::HttpTestServer server([&](const kyrtest::HttpRequest& request) {
        const auto object = store.objects.find(request.target.substr(1));
        return object == store.objects.end() ? kyrtest::HttpResponse{404}
                                             : kyrtest::serveObject(request, object->second);
    });
    std::array<std::uint8_t, 32> otherSeed{};
    otherSeed.fill(0x5a);
    {
        const StoreOverride other(server.baseUrl(), kyrtest::TestSigner(otherSeed).public_key_base64());
        FrontEnd f;
        onVerifyClicked(f.h.state);
        f.h.settle();
        EXPECT_EQ(f.lastStatus().text.rfind(kForceHint + kClientIntact + ": ", 0), 0u) << f.lastStatus().text;
        EXPECT_TRUE(f.h.view.playEnabled.back());
        EXPECT_EQ(kyrtest::read_bytes(f.folder / "Data/Local/valdra.main"), "client");
    }
    const StoreOverride trusted(server.baseUrl(), store.pubkey_b64());
    FrontEnd f(false);
    onVerifyClicked(f.h.state);
    f.h.settle();
    for (const auto& [path, bytes] : files) {
        EXPECT_EQ(kyrtest::read_bytes(f.folder / path), bytes) << path;
    }
    EXPECT_EQ(f.lastStatus(), (Status{"Client up to date.", false}));
    EXPECT_EQ(f.h.view.busyAnimation, (std::vector<bool>{true, false}));
    EXPECT_EQ(f.h.workers.started(), 2) << "the update worker, then the server list worker";
}

} // namespace
} // namespace launcher
