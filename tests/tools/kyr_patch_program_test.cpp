// The kyr-patch program as scripts see it: exit codes, the usage text, the result printed as one JSON
// object with every field of the engine's record, and SIGINT/SIGTERM ending a run as "cancelled".

#include "support/game_folder.hpp"
#include "support/process_posix.hpp"
#include "support/scratch_folder.hpp"
#include "support/store_folder_server.hpp"
#include "support/update_scenario_posix.hpp"

#include <gtest/gtest.h>

#include <signal.h>

#include <thread>

namespace {

namespace fs = std::filesystem;
using kyrtest::resultCount;
using kyrtest::resultFlag;
using kyrtest::resultText;

enum class Kind { flag, count, text };

// The RunResult's fields in the record's order.
const struct {
    const char* name;
    Kind kind;
} kResultFields[] = {
    {"ok", Kind::flag},
    {"error", Kind::text},
    {"version", Kind::text},
    {"files_installed", Kind::count},
    {"files_current", Kind::count},
    {"files_preserved", Kind::count},
    {"chunks_obtained", Kind::count},
    {"bytes_downloaded", Kind::count},
    {"packs_downloaded", Kind::count},
    {"used_pack_index", Kind::flag},
    {"apk_ready", Kind::flag},
    {"apk_path", Kind::text},
    {"apk_sha", Kind::text},
    {"local_write_failed", Kind::flag},
    {"space_wanted_bytes", Kind::count},
    {"space_free_bytes", Kind::count},
    {"files_removed", Kind::count},
    {"files_written", Kind::count},
    {"running_program_replaced", Kind::flag},
};

bool hasKind(const boost::json::value& value, Kind kind) {
    switch (kind) {
    case Kind::flag:
        return value.is_bool();
    case Kind::count:
        return value.is_uint64() || (value.is_int64() && value.get_int64() >= 0);
    case Kind::text:
        return value.is_string();
    }
    return false;
}

void expectEveryResultField(const boost::json::object& result) {
    ASSERT_EQ(result.size(), sizeof kResultFields / sizeof kResultFields[0]);
    auto member = result.begin();
    for (const auto& field : kResultFields) {
        SCOPED_TRACE(field.name);
        EXPECT_EQ(member->key(), field.name);
        EXPECT_TRUE(hasKind(member->value(), field.kind)) << member->value();
        ++member;
    }
}

class KyrPatchProgram : public ::testing::Test {
protected:
    const kyrtest::UpdateScenario* scenario_ = &kyrtest::sharedScenario(KYR_STORE_PATH);
    kyrtest::ScratchFolder work_;
};

TEST_F(KyrPatchProgram, BadUsageExitsWithTwoBeforeTouchingTheRoot) {
    const std::string root = (work_ / "root").string();
    const std::vector<std::string> valid{"update", "--store", "http://127.0.0.1:9/", "--root", root, "--pubkey", "k"};
    const auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> arguments = valid;
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return arguments;
    };
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {"unknown command", {"frobnicate"}, "unknown command \"frobnicate\""},
        {"unknown option", with({"--bogus"}), "unknown option \"--bogus\""},
        {"option without its value", with({"--store"}), "--store needs a value"},
        {"no store", {"update", "--root", root, "--pubkey", "k"}, "update needs --store, --root and --pubkey"},
        {"no root",
         {"update", "--store", "http://127.0.0.1:9/", "--pubkey", "k"},
         "update needs --store, --root and --pubkey"},
        {"no key",
         {"update", "--store", "http://127.0.0.1:9/", "--root", root},
         "update needs --store, --root and --pubkey"},
        {"count with letters", with({"--pack-min-chunks", "12x"}),
         "--pack-min-chunks needs a whole number, not \"12x\""},
        {"negative count", with({"--prefetch", "-1"}), "--prefetch needs a whole number, not \"-1\""},
        {"count beyond 32 bits", with({"--prefetch", "4294967296"}),
         "--prefetch needs a whole number, not \"4294967296\""},
        {"empty count", with({"--pack-min-chunks", ""}), "--pack-min-chunks needs a whole number, not \"\""},
        {"store of another scheme", with({"--store", "ftp://x/"}),
         "unsupported store URL \"ftp://x/\": use http://, https://, file:/// or a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const kyrtest::PatchProgramRun run = kyrtest::runPatchProgram(KYR_PATCH_PATH, c.arguments);
        EXPECT_EQ(run.process.exitCode, 2);
        EXPECT_EQ(run.process.out, "");
        EXPECT_EQ(run.process.err.rfind("kyr-patch: " + c.message + "\n\nusage: kyr-patch update", 0), 0u)
            << run.process.err;
        EXPECT_FALSE(fs::exists(root));
    }
}

