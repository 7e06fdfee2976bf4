// Soak: one installation updated back and forth between two published versions, round after round, over
// loopback stores that inject seeded random faults, with the real kyr-patch killed (SIGKILL) at a random
// moment in some rounds. After every disturbed run each file is its old or its new version (never torn,
// never lost); after the clean run that ends each round the folder is exactly the new version, nothing of
// the updater's work is left behind, and one more run finds everything current.
//
// KYR_SOAK_ROUNDS (default 8) and KYR_SOAK_SEED choose the length and the seed; every failure names both,
// so the same rounds can be replayed.

#include "support/fault_injector.hpp"
#include "support/free_port_posix.hpp"
#include "support/game_folder.hpp"
#include "support/process_posix.hpp"
#include "support/scratch_folder.hpp"
#include "support/store_folder_server.hpp"
#include "support/update_scenario_posix.hpp"

#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <charconv>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using kyrtest::GameFiles;

constexpr std::uint64_t kDefaultRounds = 8;
constexpr std::uint64_t kDefaultSeed = 20261206;

// A kill lands this long at most after the request that triggers it, so that some kills hit the local
// work between requests (assembly, install, commit) rather than a transfer.
constexpr std::chrono::microseconds kMaxKillGrace{3000};
// Long enough for a run slowed down by kyr-patch's own retry pauses (its ladders are not shortened).
constexpr auto kKilledRunLimit = std::chrono::seconds(120);

// The value of a whole-number environment variable, `fallback` when unset, nothing when it is malformed.
std::optional<std::uint64_t> environmentNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    const std::string_view value(text);
    std::uint64_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size()) {
        return std::nullopt;
    }
    return number;
}

// The three moves a round can make: the first installs version 1 into an empty folder, then the rounds
// alternate between version 1 and version 2.
enum class Move { install, forward, back };

Move moveOf(unsigned round) {
    if (round == 0) {
        return Move::install;
    }
    return round % 2 == 1 ? Move::forward : Move::back;
}

enum class Sources { one, twoFaulty, deadPrimary };

struct RoundPlan {
    bool killed = false; // the disturbed runs are kyr-patch processes killed at a random request
    bool transactional = false;
    bool packs = false;
    unsigned workers = 1;
    Sources sources = Sources::one;
    double faultRate = 0;
    unsigned disturbedRuns = 1; // before the clean run that must finish the update

    std::string describe() const {
        static const char* const kSources[] = {"one store", "two faulty stores", "dead primary"};
        std::ostringstream text;
        text << (killed ? "kyr-patch killed" : "in-process") << (transactional ? ", transactional" : "")
             << (packs ? ", packs" : ", chunks") << ", " << workers << " worker(s), "
             << kSources[static_cast<int>(sources)] << ", fault rate " << faultRate << ", " << disturbedRuns
             << " disturbed run(s)";
        return text.str();
    }
};

// Kills and transactional installs follow the round number, so that every short soak meets each pairing;
// the rest is drawn.
RoundPlan planRound(unsigned round, std::mt19937_64& random) {
    RoundPlan plan;
    plan.killed = round % 2 == 1;
    plan.transactional = (round / 2) % 2 == 1;
    plan.packs = random() % 2 == 1;
    plan.workers = random() % 2 == 1 ? 4 : 1;
    plan.sources = static_cast<Sources>(random() % 3);
    // kyr-patch pauses for half a second and more after each fault, so killed rounds get few of them.
    plan.faultRate =
        plan.killed ? (random() % 2 == 1 ? 0.02 : 0.0) : std::uniform_real_distribution<double>(0.05, 0.25)(random);
    plan.disturbedRuns = 1 + static_cast<unsigned>(random() % 2);
    return plan;
}

// What the folder holds after a completed update from `old` to `target`: the updater never deletes, so a
// file that only the old version had stays.
GameFiles afterUpdate(const GameFiles& old, const GameFiles& target) {
    GameFiles expected = target;
    expected.insert(old.begin(), old.end());
    return expected;
}

// The updater's working files that a completed run must not leave behind.
std::string describeLeftovers(const fs::path& root) {
    std::string report;
    for (const char* folder : {".updstage", ".updpacks"}) {
        if (fs::exists(root / folder)) {
            report += std::string("left behind: ") + folder + "\n";
        }
    }
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        const fs::path extension = entry.path().extension();
        if (entry.is_regular_file() && (extension == ".updpart" || extension == ".tmp")) {
            report += "left behind: " + entry.path().lexically_relative(root).generic_string() + "\n";
        }
    }
    return report;
}

