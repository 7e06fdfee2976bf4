#include "patch/downloader.hpp"

#include "patch/atomic_file.hpp"
#include "patch/local_path.hpp"
#include "patch/patch_state.hpp"
#include "patch/previous_version.hpp"
#include "patch/sha256.hpp"
#include "support/scratch_folder.hpp"
#include "support/test_store.hpp"

#include <boost/json.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using namespace gu::patch;
namespace fs = std::filesystem;
using kyrtest::FaultKind;
using kyrtest::FileMap;
using kyrtest::read_bytes;
using kyrtest::StoreOptions;
using kyrtest::write_bytes;

// Bytes that do not repeat within a file, so that every chunk is distinct unless a test repeats one.
std::string pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    std::uint32_t state = seed * 2654435761u + 12345u;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

struct ProgressEvent {
    int phase;
    unsigned done;
    unsigned total;
    std::uint64_t done_bytes;
    std::uint64_t total_bytes;
};

// One installation folder, one store and one fetcher, with the timings cut to milliseconds.
struct Rig {
    Rig() {
        config.pubkey_b64 = store.pubkey_b64();
        config.root_dir = root.path().u8string();
        config.document_retry_delays_ms = {1, 1};
        config.chunk_retry_delays_ms = {1};
        config.store_wait_ladder_ms = {1};
        config.store_wait_budget_ms = 3;
        config.pack_max_transfers = 2;
        config.log = [this](const std::string& line) { lines.push_back(line); };
    }

    RunResult run() {
        phases.clear();
        lines.clear();
        progress.clear();
        Downloader downloader(fetcher, config);
        return downloader.run(
            [this](unsigned done, unsigned total, unsigned, std::uint64_t done_bytes, std::uint64_t total_bytes) {
                progress.push_back({phases.empty() ? -1 : phases.back(), done, total, done_bytes, total_bytes});
                if (on_progress) {
                    on_progress(progress.back());
                }
            },
            [this](int phase) { phases.push_back(phase); });
    }

    // Publishes and installs `files` in one successful run.
    void install(const FileMap& files, const StoreOptions& options = {}) {
        store.publish(files, options);
        const RunResult result = run();
        ASSERT_TRUE(result.ok) << result.error;
    }

    // Store options that put this many chunks into each pack, for a run that takes packs from the first
    // missing chunk on.
    StoreOptions packed(std::size_t chunks_per_pack) {
        config.pack_min_chunks = 1;
        StoreOptions options;
        options.pack_chunks = chunks_per_pack;
        return options;
    }

    fs::path at(const std::string& relative) const { return local_path(root.path(), relative); }
    std::string file(const std::string& relative) const { return read_bytes(at(relative)); }
    bool exists(const std::string& relative) const { return fs::exists(at(relative)); }

    // Sum of "z" over the distinct chunks of these files (of the last publication), minus those in `known`.
    std::uint64_t compressed_size(const std::vector<std::string>& files, const std::set<std::string>& known = {}) {
        std::set<std::string> seen = known;
        std::uint64_t total = 0;
        for (const std::string& path : files) {
            for (const kyrtest::StoredChunk& chunk : store.chunks_of(path)) {
                if (seen.insert(chunk.h).second) {
                    total += chunk.z;
                }
            }
        }
        return total;
    }

    std::set<std::string> chunk_hashes(const std::vector<std::string>& files) const {
        std::set<std::string> hashes;
        for (const std::string& path : files) {
            for (const kyrtest::StoredChunk& chunk : store.chunks_of(path)) {
                hashes.insert(chunk.h);
            }
        }
        return hashes;
    }

    int chunk_requests() const {
        const std::vector<std::string> log = fetcher.request_log();
        return static_cast<int>(std::count_if(
            log.begin(), log.end(), [](const std::string& path) { return path.rfind("v1/chunks/", 0) == 0; }));
    }

    std::vector<std::string> documents() const {
        return {store.channel_path(), store.channel_path() + ".sig", store.manifest_path(),
                store.manifest_path() + ".sig"};
    }

    kyrtest::ScratchFolder root;
    kyrtest::TestStore store;
    kyrtest::MemoryFetcher fetcher{store};
    DownloaderConfig config;
    std::vector<int> phases;
    std::vector<std::string> lines;
    std::vector<ProgressEvent> progress;
    std::function<void(const ProgressEvent&)> on_progress;
};

const std::string kChunk = pattern(64, 3);

FileMap first_release() {
    return {{"Main.exe", pattern(300, 1)},
            {"Data/Local/text.bmd", pattern(130, 2)},
            {"Data/World1/terrain.att", kChunk + kChunk + pattern(20, 4) + kChunk},
            {"empty.txt", ""}};
}

std::vector<std::string> paths_of(const FileMap& files) {
    std::vector<std::string> paths;
    for (const auto& entry : files) {
        paths.push_back(entry.first);
    }
    return paths;
}

