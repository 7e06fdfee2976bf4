#pragma once
// The common ground of the updater's end-to-end tests: two versions of a synthetic game published by the
// real kyr-store program, and in-process update runs over the real HTTP transport with timings short
// enough for tests.

#include "support/game_folder.hpp"
#include "support/process_posix.hpp"

#include "patch/downloader_config.hpp"

#include <boost/json.hpp>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace kyrtest {

struct ScenarioOptions {
    GameShape shape;
    std::vector<std::string> publishArguments; // extra kyr-store publish options, e.g. {"--pack-size", "65536"}
};

// Below servedFolder(): "one/" is a store holding version "1.0.0"; "two/" holds "1.0.0" and then "2.0.0",
// published one after the other as an operator would. Served side by side, "one/" and "two/" are the
// stores before and after the release.
class UpdateScenario {
public:
    // Throws std::runtime_error with kyr-store's message when a publish fails.
    UpdateScenario(const std::string& kyrStoreProgram, const std::filesystem::path& folder,
                   const ScenarioOptions& options = {});

    const GameFiles& version1() const { return version1_; }
    const GameFiles& version2() const { return version2_; }
    const std::string& publicKey() const { return publicKey_; }
    const std::filesystem::path& servedFolder() const { return served_; }
    std::filesystem::path storeOne() const { return served_ / "one"; }
    std::filesystem::path storeTwo() const { return served_ / "two"; }

private:
    void publish(const std::string& kyrStoreProgram, const std::filesystem::path& game, const std::string& version,
                 const std::filesystem::path& store, const ScenarioOptions& options) const;

    std::filesystem::path served_;
    std::filesystem::path keyFile_;
    std::string publicKey_;
    GameFiles version1_;
    GameFiles version2_;
};

// One scenario of the default shape for the whole test program: published on first use, removed at exit.
// Tests only read it; tampering happens in the servers that serve it.
const UpdateScenario& sharedScenario(const std::string& kyrStoreProgram);

// The product's configuration with every retry and wait ladder cut to a few milliseconds, so that a
// test meets each retry path without waiting for it.
gu::patch::DownloaderConfig quickConfig(const std::filesystem::path& root, const std::string& publicKey);

struct InProcessRun {
    gu::patch::RunResult result;
    std::vector<std::string> log; // the run's and the failover's lines, in the order they came
};

// One Downloader run over CurlFetchers for the given store URLs (several: in failover order).
InProcessRun runUpdate(const std::vector<std::string>& storeUrls, gu::patch::DownloaderConfig config);

struct PatchProgramRun {
    ProcessResult process;
    boost::json::object result; // stdout as one JSON object; empty when it is not one
};

// Runs the kyr-patch program with `arguments` (the command first, e.g. "update").
PatchProgramRun runPatchProgram(const std::string& program, const std::vector<std::string>& arguments,
                                std::chrono::milliseconds timeout = std::chrono::seconds(60));

// Fields of a printed result. A missing field or one of another kind reads as false, 0 or empty; the
// command-line tests check the kinds themselves.
bool resultFlag(const boost::json::object& result, const char* name);
std::uint64_t resultCount(const boost::json::object& result, const char* name);
std::string resultText(const boost::json::object& result, const char* name);

// Whether any line of the log contains `text`.
bool logMentions(const std::vector<std::string>& log, const std::string& text);

} // namespace kyrtest
