// A store's upkeep: prune keeps the newest versions installable byte for byte, also when it stops between
// two removals, and removes exactly what only older versions used; verify names every damaged object.

#include "tools/kyr-store/documents.hpp"
#include "tools/kyr-store/prune.hpp"
#include "tools/kyr-store/publish.hpp"
#include "tools/kyr-store/signing_key.hpp"
#include "tools/kyr-store/store_verify.hpp"

#include "support/game_folder.hpp"
#include "support/scratch_folder.hpp"

#include "patch/chunk_fetch.hpp"
#include "patch/downloader.hpp"
#include "patch/folder_fetcher.hpp"
#include "patch/store_documents.hpp"

#include <boost/json.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>

namespace {

namespace fs = std::filesystem;
using kyrtest::GameFiles;
using kyrtest::read_bytes;

const std::string kChannel = "v1/channels/windows.json";
const std::string kPackIndex = "v1/packs/index-windows.json";

std::string manifestPath(int version) {
    return "v1/manifests/windows-x86/" + std::to_string(version) + ".json";
}

std::string randomBytes(std::size_t size, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

// Every version shares a file, edits the middle of another and has one of its own, so some chunks are
// shared by all versions and some belong to one.
GameFiles gameVersion(int version) {
    std::string main = randomBytes(96 << 10, 2);
    main.replace(48 << 10, 16, randomBytes(16, 100 + version));
    return {{"Data/shared.bin", randomBytes(160 << 10, 1)},
            {"Main.exe", main},
            {"Data/only" + std::to_string(version) + ".bin", randomBytes(20 << 10, 200 + version)},
            {"empty.dat", ""}};
}

std::set<std::string> chunksOf(const fs::path& store, std::initializer_list<int> versions) {
    std::set<std::string> chunks;
    for (const int version : versions) {
        for (const auto& file : gu::patch::parse_manifest(read_bytes(store / manifestPath(version))).files) {
            for (const gu::patch::ManifestChunk& chunk : file.chunks) {
                chunks.insert(chunk.h);
            }
        }
    }
    return chunks;
}

// Store path -> bytes of every file in the store.
std::map<std::string, std::string> storeFiles(const fs::path& store) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(store)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), store).generic_string()] = read_bytes(entry.path());
        }
    }
    return files;
}

