#include "launcher/net/updater_front_end.hpp"

#include "launcher/shell/window_messages.hpp"
#include "support/http_test_server.hpp"
#include "support/launcher_harness.hpp"
#include "support/scratch_folder.hpp"
#include "support/test_store.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using kyrtest::Status;

const char kUpToDate[] = "Client up to date.";
const char kAlDia[] = "Cliente al dia.";
const char kForceHint[] = "FORCE retries from the Secondary Server (only if the download fails; it is not faster). ";
const char kForzarHint[] =
    "FORZAR reintenta desde el Servidor Secundario (solo si la descarga falla; no es mas rapido). ";
const char kNotDownloaded[] = "Could not download the patch. Tap VERIFY to retry.";
const char kNoSeBajo[] = "No se pudo bajar el parche. Toca VERIFICAR para reintentar.";
const char kInterrupted[] = "The update was interrupted halfway through. Tap VERIFY to retry.";
const char kClientIntact[] = "Update failed (current client intact)";
const char kChecking[] = "Checking for updates...";
const char kRestarting[] = "Launcher updated. Restarting...";

void setEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

// Points the front end at a store for one test; the build's values return afterwards.
class StoreOverride {
public:
    StoreOverride(const std::string& url, const std::string& key) {
        setEnvironment("KYR_STORE_URL", url);
        setEnvironment("KYR_STORE_PUBKEY", key);
    }
    ~StoreOverride() {
        setEnvironment("KYR_STORE_URL", "");
        setEnvironment("KYR_STORE_PUBKEY", "");
    }
};

// A harness on a game folder of its own, with config.ini naming the language (none: no such key).
struct FrontEnd {
    explicit FrontEnd(const char* language = nullptr, bool client = true) {
        h.state.folder = folder.path().string();
        h.state.configIniPath = (folder / "config.ini").string();
        h.state.onUpdateDone = launcher::onUpdateDone;
        if (language != nullptr) {
            kyrtest::write_bytes(folder / "config.ini", std::string("[Custom]\r\nLanguage=") + language + "\r\n");
        }
        if (client) {
            fs::create_directories(folder / "Data" / "Local");
            kyrtest::write_bytes(folder / "Data" / "Local" / "valdra.main", "client");
        }
    }

    // Records the programs that the front end starts, succeeding as told.
    void recordProgramStarts(bool succeed) {
        h.state.programName = "KyrLauncher.exe";
        h.state.startProgram = [this, succeed](const std::string& in, const std::string& commandLine) {
            started.push_back(in + " | " + commandLine);
            return succeed;
        };
    }
    std::string restartLine() const { return h.state.folder + " | \"" + (folder / "KyrLauncher.exe").string() + "\""; }

    Status lastStatus() const {
        return h.view.updateStatuses.empty() ? Status{"<none>", false} : h.view.updateStatuses.back();
    }

    kyrtest::ScratchFolder folder;
    kyrtest::LauncherHarness h;
    std::vector<std::string> started;
};