TEST(DownloaderRun, ColdInstallWritesEveryFileAndRecordsTheVersion) {
    struct Case {
        const char* name;
        bool transactional;
        std::uint32_t prefetch_workers;
        bool flat_manifest_path;
    };
    const Case cases[] = {
        {"direct", false, 1, false},
        {"transactional", true, 1, false},
        {"prefetch pool", false, 4, false},
        {"flat manifest path", false, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.config.transactional = c.transactional;
        rig.config.prefetch_workers = c.prefetch_workers;
        rig.config.flat_manifest_path = c.flat_manifest_path;
        const FileMap files = first_release();
        StoreOptions options;
        options.flat_manifest_path = c.flat_manifest_path;
        rig.store.publish(files, options);
        const RunResult result = rig.run();

        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.error, "");
        EXPECT_EQ(result.version, "1.0.0");
        EXPECT_EQ(result.files_installed, 4u);
        EXPECT_EQ(result.files_current, 0u);
        EXPECT_EQ(result.files_preserved, 0u);
        EXPECT_FALSE(result.used_pack_index);
        EXPECT_FALSE(result.local_write_failed);
        EXPECT_EQ(rig.phases, (std::vector<int>{0, 3}));
        std::map<std::string, std::string> recorded;
        for (const auto& [path, content] : files) {
            EXPECT_EQ(rig.file(path), content) << path;
            EXPECT_FALSE(rig.exists(path + ".updpart")) << path;
            recorded[path] = sha256_hex(content);
        }
        // The repeated chunk is downloaded once and read back from the file already written.
        EXPECT_EQ(rig.fetcher.requests(chunk_path(sha256_hex(kChunk))), 1);
        EXPECT_EQ(result.chunks_obtained, rig.chunk_hashes(paths_of(files)).size());
        EXPECT_EQ(result.bytes_downloaded, rig.compressed_size(paths_of(files)));
        const PatchState state = PatchState::load(rig.root.path());
        EXPECT_EQ(state.version, "1.0.0");
        EXPECT_EQ(state.files, recorded);
        EXPECT_EQ(rig.file(".update_done"), "1.0.0");
        EXPECT_FALSE(rig.exists(".updstage"));
        EXPECT_FALSE(rig.exists(".updpacks"));
        ASSERT_FALSE(rig.progress.empty());
        EXPECT_EQ(rig.progress.back().done, 4u);
        EXPECT_EQ(rig.progress.back().total, 4u);
        EXPECT_EQ(rig.progress.back().done_bytes, result.bytes_downloaded);
        EXPECT_EQ(rig.progress.back().total_bytes, result.bytes_downloaded);
    }
}

TEST(DownloaderRun, AlreadyCurrentRunRewritesNothing) {
    Rig rig;
    const FileMap files = first_release();
    StoreOptions options;
    options.pack_chunks = 2;
    rig.install(files, options);
    // Each file's time as the file system keeps it (its resolution may be coarser than the clock's).
    std::map<std::string, fs::file_time_type> old_times;
    for (const auto& entry : files) {
        fs::last_write_time(rig.at(entry.first), fs::file_time_type::clock::now() - std::chrono::hours(48));
        old_times[entry.first] = fs::last_write_time(rig.at(entry.first));
    }
    rig.config.pack_min_chunks = 1;
    const int requests_before = static_cast<int>(rig.fetcher.request_log().size());

    const RunResult result = rig.run();

    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(rig.phases, (std::vector<int>{0, 3}));
    EXPECT_EQ(result.files_installed, 0u);
    EXPECT_EQ(result.files_current, 4u);
    EXPECT_EQ(result.bytes_downloaded, 0u);
    EXPECT_FALSE(result.used_pack_index);
    const std::vector<std::string> log = rig.fetcher.request_log();
    EXPECT_EQ(std::vector<std::string>(log.begin() + requests_before, log.end()), rig.documents());
    for (const auto& [path, content] : files) {
        EXPECT_EQ(fs::last_write_time(rig.at(path)), old_times.at(path)) << path;
        EXPECT_EQ(rig.file(path), content) << path;
    }
    EXPECT_EQ(PatchState::load(rig.root.path()).version, "1.0.0");
    EXPECT_EQ(rig.file(".update_done"), "1.0.0");
}

// Version 2 changes one 64-byte chunk in the middle of a large file and appends to it, and replaces a small
// file; the executable stays as it was.
TEST(DownloaderRun, IncrementalUpdateDownloadsOnlyWhatChanged) {
    struct Case {
        const char* name;
        bool transactional;
        std::function<void(Rig&)> before;
        bool only_new_chunks; // else every chunk of the changed files is downloaded
    };
    const Case cases[] = {
        {"direct, previous version mapped", false, nullptr, true},
        {"transactional, previous version mapped", true, nullptr, true},
        {"previous manifest gone", false, [](Rig& rig) { fs::remove(rig.at(kPreviousManifestFile)); }, false},
        // The state still names the old hash and the size is right, but every byte differs: each mapped
        // chunk costs one read and is then downloaded.
        {"large file damaged on disk", false, [](Rig& rig) { write_bytes(rig.at("Data/big.bin"), pattern(1024, 77)); },
         false},
    };
    const std::string big = pattern(1024, 10);
    std::string big2 = big;
    big2.replace(320, 64, pattern(64, 11));
    big2 += pattern(40, 12);
    const FileMap v1 = {{"Main.exe", pattern(200, 1)}, {"Data/big.bin", big}, {"Data/small.txt", pattern(50, 2)}};
    const FileMap v2 = {{"Main.exe", pattern(200, 1)}, {"Data/big.bin", big2}, {"Data/small.txt", pattern(50, 3)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.config.transactional = c.transactional;
        rig.install(v1);
        const std::set<std::string> old_chunks = rig.chunk_hashes(paths_of(v1));
        if (c.before) {
            c.before(rig);
        }
        StoreOptions options;
        options.version = "2.0.0";
        rig.store.publish(v2, options);
        const int chunk_requests_before = rig.chunk_requests();

        const RunResult result = rig.run();

        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.files_installed, 2u);
        EXPECT_EQ(result.files_current, 1u);
        for (const auto& [path, content] : v2) {
            EXPECT_EQ(rig.file(path), content) << path;
        }
        const std::vector<std::string> changed = {"Data/big.bin", "Data/small.txt"};
        const std::uint64_t expected =
            c.only_new_chunks ? rig.compressed_size(changed, old_chunks) : rig.compressed_size(changed);
        EXPECT_EQ(result.bytes_downloaded, expected);
        // Unchanged chunks of the large file: 1024 / 64 = 16, one of them replaced.
        EXPECT_EQ(rig.chunk_requests() - chunk_requests_before, c.only_new_chunks ? 3 : 18);
        // Chunks that had to be downloaded after all do not push progress past its total.
        ASSERT_FALSE(rig.progress.empty());
        EXPECT_EQ(rig.progress.back().done_bytes, rig.progress.back().total_bytes);
        if (c.only_new_chunks) {
            EXPECT_EQ(rig.progress.back().total_bytes, expected);
        }
        EXPECT_EQ(PatchState::load(rig.root.path()).version, "2.0.0");
    }
}

