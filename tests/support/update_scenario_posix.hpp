#pragma once
// The common ground of the updater's end-to-end tests: two versions of a synthetic game published by the
// real kyr-store program, update runs in process over the real HTTP transport with timings short enough
// for tests, and runs of the real kyr-patch program.

#include "support/game_folder.hpp"
#include "support/process_posix.hpp"

#include "patch/downloader_config.hpp"

#include <boost/json.hpp>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace kyrtest {

// Below servedFolder(): "one/" is a store holding version "1.0.0"; "two/" holds "1.0.0" and then "2.0.0",
// published one after the other as an operator would (packs of 256 KiB, so an update needs several).
class UpdateScenario {
public:
    // Throws std::runtime_error with kyr-store's message when a publish fails.
    UpdateScenario(const std::string& kyrStoreProgram, const std::filesystem::path& folder,
                   const GameShape& shape = {});

    const GameFiles& version1() const { return version1_; }
    const GameFiles& version2() const { return version2_; }
    const std::string& publicKey() const { return publicKey_; }
    const std::filesystem::path& servedFolder() const { return served_; }
    std::filesystem::path storeOne() const { return served_ / "one"; }
    std::filesystem::path storeTwo() const { return served_ / "two"; }

private:
    std::filesystem::path served_;
    std::string publicKey_;
    GameFiles version1_;
    GameFiles version2_;
};

// One scenario of the default shape for the whole test program: published on first use, removed at exit.
const UpdateScenario& sharedScenario(const std::string& kyrStoreProgram);

// The product's configuration with every retry and wait ladder cut to a few milliseconds.
gu::patch::DownloaderConfig quickConfig(const std::filesystem::path& root, const std::string& publicKey);

struct InProcessRun {
    gu::patch::RunResult result;
    std::vector<std::string> log; // the run's and the failover's lines, in the order they came
};

// One Downloader run over CurlFetchers for the given store URLs (several: in failover order).
InProcessRun runUpdate(const std::vector<std::string>& storeUrls, gu::patch::DownloaderConfig config);

// The result kyr-patch printed on stdout (empty when it is not one JSON object).
boost::json::object printedResult(const std::string& out);

// Whether any line of the log contains `text`.
bool logMentions(const std::vector<std::string>& log, const std::string& text);

} // namespace kyrtest
