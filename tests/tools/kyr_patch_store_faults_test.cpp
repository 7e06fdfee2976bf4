// Update runs in process over the real HTTP transport against stores made by kyr-store, served by a loopback
// server that lies (tampered or foreign-signed documents, flipped bytes) or misbehaves (cut, refused, short
// answers, a dead primary), and into a disk that fills up. What cannot be trusted is refused with the
// engine's message, transport faults are ridden out, and the game folder never loses a file.

#include "support/free_port_posix.hpp"
#include "support/game_folder.hpp"
#include "support/scratch_folder.hpp"
#include "support/store_folder_server.hpp"
#include "support/update_scenario_posix.hpp"

#include "tools/kyr-store/signing_key.hpp"

#include "patch/chunk_fetch.hpp"
#include "patch/sha256.hpp"
#include "patch/store_documents.hpp"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

namespace {

namespace fs = std::filesystem;
using kyrtest::GameFiles;
using kyrtest::HttpRequest;
using kyrtest::HttpResponse;

const std::string kChannel = "v1/channels/windows.json";
const std::string kManifest = "v1/manifests/windows-x86/2.0.0.json";
const std::string kPackIndex = "v1/packs/index-windows.json";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    if (at == std::string::npos) {
        throw std::logic_error("no \"" + from + "\" to replace");
    }
    return text.replace(at, from.size(), to);
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// What a run leaves in the folder once it completed: version 2 and the files only version 1 had.
GameFiles afterUpdate(const kyrtest::UpdateScenario& scenario) {
    GameFiles files = scenario.version2();
    files.insert(scenario.version1().begin(), scenario.version1().end());
    return files;
}

class StoreFaults : public ::testing::Test {
protected:
    std::string stored(const std::string& path) const { return kyrtest::read_bytes(scenario_.storeTwo() / path); }

    // The stored pack index with the first chunk's location changed by `edit` ([pack, offset, length]).
    std::string packIndexWith(const std::function<void(boost::json::array&, const boost::json::array&)>& edit) const {
        boost::json::object index = boost::json::parse(stored(kPackIndex)).as_object();
        edit(index.at("chunks").as_object().begin()->value().as_array(), index.at("packs").as_array());
        return boost::json::serialize(index);
    }

    // A copy of version 1 as the player has it.
    fs::path installedCopy(const fs::path& root) {
        if (pristine_.empty()) {
            pristine_ = work_ / "pristine";
            kyrtest::StoreFolderServer server(scenario_.storeOne());
            EXPECT_TRUE(kyrtest::runUpdate({server.baseUrl()}, config(pristine_)).result.ok);
        }
        fs::create_directories(root.parent_path());
        fs::copy(pristine_, root, fs::copy_options::recursive);
        return root;
    }

    gu::patch::DownloaderConfig config(const fs::path& root) const {
        return kyrtest::quickConfig(root, scenario_.publicKey());
    }

