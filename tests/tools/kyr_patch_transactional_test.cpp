// The real kyr-patch killed with SIGKILL during a transactional update from version 1 to version 2, at
// seeded moments spread over the run and right inside its commit: whatever the moment, every game file is
// whole (version 1 or version 2, never torn, never lost), and the next run finishes the update exactly.

#include "support/game_folder.hpp"
#include "support/process_posix.hpp"
#include "support/scratch_folder.hpp"
#include "support/store_folder_server.hpp"
#include "support/update_scenario_posix.hpp"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <random>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using kyrtest::resultFlag;

constexpr unsigned kTimedKills = 3;
constexpr unsigned kCommitKills = 2;

ino_t inodeOf(const fs::path& file) {
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 ? info.st_ino : 0;
}

// Waits until the commit has moved `watched` into place (its inode changes), then lets the updater run on
// for `grace` and kills it: the kill lands among the commit's moves, which a timed kill rarely hits.
bool killDuringCommit(kyrtest::ChildProcess& patcher, const fs::path& watched, std::chrono::microseconds grace) {
    const ino_t before = inodeOf(watched);
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
    while (true) {
        // Asked before the inode: a run that ended by then had every chance to commit.
        const bool ended = !patcher.running();
        if (inodeOf(watched) != before) {
            break;
        }
        if (ended || Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    const Clock::time_point until = Clock::now() + grace;
    while (Clock::now() < until) {
    }
    patcher.sendSignal(SIGKILL);
    return true;
}

class TransactionalUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        kyrtest::ScenarioOptions options;
        // Many changed files: the commit, where a kill hurts most, is more than a few moves.
        options.shape.seed = 7;
        options.shape.largeFiles = false;
        options.shape.soundFiles = 120;
        options.shape.soundChanges = 100;
        scenario_ = std::make_unique<kyrtest::UpdateScenario>(KYR_STORE_PATH, folder_ / "scenario", options);
        server_ = std::make_unique<kyrtest::StoreFolderServer>(scenario_->servedFolder());
    }

    std::vector<std::string> command(const std::string& store, const fs::path& root,
                                     const std::vector<std::string>& extra) const {
        std::vector<std::string> words{KYR_PATCH_PATH,   "update",      "--store",  server_->baseUrl() + store,
                                       "--root",         root.string(), "--pubkey", scenario_->publicKey(),
                                       "--transactional"};
        words.insert(words.end(), extra.begin(), extra.end());
        return words;
    }

    kyrtest::PatchProgramRun run(const std::vector<std::string>& words) const {
        return kyrtest::runPatchProgram(words.front(), {words.begin() + 1, words.end()});
    }

    kyrtest::ScratchFolder folder_;
    std::unique_ptr<kyrtest::UpdateScenario> scenario_;
    std::unique_ptr<kyrtest::StoreFolderServer> server_;
};

TEST_F(TransactionalUpdate, EveryFileIsWholeAfterAKillAtAnyMoment) {
    const kyrtest::GameFiles& v1 = scenario_->version1();
    const kyrtest::GameFiles& v2 = scenario_->version2();
    // The commit moves files in manifest order, which is the byte order of the paths.
    std::string firstCommitted;
    for (const auto& [path, bytes] : v2) {
        if (v1.count(path) != 0 && v1.at(path) != bytes) {
            firstCommitted = path;
            break;
        }
    }
    ASSERT_FALSE(firstCommitted.empty());

    const struct {
        const char* name;
        std::vector<std::string> arguments;
    } cases[] = {
        {"chunk by chunk", {}},
        {"through packs", {"--pack-min-chunks", "1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path pristine = folder_ / c.name / "pristine";
        const kyrtest::PatchProgramRun install = run(command("one/", pristine, {}));
        ASSERT_TRUE(resultFlag(install.result, "ok")) << install.process.out << install.process.err;

        // How long an undisturbed update takes, so that the timed kills spread over the whole of it.
        const fs::path timed = folder_ / c.name / "timed";
        fs::copy(pristine, timed, fs::copy_options::recursive);
        const Clock::time_point start = Clock::now();
        const kyrtest::PatchProgramRun full = run(command("two/", timed, c.arguments));
        const auto duration = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
        ASSERT_TRUE(resultFlag(full.result, "ok")) << full.process.out << full.process.err;

        std::mt19937_64 random(4242);
        for (unsigned kill = 0; kill < kTimedKills + kCommitKills; ++kill) {
            const bool timedKill = kill < kTimedKills;
            std::chrono::microseconds delay;
            if (timedKill) {
                // One kill in each equal share of the run, at a seeded place inside it.
                const double share = (kill + std::uniform_real_distribution<double>(0, 1)(random)) / kTimedKills;
                delay = std::chrono::microseconds(static_cast<long long>(duration.count() * share));
            } else {
                // A seeded grace of up to half a millisecond after the commit's first move.
                delay = std::chrono::microseconds(random() % 500);
            }
            SCOPED_TRACE((timedKill ? "timed kill after " : "commit kill after ") + std::to_string(delay.count()) +
                         " us");
            const fs::path root = folder_ / c.name / ("kill" + std::to_string(kill));
            fs::copy(pristine, root, fs::copy_options::recursive);

            {
                kyrtest::ChildProcess patcher(command("two/", root, c.arguments));
                if (timedKill) {
                    std::this_thread::sleep_for(delay);
                    patcher.sendSignal(SIGKILL);
                } else {
                    EXPECT_TRUE(killDuringCommit(patcher, root / firstCommitted, delay))
                        << "the updater ended before its commit began";
                }
                ASSERT_TRUE(patcher.wait(std::chrono::seconds(30)));
            }
            EXPECT_EQ(kyrtest::describeTornFiles(v1, v2, kyrtest::readGameFolder(root)), "");
            EXPECT_EQ(kyrtest::describeUnstagedFiles(root, v1, v2), "");

            const kyrtest::PatchProgramRun resumed = run(command("two/", root, c.arguments));
            ASSERT_TRUE(resultFlag(resumed.result, "ok")) << resumed.process.out << resumed.process.err;
            EXPECT_EQ(kyrtest::describeDifferences(v2, kyrtest::readGameFolder(root)), "");
            EXPECT_FALSE(fs::exists(root / ".updstage"));
            EXPECT_FALSE(fs::exists(root / ".updpacks"));
            EXPECT_EQ(kyrtest::read_bytes(root / ".update_done"), "2.0.0");
        }
    }
}

} // namespace
