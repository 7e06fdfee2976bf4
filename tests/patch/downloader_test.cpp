#include "patch/downloader.hpp"

#include "patch/chunk_fetch.hpp"
#include "patch/durable_file.hpp"
#include "patch/file_hash.hpp"
#include "patch/link_test.hpp"
#include "patch/local_path.hpp"
#include "patch/patch_state.hpp"
#include "patch/previous_version.hpp"
#include "patch/sha256.hpp"
#include "support/planted_link.hpp"
#include "support/scratch_folder.hpp"
#include "support/test_signer.hpp"
#include "support/test_store.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace gu::patch;
namespace fs = std::filesystem;
using kyrtest::FileMap;
using kyrtest::StoreOptions;

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
        config.cancel = [this] { return cancelled; };
    }

    RunResult run() {
        phases.clear();
        Downloader downloader(fetcher, config);
        return downloader.run(
            [this](unsigned, unsigned, unsigned, std::uint64_t done_bytes, std::uint64_t) {
                if (on_progress) {
                    on_progress(phases.back(), done_bytes);
                }
            },
            [this](int phase) { phases.push_back(phase); });
    }

    // Publishes `files` as `version` and runs; the run must succeed.
    void install(const FileMap& files, const std::string& version = "1.0.0") {
        options.version = version;
        store.publish(files, options);
        const RunResult result = run();
        ASSERT_TRUE(result.ok) << result.error;
    }

    fs::path at(const std::string& relative) const { return local_path(root.path(), relative); }
    std::string file(const std::string& relative) const { return kyrtest::read_bytes(at(relative)); }
    void expect_files(const FileMap& files) const {
        for (const auto& [path, content] : files) {
            EXPECT_EQ(file(path), content) << path;
        }
    }
    int chunk_requests() const {
        const std::vector<std::string> log = fetcher.request_log();
        return static_cast<int>(std::count_if(
            log.begin(), log.end(), [](const std::string& path) { return path.rfind("v1/chunks/", 0) == 0; }));
    }

    kyrtest::ScratchFolder root;
    kyrtest::TestStore store;
    kyrtest::MemoryFetcher fetcher{store};
    StoreOptions options;
    DownloaderConfig config;
    std::vector<int> phases;
    std::function<void(int phase, std::uint64_t done_bytes)> on_progress;
    bool cancelled = false;
};

std::mutex flushes_lock;
std::vector<fs::path> flushes; // relative to the file system's root

std::ptrdiff_t flushed_at(const fs::path& path, std::ptrdiff_t after) {
    const auto found = std::find(flushes.begin() + after + 1, flushes.end(), path.lexically_relative(path.root_path()));
    return found == flushes.end() ? std::ptrdiff_t{-1} : found - flushes.begin();
}

// Where each flush of `path` stands among the flushes.
std::vector<std::ptrdiff_t> flushes_of(const fs::path& path) {
    std::vector<std::ptrdiff_t> found;
    for (std::ptrdiff_t next = -1; (next = flushed_at(path, next)) >= 0;) {
        found.push_back(next);
    }
    return found;
}

std::ptrdiff_t last_flushed_at(const fs::path& path) {
    const std::vector<std::ptrdiff_t> found = flushes_of(path);
    return found.empty() ? std::ptrdiff_t{-1} : found.back();
}

void record_flush(const fs::path& path, Flush) {
    const std::lock_guard<std::mutex> held(flushes_lock);
    flushes.push_back(path.lexically_relative(path.root_path()));
}