// a.bin loses the chunk that b.bin (unchanged) also holds, and the new c.bin needs it: once a.bin is
// replaced, the chunk is read from b.bin instead of being downloaded.
TEST(DownloaderRun, ChunkOfAReplacedFileIsStillTakenFromAnotherFileOfThePreviousVersion) {
    Rig rig;
    const std::string shared = pattern(64, 1);
    rig.install({{"a.bin", pattern(64, 2) + shared}, {"b.bin", pattern(64, 3) + shared}});
    StoreOptions options;
    options.version = "2.0.0";
    const FileMap v2 = {
        {"a.bin", pattern(128, 4)}, {"b.bin", pattern(64, 3) + shared}, {"c.bin", shared + pattern(64, 5)}};
    rig.store.publish(v2, options);

    const RunResult result = rig.run();

    ASSERT_TRUE(result.ok) << result.error;
    for (const auto& [path, content] : v2) {
        EXPECT_EQ(rig.file(path), content) << path;
    }
    const std::uint64_t fresh = rig.compressed_size({"a.bin", "c.bin"}, {sha256_hex(shared)});
    EXPECT_EQ(result.bytes_downloaded, fresh);
    EXPECT_EQ(rig.progress.back().done_bytes, fresh);
    EXPECT_EQ(rig.progress.back().total_bytes, fresh);
}

TEST(DownloaderRun, IncompleteConfigurationEndsBeforeAnyRequest) {
    const std::string message = "DownloaderConfig incompleto: product, channel, platform y pubkey_b64 son obligatorios";
    struct Case {
        const char* name;
        std::string DownloaderConfig::*member;
    };
    const Case cases[] = {{"product", &DownloaderConfig::product},
                          {"channel", &DownloaderConfig::channel},
                          {"platform", &DownloaderConfig::platform},
                          {"pubkey_b64", &DownloaderConfig::pubkey_b64}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.store.publish(first_release());
        rig.config.*c.member = "";
        const RunResult result = rig.run();
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, message);
        EXPECT_FALSE(result.local_write_failed);
        EXPECT_TRUE(rig.fetcher.request_log().empty());
        EXPECT_TRUE(rig.phases.empty());
    }
}

TEST(DownloaderRun, ChannelOfAnotherProductOrPlatformOrWithoutLatestIsRefused) {
    struct Case {
        const char* name;
        std::string channel_json;
        std::string want; // empty: the run succeeds
    };
    const Case cases[] = {
        {"product", R"({"product":"other","channel":"windows","platform":"windows-x86","latest":"1.0.0"})",
         R"(channel: product mismatch (expected "valdra7q", got "other"))"},
        {"platform", R"({"product":"valdra7q","channel":"windows","platform":"android","latest":"1.0.0"})",
         R"(channel: platform mismatch (expected "windows-x86", got "android"))"},
        {"empty latest", R"({"product":"valdra7q","channel":"windows","platform":"windows-x86","latest":""})",
         R"(channel: "latest" is empty)"},
        {"own channel name is not compared",
         R"({"product":"valdra7q","channel":"beta","platform":"windows-x86","latest":"1.0.0"})", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.store.publish(first_release());
        rig.store.put_signed(rig.store.channel_path(), c.channel_json);
        const RunResult result = rig.run();
        EXPECT_EQ(result.ok, c.want.empty());
        EXPECT_EQ(result.error, c.want);
        EXPECT_EQ(rig.fetcher.requests(rig.store.manifest_path()), c.want.empty() ? 1 : 0);
    }
}

TEST(DownloaderRun, SignedManifestWithUnsafePathInstallsNothing) {
    Rig rig;
    rig.store.publish({{"a.txt", "fine"}, {"../evil.txt", "owned"}});
    const RunResult result = rig.run();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, R"(manifest: unsafe file path "../evil.txt")");
    EXPECT_EQ(rig.fetcher.request_log(), rig.documents());
    EXPECT_FALSE(rig.exists("a.txt"));
    EXPECT_FALSE(fs::exists(rig.root.path().parent_path() / "evil.txt"));
}

TEST(DownloaderRun, BadSignatureIsRefusedAfterItsRetries) {
    Rig rig;
    rig.store.publish(first_release());
    rig.store.objects[rig.store.manifest_path()] += " ";
    const RunResult result = rig.run();
    EXPECT_FALSE(result.ok);
    const std::string failure = "signature verification failed for \"" + rig.store.manifest_path() + "\"";
    EXPECT_EQ(result.error, failure);
    EXPECT_EQ(rig.fetcher.requests(rig.store.manifest_path()), 3);
    EXPECT_EQ(rig.lines.back(), "meta " + rig.store.manifest_path() + " intento 3/3 fallo: " + failure);
}

TEST(DownloaderRun, ChunkWithWrongBytesFailsTheRunWithoutWritingItsFile) {
    for (const bool transactional : {false, true}) {
        SCOPED_TRACE(transactional ? "transactional" : "direct");
        Rig rig;
        rig.config.transactional = transactional;
        rig.store.publish({{"a.txt", pattern(100, 1)}, {"b.txt", pattern(100, 2)}});
        const kyrtest::StoredChunk bad = rig.store.chunks_of("b.txt")[1];
        const std::string other = pattern(static_cast<std::size_t>(bad.n), 9);
        rig.fetcher.fail(chunk_path(bad.h), FaultKind::wrong_bytes, 1, kyrtest::zstd_compress(other));

        const RunResult result = rig.run();

        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, "chunk \"" + bad.h + "\": sha256 mismatch (got \"" + sha256_hex(other) + "\")");
        EXPECT_EQ(rig.exists("a.txt"), !transactional);
        EXPECT_EQ(result.files_written, 1u); // staged or in place
        EXPECT_FALSE(rig.exists("b.txt"));
        EXPECT_FALSE(rig.exists("b.txt.updpart"));
        EXPECT_FALSE(rig.exists(".updstage"));
        EXPECT_FALSE(rig.exists(".update_done"));
    }
}