// The round's store behind one or two loopback servers that inject faults (or behind a dead primary and
// one such server), counting every request that reaches them.
class FaultyStores {
public:
    FaultyStores(const fs::path& store, const RoundPlan& plan, std::mt19937_64& random) {
        if (plan.sources == Sources::deadPrimary) {
            urls_.push_back("http://127.0.0.1:" + std::to_string(kyrtest::freeLoopbackPort()) + "/");
        }
        const unsigned servers = plan.sources == Sources::twoFaulty ? 2 : 1;
        for (unsigned i = 0; i < servers; ++i) {
            servers_.push_back(std::make_unique<kyrtest::StoreFolderServer>(store));
            injectors_.push_back(std::make_unique<kyrtest::FaultInjector>(*servers_.back(), random(), plan.faultRate,
                                                                          1 + static_cast<int>(random() % 60)));
            kyrtest::FaultInjector* injector = injectors_.back().get();
            servers_.back()->setHook(
                [this, injector](const kyrtest::HttpRequest& request, kyrtest::HttpResponse response) {
                    ++requests_;
                    return (*injector)(request, std::move(response));
                });
            urls_.push_back(servers_.back()->baseUrl());
        }
    }
    const std::vector<std::string>& urls() const { return urls_; }
    std::size_t requests() const { return requests_; }
    unsigned injected() const {
        unsigned total = 0;
        for (const auto& injector : injectors_) {
            total += injector->injected();
        }
        return total;
    }

private:
    // Declared in this order so that the servers, whose threads call the hooks, go first.
    std::atomic<std::size_t> requests_{0};
    std::vector<std::string> urls_;
    std::vector<std::unique_ptr<kyrtest::FaultInjector>> injectors_;
    std::vector<std::unique_ptr<kyrtest::StoreFolderServer>> servers_;
};

// How one disturbed run ended.
struct RunEnd {
    bool killed = false;
    bool ok = false;
    bool localWriteFailed = false;
    std::string error;
    std::string log; // kyr-patch's stderr or the in-process run's log lines, for failure messages
};

struct Tally {
    unsigned disturbedRuns = 0;
    unsigned killRuns = 0;
    unsigned killed = 0;
    unsigned failed = 0;
    unsigned completed = 0;
    unsigned faultRuns = 0;
    unsigned faults = 0;
};

class PatchSoak : public ::testing::Test {
protected:
    struct Version {
        const GameFiles* files;
        fs::path store;
        std::string number;
    };

    Version versionOf(Move move) const {
        if (move == Move::forward) {
            return {&scenario_.version2(), scenario_.storeTwo(), "2.0.0"};
        }
        return {&scenario_.version1(), scenario_.storeOne(), "1.0.0"};
    }

    std::vector<std::string> patchCommand(const std::vector<std::string>& urls, const RoundPlan& plan) const {
        std::vector<std::string> words{KYR_PATCH_PATH, "update"};
        for (const std::string& url : urls) {
            words.insert(words.end(), {"--store", url});
        }
        words.insert(words.end(), {"--root", root_.string(), "--pubkey", scenario_.publicKey(), "--pack-min-chunks",
                                   plan.packs ? "1" : "0", "--prefetch", std::to_string(plan.workers)});
        if (plan.transactional) {
            words.push_back("--transactional");
        }
        return words;
    }

    gu::patch::DownloaderConfig quickConfig(const fs::path& root, const RoundPlan& plan) const {
        gu::patch::DownloaderConfig config = kyrtest::quickConfig(root, scenario_.publicKey());
        config.pack_min_chunks = plan.packs ? 1 : 0;
        config.transactional = plan.transactional;
        config.prefetch_workers = plan.workers;
        return config;
    }

    // The requests an undisturbed run of each move makes, with and without packs: the range in which a
    // killed run is stopped. Measured on a folder of its own that goes through the same moves.
    void measureRequests() {
        for (const bool packs : {false, true}) {
            RoundPlan plan;
            plan.packs = packs;
            const fs::path root = work_ / (packs ? "measure-packs" : "measure-chunks");
            for (const Move move : {Move::install, Move::forward, Move::back}) {
                kyrtest::StoreFolderServer server(versionOf(move).store);
                const kyrtest::InProcessRun run = kyrtest::runUpdate({server.baseUrl()}, quickConfig(root, plan));
                ASSERT_TRUE(run.result.ok) << run.result.error;
                requests_[{move, packs}] = server.requests().size();
            }
        }
    }