TEST_F(KyrPatchProgram, HelpGoesToStdoutAndSucceeds) {
    const std::vector<std::string> variants[] = {{}, {"--help"}, {"-h"}};
    for (const std::vector<std::string>& arguments : variants) {
        const kyrtest::PatchProgramRun run = kyrtest::runPatchProgram(KYR_PATCH_PATH, arguments);
        EXPECT_EQ(run.process.exitCode, 0);
        EXPECT_EQ(run.process.out.rfind("usage: kyr-patch update --store STORE", 0), 0u) << run.process.out;
        EXPECT_EQ(run.process.err, "");
    }
}

TEST_F(KyrPatchProgram, PrintsTheWholeResultAsOneJsonObject) {
    kyrtest::StoreFolderServer server(scenario_->storeOne());
    const fs::path root = work_ / "root";
    const std::vector<std::string> common{"update",      "--store",  server.baseUrl(),      "--root",
                                          root.string(), "--pubkey", scenario_->publicKey()};

    const kyrtest::PatchProgramRun done = kyrtest::runPatchProgram(KYR_PATCH_PATH, common);
    EXPECT_EQ(done.process.exitCode, 0) << done.process.err;
    expectEveryResultField(done.result);
    EXPECT_TRUE(resultFlag(done.result, "ok"));
    EXPECT_EQ(resultText(done.result, "error"), "");
    EXPECT_EQ(resultText(done.result, "version"), "1.0.0");
    EXPECT_EQ(resultCount(done.result, "files_installed"), scenario_->version1().size());
    EXPECT_GT(resultCount(done.result, "chunks_obtained"), 0u);
    EXPECT_GT(resultCount(done.result, "bytes_downloaded"), 0u);
    EXPECT_EQ(done.process.out.back(), '\n');
    EXPECT_EQ(done.process.out.find('\n'), done.process.out.size() - 1) << "one line";

    std::vector<std::string> noProduct = common;
    noProduct.insert(noProduct.end(), {"--product", ""});
    const kyrtest::PatchProgramRun failed = kyrtest::runPatchProgram(KYR_PATCH_PATH, noProduct);
    EXPECT_EQ(failed.process.exitCode, 1);
    expectEveryResultField(failed.result);
    EXPECT_FALSE(resultFlag(failed.result, "ok"));
    EXPECT_EQ(resultText(failed.result, "error"),
              "DownloaderConfig incompleto: product, channel, platform y pubkey_b64 son obligatorios");
}