TEST(DownloaderRun, AssembledFileThatDiffersFromTheManifestIsNotWritten) {
    for (const std::size_t pack_chunks : {0, 100}) {
        SCOPED_TRACE(pack_chunks == 0 ? "chunk objects" : "packs");
        Rig rig;
        StoreOptions options = rig.packed(pack_chunks);
        const FileMap files = {{"a.txt", pattern(100, 1)}, {"b.txt", pattern(100, 2)}};
        rig.store.publish(files, options);
        const std::string real = sha256_hex(files.at("b.txt"));
        const std::string claimed(64, 'e');
        std::string manifest = rig.store.objects.at(rig.store.manifest_path());
        manifest.replace(manifest.find(real), real.size(), claimed);
        rig.store.put_signed(rig.store.manifest_path(), manifest);

        const RunResult result = rig.run();

        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error,
                  "file \"b.txt\": assembled sha256 mismatch (expected \"" + claimed + "\", got \"" + real + "\")");
        EXPECT_EQ(rig.file("a.txt"), files.at("a.txt"));
        EXPECT_FALSE(rig.exists("b.txt"));
        EXPECT_FALSE(rig.exists("b.txt.updpart"));
    }
}

// Pack chunks are checked with the file they end up in; a signed pack index that puts a chunk in the wrong
// place (same length, valid pack) must still give the right file, from that chunk's own object.
TEST(DownloaderRun, PackIndexThatMisplacesChunksCostsOnlyTheirOwnObjects) {
    for (const bool transactional : {false, true}) {
        SCOPED_TRACE(transactional ? "transactional" : "direct");
        Rig rig;
        rig.config.transactional = transactional;
        StoreOptions options = rig.packed(100);
        const FileMap files = first_release();
        rig.store.publish(files, options);
        const kyrtest::StoredChunk first = rig.store.chunks_of("Main.exe").at(0);
        const kyrtest::StoredChunk second = rig.store.chunks_of("Main.exe").at(1);
        ASSERT_EQ(first.z, second.z);
        boost::json::value index = boost::json::parse(rig.store.objects.at(rig.store.pack_index_path()));
        boost::json::object& places = index.at("chunks").as_object();
        std::swap(places.at(first.h), places.at(second.h));
        rig.store.put_signed(rig.store.pack_index_path(), boost::json::serialize(index));
        const std::string pack = "v1/packs/" + rig.store.pack_names().at(0);

        const RunResult result = rig.run();

        ASSERT_TRUE(result.ok) << result.error;
        for (const auto& [path, content] : files) {
            EXPECT_EQ(rig.file(path), content) << path;
        }
        EXPECT_EQ(rig.fetcher.requests(chunk_path(first.h)), 1);
        EXPECT_EQ(rig.fetcher.requests(chunk_path(second.h)), 1);
        EXPECT_EQ(rig.chunk_requests(), 2);
        EXPECT_EQ(result.chunks_obtained, rig.chunk_hashes(paths_of(files)).size());
        EXPECT_EQ(result.bytes_downloaded, rig.store.objects.at(pack).size() + first.z + second.z);
        EXPECT_EQ(std::count(rig.lines.begin(), rig.lines.end(),
                             "file \"Main.exe\": pack bytes differ from the manifest; assembling it again chunk by "
                             "chunk"),
                  1);
    }
}

// 4-byte chunks holding a counter: every chunk distinct.
FileMap counted_chunks(std::uint32_t count) {
    std::string bytes;
    for (std::uint32_t i = 0; i < count; ++i) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<char>((i >> shift) & 0xff));
        }
    }
    return {{"Data/counted.bin", bytes}};
}

