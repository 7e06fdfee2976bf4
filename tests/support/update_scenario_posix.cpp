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

constexpr auto kPublishTimeout = std::chrono::seconds(120);

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

} // namespace

UpdateScenario::UpdateScenario(const std::string& kyrStoreProgram, const fs::path& folder,
                               const ScenarioOptions& options)
    : served_(folder / "served"), keyFile_(folder / "signing.key") {
    version1_ = makeGameFiles(options.shape);
    version2_ = nextGameVersion(version1_, options.shape);
    writeGameFiles(folder / "game1", version1_);
    writeGameFiles(folder / "game2", version2_);

    const ProcessResult keygen =
        runProcess({kyrStoreProgram, "keygen", "--out", keyFile_.string()}, std::chrono::seconds(30));
    if (keygen.exitCode != 0) {
        throw std::runtime_error("kyr-store keygen failed: " + keygen.err);
    }
    publicKey_ = firstLine(keygen.out);

    publish(kyrStoreProgram, folder / "game1", "1.0.0", storeOne(), options);
    fs::copy(storeOne(), storeTwo(), fs::copy_options::recursive);
    publish(kyrStoreProgram, folder / "game2", "2.0.0", storeTwo(), options);
}

void UpdateScenario::publish(const std::string& kyrStoreProgram, const fs::path& game, const std::string& version,
                             const fs::path& store, const ScenarioOptions& options) const {
    std::vector<std::string> command{kyrStoreProgram, "publish", "--key",        keyFile_.string(), "--in",
                                     game.string(),   "--out",   store.string(), "--version",       version};
    command.insert(command.end(), options.publishArguments.begin(), options.publishArguments.end());
    const ProcessResult result = runProcess(command, kPublishTimeout);
    if (result.exitCode != 0) {
        throw std::runtime_error("kyr-store publish " + version + " failed: " + result.err);
    }
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
    gu::patch::Fetcher& fetcher = fetchers.size() == 1 ? static_cast<gu::patch::Fetcher&>(*fetchers.front())
                                                       : static_cast<gu::patch::Fetcher&>(failover);
    config.log = logLine;
    gu::patch::Downloader downloader(fetcher, config);
    run.result = downloader.run({}, {});
    return run;
}

PatchProgramRun runPatchProgram(const std::string& program, const std::vector<std::string>& arguments,
                                std::chrono::milliseconds timeout) {
    std::vector<std::string> command{program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    PatchProgramRun run;
    run.process = runProcess(command, timeout);
    boost::json::error_code ec;
    const boost::json::value parsed = boost::json::parse(run.process.out, ec);
    if (!ec && parsed.is_object()) {
        run.result = parsed.as_object();
    }
    return run;
}

bool resultFlag(const boost::json::object& result, const char* name) {
    const boost::json::value* value = result.if_contains(name);
    return value != nullptr && value->is_bool() && value->get_bool();
}

std::uint64_t resultCount(const boost::json::object& result, const char* name) {
    const boost::json::value* value = result.if_contains(name);
    if (value == nullptr) {
        return 0;
    }
    if (value->is_uint64()) {
        return value->get_uint64();
    }
    return value->is_int64() && value->get_int64() >= 0 ? static_cast<std::uint64_t>(value->get_int64()) : 0;
}

std::string resultText(const boost::json::object& result, const char* name) {
    const boost::json::value* value = result.if_contains(name);
    return value != nullptr && value->is_string() ? std::string(value->get_string()) : std::string();
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