// A store, its key and the versions published into it, oldest first.
class StoreUpkeep : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = new kyrtest::ScratchFolder;
        kyrstore::SigningKey::generate(*scratch_ / "key");
        for (int version = 1; version <= 5; ++version) {
            publish(pristine(), version);
        }
    }
    static void TearDownTestSuite() { delete scratch_; }

    static fs::path pristine() { return *scratch_ / "pristine"; }

    static void publish(const fs::path& store, int version, const std::string& channel = "windows",
                        const std::string& platform = "windows-x86") {
        const fs::path game = *scratch_ / ("game" + std::to_string(version));
        if (!fs::exists(game)) {
            kyrtest::writeGameFiles(game, gameVersion(version));
        }
        kyrstore::PublishOptions options;
        options.key_file = *scratch_ / "key";
        options.game_dir = game;
        options.store_dir = store;
        options.version = std::to_string(version);
        options.channel = channel;
        options.platform = platform;
        options.pack_size = kyrstore::kMinPackSize;
        options.threads = 2;
        kyrstore::publish(options, {});
    }

    static kyrstore::SigningKey key() {
        return kyrstore::SigningKey::load(*scratch_ / "key", [](const std::string&) {});
    }

    static void putSigned(const fs::path& store, const std::string& path, const std::string& text) {
        kyrtest::write_bytes(store / path, text);
        kyrtest::write_bytes(store / (path + ".sig"), key().sign_base64(text) + "\n");
    }

    // Points the channel at a version as a hand-signed rollback would.
    static void pointChannelAt(const fs::path& store, int version) {
        gu::patch::Channel channel = gu::patch::parse_channel(read_bytes(store / kChannel));
        channel.latest = std::to_string(version);
        putSigned(store, kChannel, kyrstore::channel_json(channel));
    }

    fs::path copyOfPristine(const std::string& name) const {
        const fs::path store = work_ / name;
        fs::copy(pristine(), store, fs::copy_options::recursive);
        return store;
    }

    gu::patch::RunResult install(const fs::path& store, const fs::path& root) const {
        gu::patch::FolderFetcher fetcher(store.u8string());
        gu::patch::DownloaderConfig config;
        config.pubkey_b64 = key().public_key_base64();
        config.root_dir = root.u8string();
        config.pack_min_chunks = 1;
        config.store_wait_ladder_ms = {1};
        config.store_wait_budget_ms = 2;
        config.chunk_retry_delays_ms = {};
        config.document_retry_delays_ms = {};
        config.remove_dropped = true;
        return gu::patch::Downloader(fetcher, config).run({}, {});
    }

    // Empty when versions 4 and 5 install byte for byte: each into an empty folder, and 4 updated to 5.
    std::string describeInstallsOfFourAndFive(const fs::path& store, const std::string& name) const {
        std::string problems;
        const auto check = [&](const fs::path& root, int version) {
            const gu::patch::RunResult result = install(store, root);
            problems += result.ok ? kyrtest::describeDifferences(gameVersion(version), kyrtest::readGameFolder(root))
                                  : "version " + std::to_string(version) + ": " + result.error + "\n";
        };
        const std::string channel = read_bytes(store / kChannel);
        const std::string signature = read_bytes(store / (kChannel + ".sig"));
        pointChannelAt(store, 4);
        check(work_ / (name + "-4to5"), 4);
        kyrtest::write_bytes(store / kChannel, channel);
        kyrtest::write_bytes(store / (kChannel + ".sig"), signature);
        check(work_ / (name + "-4to5"), 5);
        check(work_ / (name + "-5"), 5);
        return problems;
    }

    static kyrtest::ScratchFolder* scratch_;
    kyrtest::ScratchFolder work_;
};

kyrtest::ScratchFolder* StoreUpkeep::scratch_ = nullptr;

struct Stopped : std::runtime_error {
    Stopped() : std::runtime_error("stopped") {}
};