TEST(DownloaderRun, PackIndexIsAskedForOnlyFromTheThresholdOnAndItsFailureIsAbsorbed) {
    struct Case {
        const char* name;
        std::uint32_t missing_chunks;
        bool index_fails;
        bool want_index_request;
        bool want_used;
        std::vector<int> want_phases;
    };
    const Case cases[] = {
        {"511 missing", 511, false, false, false, {0, 3}},
        {"512 missing", 512, false, true, true, {0, 1, 2}},
        {"512 missing, index unavailable", 512, true, true, false, {0, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        StoreOptions options;
        options.chunk_size = 4;
        options.pack_chunks = 128;
        rig.store.publish(counted_chunks(c.missing_chunks), options);
        if (c.index_fails) {
            rig.fetcher.fail(rig.store.pack_index_path(), FaultKind::fetch_error);
        }
        const RunResult result = rig.run();
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(rig.fetcher.requests(rig.store.pack_index_path()), c.want_index_request ? 1 : 0);
        EXPECT_EQ(result.used_pack_index, c.want_used);
        EXPECT_EQ(rig.phases, c.want_phases);
        EXPECT_EQ(rig.chunk_requests(), c.want_used ? 0 : static_cast<int>(c.missing_chunks));
        EXPECT_EQ(result.chunks_obtained, c.missing_chunks);
        EXPECT_EQ(rig.file("Data/counted.bin"), counted_chunks(c.missing_chunks).at("Data/counted.bin"));
    }
}

TEST(DownloaderRun, PacksAreDownloadedOnceAndEvictedAfterTheirLastFile) {
    Rig rig;
    StoreOptions options = rig.packed(3);
    const FileMap files = first_release();
    rig.store.publish(files, options);
    const std::vector<std::string> packs = rig.store.pack_names();
    ASSERT_GE(packs.size(), 3u);

    const RunResult result = rig.run();

    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.used_pack_index);
    EXPECT_EQ(rig.phases, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(result.packs_downloaded, packs.size());
    std::uint64_t pack_bytes = 0;
    for (const std::string& name : packs) {
        SCOPED_TRACE(name);
        pack_bytes += rig.store.objects.at("v1/packs/" + name).size();
        EXPECT_EQ(rig.fetcher.requests("v1/packs/" + name), 1);
        EXPECT_EQ(std::count(rig.lines.begin(), rig.lines.end(), "pack " + name + " evicted (no further consumers)"),
                  1);
    }
    EXPECT_EQ(result.bytes_downloaded, pack_bytes);
    EXPECT_EQ(rig.chunk_requests(), 0);
    for (const auto& [path, content] : files) {
        EXPECT_EQ(rig.file(path), content) << path;
    }
    EXPECT_FALSE(rig.exists(".updpacks"));
    // Pack phase: one event per pack, ending at the sum of their sizes.
    std::vector<ProgressEvent> pack_events;
    std::copy_if(rig.progress.begin(), rig.progress.end(), std::back_inserter(pack_events),
                 [](const ProgressEvent& e) { return e.phase == 1; });
    ASSERT_EQ(pack_events.size(), packs.size());
    EXPECT_EQ(pack_events.back().done, packs.size());
    EXPECT_EQ(pack_events.back().done_bytes, pack_bytes);
    EXPECT_EQ(pack_events.back().total_bytes, pack_bytes);
}

TEST(DownloaderRun, FolderWithANonAsciiNameIsInstalledAndUpdated) {
    for (const bool transactional : {false, true}) {
        SCOPED_TRACE(transactional ? "transactional" : "direct");
        Rig rig;
        const fs::path folder = rig.root.path() / fs::u8path("J\xC3\xB6rg \xE5\xBC\xA0\xE4\xB8\x89");
        rig.config.root_dir = folder.u8string(); // UTF-8, as the front end hands it over
        rig.config.transactional = transactional;
        const StoreOptions options = rig.packed(2);
        FileMap files = first_release();
        rig.install(files, options);
        files["Main.exe"] = pattern(300, 9);
        rig.install(files, options);

        for (const auto& [path, content] : files) {
            EXPECT_EQ(read_bytes(local_path(folder, path)), content) << path;
        }
        EXPECT_EQ(PatchState::load(folder).files.size(), files.size());
    }
}

TEST(DownloaderRun, InterruptedPackTransferContinuesFromItsPartialFile) {
    for (const bool resume : {true, false}) {
        SCOPED_TRACE(resume ? "resumable" : "not resumable");
        Rig rig;
        rig.fetcher.resume = resume;
        StoreOptions options = rig.packed(100);
        const FileMap files = first_release();
        rig.store.publish(files, options);
        const std::string pack = "v1/packs/" + rig.store.pack_names().at(0);
        const std::uint64_t size = rig.store.objects.at(pack).size();
        rig.fetcher.fail(pack, FaultKind::cut_short);

        const RunResult result = rig.run();

        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(rig.fetcher.requests(pack), 2);
        EXPECT_EQ(result.packs_downloaded, 1u);
        // Only the bytes of the completing transfer count: from the partial file's end, or all of them.
        EXPECT_EQ(result.bytes_downloaded, resume ? size - size / 2 : size);
        EXPECT_EQ(rig.chunk_requests(), 0);
        for (const auto& [path, content] : files) {
            EXPECT_EQ(rig.file(path), content) << path;
        }
    }
}

// The time budget of the signed documents runs from the start of the run: a slow channel leaves the
// manifest no time for a second attempt.
TEST(DownloaderRun, DocumentBudgetCoversChannelAndManifestTogether) {
    Rig rig;
    rig.store.publish(first_release());
    rig.config.document_budget_ms = 50;
    const std::string channel = rig.store.channel_path();
    rig.fetcher.before_request = [channel](const std::string& path) {
        if (path == channel) {
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
        }
    };
    const std::string manifest = rig.store.manifest_path();
    rig.fetcher.fail(manifest, FaultKind::fetch_error);

    const RunResult result = rig.run();

    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "HTTP 503 " + manifest);
    EXPECT_EQ(rig.fetcher.requests(manifest), 1);
    ASSERT_EQ(rig.lines.size(), 2u);
    EXPECT_EQ(rig.lines[0], "meta " + manifest + " intento 1/3 fallo: HTTP 503 " + manifest);
    const std::string prefix = "meta " + manifest + ": presupuesto agotado (";
    const std::string suffix = " ms), se abandona la escalera";
    ASSERT_GT(rig.lines[1].size(), prefix.size() + suffix.size());
    EXPECT_EQ(rig.lines[1].substr(0, prefix.size()), prefix);
    EXPECT_EQ(rig.lines[1].substr(rig.lines[1].size() - suffix.size()), suffix);
    EXPECT_GE(std::stoul(rig.lines[1].substr(prefix.size())), 60u);
}

TEST(DownloaderRun, PackWhoseChunksAreMostlyOnDiskIsLeftToPerChunkFetching) {
    Rig rig;
    const std::string big = pattern(1024, 10);
    std::string big2 = big;
    big2.replace(0, 64, pattern(64, 11));
    StoreOptions options = rig.packed(16);
    rig.install({{"big.bin", big}}, options);
    options.version = "2.0.0";
    rig.store.publish({{"big.bin", big2}}, options);

    const RunResult result = rig.run();

    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.used_pack_index);
    EXPECT_EQ(rig.phases, (std::vector<int>{0, 3}));
    EXPECT_EQ(result.packs_downloaded, 0u);
    EXPECT_EQ(rig.fetcher.requests("v1/packs/" + rig.store.pack_names().at(0)), 0);
    EXPECT_EQ(result.bytes_downloaded, rig.store.chunks_of("big.bin")[0].z);
    EXPECT_EQ(rig.file("big.bin"), big2);
}

