// Update runs over the real HTTP transport (CurlFetcher) against a store made by kyr-store, served by a
// loopback server that cuts, stalls, corrupts and refuses answers: a cut pack resumes where it stopped,
// random faults end either in an exact installation or in a clear message, and a dead store fails over.

#include "support/fault_injector.hpp"
#include "support/free_port_posix.hpp"
#include "support/game_folder.hpp"
#include "support/scratch_folder.hpp"
#include "support/store_folder_server.hpp"
#include "support/update_scenario_posix.hpp"

#include <gtest/gtest.h>

#include <mutex>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using kyrtest::GameFiles;
using kyrtest::HttpRequest;
using kyrtest::HttpResponse;

bool isPack(const HttpRequest& request) {
    return request.target.rfind("/v1/packs/", 0) == 0 && request.target.size() > 5 &&
           request.target.compare(request.target.size() - 5, 5, ".pack") == 0;
}

class TransportFaults : public ::testing::Test {
protected:
    // Its stores hold a single pack each: the default pack size is far above the game's size.
    const kyrtest::UpdateScenario* scenario_ = &kyrtest::sharedScenario(KYR_STORE_PATH);
    kyrtest::ScratchFolder work_;
};

TEST_F(TransportFaults, ResumesAPackWhoseConnectionWasCutHalfway) {
    std::mutex lock;
    int packRequests = 0;
    std::size_t cutAt = 0;
    kyrtest::StoreFolderServer server(scenario_->storeOne(), [&](const HttpRequest& request, HttpResponse response) {
        std::lock_guard<std::mutex> guard(lock);
        if (isPack(request) && packRequests++ == 0) {
            cutAt = response.body.size() / 2;
            response.cutAfter = cutAt;
        }
        return response;
    });
    const fs::path root = work_ / "root";
    gu::patch::DownloaderConfig config = kyrtest::quickConfig(root, scenario_->publicKey());
    config.pack_min_chunks = 1;

    const kyrtest::InProcessRun run = kyrtest::runUpdate({server.baseUrl()}, config);
    ASSERT_TRUE(run.result.ok) << run.result.error;
    EXPECT_EQ(run.result.packs_downloaded, 1u);
    EXPECT_EQ(kyrtest::describeDifferences(scenario_->version1(), kyrtest::readGameFolder(root)), "");

    std::vector<HttpRequest> packs;
    for (const HttpRequest& request : server.requests()) {
        if (isPack(request)) {
            packs.push_back(request);
        }
    }
    ASSERT_EQ(packs.size(), 2u) << "one cut transfer, one resumed transfer";
    EXPECT_EQ(kyrtest::requestedRangeStart(packs[0]), -1);
    ASSERT_GT(cutAt, 0u);
    EXPECT_EQ(packs[1].headers["range"], "bytes=" + std::to_string(cutAt) + "-");
}

TEST_F(TransportFaults, RandomFaultsEndInAnExactInstallationOrAClearMessage) {
    constexpr unsigned kRounds = 16;
    unsigned succeeded = 0;
    unsigned failed = 0;
    unsigned injected = 0;
    for (unsigned round = 0; round < kRounds; ++round) {
        const bool incremental = round % 2 == 1;
        const bool packs = (round / 2) % 2 == 1;
        const bool transactional = (round / 4) % 2 == 1;
        const unsigned workers = round % 3 == 0 ? 4 : 1;
        std::ostringstream name;
        name << "round " << round << (incremental ? " update" : " install") << (packs ? " packs" : " chunks")
             << (transactional ? " transactional" : "") << " workers " << workers;
        SCOPED_TRACE(name.str());

        const fs::path root = work_ / ("round" + std::to_string(round));
        gu::patch::DownloaderConfig config = kyrtest::quickConfig(root, scenario_->publicKey());
        config.pack_min_chunks = packs ? 1 : 0;
        config.transactional = transactional;
        config.prefetch_workers = workers;
        const fs::path store = incremental ? scenario_->storeTwo() : scenario_->storeOne();
        const GameFiles& target = incremental ? scenario_->version2() : scenario_->version1();
        GameFiles before;
        if (incremental) {
            kyrtest::StoreFolderServer clean(scenario_->storeOne());
            ASSERT_TRUE(kyrtest::runUpdate({clean.baseUrl()}, config).result.ok);
            before = scenario_->version1();
        }

        kyrtest::StoreFolderServer server(store);
        kyrtest::FaultInjector faults(server, 1000 + round, 0.08);
        server.setHook(std::ref(faults));
        const kyrtest::InProcessRun faulty = kyrtest::runUpdate({server.baseUrl()}, config);
        injected += faults.injected();
        const GameFiles found = kyrtest::readGameFolder(root);
        if (faulty.result.ok) {
            ++succeeded;
            EXPECT_EQ(kyrtest::describeDifferences(target, found), "");
        } else {
            ++failed;
            EXPECT_TRUE(kyrtest::isClearTransportFailure(faulty.result.error)) << faulty.result.error;
            EXPECT_FALSE(faulty.result.local_write_failed) << faulty.result.error;
            EXPECT_EQ(kyrtest::describeTornFiles(before, target, found), "");
        }
        EXPECT_FALSE(fs::exists(root / ".updstage"));

        server.setHook({});
        const kyrtest::InProcessRun clean = kyrtest::runUpdate({server.baseUrl()}, config);
        ASSERT_TRUE(clean.result.ok) << clean.result.error;
        EXPECT_EQ(kyrtest::describeDifferences(target, kyrtest::readGameFolder(root)), "");
        EXPECT_FALSE(fs::exists(root / ".updpacks"));
    }
    // The seeds are fixed and the faults do not depend on request order, so both outcomes always occur.
    EXPECT_GE(succeeded, 2u);
    EXPECT_GE(failed, 2u);
    EXPECT_GE(injected, kRounds);
}

TEST_F(TransportFaults, FailsOverFromADeadStoreToTheSecond) {
    kyrtest::StoreFolderServer live(scenario_->storeTwo());
    const std::string dead = "http://127.0.0.1:" + std::to_string(kyrtest::freeLoopbackPort()) + "/";
    const struct {
        const char* name;
        std::uint32_t packMinChunks;
    } cases[] = {{"chunk by chunk", 0}, {"through packs", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path root = work_ / c.name;
        gu::patch::DownloaderConfig config = kyrtest::quickConfig(root, scenario_->publicKey());
        config.pack_min_chunks = c.packMinChunks;

        const kyrtest::InProcessRun run = kyrtest::runUpdate({dead, live.baseUrl()}, config);
        ASSERT_TRUE(run.result.ok) << run.result.error;
        EXPECT_EQ(kyrtest::describeDifferences(scenario_->version2(), kyrtest::readGameFolder(root)), "");
        EXPECT_EQ(run.result.packs_downloaded, c.packMinChunks != 0 ? 1u : 0u);
        EXPECT_TRUE(kyrtest::logMentions(run.log, "failover: " + dead + " fallo para v1/channels/windows.json"));
        EXPECT_TRUE(kyrtest::logMentions(run.log, "failover: origen activo ahora = " + live.baseUrl()));
    }
}

} // namespace