// Five versions, --keep 2: a prune that runs through, one stopped after k removals (where a crash or a
// power cut could stop it) and then run again, and a dry run.
TEST_F(StoreUpkeep, PruneKeepsTheNewestVersionsInstallableWhereverItStops) {
    const std::set<std::string> kept = chunksOf(pristine(), {4, 5});
    std::set<std::string> onlyOld;
    for (const std::string& h : chunksOf(pristine(), {1, 2, 3})) {
        if (kept.count(h) == 0) {
            onlyOld.insert(gu::patch::chunk_path(h));
        }
    }
    ASSERT_FALSE(onlyOld.empty());
    const std::map<std::string, std::string> before = storeFiles(pristine());
    const struct {
        const char* name;
        int stopAfter; // removals before the stop; -1: never stopped
        bool dryRun;
    } cases[] = {
        {"runs through", -1, false},
        {"dry run", -1, true},
        {"stopped at once", 0, false},
        {"stopped between a signature and its manifest", 1, false},
        {"stopped after the manifests", 6, false},
        {"stopped among the objects", 9, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path store = copyOfPristine(c.name);
        kyrstore::PruneOptions options{store, 2, c.dryRun, {}};
        int removals = 0;
        options.before_removal = [&](const std::string&) {
            if (removals++ == c.stopAfter) {
                throw Stopped();
            }
        };
        kyrstore::PruneSummary summary;
        try {
            summary = kyrstore::prune(options);
        } catch (const Stopped&) {
            EXPECT_EQ(describeInstallsOfFourAndFive(store, c.name + std::string("-stopped")), "");
            const kyrstore::VerifySummary left = kyrstore::verify_store({store, true, "", 2}, {});
            EXPECT_TRUE(left.problems.empty())
                << "a manifest left behind lost objects: " << ::testing::PrintToString(left.problems);
            options.before_removal = {};
            summary = kyrstore::prune(options);
        }
        ASSERT_EQ(summary.kept.size(), 2u);
        EXPECT_EQ(summary.kept[0].manifest_path, manifestPath(4));
        EXPECT_EQ(summary.kept[1].manifest_path, manifestPath(5));
        std::set<std::string> removedChunks;
        for (const kyrstore::StoreFile& file : summary.removed) {
            if (file.path.rfind("v1/chunks/", 0) == 0) {
                removedChunks.insert(file.path);
            }
        }
        const std::map<std::string, std::string> after = storeFiles(store);
        if (c.dryRun) {
            EXPECT_EQ(removedChunks, onlyOld) << "the dry run lists what would go";
            EXPECT_TRUE(after == before) << "a dry run removes nothing";
            continue;
        }
        const gu::patch::PackIndex index = gu::patch::parse_pack_index(read_bytes(store / kPackIndex));
        std::set<std::string> want;
        for (const auto& [path, bytes] : before) {
            const bool oldManifest = path.rfind("v1/manifests/windows-x86/", 0) == 0 &&
                                     path.find("/4.json") == std::string::npos &&
                                     path.find("/5.json") == std::string::npos;
            const bool pack = path.size() > 5 && path.compare(path.size() - 5, 5, ".pack") == 0;
            const bool indexedPack = pack && std::any_of(index.packs.begin(), index.packs.end(),
                                                         [&](auto& entry) { return path == "v1/packs/" + entry.name; });
            if (!oldManifest && onlyOld.count(path) == 0 && (!pack || indexedPack) && path != kyrstore::kHistoryFile) {
                want.insert(path);
            }
        }
        std::set<std::string> got;
        for (const auto& [path, bytes] : after) {
            if (path != kyrstore::kHistoryFile) {
                got.insert(path);
            }
        }
        EXPECT_EQ(got, want) << "exactly the old manifests, the objects only they use and the unindexed packs go";
        EXPECT_EQ(describeInstallsOfFourAndFive(store, c.name), "");
    }
}

// Which versions count as the newest: the history's publish order, a rollback published again, the current
// version whatever the order, file times for stores older than the history, each channel on its own.
TEST_F(StoreUpkeep, PruneKeepsTheNewestInPublishOrderAndEachChannelsCurrentVersion) {
    const auto asIs = [](const fs::path&) {};
    const struct {
        const char* name;
        std::function<void(const fs::path&)> arrange; // on a copy of the five versions, or an empty store
        std::uint64_t keep;
        std::vector<std::string> want; // kept manifests, oldest first
    } cases[] = {
        {"five versions", asIs, 2, {manifestPath(4), manifestPath(5)}},
        {"rolled back to 2 by publishing it again",
         [](const fs::path& store) { publish(store, 2); },
         2,
         {manifestPath(5), manifestPath(2)}},
        {"channel signed by hand for 3",
         [](const fs::path& store) { pointChannelAt(store, 3); },
         1,
         {manifestPath(3), manifestPath(5)}},
        {"the history outweighs file times (a copy that kept none)",
         [](const fs::path& store) {
             for (int version = 1; version <= 5; ++version) {
                 fs::last_write_time(store / manifestPath(version),
                                     fs::file_time_type::clock::now() - std::chrono::seconds(version));
             }
         },
         2,
         {manifestPath(4), manifestPath(5)}},
        {"no history: file times, newest first 2",
         [](const fs::path& store) {
             fs::remove(store / kyrstore::kHistoryFile);
             const auto start = fs::file_time_type::clock::now();
             for (const int version : {1, 3, 4, 5, 2}) {
                 fs::last_write_time(store / manifestPath(version),
                                     start + std::chrono::seconds(version == 2 ? 9 : version));
             }
         },
         2,
         {manifestPath(5), manifestPath(2)}},
        {"two channels",
         [](const fs::path& store) {
             fs::remove_all(store);
             for (int version = 1; version <= 3; ++version) {
                 publish(store, version);
                 publish(store, version, "beta", "windows-x64");
             }
         },
         1,
         {manifestPath(3), "v1/manifests/windows-x64/3.json"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path store = copyOfPristine(c.name);
        c.arrange(store);
        const kyrstore::PruneSummary summary = kyrstore::prune({store, c.keep, true, {}});
        std::vector<std::string> kept;
        for (const kyrstore::PublishedVersion& version : summary.kept) {
            kept.push_back(version.manifest_path);
        }
        EXPECT_EQ(kept, c.want);
    }
}

std::string signedIndexWithRange(const fs::path& store, const std::string& h, std::int64_t lengthChange) {
    boost::json::value index = boost::json::parse(read_bytes(store / kPackIndex));
    boost::json::array& location = index.at("chunks").at(h).as_array();
    location[2] = location[2].to_number<std::int64_t>() + lengthChange;
    return boost::json::serialize(index);
}

TEST_F(StoreUpkeep, VerifyNamesEachDamagedObjectAndPassesASoundStore) {
    const gu::patch::Manifest current = gu::patch::parse_manifest(read_bytes(pristine() / manifestPath(5)));
    const std::string chunk = current.files.at(0).chunks.at(0).h; // of Data/only5.bin
    std::string oldChunk;                                         // one that version 5 does not use
    for (const std::string& h : chunksOf(pristine(), {3})) {
        oldChunk = chunksOf(pristine(), {5}).count(h) == 0 ? h : oldChunk;
    }
    const gu::patch::PackIndex index = gu::patch::parse_pack_index(read_bytes(pristine() / kPackIndex));
    const std::string pack = "v1/packs/" + index.packs.at(index.chunks.at(chunk).pack).name;
    const auto flip = [](const fs::path& file) {
        std::string bytes = read_bytes(file);
        bytes[bytes.size() / 2] ^= 0x01;
        kyrtest::write_bytes(file, bytes);
    };
    const struct {
        const char* name;
        std::function<void(const fs::path&)> damage;
        bool all;
        std::string want; // the object that a line names; empty: the store is sound
    } cases[] = {
        {"sound store", [](auto&) {}, true, ""},
        {"missing chunk", [&](auto& s) { fs::remove(s / gu::patch::chunk_path(chunk)); }, false,
         gu::patch::chunk_path(chunk) + ": missing"},
        {"chunk with a flipped byte", [&](auto& s) { flip(s / gu::patch::chunk_path(chunk)); }, false,
         gu::patch::chunk_path(chunk) + ": holds other bytes"},
        {"pack with a flipped byte", [&](auto& s) { flip(s / pack); }, false, pack + ": its SHA-256 is "},
        {"index range one byte short", [&](auto& s) { putSigned(s, kPackIndex, signedIndexWithRange(s, chunk, -1)); },
         false, pack + ": chunk " + chunk},
        {"bad signature", [&](auto& s) { flip(s / (manifestPath(2) + ".sig")); }, false,
         manifestPath(2) + ": its signature does not verify"},
        {"old version's chunk flipped, --all", [&](auto& s) { flip(s / gu::patch::chunk_path(oldChunk)); }, true,
         gu::patch::chunk_path(oldChunk) + ": holds other bytes"},
        {"old version's chunk flipped, current only", [&](auto& s) { flip(s / gu::patch::chunk_path(oldChunk)); },
         false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path store = copyOfPristine(c.name);
        c.damage(store);
        std::vector<std::string> reported;
        const kyrstore::VerifySummary summary =
            kyrstore::verify_store({store, c.all, key().public_key_base64(), 2},
                                   {[&](const std::string& line) { reported.push_back(line); }, {}});
        EXPECT_EQ(reported, summary.problems);
        if (c.want.empty()) {
            EXPECT_TRUE(summary.problems.empty()) << ::testing::PrintToString(summary.problems);
            EXPECT_EQ(summary.manifests, c.all ? 5u : 1u);
            continue;
        }
        EXPECT_TRUE(std::any_of(summary.problems.begin(), summary.problems.end(), [&](const std::string& line) {
            return line.rfind(c.want, 0) == 0;
        })) << ::testing::PrintToString(summary.problems);
    }
}

} // namespace