TEST(DownloaderRun, PreservedFilesThatExistAreLeftAloneAndMissingOnesDownloaded) {
    Rig rig;
    const FileMap files = {{"Data/Local/a.ini", "store a"},
                           {"Data/Local/sub/b.ini", "store b"},
                           {"Data/Local/c.ini", "store c"},
                           {"Data/Local/x.txt", "store x"},
                           {"Data/Other/d.ini", "store d"}};
    StoreOptions options;
    options.preserve = {"Data/Local/*.ini"};
    rig.store.publish(files, options);
    for (const char* path : {"Data/Local/a.ini", "Data/Local/sub/b.ini", "Data/Local/x.txt", "Data/Other/d.ini"}) {
        fs::create_directories(rig.at(path).parent_path());
        write_bytes(rig.at(path), "player's own");
    }

    const RunResult result = rig.run();

    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.files_preserved, 2u);
    EXPECT_EQ(result.files_installed, 3u);
    EXPECT_EQ(rig.file("Data/Local/a.ini"), "player's own");
    EXPECT_EQ(rig.file("Data/Local/sub/b.ini"), "player's own");
    EXPECT_EQ(rig.file("Data/Local/c.ini"), "store c");
    EXPECT_EQ(rig.file("Data/Local/x.txt"), "store x");
    EXPECT_EQ(rig.file("Data/Other/d.ini"), "store d");
}

TEST(DownloaderRun, PatchStateDecidesWithoutHashingWhenItKnowsTheFile) {
    const std::string content = pattern(100, 1);
    const std::string sha = sha256_hex(content);
    struct Case {
        const char* name;
        bool has_entry;
        std::string entry_sha;
        std::string on_disk; // "<missing>": no file
        unsigned want_installed;
        std::string want_content;
    };
    const std::string same_size_other = pattern(100, 2);
    const Case cases[] = {
        {"entry and size agree: accepted unread", true, sha, same_size_other, 0, same_size_other},
        {"entry agrees, size differs", true, sha, pattern(99, 1), 1, content},
        {"entry agrees, file missing", true, sha, "<missing>", 1, content},
        {"entry names another hash", true, std::string(64, 'a'), content, 1, content},
        {"no entry, content matches: hashed and accepted", false, "", content, 0, content},
        {"no entry, content differs", false, "", same_size_other, 1, content},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.store.publish({{"f.bin", content}});
        if (c.has_entry) {
            PatchState state;
            state.files["f.bin"] = c.entry_sha;
            state.save(rig.root.path());
        }
        if (c.on_disk != "<missing>") {
            write_bytes(rig.at("f.bin"), c.on_disk);
        }
        const RunResult result = rig.run();
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.files_installed, c.want_installed);
        EXPECT_EQ(result.files_current, 1u - c.want_installed);
        EXPECT_EQ(rig.file("f.bin"), c.want_content);
        EXPECT_EQ(PatchState::load(rig.root.path()).files.at("f.bin"), sha);
    }
}

