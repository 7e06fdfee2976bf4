// The kyr-patch program end to end, on stores published by the kyr-store program: an install and an update
// byte for byte, its command line, and a soak of updates stopped at any moment (SIGKILL, SIGTERM).

#include "support/game_folder.hpp"
#include "support/process_posix.hpp"
#include "support/scratch_folder.hpp"
#include "support/store_folder_server.hpp"
#include "support/update_scenario_posix.hpp"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <random>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using kyrtest::GameFiles;

struct PatchRun {
    kyrtest::ProcessResult process;
    boost::json::object result;

    bool ok() const { return process.exitCode == 0 && result.contains("ok") && result.at("ok") == true; }
    std::uint64_t count(const char* name) const {
        const boost::json::value* value = result.if_contains(name);
        return value != nullptr && value->is_number() ? value->to_number<std::uint64_t>() : ~0ull;
    }
    std::string text(const char* name) const {
        const boost::json::value* value = result.if_contains(name);
        return value != nullptr && value->is_string() ? std::string(value->get_string()) : "<none>";
    }
};

PatchRun runPatch(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), KYR_PATCH_PATH);
    PatchRun run;
    run.process = kyrtest::runProcess(arguments, std::chrono::seconds(60));
    run.result = kyrtest::printedResult(run.process.out);
    return run;
}

ino_t inodeOf(const fs::path& file) {
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 ? info.st_ino : 0;
}

class KyrPatch : public ::testing::Test {
protected:
    std::vector<std::string> update(const std::string& store, const fs::path& root,
                                    const std::vector<std::string>& extra = {}) const {
        std::vector<std::string> words{"update", "--store", store, "--root", root.string(), "--pubkey",
                                       scenario_.publicKey()};
        words.insert(words.end(), extra.begin(), extra.end());
        return words;
    }

    const kyrtest::UpdateScenario& scenario_ = kyrtest::sharedScenario(KYR_STORE_PATH);
    kyrtest::ScratchFolder work_;
};