    const kyrtest::UpdateScenario& scenario_ = kyrtest::sharedScenario(KYR_STORE_PATH);
    kyrtest::ScratchFolder work_;
    fs::path pristine_;
};

// Each row serves the version 2 store with some objects replaced to a player who has version 1. With
// ownKey every ".sig" is made afresh with a key the client is then told to trust: the document is
// correctly signed and only the engine's own checks stand in the way.
TEST_F(StoreFaults, HostileStoreIsRefusedAndTheGameFolderLosesNothing) {
    const kyrstore::SigningKey ownKey = kyrstore::SigningKey::generate(work_ / "own.key");
    const gu::patch::Manifest manifest = gu::patch::parse_manifest(stored(kManifest));
    std::string newChunk;
    for (const gu::patch::ManifestFile& file : manifest.files) {
        newChunk = file.path == "Data/New/event2.bin" ? file.chunks.at(0).h : newChunk;
    }
    std::string flippedChunk = stored(gu::patch::chunk_path(newChunk));
    flippedChunk.back() ^= 0x20; // random data is stored, not compressed: only the hash can tell
    const std::string firstPack = "v1/packs/" + std::string(boost::json::parse(stored(kPackIndex))
                                                                .at("packs").at(0).at("name").as_string());
    std::string flippedPack = stored(firstPack);
    flippedPack[flippedPack.size() / 2] ^= 0x01;
    const std::string eventSha = gu::patch::sha256_hex(scenario_.version2().at("Data/New/event2.bin"));
    const struct {
        const char* name;
        std::map<std::string, std::string> replaced;
        bool ownKey;
        std::string want; // the run's error at its start; empty: the run succeeds
        bool packs;       // with packs (pack_min_chunks 1) or chunk objects alone
        bool usedPackIndex;
    } cases[] = {
        {"manifest naming a parent folder",
         {{kManifest, replaced(stored(kManifest), "Data/New/event2.bin", "../evil")}}, true,
         "manifest: unsafe file path \"../evil\"", false, false},
        {"manifest of another platform",
         {{kManifest, replaced(stored(kManifest), "\"windows-x86\"", "\"windows-x64\"")}}, true,
         "manifest: platform mismatch (expected \"windows-x86\", got \"windows-x64\")", false, false},
        {"chunk sizes short of the file's size",
         {{kManifest, replaced(stored(kManifest), "\"Data/Empty.dat\",\"size\":0", "\"Data/Empty.dat\",\"size\":1")}},
         true, "manifest: file \"Data/Empty.dat\" chunk sizes sum to 0 but size is 1", false, false},
        {"file hash its chunks do not give",
         {{kManifest, replaced(stored(kManifest), eventSha, gu::patch::sha256_hex("other"))}}, true,
         "file \"Data/New/event2.bin\": assembled sha256 mismatch", true, false},
        {"channel changed after signing", {{kChannel, replaced(stored(kChannel), "2.0.0", "1.0.0")}}, false,
         "signature verification failed for \"" + kChannel + "\"", false, false},
        {"manifest with a flipped byte", {{kManifest, replaced(stored(kManifest), "valdra7q", "valdra7Q")}}, false,
         "signature verification failed for \"" + kManifest + "\"", false, false},
        {"signature of the wrong size", {{kChannel + ".sig", stored(kChannel + ".sig").substr(4)}}, false,
         "signature verification failed for \"" + kChannel + "\"", false, false},
        {"chunk object with a flipped byte", {{gu::patch::chunk_path(newChunk), flippedChunk}}, false,
         "chunk \"" + newChunk + "\": sha256 mismatch (got \"", false, false},
        {"pack with a flipped byte: its chunks come one by one", {{firstPack, flippedPack}}, false, "", true, true},
        {"pack index naming the pack past the last",
         {{kPackIndex, packIndexWith([](auto& at, const auto& packs) { at[0] = packs.size(); })}}, true, "", true, false},
        {"pack index range past the end of its pack",
         {{kPackIndex, packIndexWith([](auto& at, const auto& packs) {
               at[2] = packs.at(at[0].as_int64()).at("size").as_int64() + 1;
               at[1] = 0;
           })}},
         true, "", true, false},
    };
    for (const auto& c : cases) {
        for (const bool transactional : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (transactional ? ", transactional" : ", in place"));
            kyrtest::StoreFolderServer server(scenario_.storeTwo(), [&](const HttpRequest& request, HttpResponse honest) {
                const std::string path = request.target.substr(1);
                const bool isSignature = endsWith(path, ".sig");
                const std::string document = isSignature ? path.substr(0, path.size() - 4) : path;
                const auto replacement = c.replaced.find(document);
                const std::string body = replacement != c.replaced.end() ? replacement->second : stored(document);
                if (isSignature && c.ownKey) {
                    return kyrtest::serveObject(request, ownKey.sign_base64(body) + "\n");
                }
                return c.replaced.count(path) != 0 ? kyrtest::serveObject(request, c.replaced.at(path)) : honest;
            });
            const fs::path place = work_ / (std::string(c.name) + (transactional ? " t" : " i"));
            const fs::path root = installedCopy(place / "root");
            gu::patch::DownloaderConfig config = this->config(root);
            config.pubkey_b64 = c.ownKey ? ownKey.public_key_base64() : scenario_.publicKey();
            config.transactional = transactional;
            config.pack_min_chunks = c.packs ? 1 : 0;

            const kyrtest::InProcessRun run = kyrtest::runUpdate({server.baseUrl()}, config);
            const GameFiles found = kyrtest::readGameFolder(root);
            if (c.want.empty()) {
                ASSERT_TRUE(run.result.ok) << run.result.error;
                EXPECT_EQ(kyrtest::describeDifferences(afterUpdate(scenario_), found), "");
                EXPECT_EQ(run.result.used_pack_index, c.usedPackIndex);
                continue;
            }
            EXPECT_FALSE(run.result.ok);
            EXPECT_TRUE(startsWith(run.result.error, c.want)) << run.result.error;
            EXPECT_EQ(kyrtest::describeTornFiles(scenario_.version1(), scenario_.version2(), found), "");
            if (transactional) {
                EXPECT_EQ(kyrtest::describeDifferences(scenario_.version1(), found), "") << "nothing moves unverified";
            }
            EXPECT_EQ(std::distance(fs::directory_iterator(place), fs::directory_iterator()), 1) << "nothing outside";
        }
    }
}