TEST(UpdaterFrontEnd, ResultsSetTheButtonsAndTheStatusLine) {
    struct Case {
        const char* name;
        bool ok;
        bool downloaded;
        const char* message;
        bool client;
        bool forced;
        bool play;
        bool force;
        std::string status;
        bool error;
    } cases[] = {
        {"ok with client", true, false, "", true, false, true, false, kUpToDate, false},
        {"ok with client after FORCE", true, true, "", true, true, true, false, kUpToDate, false},
        {"ok without client", true, false, "", false, false, false, true, std::string(kForceHint) + kNotDownloaded,
         true},
        {"failed without client", false, true, "HTTP 404 x", false, false, false, true,
         std::string(kForceHint) + kNotDownloaded + " (HTTP 404 x)", true},
        {"failed without client after FORCE", false, false, "boom", false, true, false, false,
         std::string(kNotDownloaded) + " (boom)", true},
        {"failed after data was downloaded", false, true, "disk full", true, false, false, true,
         std::string(kForceHint) + kInterrupted + " (disk full)", true},
        {"failed after data was downloaded, no text, forced", false, true, "", true, true, false, false, kInterrupted,
         true},
        {"failed before any data", false, false, "bad signature", true, false, true, true,
         std::string(kForceHint) + kClientIntact + ": bad signature", true},
        {"failed before any data, no text, forced", false, false, "", true, true, true, false, kClientIntact, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FrontEnd f("Eng", c.client);
        f.h.state.updateRunning = 1;
        f.h.state.forceSecondary = c.forced ? 1 : 0;
        launcher::UpdateResult result;
        result.ok = c.ok;
        result.downloaded = c.downloaded;
        result.message = c.message;
        result.source = 0;
        launcher::onUpdateDone(f.h.state, result);

        EXPECT_EQ(f.h.state.updateRunning.load(), 0);
        const kyrtest::RecordingView& view = f.h.view;
        ASSERT_FALSE(view.playEnabled.empty());
        ASSERT_FALSE(view.forceEnabled.empty());
        EXPECT_EQ(view.playEnabled.back(), c.play);
        EXPECT_EQ(view.forceEnabled.back(), c.force);
        EXPECT_EQ(view.verifyEnabled, std::vector<bool>{true});
        EXPECT_EQ(view.busyAnimation, std::vector<bool>{false});
        EXPECT_EQ(view.sources, std::vector<int>{0});
        EXPECT_EQ(f.lastStatus(), (Status{c.status, c.error}));
        const bool success = c.ok && c.client;
        using Progress = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
        EXPECT_EQ(view.progress, (success ? Progress{{1, 1}} : Progress{}));
        EXPECT_EQ(f.h.workers.started(), success ? 1 : 0) << "the server list follows a success only";
    }
}

// The old exe must not offer PLAY once a new one is in place: it starts the new one and closes.
TEST(UpdaterFrontEnd, ARunThatReplacedTheLauncherRestartsIntoTheNewOne) {
    const struct {
        const char* name;
        bool ok;
        const char* language;
        bool starts; // the new exe can be started
        Status want;
        bool restarted;
    } cases[] = {
        {"restarted", true, "Eng", true, {kRestarting, false}, true},
        {"restarted, Spanish", true, "Spn", true, {"Launcher actualizado. Reiniciando...", false}, true},
        {"new exe does not start", true, "Eng", false, {"Launcher updated: close it and open it again.", true}, false},
        {"failed run", false, "Eng", true, {std::string(kForceHint) + kInterrupted + " (x)", true}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FrontEnd f(c.language);
        f.recordProgramStarts(c.starts);
        launcher::UpdateResult result{c.ok, true, c.ok ? "" : "x", 0};
        result.launcherReplaced = true;
        launcher::onUpdateDone(f.h.state, result);

        EXPECT_EQ(f.lastStatus(), c.want);
        EXPECT_FALSE(f.h.view.playEnabled.back());
        EXPECT_EQ(f.started, c.ok ? std::vector<std::string>{f.restartLine()} : std::vector<std::string>{});
        kyrtest::PostedMessage posted;
        EXPECT_EQ(f.h.queue.take(posted) && posted.message == launcher::kWindowCloseMessage, c.restarted);
        EXPECT_EQ(f.h.workers.started(), 0) << "no server list for the old exe";
    }
}

// Operators may keep the files that a new version no longer lists (build option KYR_REMOVE_DROPPED_FILES).
TEST(UpdaterFrontEnd, RunConfigRemovesDroppedFilesAsTheBuildSays) {
    FrontEnd f;
    EXPECT_EQ(launcher::runConfig(f.h.state.folder, "KyrLauncher.exe").remove_dropped, KYR_REMOVE_DROPPED_FILES != 0);
}

// The engine's counters tell of data obtained even when no progress report carried a byte count.
TEST(UpdaterFrontEnd, ARunObtainedDataWhenAReportOrACounterSaysSo) {
    const struct {
        const char* name;
        bool reported;
        std::uint64_t bytes;
        std::uint32_t chunks;
        std::uint32_t packs;
        std::uint32_t files; // written, e.g. rebuilt from the previous version's files
        bool want;
    } cases[] = {
        {"nothing", false, 0, 0, 0, 0, false},      {"progress bytes", true, 0, 0, 0, 0, true},
        {"bytes counted", false, 1, 0, 0, 0, true}, {"chunk counted", false, 0, 1, 0, 0, true},
        {"pack counted", false, 0, 0, 1, 0, true},  {"file written from local data", false, 0, 0, 0, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gu::patch::RunResult run;
        run.bytes_downloaded = c.bytes;
        run.chunks_obtained = c.chunks;
        run.packs_downloaded = c.packs;
        run.files_written = c.files;
        EXPECT_EQ(launcher::runObtainedData(run, c.reported), c.want);
    }
}

TEST(UpdaterFrontEnd, TextsFollowTheGameLanguage) {
    struct Case {
        const char* language; // null: config.ini without the key
        bool spanish;
    } cases[] = {{"Spn", true},  {"spn", true},      {"SPN", true},   {"Por", false},
                 {"Eng", false}, {"Spanish", false}, {nullptr, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language != nullptr ? c.language : "(none)");
        FrontEnd withClient(c.language, true);
        launcher::onUpdateDone(withClient.h.state, launcher::UpdateResult{true, false, "", 0});
        EXPECT_EQ(withClient.lastStatus().text, c.spanish ? kAlDia : kUpToDate);

        FrontEnd without(c.language, false);
        launcher::onUpdateDone(without.h.state, launcher::UpdateResult{false, false, "", 0});
        EXPECT_EQ(without.lastStatus().text,
                  c.spanish ? std::string(kForzarHint) + kNoSeBajo : std::string(kForceHint) + kNotDownloaded);

        // These two have one language only.
        FrontEnd intact(c.language, true);
        intact.h.state.forceSecondary = 1;
        launcher::onUpdateDone(intact.h.state, launcher::UpdateResult{false, false, "x", 0});
        EXPECT_EQ(intact.lastStatus().text, std::string(kClientIntact) + ": x");
    }
}

TEST(UpdaterFrontEnd, ButtonsDoNothingWhileAnUpdateRuns) {
    for (const bool force : {false, true}) {
        SCOPED_TRACE(force ? "FORCE" : "VERIFY");
        FrontEnd f;
        f.h.state.updateRunning = 1;
        force ? launcher::onForceClicked(f.h.state) : launcher::onVerifyClicked(f.h.state);
        EXPECT_EQ(f.h.state.updateRunning.load(), 1);
        EXPECT_EQ(f.h.state.forceSecondary.load(), 0);
        EXPECT_EQ(f.h.workers.started(), 0);
        EXPECT_TRUE(f.h.view.updateStatuses.empty());
        EXPECT_TRUE(f.h.view.playEnabled.empty());
        EXPECT_TRUE(f.h.view.verifyEnabled.empty());
        EXPECT_TRUE(f.h.view.forceEnabled.empty());
    }
}

TEST(UpdaterFrontEnd, WorkerThatCannotStartGivesTheButtonsBack) {
    struct Case {
        bool force;
        const char* language;
        const char* startText;
    } cases[] = {{false, "Eng", kChecking},
                 {true, "Eng", "Forcing the download from the Secondary Server..."},
                 {true, "Spn", "Forzando la descarga desde el Servidor Secundario..."}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.startText);
        FrontEnd f(c.language);
        f.h.workers.failStarts(true);
        c.force ? launcher::onForceClicked(f.h.state) : launcher::onVerifyClicked(f.h.state);

        const kyrtest::RecordingView& view = f.h.view;
        EXPECT_EQ(f.h.state.updateRunning.load(), 0);
        EXPECT_EQ(f.h.state.forceSecondary.load(), c.force ? 1 : 0) << "FORCE counts even when no run started";
        ASSERT_EQ(view.updateStatuses.size(), 2u);
        EXPECT_EQ(view.updateStatuses[0], (Status{c.startText, false}));
        EXPECT_EQ(view.updateStatuses[1], (Status{"Could not start the update check.", true}));
        EXPECT_EQ(view.playEnabled, (std::vector<bool>{false, true}));
        EXPECT_EQ(view.verifyEnabled, (std::vector<bool>{false, true}));
        EXPECT_EQ(view.forceEnabled, std::vector<bool>{false}) << "FORCE stays as the click left it";
        EXPECT_EQ(view.progress, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{0, 0}}));
        EXPECT_EQ(view.sources, c.force ? std::vector<int>{1} : std::vector<int>{});
        EXPECT_EQ(view.busyAnimation, std::vector<bool>{false});

        std::lock_guard<std::mutex> lock(f.h.state.progressLock);
        EXPECT_EQ(f.h.state.updateProgress.source, c.force ? 1 : -1);
        EXPECT_TRUE(f.h.state.updateProgress.statusText.empty());
    }
}