// Version 2 changes a chunk in the middle of a large file and replaces a small one. A power cut must not
// leave a name on unwritten bytes: each file is flushed under its temporary name, its folder after the
// move into it, both before the patch state that vouches for it.
TEST(DownloaderRun, InstallsDurablyThenDownloadsOnlyWhatChanged) {
    struct Case {
        const char* name;
        bool transactional;
        std::uint32_t prefetch_workers;
    };
    const Case cases[] = {{"direct", false, 1}, {"transactional", true, 1}, {"prefetch pool", false, 4}};
    const std::string repeated = pattern(64, 3);
    const std::string big = pattern(1024, 10);
    std::string big2 = big;
    big2.replace(320, 64, pattern(64, 11));
    const FileMap v1 = {{"Main.exe", pattern(200, 1)},
                        {"Data/big.bin", big},
                        {"Data/small.txt", pattern(50, 2)},
                        {"Data/twice.att", repeated + pattern(20, 4) + repeated},
                        {"empty.txt", ""}};
    FileMap v2 = v1;
    v2["Data/big.bin"] = big2;
    v2["Data/small.txt"] = pattern(50, 3);
    v2["New/x.bin"] = pattern(30, 5); // its folder's entry in the game folder must reach the disk too
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.config.transactional = c.transactional;
        rig.config.prefetch_workers = c.prefetch_workers;
        flushes.clear();
        const FlushObserver record = record_flush;
        flush_observer = record;
        rig.install(v1);
        rig.expect_files(v1);
        EXPECT_EQ(rig.fetcher.requests(chunk_path(sha256_hex(repeated))), 1);
        EXPECT_EQ(PatchState::load(rig.root.path()).files.at("Data/big.bin"), sha256_hex(big));
        EXPECT_EQ(rig.file(".update_done"), "1.0.0");
        const int chunks_before = rig.chunk_requests();
        kyrtest::write_bytes(rig.at("Data/big.bin"), pattern(64, 12) + big.substr(64)); // the player's, same size

        rig.options.version = "2.0.0";
        rig.store.publish(v2, rig.options);
        flushes.clear();
        const RunResult result = rig.run();
        flush_observer = nullptr;

        ASSERT_TRUE(result.ok) << result.error;
        rig.expect_files(v2);
        // The state that vouches for the new files is the run's last; an earlier one only forgets files.
        const std::ptrdiff_t state = last_flushed_at(rig.at("patchstate.json.tmp"));
        for (const auto& [path, folder] : {std::pair{"Data/big.bin", "Data"}, {"New/x.bin", ""}}) {
            SCOPED_TRACE(path);
            const std::ptrdiff_t file =
                flushed_at(rig.at((c.transactional ? ".updstage/" : "") + std::string(path) + ".updpart"), -1);
            const std::ptrdiff_t after = flushed_at(*folder == '\0' ? rig.root.path() : rig.at(folder), file);
            EXPECT_GE(file, 0);
            EXPECT_GT(after, file);
            EXPECT_LT(after, state);
        }
        EXPECT_EQ(result.files_installed, 3u);
        EXPECT_EQ(result.files_current, 3u);
        // Changed, new, the one the player edited, and the changed one again: the reused bytes of the file
        // the player edited rest on its hash, so it is assembled again with each chunk checked.
        EXPECT_EQ(rig.chunk_requests() - chunks_before, 5);
        EXPECT_EQ(PatchState::load(rig.root.path()).version, "2.0.0");
        EXPECT_EQ(rig.file(".update_done"), "2.0.0");
        EXPECT_FALSE(fs::exists(rig.at(".updstage")));
        flushes.clear(); // already current: the saved manifest is the served one and is not written again
        flush_observer = record;
        EXPECT_EQ(rig.run().files_current, 6u);
        flush_observer = nullptr;
        EXPECT_EQ(flushed_at(rig.at("patchstate.manifest.json.tmp"), -1), -1);
        EXPECT_GE(flushed_at(rig.at("patchstate.json.tmp"), -1), 0);
    }
}

// What the store sends is checked before it is installed, and a transactional run that fails or is
// cancelled leaves every file of the installed version as it was.
TEST(DownloaderRun, FailedRunInstallsNothingOfTheNewVersion) {
    struct Case {
        const char* name;
        std::function<std::string(Rig&)> spoil; // returns the run's error
    };
    const Case cases[] = {
        {"manifest path out of the folder",
         [](Rig& rig) {
             rig.store.publish({{"b.txt", "fine"}, {"../evil.txt", "owned"}}, rig.options);
             return std::string(R"(manifest: unsafe file path "../evil.txt")");
         }},
        {"chunk with other bytes",
         [](Rig& rig) {
             const kyrtest::StoredChunk bad = rig.store.chunks_of("b.txt")[1];
             const std::string other = pattern(static_cast<std::size_t>(bad.n), 9);
             rig.store.objects[chunk_path(bad.h)] = kyrtest::zstd_compress(other);
             return "chunk \"" + bad.h + "\": sha256 mismatch (got \"" + sha256_hex(other) + "\")";
         }},
        {"assembled file differs from the manifest",
         [](Rig& rig) {
             std::string manifest = rig.store.objects.at(rig.store.manifest_path());
             const std::string real = sha256_hex(pattern(100, 4));
             manifest.replace(manifest.find(real), real.size(), std::string(64, 'e'));
             rig.store.put_signed(rig.store.manifest_path(), manifest);
             return "file \"b.txt\": assembled sha256 mismatch (expected \"" + std::string(64, 'e') + "\", got \"" +
                    real + "\")";
         }},
        {"manifest signed by another key",
         [](Rig& rig) {
             rig.store.objects[rig.store.manifest_path()] += " ";
             return "signature verification failed for \"" + rig.store.manifest_path() + "\"";
         }},
        {"cancelled after the first file",
         [](Rig& rig) {
             rig.on_progress = [&rig](int phase, std::uint64_t done_bytes) {
                 rig.cancelled = rig.cancelled || (phase == 3 && done_bytes >= 100);
             };
             return std::string("cancelled");
         }},
    };
    const FileMap v1 = {{"a.txt", pattern(100, 1)}, {"b.txt", pattern(100, 2)}, {"c.txt", pattern(100, 5)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.config.transactional = true;
        rig.install(v1);
        rig.options.version = "2.0.0";
        rig.store.publish({{"a.txt", pattern(100, 3)}, {"b.txt", pattern(100, 4)}, {"c.txt", pattern(100, 6)}},
                          rig.options);
        const std::string want = c.spoil(rig);

        const RunResult result = rig.run();

        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, want);
        rig.expect_files(v1);
        EXPECT_FALSE(fs::exists(rig.at(".updstage")));
        EXPECT_EQ(rig.file(".update_done"), "1.0.0");
        EXPECT_EQ(PatchState::load(rig.root.path()).version, "1.0.0");
        EXPECT_FALSE(fs::exists(rig.root.path().parent_path() / "evil.txt"));
    }
}