// Version 2 changes a few files and drops two sound files; before updating, the player changed one of those
// and added a file of their own. Only the changed files are downloaded and rewritten, --remove-dropped
// removes only the untouched dropped file, and a run after that has nothing left to do.
TEST_F(KyrPatch, InstallsAndUpdatesByteForByteKeepingThePlayersFiles) {
    const GameFiles& v1 = scenario_.version1();
    const GameFiles& v2 = scenario_.version2();
    std::size_t changed = 0;
    std::vector<std::string> dropped;
    for (const auto& [path, bytes] : v2) {
        changed += v1.count(path) == 0 || v1.at(path) != bytes ? 1 : 0;
    }
    for (const auto& [path, bytes] : v1) {
        if (v2.count(path) == 0) {
            dropped.push_back(path);
        }
    }
    ASSERT_EQ(dropped.size(), 2u);
    kyrtest::StoreFolderServer server(scenario_.servedFolder());
    const std::string folder = scenario_.servedFolder().string() + "/";
    const std::string escaped = folder.substr(0, folder.size() - 7) + "%73erv%65d/"; // ".../served/"
    const struct {
        const char* name;
        std::string store;
        std::vector<std::string> extra;
    } cases[] = {
        {"over HTTP, chunk by chunk", server.baseUrl(), {}},
        {"over HTTP, through packs with 4 workers", "HTTP" + server.baseUrl().substr(4),
         {"--pack-min-chunks", "1", "--prefetch", "4"}},
        {"from a store folder", folder, {}},
        {"from a file URL with escapes, through packs", "file://localhost" + escaped, {"--pack-min-chunks", "1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path root = work_ / c.name;
        const PatchRun cold = runPatch(update(c.store + "one/", root, c.extra));
        ASSERT_TRUE(cold.ok()) << cold.process.out << cold.process.err;
        EXPECT_EQ(cold.process.out.find('\n'), cold.process.out.size() - 1) << "the result is one line";
        EXPECT_EQ(cold.text("version"), "1.0.0");
        EXPECT_EQ(cold.count("files_installed"), v1.size());
        EXPECT_EQ(kyrtest::describeDifferences(v1, kyrtest::readGameFolder(root)), "");
        EXPECT_FALSE(fs::exists(root / ".updpacks"));

        const GameFiles players{{dropped[0], "changed by the player"}, {"Data/Sound/mine.wav", "the player's"}};
        kyrtest::writeGameFiles(root, players);
        std::map<std::string, ino_t> before;
        for (const auto& file : v1) {
            before[file.first] = inodeOf(root / file.first);
        }
        std::vector<std::string> extra = c.extra;
        extra.push_back("--remove-dropped");
        const PatchRun warm = runPatch(update(c.store + "two/", root, extra));
        ASSERT_TRUE(warm.ok()) << warm.process.out << warm.process.err;
        EXPECT_EQ(warm.text("version"), "2.0.0");
        EXPECT_EQ(warm.count("files_installed"), changed);
        EXPECT_EQ(warm.count("files_removed"), 1u);
        EXPECT_LT(warm.count("bytes_downloaded") * 2, cold.count("bytes_downloaded")) << "only changed chunks";
        GameFiles want = v2;
        want.insert(players.begin(), players.end());
        EXPECT_EQ(kyrtest::describeDifferences(want, kyrtest::readGameFolder(root)), "");
        for (const auto& [path, bytes] : v2) {
            if (v1.count(path) != 0 && v1.at(path) == bytes) {
                EXPECT_EQ(inodeOf(root / path), before.at(path)) << path << " was rewritten";
            }
        }
        EXPECT_EQ(kyrtest::read_bytes(root / ".update_done"), "2.0.0");

        const PatchRun again = runPatch(update(c.store + "two/", root, c.extra));
        ASSERT_TRUE(again.ok()) << again.process.out << again.process.err;
        EXPECT_EQ(again.count("files_installed"), 0u);
        EXPECT_EQ(again.count("files_current"), v2.size());
        EXPECT_EQ(again.count("bytes_downloaded"), 0u);
    }
}

TEST_F(KyrPatch, BadUsageExitsWithTwoBeforeTouchingTheRoot) {
    const fs::path root = work_ / "root";
    const std::string store = "http://127.0.0.1:9/";
    const auto with = [&](const std::vector<std::string>& extra) { return update(store, root, extra); };
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        int exitCode;
        std::string start; // of stdout for exit code 0, of stderr otherwise
    } cases[] = {
        {"help", {"--help"}, 0, "usage: kyr-patch update --store STORE"},
        {"unknown command", {"frobnicate"}, 2, "kyr-patch: unknown command \"frobnicate\"\n\nusage: kyr-patch update"},
        {"unknown option", with({"--bogus"}), 2, "kyr-patch: unknown option \"--bogus\""},
        {"option without its value", with({"--ca"}), 2, "kyr-patch: --ca needs a value"},
        {"no store", {"update", "--root", root.string(), "--pubkey", "k"}, 2,
         "kyr-patch: update needs --store, --root and --pubkey"},
        {"no root", {"update", "--store", store, "--pubkey", "k"}, 2,
         "kyr-patch: update needs --store, --root and --pubkey"},
        {"no key", {"update", "--store", store, "--root", root.string()}, 2,
         "kyr-patch: update needs --store, --root and --pubkey"},
        {"count with letters", with({"--pack-min-chunks", "12x"}), 2,
         "kyr-patch: --pack-min-chunks needs a whole number, not \"12x\""},
        {"count beyond 32 bits", with({"--prefetch", "4294967296"}), 2,
         "kyr-patch: --prefetch needs a whole number, not \"4294967296\""},
        {"store of another scheme", with({"--store", "ftp://x/"}), 2,
         "kyr-patch: unsupported store URL \"ftp://x/\": use http://, https://, file:/// or a folder"},
        {"empty store", with({"--store", ""}), 2, "kyr-patch: --store needs a URL or a folder"},
        {"file URL with a host", with({"--store", "file://nas/kyr/"}), 2,
         "kyr-patch: a file URL needs an absolute path and no host (file:///folder/), not \"file://nas/kyr/\""},
        {"escape cut short", with({"--store", "file:///srv/a%2"}), 2, "kyr-patch: bad %-escape in \"file:///srv/a%2\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PatchRun run = runPatch(c.arguments);
        EXPECT_EQ(run.process.exitCode, c.exitCode);
        EXPECT_EQ((c.exitCode == 0 ? run.process.out : run.process.err).rfind(c.start, 0), 0u)
            << run.process.out << run.process.err;
        EXPECT_EQ((c.exitCode == 0 ? run.process.err : run.process.out), "");
        EXPECT_FALSE(fs::exists(root));
    }
}

std::uint64_t environmentNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

// Rounds of an update from version 1 to version 2, in place and transactional, by chunks and through
// packs, stopped by SIGKILL at a seeded moment of the run or right after its first file was replaced, or by
// SIGTERM while it downloads. Every file stays whole (never torn, never lost), a transactional run moved
// nothing it had not staged complete, SIGTERM ends as "cancelled", and the next run finishes the update.
// scripts/soak.sh runs many rounds: KYR_SOAK_ROUNDS and KYR_SOAK_SEED replay a failure.
class PatchSoak : public KyrPatch {};

TEST_F(PatchSoak, StoppedUpdatesLeaveWholeFilesAndTheNextRunFinishes) {
    const std::uint64_t rounds = environmentNumber("KYR_SOAK_ROUNDS", 6);
    const std::uint64_t seed = environmentNumber("KYR_SOAK_SEED", 20261206);
    SCOPED_TRACE("replay with KYR_SOAK_SEED=" + std::to_string(seed) + " KYR_SOAK_ROUNDS=" + std::to_string(rounds));
    const GameFiles& v1 = scenario_.version1();
    const GameFiles& v2 = scenario_.version2();
    GameFiles expected = v2;
    expected.insert(v1.begin(), v1.end());
    std::string firstReplaced; // the commit moves files in manifest order, the byte order of the paths
    for (const auto& [path, bytes] : v2) {
        firstReplaced = firstReplaced.empty() && v1.count(path) != 0 && v1.at(path) != bytes ? path : firstReplaced;
    }
    kyrtest::StoreFolderServer quiet(scenario_.storeTwo());
    // Chunk and pack answers wait a little, so that a run is still downloading when SIGTERM comes.
    kyrtest::StoreFolderServer slow(scenario_.storeTwo(), [](const kyrtest::HttpRequest&, kyrtest::HttpResponse r) {
        r.stallMs = 30;
        return r;
    });
    const fs::path pristine = work_ / "pristine";
    ASSERT_TRUE(runPatch(update(scenario_.storeOne().string(), pristine)).ok());
    fs::copy(pristine, work_ / "timed", fs::copy_options::recursive);
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(runPatch(update(quiet.baseUrl(), work_ / "timed")).ok());
    const auto duration = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();

    std::mt19937_64 random(seed);
    for (unsigned round = 0; round < rounds; ++round) {
        const bool transactional = round % 2 == 1;
        const bool packs = round / 2 % 2 == 1;
        const int stop = round % 3; // 0: SIGKILL at a time, 1: SIGKILL after the first replace, 2: SIGTERM
        SCOPED_TRACE("round " + std::to_string(round) + (transactional ? " transactional" : " in place") +
                     (packs ? " packs" : " chunks") + " stop " + std::to_string(stop));
        const fs::path root = work_ / ("round" + std::to_string(round));
        fs::copy(pristine, root, fs::copy_options::recursive);
        std::vector<std::string> extra{"--pack-min-chunks", packs ? "1" : "0"};
        if (transactional) {
            extra.push_back("--transactional");
        }
        std::vector<std::string> command = update((stop == 2 ? slow : quiet).baseUrl(), root, extra);
        command.insert(command.begin(), KYR_PATCH_PATH);
        const std::size_t requestsBefore = slow.requests().size();
        std::optional<int> status;
        {
            kyrtest::ChildProcess patcher(command, work_ / "out.json");
            const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
            const auto waitFor = [&](const std::function<bool()>& reached) {
                while (!reached() && patcher.running() && Clock::now() < deadline) {
                    std::this_thread::sleep_for(std::chrono::microseconds(50));
                }
                return reached();
            };
            if (stop == 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(random() % duration));
            } else if (stop == 1) {
                const ino_t old = inodeOf(root / firstReplaced);
                const bool replaced = waitFor([&] { return inodeOf(root / firstReplaced) != old; });
                EXPECT_TRUE(replaced || !transactional) << "the run ended before its commit";
                std::this_thread::sleep_for(std::chrono::microseconds(random() % 500));
            } else {
                EXPECT_TRUE(waitFor([&] { return slow.requests().size() > requestsBefore + 4; }));
            }
            patcher.sendSignal(stop == 2 ? SIGTERM : SIGKILL);
            status = patcher.wait(std::chrono::seconds(30));
        }
        ASSERT_TRUE(status);
        kyrtest::ProcessResult ended;
        kyrtest::decodeWaitStatus(*status, ended);
        if (stop == 2) {
            EXPECT_EQ(ended.exitCode, 1);
            EXPECT_EQ(kyrtest::printedResult(kyrtest::read_bytes(work_ / "out.json"))["error"], "cancelled");
        }
        EXPECT_EQ(kyrtest::describeTornFiles(v1, v2, kyrtest::readGameFolder(root)), "");
        if (transactional) {
            EXPECT_EQ(kyrtest::describeUnstagedFiles(root, v1, v2), "");
        }

        const PatchRun finish = runPatch(update(quiet.baseUrl(), root, extra));
        ASSERT_TRUE(finish.ok()) << finish.process.out << finish.process.err;
        EXPECT_EQ(kyrtest::describeDifferences(expected, kyrtest::readGameFolder(root)), "");
        EXPECT_FALSE(fs::exists(root / ".updstage"));
        EXPECT_FALSE(fs::exists(root / ".updpacks"));
        EXPECT_EQ(kyrtest::read_bytes(root / ".update_done"), "2.0.0");
    }
}

} // namespace