TEST(DownloaderRun, CancelInATransactionalRunChangesNoInstalledFileAndKeepsThePacks) {
    struct Case {
        const char* name;
        int phase; // cancel once this phase reports its first pack done, or its first file assembled
        std::vector<int> want_phases;
        std::vector<std::size_t> want_packs_kept;
    };
    const Case cases[] = {
        // A pack is checked while the next one downloads: the second is on disk when the first is reported.
        {"between packs", 1, {0, 1}, {0, 1}},
        {"between files", 2, {0, 1, 2}, {0, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.config.transactional = true;
        StoreOptions options = rig.packed(2); // 100-byte files: one pack per file
        const FileMap v1 = {{"a.txt", pattern(100, 1)}, {"b.txt", pattern(100, 2)}, {"c.txt", pattern(100, 3)}};
        rig.install(v1, options);
        options.version = "2.0.0";
        rig.store.publish({{"a.txt", pattern(100, 4)}, {"b.txt", pattern(100, 5)}, {"c.txt", pattern(100, 6)}},
                          options);
        bool cancel = false;
        rig.config.cancel = [&cancel] { return cancel; };
        rig.on_progress = [&](const ProgressEvent& e) {
            const bool first_done = e.phase == 1 ? e.done == 1 : e.done_bytes >= 100;
            if (e.phase == c.phase && first_done) {
                cancel = true;
            }
        };

        const RunResult result = rig.run();

        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, "cancelled");
        EXPECT_FALSE(result.local_write_failed);
        EXPECT_EQ(rig.phases, c.want_phases);
        for (const auto& [path, content] : v1) {
            EXPECT_EQ(rig.file(path), content) << path;
        }
        EXPECT_FALSE(rig.exists(".updstage"));
        std::vector<std::size_t> kept;
        for (std::size_t i = 0; i < rig.store.pack_names().size(); ++i) {
            if (rig.exists(".updpacks/" + rig.store.pack_names()[i])) {
                kept.push_back(i);
            }
        }
        EXPECT_EQ(kept, c.want_packs_kept);
        EXPECT_EQ(PatchState::load(rig.root.path()).version, "1.0.0");
        EXPECT_EQ(rig.file(".update_done"), "1.0.0");
    }
}

TEST(DownloaderRun, LocalWriteFailureAsksForDiskSpace) {
    struct Case {
        const char* name;
        bool transactional;
        std::uint64_t margin;
        bool block_target;       // b.txt is a folder: nothing can replace it
        bool pack_write_fails;   // the fetcher cannot write the pack file
        std::string want_prefix; // the system's reason follows, when the folder blocks
        bool want_local_write;
        std::uint64_t want_space;
    };
    const Case cases[] = {
        {"install blocked", false, 209715200, true, false, "failed to install ", true, 209715200},
        {"commit blocked", true, 209715200, true, false, "transactional commit: cannot install ", true, 209715200},
        {"small margin", false, 1, true, false, "failed to install ", true, 67108864},
        {"pack not written", false, 209715200, false, true, "disk full: v1/packs/", true, 209715200},
        {"transport failure is no write failure", false, 209715200, false, false, "HTTP 404 v1/chunks/", false, 0},
        {"any failure naming a write failure", false, 209715200, false, false, "proxy: write failed", true, 209715200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.config.transactional = c.transactional;
        rig.config.disk_margin_bytes = c.margin;
        const StoreOptions options = c.pack_write_fails ? rig.packed(100) : StoreOptions{};
        rig.store.publish({{"a.txt", pattern(100, 1)}, {"b.txt", pattern(100, 2)}}, options);
        std::string want = c.want_prefix;
        if (c.block_target) {
            fs::create_directories(rig.at("b.txt/inside"));
            want += path_text(rig.at("b.txt")) + ": ";
        } else if (c.pack_write_fails) {
            want += rig.store.pack_names().at(0);
            rig.fetcher.fail("v1/packs/" + rig.store.pack_names().at(0), FaultKind::local_write_error);
        } else if (c.want_local_write) {
            rig.fetcher.fail(rig.store.channel_path(), FaultKind::fetch_error, 3, want);
        } else {
            const std::string missing = chunk_path(rig.store.chunks_of("b.txt")[0].h);
            rig.store.objects.erase(missing);
            want += missing.substr(10);
        }

        const RunResult result = rig.run();

        EXPECT_FALSE(result.ok);
        if (c.block_target) {
            EXPECT_EQ(result.error.substr(0, want.size()), want);
            EXPECT_GT(result.error.size(), want.size());
        } else {
            EXPECT_EQ(result.error, want);
        }
        EXPECT_EQ(result.local_write_failed, c.want_local_write);
        EXPECT_EQ(result.space_wanted_bytes, c.want_space);
        EXPECT_EQ(result.space_free_bytes, 0u);
        EXPECT_FALSE(rig.exists(".updstage"));
        EXPECT_FALSE(rig.exists(".update_done"));
    }
}

// The patch state cannot be saved: the early save of hashed files is only logged, the final one fails the
// run after the files are in place, and neither the version nor the marker is written.
TEST(DownloaderRun, UnsavablePatchStateFailsOnlyAtTheEnd) {
    Rig rig;
    rig.store.publish({{"known.txt", "already here"}, {"new.txt", "to fetch"}});
    write_bytes(rig.at("known.txt"), "already here");
    const fs::path temporary = rig.at("patchstate.json.tmp");
    fs::create_directories(temporary / "inside");

    const RunResult result = rig.run();

    const std::string failure = "PatchState::save: cannot open for write: " + path_text(temporary);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, failure);
    EXPECT_FALSE(result.local_write_failed);
    EXPECT_EQ(std::count(rig.lines.begin(), rig.lines.end(), "patchstate parcial no se pudo guardar: " + failure), 1);
    EXPECT_EQ(rig.file("new.txt"), "to fetch");
    EXPECT_FALSE(rig.exists("patchstate.json"));
    EXPECT_FALSE(rig.exists(".update_done"));
}

TEST(DownloaderRun, FailureDiscardsThePartialPackOnlyWhenTheFetcherCannotResume) {
    for (const bool resume : {true, false}) {
        SCOPED_TRACE(resume ? "resumable" : "not resumable");
        Rig rig;
        rig.fetcher.resume = resume;
        fs::create_directories(rig.at(".updpacks"));
        write_bytes(rig.at(".updpacks/current.part"), "partial");
        write_bytes(rig.at(".updpacks/current.part.owner"), "p0 sha");
        write_bytes(rig.at(".updpacks/p0.pack"), "kept");

        const RunResult result = rig.run(); // nothing published: the channel is missing

        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, "HTTP 404 v1/channels/windows.json");
        EXPECT_EQ(rig.exists(".updpacks/current.part"), resume);
        EXPECT_EQ(rig.exists(".updpacks/current.part.owner"), resume);
        EXPECT_TRUE(rig.exists(".updpacks/p0.pack"));
    }
}

TEST(DownloaderRun, ClientPackageIsReportedOnlyWhenItIsNotSkipped) {
    for (const bool skip : {true, false}) {
        SCOPED_TRACE(skip ? "skipped" : "fetched");
        Rig rig;
        rig.config.skip_apk = skip;
        const std::string apk = pattern(90, 5);
        rig.store.publish({{"client/valdra7q.apk", apk}, {"Main.exe", "exe"}});
        const RunResult result = rig.run();
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.files_installed, skip ? 1u : 2u);
        EXPECT_EQ(rig.exists("client/valdra7q.apk"), !skip);
        EXPECT_EQ(result.apk_ready, !skip);
        EXPECT_EQ(result.apk_sha, skip ? "" : sha256_hex(apk));
        EXPECT_EQ(result.apk_path, skip ? "" : path_text(rig.at("client/valdra7q.apk")));
    }
}

} // namespace

namespace {

// Files built of 64-byte blocks, so that consecutive files share chunks and one repeats a chunk of its own.
FileMap files_sharing_chunks() {
    const std::string b1 = pattern(64, 11), b2 = pattern(64, 12), b3 = pattern(64, 13), b4 = pattern(64, 14),
                      b5 = pattern(64, 15), b6 = pattern(64, 16);
    return {{"a.bin", b1 + b2 + b3},
            {"b.bin", b2 + b3 + b4},
            {"c.bin", b1 + b4 + b5 + b1},
            {"d.bin", b5 + b6 + b6 + b2}};
}

// Within each phase, neither count moves back and neither passes its total.
void expect_honest_progress(const std::vector<ProgressEvent>& events) {
    for (std::size_t i = 0; i < events.size(); ++i) {
        const ProgressEvent& e = events[i];
        SCOPED_TRACE("progress call " + std::to_string(i));
        EXPECT_LE(e.done, e.total);
        EXPECT_LE(e.done_bytes, e.total_bytes);
        if (i > 0 && events[i - 1].phase == e.phase && events[i - 1].total == e.total) {
            EXPECT_GE(e.done, events[i - 1].done);
            EXPECT_GE(e.done_bytes, events[i - 1].done_bytes);
        }
    }
}

} // namespace