// Each row answers the first `times` requests below `target` with a fault; the run must still install
// version 2 exactly.
TEST_F(StoreFaults, TransportFaultsAreRiddenOut) {
    const struct {
        const char* name;
        bool packs;
        const char* suffix; // of the targets that meet the fault
        int times;
        std::function<void(HttpResponse&)> fault;
        bool resumes;     // a later request asks for the rest of the cut object
        bool deadPrimary; // the first store in the list refuses every connection
    } cases[] = {
        {"pack cut halfway resumes where it stopped", true, ".pack", 1,
         [](HttpResponse& r) { r.cutAfter = r.body.size() / 2; }, true, false},
        {"chunk answers 503 twice", false, ".zst", 2, [](HttpResponse& r) { r = HttpResponse{503}; }, false,
         false},
        {"chunk body short by half", false, ".zst", 1, [](HttpResponse& r) { r.body.resize(r.body.size() / 2); },
         false, false},
        {"channel request closed without an answer", false, ".json", 1,
         [](HttpResponse& r) { r.sendHeaders = false; }, false, false},
        {"dead primary, chunk by chunk", false, "", 0, nullptr, false, true},
        {"dead primary, through packs", true, "", 0, nullptr, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<int> faults{0};
        kyrtest::StoreFolderServer server(scenario_.storeTwo(), [&](const HttpRequest& request, HttpResponse response) {
            if (endsWith(request.target, c.suffix) && faults++ < c.times) {
                c.fault(response);
            }
            return response;
        });
        const std::string dead = "http://127.0.0.1:" + std::to_string(kyrtest::freeLoopbackPort()) + "/";
        std::vector<std::string> stores{server.baseUrl()};
        if (c.deadPrimary) {
            stores.insert(stores.begin(), dead);
        }
        const fs::path root = work_ / c.name;
        gu::patch::DownloaderConfig config = this->config(root);
        config.pack_min_chunks = c.packs ? 1 : 0;

        const kyrtest::InProcessRun run = kyrtest::runUpdate(stores, config);
        ASSERT_TRUE(run.result.ok) << run.result.error;
        EXPECT_EQ(kyrtest::describeDifferences(scenario_.version2(), kyrtest::readGameFolder(root)), "");
        EXPECT_EQ(run.result.packs_downloaded > 0, c.packs);
        bool resumed = false;
        for (const HttpRequest& request : server.requests()) {
            resumed = resumed || (endsWith(request.target, c.suffix) && kyrtest::requestedRangeStart(request) > 0);
        }
        EXPECT_EQ(resumed, c.resumes);
        if (c.deadPrimary) {
            EXPECT_TRUE(kyrtest::logMentions(run.log, "failover: " + dead + " fallo para " + kChannel));
            EXPECT_TRUE(kyrtest::logMentions(run.log, "failover: origen activo ahora = " + server.baseUrl()));
        }
    }
}

// A small tmpfs that fills up: the run ends as a local write failure (not a network failure to retry), and
// leaves no half-written file; an installed game that could not be updated is left whole.
TEST_F(StoreFaults, DiskFullEndsAsALocalWriteFailureWithoutHalfWrittenFiles) {
    const fs::path mountPoint = work_ / "tmpfs";
    fs::create_directories(mountPoint);
    const std::shared_ptr<void> unmount(nullptr, [&](void*) { ::umount2(mountPoint.c_str(), MNT_DETACH); });
    const auto mountTmpfs = [&](std::uint64_t bytes) {
        ::umount2(mountPoint.c_str(), MNT_DETACH);
        return ::getuid() == 0 && ::mount("tmpfs", mountPoint.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                                         ("size=" + std::to_string(bytes)).c_str()) == 0;
    };
    // tmpfs counts whole pages; an update needs room for its largest changed file beside the old copy (in
    // place) or for every changed file (staged), and 256 KiB beside version 1 is neither.
    std::uint64_t nearlyFull = 256 * 1024;
    for (const auto& file : scenario_.version1()) {
        nearlyFull += (file.second.size() + 4095) / 4096 * 4096;
    }
    const struct {
        const char* name;
        bool update;
        bool transactional;
        std::uint32_t packMinChunks;
        std::uint64_t tmpfsBytes;
    } cases[] = {
        {"install, chunk by chunk", false, false, 0, 2 << 20},
        {"install, through packs", false, false, 1, 2 << 20},
        {"install, transactional", false, true, 0, 2 << 20},
        {"update in place", true, false, 0, nearlyFull},
        {"update, transactional", true, true, 0, nearlyFull},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path root = mountPoint / "game";
        if (c.update && !fs::exists(work_ / "v1")) {
            installedCopy(work_ / "v1");
        }
        if (!mountTmpfs(c.tmpfsBytes)) {
            GTEST_SKIP() << "cannot mount a tmpfs (needs root and CAP_SYS_ADMIN): the disk-full cases are skipped";
        }
        if (c.update) {
            fs::copy(work_ / "v1", root, fs::copy_options::recursive);
        }
        gu::patch::DownloaderConfig config = this->config(root);
        config.transactional = c.transactional;
        config.pack_min_chunks = c.packMinChunks;
        kyrtest::StoreFolderServer server(c.update ? scenario_.storeTwo() : scenario_.storeOne());

        const kyrtest::InProcessRun run = kyrtest::runUpdate({server.baseUrl()}, config);
        EXPECT_FALSE(run.result.ok);
        EXPECT_TRUE(run.result.local_write_failed) << run.result.error;
        EXPECT_EQ(run.result.space_wanted_bytes, 209715200u);
        EXPECT_EQ(run.result.space_free_bytes, 0u);
        const GameFiles before = c.update ? scenario_.version1() : GameFiles{};
        const GameFiles found = kyrtest::readGameFolder(root);
        EXPECT_EQ(kyrtest::describeTornFiles(before, c.update ? scenario_.version2() : scenario_.version1(), found), "");
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
            EXPECT_NE(entry.path().extension(), ".updpart") << entry.path();
        }
        EXPECT_FALSE(fs::exists(root / ".updstage"));
        if (c.transactional && c.update) {
            EXPECT_EQ(kyrtest::describeDifferences(before, found), "") << "a failed transactional update changes nothing";
        }
    }
}

} // namespace