TEST(UpdaterFrontEnd, OnlyABuildThatAllowsItTakesTheStoreFromTheEnvironment) {
    const struct {
        const char* name;
        const char* environment; // null: unset
        bool allowed;
        const char* want;
    } cases[] = {
        {"allowed and set", "http://127.0.0.1:9/staging/", true, "http://127.0.0.1:9/staging/"},
        {"allowed, unset", nullptr, true, "https://built/"},
        {"allowed, empty", "", true, "https://built/"},
        {"release build, set", "http://127.0.0.1:9/staging/", false, "https://built/"},
        {"release build, unset", nullptr, false, "https://built/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(launcher::chooseStoreSetting("https://built/", c.environment, c.allowed), c.want);
    }
}

// The test builds allow the override: the tests below point the launcher at stores of their own.
TEST(UpdaterFrontEnd, StoreSettingsComeFromTheBuildUnlessTheEnvironmentSaysOtherwise) {
    const std::string builtUrl = launcher::storeBaseUrl();
    const std::string builtKey = launcher::storeTrustKey();
    EXPECT_EQ(builtUrl.back(), '/');
    {
        StoreOverride store("http://127.0.0.1:9/staging", "a2V5");
        EXPECT_EQ(launcher::storeBaseUrl(), "http://127.0.0.1:9/staging/");
        EXPECT_EQ(launcher::storeTrustKey(), "a2V5");
    }
    EXPECT_EQ(launcher::storeBaseUrl(), builtUrl) << "an empty variable counts as unset";
    EXPECT_EQ(launcher::storeTrustKey(), builtKey);
}

// The whole path of a player's VERIFY: worker, transport, engine, progress on the window, result handler.
class UpdaterFrontEndRun : public ::testing::Test {
protected:
    void SetUp() override {
        files_ = {{"Data/Local/valdra.main", std::string(300, 'v')},
                  {"Main.exe", std::string(1000, 'm')},
                  {"Data/Player/skin.bmd", "skin"}};
        store_.publish(files_);
    }

    kyrtest::HttpResponse serve(const kyrtest::HttpRequest& request) {
        const auto object = store_.objects.find(request.target.substr(1));
        if (object == store_.objects.end()) {
            kyrtest::HttpResponse missing;
            missing.status = 404;
            return missing;
        }
        return kyrtest::serveObject(request, object->second);
    }

    kyrtest::TestStore store_;
    kyrtest::FileMap files_;
};

TEST_F(UpdaterFrontEndRun, VerifyBringsAnEmptyFolderUpToDateAndStartsTheServerList) {
    kyrtest::HttpTestServer server([this](const kyrtest::HttpRequest& r) { return serve(r); });
    StoreOverride store(server.baseUrl(), store_.pubkey_b64());
    FrontEnd f("Eng", false);
    launcher::onVerifyClicked(f.h.state);
    f.h.settle();

    for (const auto& [path, bytes] : files_) {
        SCOPED_TRACE(path);
        EXPECT_EQ(kyrtest::read_bytes(f.folder / path), bytes);
    }
    EXPECT_EQ(f.h.state.updateRunning.load(), 0);
    EXPECT_EQ(f.lastStatus(), (Status{kUpToDate, false}));
    const auto& statuses = f.h.view.updateStatuses;
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), Status{kChecking, false}), statuses.end());
    EXPECT_TRUE(f.h.view.playEnabled.back());
    EXPECT_FALSE(f.h.view.forceEnabled.back());
    EXPECT_EQ(f.h.view.busyAnimation, (std::vector<bool>{true, false}));
    EXPECT_EQ(f.h.view.sources.back(), 0);
    EXPECT_EQ(f.h.workers.started(), 2) << "the update worker, then the server list worker";
}

