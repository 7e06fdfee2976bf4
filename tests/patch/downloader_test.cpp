#include "patch/downloader.hpp"

#include "patch/chunk_fetch.hpp"
#include "patch/durable_file.hpp"
#include "patch/local_path.hpp"
#include "patch/patch_state.hpp"
#include "patch/sha256.hpp"
#include "support/scratch_folder.hpp"
#include "support/test_store.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <mutex>
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.config.transactional = c.transactional;
        rig.config.prefetch_workers = c.prefetch_workers;
        flushes.clear();
        flush_observer = [](const fs::path& path, Flush) {
            const std::lock_guard<std::mutex> held(flushes_lock);
            flushes.push_back(path.lexically_relative(path.root_path()));
        };
        rig.install(v1);
        flush_observer = nullptr;
        rig.expect_files(v1);
        const std::ptrdiff_t state = flushed_at(rig.at("patchstate.json.tmp"), -1);
        for (const auto& [path, folder] : {std::pair{"Main.exe", ""}, std::pair{"Data/big.bin", "Data"}}) {
            SCOPED_TRACE(path);
            const std::ptrdiff_t file =
                flushed_at(rig.at((c.transactional ? ".updstage/" : "") + std::string(path) + ".updpart"), -1);
            const std::ptrdiff_t after = flushed_at(*folder == '\0' ? rig.root.path() : rig.at(folder), file);
            EXPECT_GE(file, 0);
            EXPECT_GT(after, file);
            EXPECT_LT(after, state);
        }
        EXPECT_EQ(rig.fetcher.requests(chunk_path(sha256_hex(repeated))), 1);
        EXPECT_EQ(PatchState::load(rig.root.path()).files.at("Data/big.bin"), sha256_hex(big));
        EXPECT_EQ(rig.file(".update_done"), "1.0.0");
        const int chunks_before = rig.chunk_requests();

        rig.options.version = "2.0.0";
        rig.store.publish(v2, rig.options);
        const RunResult result = rig.run();

        ASSERT_TRUE(result.ok) << result.error;
        rig.expect_files(v2);
        EXPECT_EQ(result.files_installed, 2u);
        EXPECT_EQ(result.files_current, 3u);
        EXPECT_EQ(rig.chunk_requests() - chunks_before, 2);
        EXPECT_EQ(PatchState::load(rig.root.path()).version, "2.0.0");
        EXPECT_EQ(rig.file(".update_done"), "2.0.0");
        EXPECT_FALSE(fs::exists(rig.at(".updstage")));
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
             rig.fetcher.serve_once(chunk_path(bad.h), kyrtest::zstd_compress(other));
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

TEST(DownloaderRun, PacksAreUsedFromTheThresholdOnAndTheirFilesChecked) {
    struct Case {
        const char* name;
        std::uint32_t missing_chunks;
        bool pack_lies; // the manifest claims another hash for the file
        bool want_used;
        std::vector<int> want_phases;
    };
    const Case cases[] = {
        {"511 missing", 511, false, false, {0, 3}},
        {"512 missing", 512, false, true, {0, 1, 2}},
        {"512 missing, file differs from the manifest", 512, true, true, {0, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.options.chunk_size = 4;
        rig.options.pack_chunks = 128;
        const std::string content = pattern(4 * c.missing_chunks, 7); // 4-byte chunks, all distinct
        rig.store.publish({{"Data/counted.bin", content}}, rig.options);
        if (c.pack_lies) {
            std::string manifest = rig.store.objects.at(rig.store.manifest_path());
            manifest.replace(manifest.find(sha256_hex(content)), 64, std::string(64, 'e'));
            rig.store.put_signed(rig.store.manifest_path(), manifest);
        }
        const RunResult result = rig.run();
        EXPECT_EQ(result.ok, !c.pack_lies) << result.error;
        EXPECT_EQ(result.used_pack_index, c.want_used);
        EXPECT_EQ(rig.phases, c.want_phases);
        EXPECT_EQ(rig.chunk_requests(), c.want_used ? 0 : static_cast<int>(c.missing_chunks));
        EXPECT_EQ(rig.file("Data/counted.bin"), c.pack_lies ? "<missing>" : content);
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
        {"preserved and present", "Data/Local/a.ini", nullptr, "player's own", "player's own"},
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
        if (c.on_disk != "<missing>") {
            fs::create_directories(rig.at(c.path).parent_path());
            kyrtest::write_bytes(rig.at(c.path), c.on_disk);
        }
        const RunResult result = rig.run();
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(rig.file(c.path), c.want_content);
        EXPECT_EQ(result.files_installed, c.want_content == c.on_disk ? 0u : 1u);
    }
}

TEST(DownloaderRun, DroppedFilesAreRemovedOnlyWhenAskedAndOnlyAsInstalled) {
    struct Case {
        const char* name;
        bool remove_dropped;
        bool transactional;
    };
    const Case cases[] = {{"not asked", false, false}, {"direct", true, false}, {"transactional", true, true}};
    const FileMap v1 = {{"Main.exe", pattern(100, 1)},           {"KyrLauncher.exe", pattern(100, 9)},
                        {"Data/Old/script.lua", pattern(70, 2)}, {"Data/Old/Deep/lib.dll", pattern(70, 3)},
                        {"Data/changed.cfg", pattern(70, 4)},    {"Data/Local/opt.ini", pattern(70, 6)}};
    const FileMap v2 = {{"Main.exe", pattern(100, 7)}, {"Data/new.bin", pattern(70, 8)}};
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
        kyrtest::write_bytes(rig.at("Data/Old/mine.txt"), "the player's own file");
        rig.options.preserve = {};
        rig.install(v2, "2.0.0");

        rig.expect_files(v2);
        EXPECT_EQ(fs::exists(rig.at("Data/Old/script.lua")), !c.remove_dropped);
        EXPECT_EQ(fs::exists(rig.at("Data/Old/Deep")), !c.remove_dropped); // emptied, so removed with its file
        EXPECT_EQ(rig.file("KyrLauncher.exe"), pattern(100, 9));
        EXPECT_EQ(rig.file("Data/changed.cfg"), pattern(70, 5));
        EXPECT_EQ(rig.file("Data/Old/mine.txt"), "the player's own file");
        EXPECT_TRUE(fs::exists(rig.at("Data/Local/opt.ini"))); // preserved by the version that installed it
    }
}

} // namespace