TEST(DownloaderRun, EachChunkIsDownloadedOnceAndProgressNeverMovesBack) {
    struct Case {
        const char* name;
        std::size_t pack_chunks; // 0: no packs
        std::uint32_t prefetch_workers;
        bool transactional;
    };
    const Case cases[] = {
        {"chunk by chunk", 0, 1, false},
        {"prefetch pool", 0, 4, false},
        {"prefetch pool, transactional", 0, 4, true},
        {"packs", 2, 4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        StoreOptions options = c.pack_chunks != 0 ? rig.packed(c.pack_chunks) : StoreOptions{};
        rig.config.prefetch_workers = c.prefetch_workers;
        rig.config.transactional = c.transactional;
        const FileMap files = files_sharing_chunks();
        rig.store.publish(files, options);

        const RunResult result = rig.run();

        ASSERT_TRUE(result.ok) << result.error;
        for (const auto& [path, content] : files) {
            EXPECT_EQ(rig.file(path), content) << path;
        }
        for (const std::string& hash : rig.chunk_hashes(paths_of(files))) {
            EXPECT_LE(rig.fetcher.requests(chunk_path(hash)), c.pack_chunks != 0 ? 0 : 1) << hash;
        }
        EXPECT_EQ(result.chunks_obtained, 6u);
        expect_honest_progress(rig.progress);
        ASSERT_FALSE(rig.progress.empty());
        EXPECT_EQ(rig.progress.back().done, 4u);
        EXPECT_EQ(rig.progress.back().done_bytes, rig.progress.back().total_bytes);
    }
}

TEST(DownloaderRun, RefusedThreadsEndTheRunWithAMessageOrMakeItSlower) {
    struct Case {
        const char* name;
        int threads_granted; // then every start is refused
        bool ok;
    };
    const Case cases[] = {
        {"no thread at all", 0, false},
        {"one writer thread", 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.config.prefetch_workers = 4;
        int granted = 0;
        rig.config.start_thread = [&](std::function<void()> work) {
            if (granted >= c.threads_granted) {
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            }
            ++granted;
            return std::thread(std::move(work));
        };
        const FileMap files = files_sharing_chunks();
        rig.store.publish(files);

        const RunResult result = rig.run();

        EXPECT_EQ(result.ok, c.ok) << result.error;
        if (c.ok) {
            EXPECT_EQ(rig.file("d.bin"), files.at("d.bin"));
        } else {
            EXPECT_NE(result.error.find("cannot start a thread"), std::string::npos) << result.error;
            EXPECT_FALSE(rig.exists("a.bin"));
        }
    }
}

TEST(DownloaderRun, DroppedFilesAreRemovedOnlyWhenAskedAndOnlyAsInstalled) {
    struct Case {
        const char* name;
        bool remove_dropped;
        bool transactional;
    };
    const Case cases[] = {
        {"not asked", false, false},
        {"direct", true, false},
        {"transactional", true, true},
    };
    const FileMap v1 = {{"Main.exe", pattern(100, 1)},
                        {"KyrLauncher.exe", pattern(100, 9)},
                        {"Data/Old/script.lua", pattern(70, 2)},
                        {"Data/Old/Deep/lib.dll", pattern(70, 3)},
                        {"Data/changed.cfg", pattern(70, 4)},
                        {"Data/kept.bin", pattern(70, 5)},
                        {"Data/Local/opt.ini", pattern(70, 6)}};
    FileMap v2 = {{"Main.exe", pattern(100, 7)}, {"Data/kept.bin", pattern(70, 5)}, {"Data/new.bin", pattern(70, 8)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.config.remove_dropped = c.remove_dropped;
        rig.config.transactional = c.transactional;
        rig.config.running_program = "KyrLauncher.exe"; // dropped by version 2, yet it stays
        StoreOptions options;
        options.preserve = {"Data/Local/*.ini"};
        rig.install(v1, options);
        write_bytes(rig.at("Data/changed.cfg"), "the player's edit");
        write_bytes(rig.at("Data/Old/mine.txt"), "the player's own file");
        options.version = "2.0.0";
        options.preserve = {};
        rig.store.publish(v2, options);

        const RunResult result = rig.run();

        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.files_removed, c.remove_dropped ? 2u : 0u);
        EXPECT_EQ(rig.exists("Data/Old/script.lua"), !c.remove_dropped);
        EXPECT_EQ(rig.exists("Data/Old/Deep"), !c.remove_dropped); // emptied, so removed with its file
        EXPECT_EQ(rig.file("KyrLauncher.exe"), pattern(100, 9));
        EXPECT_EQ(rig.file("Data/changed.cfg"), "the player's edit");
        EXPECT_EQ(rig.file("Data/Old/mine.txt"), "the player's own file");
        EXPECT_TRUE(rig.exists("Data/Local/opt.ini")); // preserved by the version that installed it
        for (const auto& [path, content] : v2) {
            EXPECT_EQ(rig.file(path), content) << path;
        }
        const PatchState state = PatchState::load(rig.root.path());
        EXPECT_EQ(state.files.count("Data/Old/script.lua"), c.remove_dropped ? 0u : 1u);
    }
}

TEST(DownloaderRun, NewVersionOfTheRunningProgramIsMovedInBesideTheOldOne) {
    for (const bool transactional : {false, true}) {
        SCOPED_TRACE(transactional ? "transactional" : "direct");
        Rig rig;
        rig.config.transactional = transactional;
        rig.config.running_program = "kyrlauncher.EXE"; // as Windows names it, whatever the case
        FileMap files = {{"KyrLauncher.exe", pattern(90, 1)}, {"Main.exe", pattern(90, 2)}};
        rig.install(files);
        EXPECT_FALSE(rig.exists("KyrLauncher.exe.old")); // nothing was running from that name yet
        files["KyrLauncher.exe"] = pattern(90, 3);
        StoreOptions options;
        options.version = "2.0.0";
        rig.store.publish(files, options);

        const RunResult result = rig.run();

        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_TRUE(result.running_program_replaced);
        EXPECT_EQ(rig.file("KyrLauncher.exe"), files.at("KyrLauncher.exe"));
        EXPECT_EQ(rig.file("KyrLauncher.exe.old"), pattern(90, 1));
    }
}