TEST_F(UpdaterFrontEndRun, ANewLauncherInTheStoreReplacesTheRunningOneWhichRestartsIntoIt) {
    files_["KyrLauncher.exe"] = "new launcher";
    kyrtest::StoreOptions second;
    second.version = "2";
    store_.publish(files_, second);
    kyrtest::HttpTestServer server([this](const kyrtest::HttpRequest& r) { return serve(r); });
    StoreOverride store(server.baseUrl(), store_.pubkey_b64());
    FrontEnd f("Eng", true);
    f.recordProgramStarts(true);
    kyrtest::write_bytes(f.folder / "KyrLauncher.exe", "running launcher");
    int closes = 0;
    f.h.queue.setOnPost([&closes](unsigned message) { closes += message == launcher::kWindowCloseMessage ? 1 : 0; });
    launcher::onVerifyClicked(f.h.state);
    f.h.settle();

    EXPECT_EQ(f.lastStatus(), (Status{kRestarting, false}));
    EXPECT_EQ(f.started, std::vector<std::string>{f.restartLine()});
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(kyrtest::read_bytes(f.folder / "KyrLauncher.exe"), "new launcher");
    EXPECT_EQ(kyrtest::read_bytes(f.folder / "KyrLauncher.exe.old"), "running launcher");
    EXPECT_EQ(kyrtest::read_bytes(f.folder / "Main.exe"), files_["Main.exe"]);
}

