#include "support/update_scenario_posix.hpp"

#include "support/scratch_folder.hpp"

#include "patch/curl_fetcher.hpp"
#include "patch/downloader.hpp"
#include "patch/failover_fetcher.hpp"

#include <memory>
#include <mutex>
#include <stdexcept>

namespace kyrtest {

namespace fs = std::filesystem;

namespace {

ProcessResult runStore(const std::vector<std::string>& command) {
    const ProcessResult result = runProcess(command, std::chrono::seconds(120));
    if (result.exitCode != 0) {
        throw std::runtime_error("kyr-store " + command[1] + " failed: " + result.err);
    }
    return result;
}

} // namespace

UpdateScenario::UpdateScenario(const std::string& kyrStoreProgram, const fs::path& folder, const GameShape& shape)
    : served_(folder / "served") {
    version1_ = makeGameFiles(shape);
    version2_ = nextGameVersion(version1_, shape);
    writeGameFiles(folder / "game1", version1_);
    writeGameFiles(folder / "game2", version2_);
    const std::string key = (folder / "signing.key").string();
    const std::string out = runStore({kyrStoreProgram, "keygen", "--out", key}).out;
    publicKey_ = out.substr(0, out.find('\n'));
    const auto publish = [&](const char* game, const char* version) {
        runStore({kyrStoreProgram, "publish", "--key", key, "--in", (folder / game).string(), "--out",
                  storeTwo().string(), "--version", version, "--pack-size", "262144"});
    };
    publish("game1", "1.0.0");
    fs::copy(storeTwo(), storeOne(), fs::copy_options::recursive);
    publish("game2", "2.0.0");
}

const UpdateScenario& sharedScenario(const std::string& kyrStoreProgram) {
    struct Shared {
        explicit Shared(const std::string& program) : scenario(program, folder.path()) {}
        ScratchFolder folder;
        UpdateScenario scenario;
    };
    static const Shared shared(kyrStoreProgram);
    return shared.scenario;
}

gu::patch::DownloaderConfig quickConfig(const fs::path& root, const std::string& publicKey) {
    gu::patch::DownloaderConfig config;
    config.pubkey_b64 = publicKey;
    config.root_dir = root.u8string();
    config.store_wait_ladder_ms = {5};
    config.store_wait_budget_ms = 40;
    config.chunk_retry_delays_ms = {1, 1};
    config.document_retry_delays_ms = {1};
    return config;
}

InProcessRun runUpdate(const std::vector<std::string>& storeUrls, gu::patch::DownloaderConfig config) {
    InProcessRun run;
    std::mutex logLock;
    const auto logLine = [&](const std::string& line) {
        std::lock_guard<std::mutex> lock(logLock);
        run.log.push_back(line);
    };
    std::vector<std::unique_ptr<gu::patch::CurlFetcher>> fetchers;
    std::vector<gu::patch::FetchSource> sources;
    for (const std::string& url : storeUrls) {
        fetchers.push_back(std::make_unique<gu::patch::CurlFetcher>(url));
        sources.push_back({fetchers.back().get(), url});
    }
    gu::patch::FailoverFetcher failover(sources, logLine);
    config.log = logLine;
    gu::patch::Downloader downloader(failover, config);
    run.result = downloader.run({}, {});
    return run;
}

boost::json::object printedResult(const std::string& out) {
    boost::json::error_code ec;
    const boost::json::value parsed = boost::json::parse(out, ec);
    return !ec && parsed.is_object() ? parsed.as_object() : boost::json::object();
}

bool logMentions(const std::vector<std::string>& log, const std::string& text) {
    for (const std::string& line : log) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace kyrtest