// A copy of the store on a disk or a share, read without any web server.
TEST_F(KyrPatchProgram, InstallsFromAStoreFolder) {
    const struct {
        const char* name;
        std::string store;
    } cases[] = {
        {"folder", scenario_->storeOne().string()},
        {"file URL", "file://" + scenario_->storeOne().string() + "/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path root = work_ / c.name;
        const kyrtest::PatchProgramRun run =
            kyrtest::runPatchProgram(KYR_PATCH_PATH, {"update", "--store", c.store, "--root", root.string(), "--pubkey",
                                                      scenario_->publicKey()});
        EXPECT_EQ(run.process.exitCode, 0) << run.process.err;
        EXPECT_EQ(resultText(run.result, "version"), "1.0.0");
        EXPECT_EQ(kyrtest::describeDifferences(scenario_->version1(), kyrtest::readGameFolder(root)), "");
    }
}

// Version 2 drops two sound files; the player changed one of them and added a file of their own.
TEST_F(KyrPatchProgram, RemoveDroppedLeavesVersionTwoAndThePlayersFiles) {
    kyrtest::ScenarioOptions options;
    options.shape.largeFiles = false;
    options.shape.soundDrops = 2;
    const kyrtest::UpdateScenario scenario(KYR_STORE_PATH, work_ / "scenario", options);
    std::vector<std::string> dropped;
    for (const auto& file : scenario.version1()) {
        if (scenario.version2().count(file.first) == 0) {
            dropped.push_back(file.first);
        }
    }
    ASSERT_EQ(dropped.size(), 2u);
    for (const bool remove : {false, true}) {
        SCOPED_TRACE(remove ? "--remove-dropped" : "without --remove-dropped");
        const fs::path root = work_ / (remove ? "removing" : "keeping");
        const auto update = [&](const fs::path& store) {
            std::vector<std::string> arguments{"update", "--store",  store.string(), "--root",
                                               root.string(), "--pubkey", scenario.publicKey()};
            if (remove) {
                arguments.push_back("--remove-dropped");
            }
            return kyrtest::runPatchProgram(KYR_PATCH_PATH, arguments);
        };
        ASSERT_EQ(update(scenario.storeOne()).process.exitCode, 0);
        kyrtest::GameFiles players = {{dropped[0], "changed by the player"}, {"Data/Sound/mine.wav", "the player's"}};
        kyrtest::writeGameFiles(root, players);

        const kyrtest::PatchProgramRun run = update(scenario.storeTwo());

        EXPECT_EQ(run.process.exitCode, 0) << run.process.err;
        EXPECT_EQ(resultCount(run.result, "files_removed"), remove ? 1u : 0u);
        kyrtest::GameFiles want = scenario.version2();
        want.insert(players.begin(), players.end());
        if (!remove) {
            want.emplace(dropped[1], scenario.version1().at(dropped[1]));
        }
        EXPECT_EQ(kyrtest::describeDifferences(want, kyrtest::readGameFolder(root)), "");
    }
}

TEST_F(KyrPatchProgram, InterruptOrTerminateEndsTheRunAsCancelled) {
    // Every chunk answer waits a little, so the run is still busy when the signal comes.
    kyrtest::StoreFolderServer server(scenario_->storeOne(),
                                      [](const kyrtest::HttpRequest& request, kyrtest::HttpResponse response) {
                                          if (request.target.rfind("/v1/chunks/", 0) == 0) {
                                              response.stallMs = 40;
                                          }
                                          return response;
                                      });
    const struct {
        const char* name;
        int signal;
    } cases[] = {{"SIGINT", SIGINT}, {"SIGTERM", SIGTERM}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path root = work_ / c.name;
        const fs::path out = work_ / (std::string(c.name) + ".json");
        const std::size_t before = server.requests().size();
        kyrtest::ChildProcess patcher({KYR_PATCH_PATH, "update", "--store", server.baseUrl(), "--root", root.string(),
                                       "--pubkey", scenario_->publicKey()},
                                      out);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        bool fetching = false;
        while (!fetching && patcher.running() && std::chrono::steady_clock::now() < deadline) {
            const std::vector<kyrtest::HttpRequest> requests = server.requests();
            for (std::size_t i = before; i < requests.size(); ++i) {
                fetching = fetching || requests[i].target.rfind("/v1/chunks/", 0) == 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_TRUE(fetching) << "the run never reached its chunks";
        patcher.sendSignal(c.signal);
        const std::optional<int> status = patcher.wait(std::chrono::seconds(30));
        ASSERT_TRUE(status);
        kyrtest::ProcessResult ended;
        kyrtest::decodeWaitStatus(*status, ended);
        EXPECT_EQ(ended.exitCode, 1);

        boost::json::error_code ec;
        const boost::json::value printed = boost::json::parse(kyrtest::read_bytes(out), ec);
        ASSERT_FALSE(ec) << kyrtest::read_bytes(out);
        EXPECT_EQ(resultText(printed.as_object(), "error"), "cancelled");
        EXPECT_FALSE(resultFlag(printed.as_object(), "ok"));
        EXPECT_EQ(kyrtest::describeTornFiles({}, scenario_->version1(), kyrtest::readGameFolder(root)), "");
        EXPECT_LT(kyrtest::readGameFolder(root).size(), scenario_->version1().size());
    }
}

} // namespace