TEST_F(UpdaterFrontEndRun, AStoreSignedWithAnotherKeyFailsAndLeavesTheClientPlayable) {
    kyrtest::HttpTestServer server([this](const kyrtest::HttpRequest& r) { return serve(r); });
    std::array<std::uint8_t, 32> otherSeed{};
    otherSeed.fill(0x5a);
    StoreOverride store(server.baseUrl(), kyrtest::TestSigner(otherSeed).public_key_base64());
    ASSERT_NE(kyrtest::TestSigner(otherSeed).public_key_base64(), store_.pubkey_b64());
    FrontEnd f("Eng", true);
    launcher::onVerifyClicked(f.h.state);
    f.h.settle();

    EXPECT_EQ(f.h.state.updateRunning.load(), 0);
    const Status status = f.lastStatus();
    EXPECT_TRUE(status.error);
    EXPECT_EQ(status.text.rfind(std::string(kForceHint) + kClientIntact + ": ", 0), 0u) << status.text;
    EXPECT_TRUE(f.h.view.playEnabled.back());
    EXPECT_TRUE(f.h.view.forceEnabled.back());
    EXPECT_EQ(kyrtest::read_bytes(f.folder / "Data/Local/valdra.main"), "client");
    EXPECT_EQ(f.h.workers.started(), 1) << "no server list after a failure";
}

TEST_F(UpdaterFrontEndRun, ACommitThatFailsAfterTheDownloadSaysTheUpdateWasInterrupted) {
    kyrtest::HttpTestServer server([this](const kyrtest::HttpRequest& r) { return serve(r); });
    StoreOverride store(server.baseUrl(), store_.pubkey_b64());
    FrontEnd f("Eng", true);
    kyrtest::write_bytes(f.folder / "Data" / "Player", "a file where the commit needs a folder");
    launcher::onVerifyClicked(f.h.state);
    f.h.settle();

    const Status status = f.lastStatus();
    EXPECT_TRUE(status.error);
    EXPECT_EQ(status.text.rfind(std::string(kForceHint) + kInterrupted + " (", 0), 0u) << status.text;
    EXPECT_FALSE(f.h.view.playEnabled.back());
}

} // namespace
