// Update runs over the real HTTP transport (CurlFetcher) against a store made by kyr-store, served by a
// loopback server that cuts, stalls, corrupts and refuses answers: a cut pack resumes where it stopped,
// random faults end either in an exact installation or in a clear message, and a dead store fails over.

#include "support/free_port_posix.hpp"
#include "support/game_folder.hpp"
#include "support/scratch_folder.hpp"
#include "support/store_folder_server.hpp"
#include "support/update_scenario_posix.hpp"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <random>
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

enum class Fault {
    notFound,
    serverError,
    unavailable,
    dropMidBody,
    ignoreRange,
    truncatedBody,
    flippedBytes,
    stall,
    noAnswer
};
constexpr Fault kFaults[] = {Fault::notFound,     Fault::serverError, Fault::unavailable,
                             Fault::dropMidBody,  Fault::ignoreRange, Fault::truncatedBody,
                             Fault::flippedBytes, Fault::stall,       Fault::noAnswer};

// Every message a run may end with when the network or the store misbehaves: each names what failed.
const char* const kClearFailures[] = {"HTTP 404 ",
                                      "HTTP 500 ",
                                      "HTTP 503 ",
                                      "curl GET failed (0x",
                                      "curl download failed (0x",
                                      "signature verification failed for \"",
                                      "\": sha256 mismatch (got \"",
                                      "zstd_decompress: "};

bool isClearFailure(const std::string& error) {
    for (const char* text : kClearFailures) {
        if (error.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Decides each answer from the seed, the target and how often that target was asked for, so a round
// meets the same faults whatever order the prefetch workers send their requests in.
class FaultInjector {
public:
    FaultInjector(kyrtest::StoreFolderServer& server, std::uint64_t seed, double rate)
        : server_(server), seed_(seed), rate_(rate) {}

    HttpResponse operator()(const HttpRequest& request, HttpResponse response) {
        unsigned nth = 0;
        {
            std::lock_guard<std::mutex> guard(lock_);
            nth = seen_[request.target]++;
        }
        std::seed_seq seq{seed_, static_cast<std::uint64_t>(std::hash<std::string>()(request.target)),
                          static_cast<std::uint64_t>(nth)};
        std::mt19937_64 random(seq);
        if (std::uniform_real_distribution<double>(0, 1)(random) >= rate_) {
            return response;
        }
        const Fault fault = kFaults[random() % (sizeof kFaults / sizeof kFaults[0])];
        {
            std::lock_guard<std::mutex> guard(lock_);
            ++injected_;
        }
        switch (fault) {
        case Fault::notFound:
            return statusOnly(404);
        case Fault::serverError:
            return statusOnly(500);
        case Fault::unavailable:
            return statusOnly(503);
        case Fault::dropMidBody:
            response.cutAfter = response.body.size() / 2;
            return response;
        case Fault::ignoreRange: {
            HttpRequest whole = request;
            whole.headers.erase("range");
            return server_.honestAnswer(whole);
        }
        case Fault::truncatedBody:
            response.body.resize(response.body.size() * 2 / 3);
            return response;
        case Fault::flippedBytes:
            for (int i = 0; i < 3 && !response.body.empty(); ++i) {
                response.body[random() % response.body.size()] ^= static_cast<char>(1 + random() % 255);
            }
            return response;
        case Fault::stall:
            response.stallMs = 20;
            return response;
        case Fault::noAnswer:
            response.sendHeaders = false;
            return response;
        }
        return response;
    }

    unsigned injected() const {
        std::lock_guard<std::mutex> guard(lock_);
        return injected_;
    }

private:
    static HttpResponse statusOnly(int status) {
        HttpResponse response;
        response.status = status;
        return response;
    }

    kyrtest::StoreFolderServer& server_;
    const std::uint64_t seed_;
    const double rate_;
    mutable std::mutex lock_;
    std::map<std::string, unsigned> seen_;
    unsigned injected_ = 0;
};

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
        FaultInjector faults(server, 1000 + round, 0.08);
        server.setHook(std::ref(faults));
        const kyrtest::InProcessRun faulty = kyrtest::runUpdate({server.baseUrl()}, config);
        injected += faults.injected();
        const GameFiles found = kyrtest::readGameFolder(root);
        if (faulty.result.ok) {
            ++succeeded;
            EXPECT_EQ(kyrtest::describeDifferences(target, found), "");
        } else {
            ++failed;
            EXPECT_TRUE(isClearFailure(faulty.result.error)) << faulty.result.error;
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