fs::path vouching_root;
std::vector<std::string> vouched_wrongly; // paths whose saved patch state entry named other bytes

// At each flush of a run, every entry of the saved patch state must name the bytes then at its path: what
// a power cut there would leave for the next run to trust.
void check_saved_state(const fs::path& flushed, Flush how) {
    record_flush(flushed, how);
    const std::lock_guard<std::mutex> held(flushes_lock);
    for (const auto& [path, sha] : PatchState::load(vouching_root).files) {
        const fs::path file = local_path(vouching_root, path);
        if (fs::exists(file) && sha256_hex_file(file) != sha) {
            vouched_wrongly.push_back(path);
        }
    }
}

// Records the flushes and checks the saved state at each, from construction until the end of the scope.
struct SavedStateWatch {
    explicit SavedStateWatch(const fs::path& root) {
        vouching_root = root;
        vouched_wrongly.clear();
        flushes.clear();
        flush_observer = check_saved_state;
    }
    ~SavedStateWatch() { flush_observer = nullptr; }
    SavedStateWatch(const SavedStateWatch&) = delete;
    SavedStateWatch& operator=(const SavedStateWatch&) = delete;
};

// A run that ends early keeps what it installed: the next one does not fetch those files again. The saved
// patch state never names old bytes under a file the run replaced, not even for a moment, so that a
// return to the installed version does not take a replaced file of the same size for its old self.
TEST(DownloaderRun, AnInterruptedRunKeepsWhatItInstalledAndVouchesForNothingElse) {
    struct Case {
        const char* name;
        bool transactional;
        bool back_to_the_installed_version; // the next run's version, else the interrupted one's again
        unsigned files_current;             // in the next run, the others are fetched
    };
    // The direct run installed a.txt of version 2 before it was cancelled; the transactional one nothing.
    const Case cases[] = {{"direct, then the same version", false, false, 1},
                          {"direct, then the version before", false, true, 2},
                          {"transactional, then the same version", true, false, 0},
                          {"transactional, then the version before", true, true, 3}};
    const FileMap v1 = {{"a.txt", pattern(100, 1)}, {"b.txt", pattern(100, 2)}, {"c.txt", pattern(100, 5)}};
    const FileMap v2 = {{"a.txt", pattern(100, 3)}, {"b.txt", pattern(100, 4)}, {"c.txt", pattern(100, 6)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.config.transactional = c.transactional;
        rig.install(v1);
        rig.options.version = "2.0.0";
        rig.store.publish(v2, rig.options);
        rig.on_progress = [&rig](int phase, std::uint64_t done_bytes) {
            rig.cancelled = rig.cancelled || (phase == 3 && done_bytes >= 100);
        };
        std::optional<SavedStateWatch> watch(rig.root.path());

        const RunResult interrupted = rig.run();

        EXPECT_EQ(interrupted.error, "cancelled");
        EXPECT_EQ(rig.file("a.txt"), (c.transactional ? v1 : v2).at("a.txt"));
        EXPECT_EQ(rig.file("b.txt"), v1.at("b.txt"));
        if (!c.transactional) {
            // Recorded, after its name reached the disk.
            const auto saved = PatchState::load(rig.root.path()).files;
            EXPECT_EQ(saved.count("a.txt") != 0 ? saved.at("a.txt") : "", sha256_hex(v2.at("a.txt")));
            const std::ptrdiff_t folder = flushed_at(rig.root.path(), flushed_at(rig.at("a.txt.updpart"), -1));
            EXPECT_GE(folder, 0);
            EXPECT_LT(folder, last_flushed_at(rig.at("patchstate.json.tmp")));
        }
        rig.on_progress = nullptr;
        rig.cancelled = false;
        const FileMap& next = c.back_to_the_installed_version ? v1 : v2;
        rig.options.version = "3.0.0";
        rig.store.publish(next, rig.options);
        const int chunks_before = rig.chunk_requests();

        const RunResult result = rig.run();
        watch.reset();

        ASSERT_TRUE(result.ok) << result.error;
        rig.expect_files(next);
        EXPECT_EQ(vouched_wrongly, std::vector<std::string>{});
        EXPECT_EQ(result.files_current, c.files_current);
        const int chunks_per_file = static_cast<int>(rig.store.chunks_of("a.txt").size());
        EXPECT_EQ(rig.chunk_requests() - chunks_before, (3 - static_cast<int>(c.files_current)) * chunks_per_file);
    }
}

// On Windows a version that spells a file's name otherwise replaces the same file. Its entry under the old
// spelling goes with it, so that a return to that spelling does not take the new bytes for the old ones.
TEST(DownloaderRun, AnEntryUnderAnotherSpellingGoesWithTheFileItNames) {
    Rig rig;
    const FileMap v1 = {{"Data/Map.bin", pattern(100, 1)}};
    rig.install(v1);
    rig.install({{"data/map.bin", pattern(100, 2)}}, "2.0.0");
    rig.install(v1, "3.0.0");
    rig.expect_files(v1);
}

// A run that installs in place records its files along the way: a crash or a power cut then costs the
// next run little work again. Each save names only files that are on the disk.
TEST(DownloaderRun, ARunInPlaceRecordsItsFilesAlongTheWay) {
    struct Case {
        const char* name;
        std::uint64_t every_ms;
        std::size_t saves; // of the patch state, the run's last included
    };
    const Case cases[] = {{"after each file", 0, 4}, {"not within the hour", 3600000, 1}};
    const FileMap files = {{"a.txt", pattern(100, 1)}, {"b.txt", pattern(100, 2)}, {"c.txt", pattern(100, 5)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.config.record_installed_every_ms = c.every_ms;
        {
            const SavedStateWatch watch(rig.root.path());
            rig.install(files);
        }

        rig.expect_files(files);
        EXPECT_EQ(vouched_wrongly, std::vector<std::string>{});
        EXPECT_EQ(flushes_of(rig.at("patchstate.json.tmp")).size(), c.saves);
    }
}

// A chunk object rests on its file's hash. One that arrives with other bytes fails the file, which is
// assembled again with each chunk checked alone: its objects are fetched again, and each chunk counts once.
TEST(DownloaderRun, AChunkObjectWithOtherBytesIsFetchedAgainAndCheckedAlone) {
    struct Case {
        const char* name;
        bool always; // the store itself holds the other bytes, not only the first answer
        unsigned prefetch_workers;
    };
    const Case cases[] = {{"once", false, 1}, {"once, prefetched", false, 4}, {"always", true, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.config.prefetch_workers = c.prefetch_workers;
        std::vector<std::string> lines;
        rig.config.log = [&](const std::string& line) { lines.push_back(line); };
        rig.store.publish({{"a.txt", pattern(200, 1)}, {"b.txt", pattern(200, 2)}}, rig.options);
        const kyrtest::StoredChunk bad = rig.store.chunks_of("b.txt")[2];
        const std::string other = kyrtest::zstd_compress(pattern(static_cast<std::size_t>(bad.n), 9));
        if (c.always) {
            rig.store.objects[chunk_path(bad.h)] = other;
        } else {
            rig.fetcher.serve_once(chunk_path(bad.h), other);
        }

        const RunResult result = rig.run();

        EXPECT_EQ(result.ok, !c.always) << result.error;
        EXPECT_EQ(rig.fetcher.requests(chunk_path(bad.h)), 2);
        EXPECT_NE(std::find(lines.begin(), lines.end(),
                            "file \"b.txt\": downloaded bytes or those of the installed version differ; "
                            "assembling it again chunk by chunk"),
                  lines.end());
        if (c.always) {
            EXPECT_EQ(result.error, "chunk \"" + bad.h + "\": sha256 mismatch (got \"" +
                                        sha256_hex(pattern(static_cast<std::size_t>(bad.n), 9)) + "\")");
            EXPECT_EQ(rig.file("b.txt"), "<missing>");
            continue;
        }
        EXPECT_EQ(rig.file("b.txt"), pattern(200, 2));
        // a.txt's objects once; b.txt's twice, the first time with the other bytes in one of them.
        const auto stored = [&](const char* file) {
            std::uint64_t bytes = 0;
            for (const kyrtest::StoredChunk& chunk : rig.store.chunks_of(file)) {
                bytes += chunk.z;
            }
            return bytes;
        };
        const std::uint64_t downloaded = stored("a.txt") + 2 * stored("b.txt") - bad.z + other.size();
        EXPECT_EQ(rig.chunk_requests(), 12);
        EXPECT_EQ(result.chunks_obtained, 8u);
        EXPECT_EQ(result.bytes_downloaded, downloaded);
    }
}

// A pack streams into the files, checked by their hashes; a cut transfer resumes where it stopped.
TEST(DownloaderRun, PacksAreUsedFromTheThresholdOnAndTheirFilesChecked) {
    struct Case {
        const char* name;
        std::uint32_t missing_chunks;
        char fault; // m: the manifest claims another hash for the file, x: a pack byte changed, c: body cut short
        std::vector<int> want_phases; // the first ones: a run that fails may end before the last
        int want_chunk_requests, want_pack_requests; // of the first pack, which is the one changed
        std::uint32_t want_packs;                    // downloaded whole and sound, of 4
    };
    const Case cases[] = {
        {"511 missing", 511, ' ', {0, 3}, 511, 0, 0},
        {"512 missing, file differs from the manifest", 512, 'm', {0, 1}, 512, 1, 4},
        {"512 missing, a pack byte changed: the file again chunk by chunk", 512, 'x', {0, 1, 2}, 512, 1, 3},
        {"512 missing, the pack cut short", 512, 'c', {0, 1, 2}, 0, 1, 4},
    };
    const std::string pack_path = "v1/packs/p0-1.0.0.pack";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.options.chunk_size = 4;
        rig.options.pack_chunks = 128;
        const std::string content = pattern(4 * c.missing_chunks, 7); // 4-byte chunks, all distinct
        rig.store.publish({{"Data/counted.bin", content}}, rig.options);
        if (c.fault == 'x') {
            rig.fetcher.serve_once(pack_path, std::string(rig.store.objects.at(pack_path)).replace(9, 1, "!"));
        } else if (c.fault == 'c') {
            rig.fetcher.cut_once(pack_path, 100);
        }
        if (c.fault == 'm') {
            std::string manifest = rig.store.objects.at(rig.store.manifest_path());
            manifest.replace(manifest.find(sha256_hex(content)), 64, std::string(64, 'e'));
            rig.store.put_signed(rig.store.manifest_path(), manifest);
        }
        std::vector<std::uint64_t> shown; // bytes downloaded so far, as reported
        rig.on_progress = [&](int phase, std::uint64_t done_bytes) {
            if (phase != 0) {
                shown.push_back(done_bytes);
            }
        };
        const RunResult result = rig.run();
        EXPECT_EQ(result.ok, c.fault != 'm') << result.error;
        EXPECT_EQ(result.used_pack_index, c.want_pack_requests != 0);
        // Bytes count as they arrive, not only whole packs; never backwards.
        EXPECT_GT(shown.size(), 2u);
        EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
        EXPECT_TRUE(!result.ok || c.fault == 'x' || shown.back() == result.bytes_downloaded);
        EXPECT_TRUE(rig.phases.size() >= c.want_phases.size() &&
                    std::equal(c.want_phases.begin(), c.want_phases.end(), rig.phases.begin()));
        EXPECT_EQ(rig.chunk_requests(), c.want_chunk_requests);
        EXPECT_EQ(rig.fetcher.requests(pack_path), c.want_pack_requests);
        EXPECT_EQ(rig.fetcher.requests(pack_path + "@100"), c.fault == 'c' ? 1 : 0); // resumed where it stopped
        EXPECT_EQ(result.packs_downloaded, c.want_packs);
        EXPECT_EQ(rig.file("Data/counted.bin"), c.fault == 'm' ? "<missing>" : content);
    }
}

// The pack index is requested only when enough chunks are missing once the installed ones are counted
// (beside the reading of the installed version when the chunks its manifest does not list are enough
// already), and a pack streams only when at least half of it is missing.
TEST(DownloaderRun, PacksCountOnlyTheChunksMissingAfterThoseInstalled) {
    struct Case {
        const char* name;
        std::uint32_t installed_chunks, missing_chunks;
        bool want_packs;
        int want_chunk_requests;
    };
    // Packs of 128 chunks in the file's order: the first one holds the installed chunks.
    const Case cases[] = {
        {"511 missing: too few for packs", 100, 511, false, 511},
        {"512 missing, the first pack mostly installed: its other 28 come one by one", 100, 512, true, 28},
        {"512 missing, the first pack mostly missing: it streams", 40, 512, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.options.chunk_size = 4;
        rig.options.pack_chunks = 128;
        // 4-byte chunks, all distinct.
        const std::string content = pattern(4 * (c.installed_chunks + c.missing_chunks), 7);
        rig.install({{"Data/counted.bin", content.substr(0, 4 * c.installed_chunks)}});
        const int chunks_before = rig.chunk_requests();
        rig.options.version = "2.0.0";
        rig.store.publish({{"Data/counted.bin", content}}, rig.options);

        const RunResult result = rig.run();

        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.used_pack_index, c.want_packs);
        EXPECT_EQ(rig.fetcher.requests("v1/packs/index-windows.json"), c.want_packs ? 1 : 0);
        EXPECT_EQ(rig.chunk_requests() - chunks_before, c.want_chunk_requests);
        EXPECT_EQ(rig.file("Data/counted.bin"), content);
    }
}

TEST(DownloaderRun, PatchStateAndPreserveRulesDecideWhatIsFetched) {
    const std::string content = pattern(100, 1);
    const std::string same_size_other = pattern(100, 2);
    struct Case {
        const char* name;
        std::string path;
        const char* entry;   // nullptr: no patch state entry; "": the right hash
        std::string on_disk; // "<missing>": no file
        std::string want_content;
    };
    const Case cases[] = {
        {"entry and size agree: accepted unread", "f.bin", "", same_size_other, same_size_other},
        {"entry agrees, size differs", "f.bin", "", pattern(99, 1), content},
        {"entry names another hash", "f.bin", "0000", same_size_other, content},
        {"no entry, content matches", "f.bin", nullptr, content, content},
        {"preserved and present", "Data/Local/Sub/a.ini", nullptr, "player's own", "player's own"},
        {"preserved but deleted", "Data/Local/a.ini", nullptr, "<missing>", content},
        {"not matching the pattern", "Data/Local/a.txt", nullptr, "player's own", content},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.options.preserve = {"Data/Local/*.ini"};
        rig.store.publish({{c.path, content}}, rig.options);
        if (c.entry != nullptr) {
            PatchState state;
            state.files[c.path] = *c.entry == '\0' ? sha256_hex(content) : c.entry;
            state.save(rig.root.path());
        }
        fs::create_directories(rig.at(c.path).parent_path());
        if (c.on_disk != "<missing>") {
            kyrtest::write_bytes(rig.at(c.path), c.on_disk);
        }
        const RunResult result = rig.run();
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(rig.file(c.path), c.want_content);
        EXPECT_EQ(result.files_written, c.want_content == c.on_disk ? 0u : 1u);
    }
}

// Removals follow the signed manifest of the installed version only: the copy in the game folder is
// written by whatever can write there. Whatever a removal changed is on the disk before the patch state.
TEST(DownloaderRun, DroppedFilesAreRemovedOnlyWhenAskedAndOnlyAsInstalled) {
    enum class Copy { signed_copy, unsigned_copy, forged, other_platform };
    struct Case {
        const char* name;
        bool remove_dropped;
        bool transactional;
        Copy copy; // of the installed version's manifest when version 2 runs
    };
    const Case cases[] = {{"not asked", false, false, Copy::signed_copy},
                          {"direct", true, false, Copy::signed_copy},
                          {"transactional", true, true, Copy::signed_copy},
                          {"older install without a signature", true, false, Copy::unsigned_copy},
                          {"forged copy listing the player's file", true, false, Copy::forged},
                          {"signed for another platform", true, true, Copy::other_platform}};
    const std::string apk = pattern(60, 10);
    const std::string renamed = pattern(40, 11);
    const std::string linked = pattern(50, 12);
    const FileMap v1 = {{"Main.exe", pattern(100, 1)},
                        {"KyrLauncher.exe", pattern(100, 9)},
                        {"Data/Old/script.lua", pattern(70, 2)},
                        {"Data/Old/Deep/lib.dll", pattern(70, 3)},
                        {"Data/changed.cfg", pattern(70, 4)},
                        {"Data/Local/opt.ini", pattern(70, 6)},
                        {"client/valdra7q.apk", apk},
                        {"Data/\xc3\x84.txt", renamed},
                        {"Data/Linked/x.dat", linked}};
    const FileMap v2 = {{"Main.exe", pattern(100, 7)},
                        {"Data/new.bin", pattern(70, 8)},
                        {"client/valdra7q.apk", apk},
                        {"Data/\xc3\xa4.txt", renamed}}; // only the case of its name changed
    const std::string mine = "the player's own file";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.config.remove_dropped = c.remove_dropped;
        rig.config.transactional = c.transactional;
        rig.config.running_program = "KyrLauncher.exe"; // dropped by version 2, yet it stays
        rig.options.preserve = {"Data/Local/*.ini"};
        rig.install(v1);
        // The player's edit keeps the size and the patch state still records the installed hash: only the
        // bytes tell that the file is no longer as installed.
        kyrtest::write_bytes(rig.at("Data/changed.cfg"), pattern(70, 5));
        kyrtest::write_bytes(rig.at("Data/Old/mine.txt"), mine);
        // The run skips the package on this platform; the player got it elsewhere.
        fs::create_directories(rig.at("client"));
        kyrtest::write_bytes(rig.at("client/valdra7q.apk"), apk);
        // A dropped file's folder swapped for a link to a folder outside that holds the same bytes.
        const fs::path outside = rig.root.path().parent_path() / "outside";
        fs::create_directories(outside);
        kyrtest::write_bytes(outside / "x.dat", linked);
        fs::remove_all(rig.at("Data/Linked"));
        ASSERT_NE(kyrtest::plant_link(rig.at("Data/Linked"), outside), kyrtest::PlantedLink::none);
        if (c.copy == Copy::unsigned_copy) {
            fs::remove(rig.at("patchstate.manifest.json.sig"));
        } else if (c.copy != Copy::signed_copy) {
            // A copy that names the player's file with its true size and hash, signed by another key or
            // by the right one for another platform.
            StoreOptions options = rig.options;
            options.platform = c.copy == Copy::forged ? options.platform : "windows-x64";
            FileMap listed = v1;
            listed["Data/Old/mine.txt"] = mine;
            rig.store.publish(listed, options);
            const std::string text = rig.store.objects.at(rig.store.manifest_path());
            const kyrtest::TestSigner forger({1, 2, 3});
            kyrtest::write_bytes(rig.at("patchstate.manifest.json"), text);
            kyrtest::write_bytes(rig.at("patchstate.manifest.json.sig"),
                                 c.copy == Copy::forged ? forger.sign_base64(text)
                                                        : rig.store.objects.at(rig.store.manifest_path() + ".sig"));
        }
        rig.options.preserve = {"Data/Old/*.lua"};
        rig.options.version = "2.0.0";
        rig.store.publish(v2, rig.options);
        flushes.clear();
        flush_observer = [](const fs::path& path, Flush) {
            const std::lock_guard<std::mutex> held(flushes_lock);
            flushes.push_back(path.lexically_relative(path.root_path()));
        };
        const RunResult result = rig.run();
        flush_observer = nullptr;
        ASSERT_TRUE(result.ok) << result.error;

        const bool removed = c.remove_dropped && c.copy == Copy::signed_copy;
        rig.expect_files(v2);
        EXPECT_TRUE(fs::exists(rig.at("Data/Old/script.lua")));   // preserved by the new version
        EXPECT_EQ(fs::exists(rig.at("Data/Old/Deep")), !removed); // emptied, so removed with its file
        EXPECT_EQ(rig.file("KyrLauncher.exe"), pattern(100, 9));
        EXPECT_EQ(rig.file("Data/changed.cfg"), pattern(70, 5));
        EXPECT_EQ(rig.file("Data/Old/mine.txt"), mine);
        EXPECT_TRUE(fs::exists(rig.at("Data/Local/opt.ini"))); // preserved by the version that installed it
        EXPECT_EQ(rig.file("client/valdra7q.apk"), apk);
        EXPECT_EQ(kyrtest::read_bytes(outside / "x.dat"), linked);
        kyrtest::remove_planted_link(rig.at("Data/Linked"));
        // One file on Windows, two natively: either way the name the old version used still opens it.
        EXPECT_EQ(rig.file("Data/\xc3\x84.txt"), renamed);
        const std::ptrdiff_t folder = flushed_at(rig.at("Data/Old"), -1);
        EXPECT_EQ(folder >= 0, removed);                                 // it lost "Deep"
        EXPECT_GE(flushed_at(rig.at("patchstate.json.tmp"), folder), 0); // the state is saved after it
        // Whatever the installed copy was, the one saved now proves itself.
        EXPECT_TRUE(load_previous_manifest(rig.root.path(), rig.config.pubkey_b64, "valdra7q", "windows-x86").proven);
    }
}

// Version 2 has a folder where version 1 has a file, or the reverse. What version 1 installed goes out of
// the way, in place and at the commit; anything of the player's there stops the run before anything is
// removed, and says where.
TEST(DownloaderRun, APathThatChangesKindInstallsUnlessThePlayersFileIsInTheWay) {
    const FileMap file_v1 = {{"Main.exe", pattern(100, 1)}, {"Data/x", pattern(70, 2)}};
    const FileMap file_v2 = {{"Main.exe", pattern(100, 1)}, {"Data/x/a.txt", pattern(70, 3)}};
    const FileMap folder_v1 = {{"Data/x/a.txt", pattern(70, 4)}, {"Data/x/Deep/b.txt", pattern(70, 5)}};
    const FileMap folder_v2 = {{"Data/x", pattern(70, 6)}};
    struct Case {
        const char* name;
        const FileMap& v1;
        const FileMap& v2;
        bool transactional;
        const char* players;    // a file of the player's put there after version 1, or nullptr
        const char* want_error; // how the message names what is in the way; nullptr: installs
        bool link = false;      // players is a link to an empty folder outside the game, not a file
    };
    const char* changed_file = R"(the file "Data/x" stands where the new version has a folder, and it is not)";
    const char* foreign_in_folder =
        R"(the folder "Data/x" stands where the new version has a file, and "Data/x/Deep/mine.txt" is not)";
    const Case cases[] = {
        {"file to folder", file_v1, file_v2, false, nullptr, nullptr},
        {"file to folder, transactional", file_v1, file_v2, true, nullptr, nullptr},
        {"folder to file", folder_v1, folder_v2, false, nullptr, nullptr},
        {"folder to file, transactional", folder_v1, folder_v2, true, nullptr, nullptr},
        {"the player changed the file", file_v1, file_v2, false, "Data/x", changed_file},
        {"the player changed the file, transactional", file_v1, file_v2, true, "Data/x", changed_file},
        {"the player's file in the folder", folder_v1, folder_v2, false, "Data/x/Deep/mine.txt", foreign_in_folder},
        {"the player's file in the folder, transactional", folder_v1, folder_v2, true, "Data/x/Deep/mine.txt",
         foreign_in_folder},
        {"a link in the folder", folder_v1, folder_v2, false, "Data/x/Deep/link",
         R"(the folder "Data/x" stands where the new version has a file, and "Data/x/Deep/link" is not)", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.config.transactional = c.transactional;
        rig.install(c.v1);
        kyrtest::ScratchFolder outside;
        if (c.link && kyrtest::plant_link(rig.at(c.players), outside.path()) == kyrtest::PlantedLink::none) {
            continue; // this system cannot make one
        }
        if (c.players != nullptr && !c.link) {
            kyrtest::write_bytes(rig.at(c.players), "the player's own file");
        }
        rig.options.version = "2.0.0";
        rig.store.publish(c.v2, rig.options);

        const RunResult result = rig.run();

        if (c.want_error == nullptr) {
            ASSERT_TRUE(result.ok) << result.error;
            rig.expect_files(c.v2);
            continue;
        }
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.error.find(c.want_error), std::string::npos) << result.error;
        for (const auto& [path, content] : c.v1) {
            EXPECT_EQ(rig.file(path), path == c.players ? "the player's own file" : content) << path;
        }
        if (c.link) {
            kyrtest::remove_planted_link(rig.at(c.players));
        } else {
            EXPECT_EQ(rig.file(c.players), "the player's own file");
        }
    }
}

// A link planted at one of the engine's own names points out of the game folder, at a file (where links
// to files show) or a folder: the run never writes through it, removes it as a link and installs. Where
// it cannot be removed (Wine) the run fails instead, unless the file is one it can do without.
TEST(DownloaderRun, NeverWritesThroughALinkAtItsOwnNames) {
    struct Case {
        const char* name;
        const char* link; // relative to the game folder
        bool folder_name;
        bool packs;
        bool transactional;
        bool ok_when_unremovable;
    };
    const Case cases[] = {
        {"a file's part", "Data/a.bin.updpart", false, false, false, false},
        {"the stage", ".updstage", true, false, true, false},
        {"an older version's pack folder", ".updpacks", true, true, false, true},
        {"the done marker", ".update_done", false, false, false, true},
        {"the patch state's temporary", "patchstate.json.tmp", false, false, false, false},
        {"the previous manifest's temporary", "patchstate.manifest.json.tmp", false, false, false, true},
    };
    const FileMap files = {{"Main.exe", pattern(300, 1)}, {"Data/a.bin", pattern(300, 2)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.config.transactional = c.transactional;
        rig.config.pack_min_chunks = c.packs ? 1 : 0;
        rig.options.pack_chunks = 2;
        rig.store.publish(files, rig.options);
        const fs::path outside = rig.root.path().parent_path() / "outside";
        const fs::path outside_file = rig.root.path().parent_path() / "outside.bin";
        // Named as the first pack: removing the old pack folder through the link would delete it.
        const fs::path outside_pack = outside / "p0-1.0.0.pack";
        fs::create_directories(outside);
        kyrtest::write_bytes(outside_pack, "keep");
        kyrtest::write_bytes(outside_file, "keep");
        fs::create_directories(rig.at(c.link).parent_path());
        const bool to_folder = c.folder_name || !kyrtest::file_links_show();
        const kyrtest::PlantedLink planted = kyrtest::plant_link(rig.at(c.link), to_folder ? outside : outside_file);
        ASSERT_NE(planted, kyrtest::PlantedLink::none);
        const bool removable = planted == kyrtest::PlantedLink::removable;

        const RunResult result = rig.run();

        EXPECT_EQ(result.ok, removable || c.ok_when_unremovable) << result.error;
        EXPECT_EQ(kyrtest::read_bytes(outside_file), "keep");
        EXPECT_EQ(kyrtest::read_bytes(outside_pack), "keep");
        EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
        if (result.ok) {
            rig.expect_files(files);
            EXPECT_FALSE(is_link(rig.at("Data/a.bin")));
            EXPECT_EQ(result.packs_downloaded, c.packs ? 5u : 0u);
        }
        if (removable) {
            EXPECT_FALSE(is_link(rig.at(c.link)));
            EXPECT_EQ(rig.file(".update_done"), "1.0.0");
        }
        kyrtest::remove_planted_link(rig.at(c.link));
    }
}

// The player moved the Data folder to another drive and linked it back: the update follows that link.
TEST(DownloaderRun, InstallsThroughThePlayersOwnLinkedFolder) {
    for (const bool transactional : {false, true}) {
        SCOPED_TRACE(transactional ? "transactional" : "direct");
        Rig rig;
        rig.config.transactional = transactional;
        const fs::path other_drive = rig.root.path().parent_path() / "other drive";
        fs::create_directories(other_drive);
        ASSERT_NE(kyrtest::plant_link(rig.at("Data"), other_drive), kyrtest::PlantedLink::none);
        const FileMap files = {{"Main.exe", pattern(100, 1)}, {"Data/Local/a.bin", pattern(100, 2)}};
        rig.install(files);
        rig.expect_files(files);
        EXPECT_TRUE(is_link(rig.at("Data")));
        EXPECT_EQ(kyrtest::read_bytes(other_drive / "Local" / "a.bin"), pattern(100, 2));
        kyrtest::remove_planted_link(rig.at("Data"));
    }
}

} // namespace