    RunEnd runInProcess(const FaultyStores& stores, const RoundPlan& plan) const {
        const kyrtest::InProcessRun run = kyrtest::runUpdate(stores.urls(), quickConfig(root_, plan));
        RunEnd end;
        end.ok = run.result.ok;
        end.error = run.result.error;
        end.localWriteFailed = run.result.local_write_failed;
        for (const std::string& line : run.log) {
            end.log += line + "\n";
        }
        return end;
    }

    // Starts kyr-patch and kills it right after the server saw request number `killAt` plus a grace, unless
    // it ended by itself before.
    RunEnd runKilled(const FaultyStores& stores, const RoundPlan& plan, std::size_t killAt,
                     std::chrono::microseconds grace) const {
        const fs::path out = work_ / "patch.out";
        const fs::path err = work_ / "patch.err";
        RunEnd end;
        std::optional<int> status;
        {
            kyrtest::ChildProcess patcher(patchCommand(stores.urls(), plan), out, err);
            const Clock::time_point deadline = Clock::now() + kKilledRunLimit;
            while (stores.requests() < killAt && patcher.running() && Clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
            std::this_thread::sleep_for(grace);
            patcher.sendSignal(SIGKILL);
            status = patcher.wait(std::chrono::seconds(30));
        }
        end.log = kyrtest::read_bytes(err);
        if (!status) {
            end.error = "kyr-patch did not end after SIGKILL";
            return end;
        }
        kyrtest::ProcessResult process;
        kyrtest::decodeWaitStatus(*status, process);
        end.killed = process.signal == SIGKILL;
        if (!end.killed) {
            boost::json::error_code ec;
            const boost::json::value printed = boost::json::parse(kyrtest::read_bytes(out), ec);
            const boost::json::object result = !ec && printed.is_object() ? printed.as_object() : boost::json::object();
            end.ok = kyrtest::resultFlag(result, "ok");
            end.localWriteFailed = kyrtest::resultFlag(result, "local_write_failed");
            end.error = ec ? "no result printed (exit status " + std::to_string(process.exitCode) + ")"
                           : kyrtest::resultText(result, "error");
        }
        return end;
    }

    // Every file is its old or its new version whatever stopped the run; a run that completed left exactly
    // the new version; one that failed by itself says what failed. A transactional run moves nothing
    // before all was verified: one that failed by itself changed nothing, and a killed one either had not
    // begun its commit or has every changed file in place or staged.
    void checkDisturbedRun(const RunEnd& end, const RoundPlan& plan, const GameFiles& old, const GameFiles& expected,
                           const GameFiles& atStart) const {
        const GameFiles found = kyrtest::readGameFolder(root_);
        EXPECT_EQ(kyrtest::describeTornFiles(old, expected, found), "") << end.log;
        if (end.ok) {
            EXPECT_EQ(kyrtest::describeDifferences(expected, found), "") << end.log;
        } else if (!end.killed) {
            EXPECT_TRUE(kyrtest::isClearTransportFailure(end.error)) << end.error << "\n" << end.log;
            EXPECT_FALSE(end.localWriteFailed) << end.error;
            EXPECT_FALSE(fs::exists(root_ / ".updstage")) << "a failed run leaves no staged files";
        }
        if (!plan.transactional) {
            return;
        }
        EXPECT_EQ(kyrtest::describeUnstagedFiles(root_, atStart, expected), "");
        if (!end.ok && !end.killed) {
            EXPECT_EQ(kyrtest::describeDifferences(atStart, found), "") << "a failed transactional run changed files";
        }
    }

    // The clean run that ends a round must finish the update exactly, and the run after it must find
    // every file current without downloading anything.
    void checkConverges(const RoundPlan& plan, const Version& target, const GameFiles& expected) const {
        kyrtest::StoreFolderServer clean(target.store);
        const std::vector<std::string> words = patchCommand({clean.baseUrl()}, plan);
        const std::vector<std::string> arguments(words.begin() + 1, words.end());

        const kyrtest::PatchProgramRun finish = kyrtest::runPatchProgram(words.front(), arguments);
        ASSERT_TRUE(kyrtest::resultFlag(finish.result, "ok")) << finish.process.out << finish.process.err;
        EXPECT_EQ(kyrtest::resultText(finish.result, "version"), target.number);
        ASSERT_EQ(kyrtest::describeDifferences(expected, kyrtest::readGameFolder(root_)), "");
        EXPECT_EQ(describeLeftovers(root_), "");
        EXPECT_EQ(kyrtest::read_bytes(root_ / ".update_done"), target.number);

        const kyrtest::PatchProgramRun again = kyrtest::runPatchProgram(words.front(), arguments);
        ASSERT_TRUE(kyrtest::resultFlag(again.result, "ok")) << again.process.out << again.process.err;
        EXPECT_EQ(kyrtest::resultCount(again.result, "files_installed"), 0u) << again.process.out;
        EXPECT_EQ(kyrtest::resultCount(again.result, "files_current"), target.files->size()) << again.process.out;
        EXPECT_EQ(kyrtest::resultCount(again.result, "bytes_downloaded"), 0u) << again.process.out;
    }

    void runRound(unsigned round, std::uint64_t seed) {
        std::seed_seq roundSeed{seed, static_cast<std::uint64_t>(round)};
        std::mt19937_64 random(roundSeed);
        const RoundPlan plan = planRound(round, random);
        const Move move = moveOf(round);
        const Version target = versionOf(move);
        SCOPED_TRACE("round " + std::to_string(round) + " to " + target.number + ": " + plan.describe());

        const GameFiles old = kyrtest::readGameFolder(root_);
        const GameFiles expected = afterUpdate(old, *target.files);
        const std::size_t undisturbedRequests = requests_.at({move, plan.packs});
        for (unsigned run = 0; run < plan.disturbedRuns; ++run) {
            SCOPED_TRACE("disturbed run " + std::to_string(run + 1));
            const GameFiles atStart = kyrtest::readGameFolder(root_);
            FaultyStores stores(target.store, plan, random);
            RunEnd end;
            if (plan.killed) {
                const std::size_t killAt = 1 + random() % undisturbedRequests;
                const std::chrono::microseconds grace(random() % kMaxKillGrace.count());
                end = runKilled(stores, plan, killAt, grace);
                tally_.killRuns += 1;
            } else {
                end = runInProcess(stores, plan);
            }
            tally_.disturbedRuns += 1;
            tally_.killed += end.killed ? 1 : 0;
            tally_.completed += end.ok ? 1 : 0;
            tally_.failed += !end.ok && !end.killed ? 1 : 0;
            tally_.faultRuns += plan.faultRate > 0 ? 1 : 0;
            tally_.faults += stores.injected();
            checkDisturbedRun(end, plan, old, expected, atStart);
        }
        checkConverges(plan, target, expected);
    }

    static kyrtest::ScenarioOptions scenarioOptions() {
        kyrtest::ScenarioOptions options;
        // Packs of about 256 KiB: a packed update needs several, so packs are parked, resumed and evicted.
        options.publishArguments = {"--pack-size", "262144"};
        return options;
    }

    kyrtest::ScratchFolder work_;
    const kyrtest::UpdateScenario scenario_{KYR_STORE_PATH, work_ / "scenario", scenarioOptions()};
    const fs::path root_ = work_ / "game";
    std::map<std::pair<Move, bool>, std::size_t> requests_;
    Tally tally_;
};

TEST_F(PatchSoak, EveryRoundLeavesWholeFilesAndConverges) {
    const std::optional<std::uint64_t> rounds = environmentNumber("KYR_SOAK_ROUNDS", kDefaultRounds);
    const std::optional<std::uint64_t> seed = environmentNumber("KYR_SOAK_SEED", kDefaultSeed);
    ASSERT_TRUE(rounds && *rounds > 0) << "KYR_SOAK_ROUNDS must be a whole number above 0";
    ASSERT_TRUE(seed) << "KYR_SOAK_SEED must be a whole number";
    SCOPED_TRACE("replay with KYR_SOAK_SEED=" + std::to_string(*seed) + " KYR_SOAK_ROUNDS=" + std::to_string(*rounds));

    measureRequests();
    ASSERT_FALSE(HasFailure());
    for (unsigned round = 0; round < *rounds; ++round) {
        try {
            runRound(round, *seed);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "round " << round << ": " << e.what();
        }
        if (HasFailure()) {
            return;
        }
    }
    std::cout << "soak seed " << *seed << ": " << *rounds << " rounds, " << tally_.disturbedRuns << " disturbed runs ("
              << tally_.killed << " killed, " << tally_.failed << " failed, " << tally_.completed << " completed), "
              << tally_.faults << " faults injected\n";
    // The soak must have met what it is about, not only clean runs.
    if (tally_.killRuns > 0) {
        EXPECT_GT(tally_.killed, 0u) << "no kill landed before its run ended";
    }
    if (tally_.faultRuns > 0) {
        EXPECT_GT(tally_.faults, 0u);
    }
}

} // namespace
