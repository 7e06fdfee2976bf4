// Update runs in process over the real HTTP transport against stores made by kyr-store, served by a loopback
// server that lies (tampered or foreign-signed documents, flipped bytes) or misbehaves (cut, refused, short
// answers, a dead primary), and into a disk that fills up. What cannot be trusted is refused with the
// engine's message, transport faults are ridden out, and the game folder never loses a file.

#include "support/free_port_posix.hpp"
#include "support/scratch_folder.hpp"
#include "support/update_scenario_posix.hpp"

#include "tools/kyr-store/publish.hpp"
#include "tools/kyr-store/signing_key.hpp"

#include "patch/chunk_fetch.hpp"
#include "patch/curl_fetcher.hpp"
#include "patch/downloader.hpp"
#include "patch/failover_fetcher.hpp"
#include "patch/patch_state.hpp"
#include "patch/store_documents.hpp"
#include "patch/utc_time.hpp"

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>

namespace {

namespace fs = std::filesystem;
using kyrtest::GameFiles;
using kyrtest::HttpRequest;
using kyrtest::HttpResponse;

const std::string kChannel = "v1/channels/windows.json";
const std::string kManifest = "v1/manifests/windows-x86/2.0.0.json";
const std::string kPackIndex = "v1/packs/index-windows.json";

struct InProcessRun {
    gu::patch::RunResult result;
    std::vector<std::string> log; // the run's and the failover's lines, in the order they came
};

// One Downloader run over CurlFetchers for the given store URLs (several: in failover order), whose downloads
// have the configuration's idle time-out.
InProcessRun runUpdate(const std::vector<std::string>& storeUrls, gu::patch::DownloaderConfig config,
                       gu::patch::CurlFetcherOptions options = {}) {
    options.idle_timeout_ms = config.idle_timeout_ms;
    InProcessRun run;
    std::mutex logLock;
    config.log = [&](const std::string& line) {
        std::lock_guard<std::mutex> lock(logLock);
        run.log.push_back(line);
    };
    std::vector<std::unique_ptr<gu::patch::CurlFetcher>> fetchers;
    std::vector<gu::patch::FetchSource> sources;
    for (const std::string& url : storeUrls) {
        fetchers.push_back(std::make_unique<gu::patch::CurlFetcher>(url, options));
        sources.push_back({fetchers.back().get(), url});
    }
    gu::patch::FailoverFetcher failover(sources, config.log);
    run.result = gu::patch::Downloader(failover, config).run({}, {});
    return run;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

class StoreFaults : public ::testing::Test {
protected:
    std::string stored(const std::string& path) const { return kyrtest::read_bytes(s_.storeTwo() / path); }

    // Version 1 as the player has it.
    fs::path installed() {
        if (!fs::exists(work_ / "v1")) {
            kyrtest::StoreFolderServer server(s_.storeOne());
            EXPECT_TRUE(runUpdate({server.baseUrl()}, config(work_ / "v1")).result.ok);
        }
        return work_ / "v1";
    }

    // The product's configuration with every retry and wait ladder cut to a few milliseconds.
    gu::patch::DownloaderConfig config(const fs::path& root) const {
        gu::patch::DownloaderConfig config;
        config.pubkey_b64 = s_.publicKey;
        config.root_dir = root.u8string();
        config.store_wait_ladder_ms = {5};
        config.store_wait_budget_ms = 40;
        config.chunk_retry_delays_ms = {1, 1};
        config.document_retry_delays_ms = {1};
        return config;
    }

    const kyrtest::UpdateScenario& s_ = kyrtest::sharedScenario(KYR_STORE_PATH);
    kyrtest::ScratchFolder work_;
};

// Each row serves the version 2 store with some objects replaced to a player who has version 1. With
// ownKey every ".sig" is made afresh with a key the client is then told to trust: the document is
// correctly signed and only the engine's own checks stand in the way.
TEST_F(StoreFaults, HostileStoreIsRefusedAndTheGameFolderLosesNothing) {
    const kyrstore::SigningKey ownKey = kyrstore::SigningKey::generate(work_ / "own.key");
    std::string newChunk;
    for (const gu::patch::ManifestFile& file : gu::patch::parse_manifest(stored(kManifest)).files) {
        newChunk = file.path == "Data/New/event2.bin" ? file.chunks.at(0).h : newChunk;
    }
    std::string flippedChunk = stored(gu::patch::chunk_path(newChunk));
    flippedChunk.back() ^= 0x20; // random data is stored, not compressed: only the hash can tell
    const gu::patch::PackIndex index = gu::patch::parse_pack_index(stored(kPackIndex));
    const std::string pack = "v1/packs/" + index.packs.at(index.chunks.at(newChunk).pack).name; // one it needs
    std::string flippedPack = stored(pack);
    flippedPack[flippedPack.size() / 2] ^= 0x01;
    const std::string badSignature = "signature verification failed for \"";
    const auto edit = [&](const std::string& path, const std::string& from, const std::string& to) {
        std::string text = stored(path);
        return std::make_pair(path, text.replace(text.find(from), from.size(), to)); // throws when `from` is missing
    };
    const struct {
        std::pair<std::string, std::string> replaced; // a store path, and the bytes served for it
        bool ownKey;
        std::string want; // part of the run's error; empty: the run succeeds
    } cases[] = {
        {edit(kManifest, "Data/New/event2.bin", "../evil"), true, "manifest: unsafe file path \"../evil\""},
        {edit(kChannel, "2.0.0", "1.0.0"), false, badSignature + kChannel},
        {{kChannel + ".sig", stored(kChannel + ".sig").substr(4)}, false, badSignature + kChannel},
        {{kChannel + ".sig", ownKey.sign_base64(stored(kChannel))}, false, badSignature + kChannel},
        {{kChannel + ".sig", std::string(5000, 'A')}, false, "object larger than 4096 bytes"},
        {{gu::patch::chunk_path(newChunk), flippedChunk}, false, "chunk \"" + newChunk + "\": sha256 mismatch (got"},
        {{pack, flippedPack}, false, ""}, // the pack's chunks come one by one
    };
    for (const auto& c : cases) {
        const bool packs = c.replaced.first.find("/packs/") != std::string::npos;
        for (const bool transactional : {false, true}) {
            SCOPED_TRACE(c.replaced.first + ": " + c.want + (transactional ? ", transactional" : ", in place"));
            kyrtest::StoreFolderServer server(s_.storeTwo(), [&](const HttpRequest& request, HttpResponse honest) {
                const std::string path = request.target.substr(1);
                if (c.ownKey && endsWith(path, ".sig")) {
                    const std::string document = path.substr(0, path.size() - 4);
                    return kyrtest::serveObject(
                        request,
                        ownKey.sign_base64(document == c.replaced.first ? c.replaced.second : stored(document)));
                }
                return path == c.replaced.first ? kyrtest::serveObject(request, c.replaced.second) : honest;
            });
            const fs::path place = work_ / ("case" + std::to_string(&c - cases) + (transactional ? "t" : "i"));
            const fs::path root = place / "root";
            fs::create_directories(place);
            fs::copy(installed(), root, fs::copy_options::recursive);
            gu::patch::DownloaderConfig config = this->config(root);
            config.pubkey_b64 = c.ownKey ? ownKey.public_key_base64() : s_.publicKey;
            config.transactional = transactional;
            config.pack_min_chunks = packs ? 1 : 0;

            const InProcessRun run = runUpdate({server.baseUrl()}, config);
            const GameFiles found = kyrtest::readGameFolder(root);
            EXPECT_EQ(run.result.ok, c.want.empty()) << run.result.error;
            // Only a run that installed the channel's version makes its serial the installation's.
            EXPECT_EQ(gu::patch::PatchState::load(root).channel_serial("valdra7q", "windows"), run.result.ok ? 2u : 1u);
            EXPECT_NE(run.result.error.find(c.want), std::string::npos) << run.result.error;
            // A refused pack index is no failure: the chunks come one by one.
            EXPECT_EQ(run.result.used_pack_index, c.want.empty() && packs && !c.ownKey);
            EXPECT_EQ(kyrtest::describeTornFiles(s_.version1, s_.version2, found), "");
            if (transactional && !run.result.ok) {
                EXPECT_EQ(kyrtest::describeDifferences(s_.version1, found), "") << "nothing moves unverified";
            }
            EXPECT_EQ(std::distance(fs::directory_iterator(place), fs::directory_iterator()), 1) << "nothing outside";
        }
    }
}

// A replay of version 1's signed channel to a player who has version 2 is refused and changes nothing; a
// rollback published anew installs; an expired channel is refused until re-signed, with no new version.
TEST_F(StoreFaults, OlderOrExpiredChannelIsRefusedUntilPublishedOrSignedAnew) {
    const fs::path root = work_ / "root";
    const fs::path store = work_ / "store";
    fs::copy(installed(), root, fs::copy_options::recursive);
    fs::copy(s_.storeTwo(), store, fs::copy_options::recursive);
    kyrtest::StoreFolderServer current(store);
    kyrtest::StoreFolderServer replayed(s_.storeOne());
    ASSERT_TRUE(runUpdate({current.baseUrl()}, config(root)).result.ok);
    const auto refused = [&](const gu::patch::DownloaderConfig& config, const std::string& server) {
        const std::string state = kyrtest::read_bytes(root / "patchstate.json");
        const GameFiles before = kyrtest::readGameFolder(root);
        const gu::patch::RunResult result = runUpdate({server}, config).result;
        EXPECT_EQ(kyrtest::read_bytes(root / "patchstate.json"), state) << "the version and the serial stay";
        EXPECT_EQ(kyrtest::describeDifferences(before, kyrtest::readGameFolder(root)), "");
        return result.ok ? "accepted" : result.error;
    };
    EXPECT_EQ(refused(config(root), replayed.baseUrl()),
              "the store offers an older channel (serial 1) than this installation already had (serial 2)");

    kyrtest::writeGameFiles(work_ / "game1", s_.version1);
    kyrstore::PublishOptions rollback;
    rollback.key_file = s_.keyFile;
    rollback.game_dir = work_ / "game1";
    rollback.store_dir = store;
    rollback.version = "1.0.0";
    rollback.expires_days = 1;
    const std::string expiry = kyrstore::publish(rollback, {}).expires;
    gu::patch::DownloaderConfig back = config(root);
    back.remove_dropped = true; // the file that version 2 added goes too
    ASSERT_TRUE(runUpdate({current.baseUrl()}, back).result.ok);
    EXPECT_EQ(kyrtest::describeDifferences(s_.version1, kyrtest::readGameFolder(root)), "");

    gu::patch::DownloaderConfig later = config(root);
    later.now_utc = [] { return gu::patch::utc_now_seconds() + 2 * 86400; };
    const std::string expired = refused(later, current.baseUrl());
    EXPECT_EQ(expired.find("the store's channel expired at " + expiry + " (now "), 0u) << expired;
    kyrstore::resign({s_.keyFile, store, "windows", 7}, {});
    const gu::patch::RunResult result = runUpdate({current.baseUrl()}, later).result;
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.version + " " + std::to_string(result.files_installed), "1.0.0 0");
    EXPECT_EQ(gu::patch::PatchState::load(root).channel_serial("valdra7q", "windows"), 4u);
}

// Each row answers the first `times` requests for objects named `...suffix` with a fault; the run must still
// install version 2 exactly.
TEST_F(StoreFaults, TransportFaultsAreRiddenOut) {
    const struct {
        const char* name;
        bool packs;
        const char* suffix;
        int times;
        std::function<void(HttpResponse&)> fault; // none: the first store in the list refuses every connection
        bool resumes;                             // a later request asks for the rest of the cut object
    } cases[] = {
        {"pack cut halfway", true, ".pack", 1, [](HttpResponse& r) { r.cutAfter = r.body.size() / 2; }, true},
        {"chunk answers 503 twice", false, ".zst", 2, [](HttpResponse& r) { r = HttpResponse{503}; }, false},
        {"chunk body short by half", false, ".zst", 1, [](HttpResponse& r) { r.body.resize(r.body.size() / 2); }},
        {"channel closed without an answer", false, ".json", 1, [](HttpResponse& r) { r.sendHeaders = false; }},
        {"dead primary", true, "", 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<int> faults{0};
        kyrtest::StoreFolderServer server(s_.storeTwo(), [&](const HttpRequest& request, HttpResponse response) {
            if (endsWith(request.target, c.suffix) && faults++ < c.times) {
                c.fault(response);
            }
            return response;
        });
        const std::string dead = "http://127.0.0.1:" + std::to_string(kyrtest::freeLoopbackPort()) + "/";
        std::vector<std::string> stores{server.baseUrl()};
        if (!c.fault) {
            stores.insert(stores.begin(), dead);
        }
        gu::patch::DownloaderConfig config = this->config(work_ / c.name);
        config.pack_min_chunks = c.packs ? 1 : 0;

        const InProcessRun run = runUpdate(stores, config);
        ASSERT_TRUE(run.result.ok) << run.result.error;
        EXPECT_EQ(kyrtest::describeDifferences(s_.version2, kyrtest::readGameFolder(work_ / c.name)), "");
        EXPECT_EQ(run.result.packs_downloaded > 0, c.packs);
        const std::vector<HttpRequest> requests = server.requests();
        EXPECT_EQ(std::any_of(requests.begin(), requests.end(),
                              [&](const HttpRequest& request) {
                                  return endsWith(request.target, c.suffix) &&
                                         kyrtest::requestedRangeStart(request) > 0;
                              }),
                  c.resumes);
        const auto logged = [&](const std::string& text) {
            return std::any_of(run.log.begin(), run.log.end(), [&](auto& line) { return line.find(text) == 0; });
        };
        EXPECT_EQ(logged("failover: " + dead + " fallo para " + kChannel), !c.fault);
        EXPECT_EQ(logged("failover: origen activo ahora = " + server.baseUrl()), !c.fault);
    }
}

// A store that answers every chunk and pack with headers and then nothing: each transfer ends after the
// idle time-out (gets after their receive time-out), so the run fails in bounded time instead of showing
// "Downloading..." for ever, and the game folder loses nothing.
TEST_F(StoreFaults, StalledTransfersEndTheRunInBoundedTime) {
    for (const bool packs : {false, true}) {
        SCOPED_TRACE(packs ? "packs" : "chunks");
        kyrtest::StoreFolderServer server(s_.storeTwo(), [](const HttpRequest& request, HttpResponse response) {
            if (endsWith(request.target, ".zst") || endsWith(request.target, ".pack")) {
                response.stallMs = 60000; // cut short when the server ends
            }
            return response;
        });
        const fs::path root = work_ / (packs ? "packs" : "chunks");
        fs::copy(installed(), root, fs::copy_options::recursive);
        gu::patch::DownloaderConfig config = this->config(root);
        config.pack_min_chunks = packs ? 1 : 0;
        config.pack_max_transfers = 2;
        config.pack_second_chance = false;
        config.chunk_retry_delays_ms = {};
        config.idle_timeout_ms = 1000;
        gu::patch::CurlFetcherOptions options;
        options.get_receive_timeout_ms = 1000;

        const auto start = std::chrono::steady_clock::now();
        const InProcessRun run = runUpdate({server.baseUrl()}, config, options);
        // A hang check, not a timing test: without the time-outs each stalled answer takes a minute.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
        EXPECT_FALSE(run.result.ok);
        EXPECT_NE(run.result.error.find("object size mismatch (got 0 bytes"), std::string::npos) << run.result.error;
        EXPECT_EQ(kyrtest::describeTornFiles(s_.version1, s_.version2, kyrtest::readGameFolder(root)), "");
    }
}

// A small tmpfs that fills up: the run ends as a local write failure (not a network failure to retry) and
// leaves no half-written file; an installed game that could not be updated is left whole.
TEST_F(StoreFaults, DiskFullEndsAsALocalWriteFailureWithoutHalfWrittenFiles) {
    const fs::path mountPoint = work_ / "tmpfs";
    const fs::path root = mountPoint / "game";
    fs::create_directories(mountPoint);
    const std::shared_ptr<void> unmount(nullptr, [&](void*) { ::umount2(mountPoint.c_str(), MNT_DETACH); });
    // tmpfs counts whole pages; an update needs room for its largest changed file beside the old copy (in
    // place) or for every changed file (staged), and 256 KiB beside version 1 is neither.
    std::uint64_t nearlyFull = 256 * 1024;
    for (const auto& file : s_.version1) {
        nearlyFull += (file.second.size() + 4095) / 4096 * 4096;
    }
    for (const int c : {0, 1, 2, 3}) { // install by chunks, through packs; update in place, transactional
        const bool update = c >= 2;
        SCOPED_TRACE(c);
        const fs::path version1 = installed();
        ::umount2(mountPoint.c_str(), MNT_DETACH);
        const std::string size = "size=" + std::to_string(update ? nearlyFull : 2 << 20);
        if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, size.c_str()) != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs (needs root and CAP_SYS_ADMIN): the disk-full cases are skipped";
        }
        if (update) {
            fs::copy(version1, root, fs::copy_options::recursive);
        }
        gu::patch::DownloaderConfig config = this->config(root);
        config.pack_min_chunks = c == 1 ? 1 : 0;
        config.transactional = c == 3;
        kyrtest::StoreFolderServer server(update ? s_.storeTwo() : s_.storeOne());

        const InProcessRun run = runUpdate({server.baseUrl()}, config);
        EXPECT_TRUE(!run.result.ok && run.result.local_write_failed) << run.result.error;
        EXPECT_EQ(run.result.space_wanted_bytes, 209715200u);
        EXPECT_EQ(run.result.space_free_bytes, 0u);
        const GameFiles found = kyrtest::readGameFolder(root);
        const GameFiles before = update ? s_.version1 : GameFiles{};
        EXPECT_EQ(kyrtest::describeTornFiles(before, update ? s_.version2 : s_.version1, found), "");
        EXPECT_EQ(config.transactional ? kyrtest::describeDifferences(before, found) : "", "");
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
            EXPECT_TRUE(entry.path().extension() != ".updpart" && entry.path().filename() != ".updstage") << entry;
        }
    }
}

} // namespace
