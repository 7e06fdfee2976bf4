#include "patch/pack_cache.hpp"

#include "patch/atomic_file.hpp"
#include "patch/errors.hpp"
#include "patch/sha256.hpp"
#include "support/planted_link.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace gu::patch;
namespace fs = std::filesystem;
using kyrtest::read_bytes;
using kyrtest::write_bytes;

#ifdef _WIN32
constexpr bool kCanLinkToFiles = false; // it takes a privilege there
#else
constexpr bool kCanLinkToFiles = true;
#endif

const std::string kProbe = "v1/channels/windows.json";
const std::string kMissing = "<missing>";

// A pack server whose transfers follow a script, one letter per transfer (the last one repeats):
//   w  the rest of the pack from the offset (206), or all of it for offset 0
//   c  forty bytes of the range, then the connection breaks (FetchError)
//   i  the whole pack from the start whatever the offset (a server ignoring Range)
//   s  the range without the pack's last byte, no error
//   x  the range with its last byte changed
//   r  HTTP 503 before any byte
//   d  LocalWriteError before any byte
class FakePackServer : public Fetcher {
public:
    std::string get(const std::string& path, std::uint64_t) override {
        probes.push_back(path);
        if (!store_answers) {
            throw FetchError("HTTP 503 probe");
        }
        return "{}";
    }
    void download(const std::string& path, const std::string& dest_file) override {
        transfer("dl", path, dest_file, 0);
    }
    bool supports_resume() override { return resume; }
    void download_from(const std::string& path, const std::string& dest_file, std::uint64_t offset) override {
        transfer("@" + std::to_string(offset), path, dest_file, offset);
    }

    bool resume = true;
    bool store_answers = true;
    std::string script = "w";
    std::map<std::string, std::string> packs; // store path -> body
    std::string calls;                        // "@0 @40", or "dl dl" for download()
    std::vector<std::string> probes;
    std::vector<std::string> dest_files;

private:
    void transfer(const std::string& call, const std::string& path, const std::string& dest_file,
                  std::uint64_t offset) {
        calls += (calls.empty() ? "" : " ") + call;
        dest_files.push_back(dest_file);
        const char step = script.front();
        if (script.size() > 1) {
            script.erase(0, 1);
        }
        if (step == 'r') {
            throw FetchError("HTTP 503");
        }
        if (step == 'd') {
            throw LocalWriteError("disk full");
        }
        if (step == 'i') {
            offset = 0;
        }
        std::string bytes = packs.at(path).substr(static_cast<std::size_t>(offset));
        if (step == 'c') {
            bytes.resize(std::min<std::size_t>(bytes.size(), 40));
        } else if (step == 's') {
            bytes.pop_back();
        } else if (step == 'x') {
            bytes.back() = static_cast<char>(bytes.back() ^ 0x55);
        }
        write_bytes(dest_file, (offset == 0 ? std::string() : read_bytes(dest_file)) + bytes);
        if (step == 'c') {
            throw FetchError("connection reset");
        }
    }
};

class VirtualClock : public WaitClock {
public:
    std::uint64_t now_ms() override { return now; }
    void pause_ms(std::uint32_t ms) override { now += ms; }
    std::uint64_t now = 0;
};

std::string pack_of(std::size_t size, std::size_t seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 31 + seed * 7) % 251);
    }
    return bytes;
}

std::string attempt(int t, int of, const std::string& what, std::uint64_t offset, std::uint64_t disk) {
    return "pack p0 attempt " + std::to_string(t) + "/" + std::to_string(of) + " failed: " + what + " (offset " +
           std::to_string(offset) + ", on disk " + std::to_string(disk) + "/100)";
}

// A pack cache over a scratch folder with two packs, p0 (100 bytes) and p1 (64 bytes), a store wait of one
// virtual second between transfers, and a store that answers the probe.
class Rig {
public:
    Rig() {
        add_pack("p0", pack_of(100, 1));
        add_pack("p1", pack_of(64, 2));
        config.store_wait_ladder_ms = {1000};
        config.log = [this](const std::string& line) { lines.push_back(line); };
        fs::create_directories(dir);
    }

    void add_pack(const std::string& name, const std::string& bytes) {
        index.packs.push_back({name, bytes.size(), sha256_hex(bytes)});
        contents.push_back(bytes);
        fetcher.packs["v1/packs/" + name] = bytes;
    }
    std::string parked(std::uint32_t pack) const {
        return index.packs[pack].name + "." + index.packs[pack].sha256.substr(0, 8) + ".part";
    }
    std::string file(const std::string& name) const { return read_bytes(dir / name); }

    // What the cache made of the pack, as one word or the error.
    std::string obtain(std::uint32_t pack, bool for_chunk = false) {
        try {
            const std::optional<fs::path> path = for_chunk ? cache.pack_for_chunk(pack) : cache.local_pack_path(pack);
            if (path) {
                EXPECT_EQ(*path, dir / index.packs[pack].name);
                EXPECT_EQ(read_bytes(*path), contents[pack]);
                return "ready";
            }
            return cache.demoted.count(pack) != 0 ? "demoted" : cache.excluded.count(pack) != 0 ? "excluded" : "none";
        } catch (const LocalWriteError& e) {
            return std::string("local write: ") + e.what();
        } catch (const std::exception& e) {
            return std::string("error: ") + e.what();
        }
    }

    kyrtest::ScratchFolder scratch;
    fs::path dir = scratch / ".updpacks";
    PackIndex index;
    std::vector<std::string> contents;
    DownloaderConfig config;
    std::vector<std::string> lines;
    FakePackServer fetcher;
    VirtualClock clock;
    StoreRetry store{fetcher, config, kProbe, clock};
    std::uint64_t bytes_downloaded = 0;
    std::uint32_t packs_downloaded = 0;
    PackCache cache{index, dir, fetcher, config, store, {bytes_downloaded, packs_downloaded}};
};

TEST(PackCache, DownloadsVerifiesAndAccountsEachPackOnce) {
    Rig rig;
    EXPECT_EQ(rig.obtain(0), "ready");
    EXPECT_EQ(rig.obtain(0), "ready");
    EXPECT_EQ(rig.obtain(1), "ready");
    EXPECT_EQ(rig.fetcher.calls, "@0 @0");
    EXPECT_EQ(rig.fetcher.dest_files.front(), (rig.dir / "current.part").string());
    EXPECT_EQ(rig.cache.used_packs, (std::vector<std::uint32_t>{0, 1}));
    EXPECT_EQ(rig.cache.pack_bytes, 164u);
    EXPECT_EQ(rig.packs_downloaded, 2u);
    EXPECT_EQ(rig.bytes_downloaded, 164u);
    EXPECT_EQ(rig.file("current.part"), kMissing);
    EXPECT_EQ(rig.file("current.part.owner"), kMissing);
    EXPECT_TRUE(rig.lines.empty());
}

TEST(PackCache, FailedTransfersAreRetriedThenDemoted) {
    struct Case {
        std::string name;
        bool resume;
        std::uint32_t max_transfers;
        std::string script;
        std::string want;
        std::string want_calls;
        std::uint64_t want_bytes; // pack size minus the offset of the transfer that completed it
        std::vector<std::string> want_lines;
    };
    std::vector<std::string> six_short;
    for (int t = 1; t <= 6; ++t) {
        six_short.push_back(attempt(t, 6, "pack size mismatch (99 != 100)", t == 1 ? 0 : 99, 99));
    }
    six_short.push_back("pack p0 demoted to per-chunk (6 transfers max, 5 s waited)");
    const std::string cut = attempt(1, 6, "connection reset", 0, 40);

    const std::vector<Case> cases = {
        {"cut connection resumes", true, 6, "cw", "ready", "@0 @40", 60, {cut}},
        {"server ignoring Range still verifies", true, 6, "ci", "ready", "@0 @40", 60, {cut}},
        {"body ending early resumes", true, 6, "sw", "ready", "@0 @99", 1,
         {attempt(1, 6, "pack size mismatch (99 != 100)", 0, 99)}},
        {"one byte short every time", true, 6, "s", "demoted", "@0 @99 @99 @99 @99 @99", 0, six_short},
        {"without resume a short body starts over", false, 6, "sw", "ready", "dl dl", 100,
         {attempt(1, 6, "pack size mismatch (99 != 100)", 0, 99)}},
        {"corrupt pack is fetched afresh",
         true,
         6,
         "xw",
         "ready",
         "@0 @0",
         100,
         {attempt(1, 6, "pack sha mismatch", 0, 100)}},
        {"without resume every transfer starts over", false, 6, "cw", "ready", "dl dl", 100, {cut}},
        {"zero transfers count as one",
         true,
         0,
         "r",
         "demoted",
         "@0",
         0,
         {attempt(1, 1, "HTTP 503", 0, 0), "pack p0 demoted to per-chunk (1 transfers max, 0 s waited)"}},
        {"local write failure stops at once",
         true,
         6,
         "d",
         "local write: disk full",
         "@0",
         0,
         {"pack p0 local write failed, stopping: disk full"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.fetcher.resume = c.resume;
        rig.fetcher.script = c.script;
        rig.config.pack_max_transfers = c.max_transfers;
        EXPECT_EQ(rig.obtain(0), c.want);
        EXPECT_EQ(rig.fetcher.calls, c.want_calls);
        EXPECT_EQ(rig.bytes_downloaded, c.want_bytes);
        EXPECT_EQ(rig.packs_downloaded, c.want == "ready" ? 1u : 0u);
        EXPECT_EQ(rig.lines, c.want_lines);
        if (c.want == "ready" || c.want == "demoted") {
            EXPECT_EQ(rig.file("current.part"), kMissing);
            EXPECT_EQ(rig.file("current.part.owner"), kMissing);
        }
    }
}

TEST(PackCache, DemotionParksTheProgressForTheSecondChance) {
    Rig rig;
    rig.config.pack_max_transfers = 2;
    rig.fetcher.script = "ccw";
    EXPECT_EQ(rig.obtain(0), "demoted");
    EXPECT_EQ(rig.file("current.part"), kMissing);
    EXPECT_EQ(rig.file("current.part.owner"), kMissing);
    EXPECT_EQ(rig.file(rig.parked(0)), rig.contents[0].substr(0, 80));

    EXPECT_EQ(rig.obtain(0, true), "ready");
    EXPECT_EQ(rig.fetcher.calls, "@0 @40 @80");
    EXPECT_EQ(rig.bytes_downloaded, 20u);
    EXPECT_EQ(rig.file(rig.parked(0)), kMissing);
    EXPECT_EQ(rig.lines, (std::vector<std::string>{
                             attempt(1, 2, "connection reset", 0, 40),
                             attempt(2, 2, "connection reset", 40, 80),
                             "pack p0 demoted to per-chunk (2 transfers max, 1 s waited)",
                             "pack p0 second chance: retrying the whole pack before per-chunk",
                         }));
}

TEST(PackCache, SecondChanceIsGivenAtMostOnce) {
    for (const bool allowed : {true, false}) {
        SCOPED_TRACE(allowed);
        Rig rig;
        rig.config.pack_max_transfers = 3;
        rig.config.pack_second_chance = allowed;
        rig.fetcher.script = "r";
        EXPECT_EQ(rig.obtain(0), "demoted");
        EXPECT_EQ(rig.obtain(0, true), "demoted");
        EXPECT_EQ(rig.obtain(0, true), "demoted");
        EXPECT_EQ(rig.obtain(0), "demoted");
        EXPECT_EQ(rig.fetcher.calls, allowed ? "@0 @0 @0 @0 @0 @0" : "@0 @0 @0");
        EXPECT_EQ(std::count(rig.lines.begin(), rig.lines.end(),
                             "pack p0 second chance: retrying the whole pack before per-chunk"),
                  allowed ? 1 : 0);
    }
}

TEST(PackCache, FilesLeftByEarlierRuns) {
    using Files = std::vector<std::pair<std::string, std::string>>; // "$" names p0's parked partial
    struct Case {
        std::string name;
        bool resume;
        Files before;
        std::string want_calls;
        Files want_after;
        std::uint64_t want_bytes;
    };
    const Rig names;
    const std::string p0 = names.contents[0];
    const std::string half = p0.substr(0, 50);
    const std::string owner = "p0 " + names.index.packs[0].sha256;
    const std::string part = "current.part";
    const std::string own = "current.part.owner";
    const std::vector<Case> cases = {
        {"active partial of its owner resumes",
         true,
         {{part, half}, {own, owner}},
         "@50",
         {{part, kMissing}, {own, kMissing}},
         50},
        {"owner of another version", true, {{part, half}, {own, "p0 " + std::string(64, 'e')}}, "@0", {}, 100},
        {"owner of another pack", true, {{part, half}, {own, "p1 " + names.index.packs[1].sha256}}, "@0", {}, 100},
        {"owner text with a tail", true, {{part, half}, {own, owner + "\n"}}, "@0", {}, 100},
        {"partial as long as the pack", true, {{part, std::string(100, 'x')}, {own, owner}}, "@0", {}, 100},
        {"partial without resume", false, {{part, half}, {own, owner}}, "dl", {}, 100},
        {"parked partial of this version resumes", true, {{"$", half}}, "@50", {{"$", kMissing}}, 50},
        {"parked partial waits while resume is off", false, {{"$", half}}, "dl", {{"$", half}}, 100},
        {"complete file is used as it is", true, {{"p0", p0}}, "", {{"p0", p0}}, 0},
        {"corrupted complete file is replaced", true, {{"p0", std::string(100, 'x')}}, "@0", {{"p0", p0}}, 100},
        {"truncated complete file is replaced", true, {{"p0", p0.substr(0, 10)}}, "@0", {{"p0", p0}}, 100},
        {"only partials of this pack's shape are stale",
         true,
         {{"p0.deadbeef.part", "old"},
          {"p1.deadbeef.part", "p1"},
          {"p0.b.deadbeef.part", "p0.b"},
          {"p0.deadbeeg.part", "?"}},
         "@0",
         {{"p0.deadbeef.part", kMissing},
          {"p1.deadbeef.part", "p1"},
          {"p0.b.deadbeef.part", "p0.b"},
          {"p0.deadbeeg.part", "?"}},
         100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.fetcher.resume = c.resume;
        const auto name_of = [&rig](const std::string& name) { return name == "$" ? rig.parked(0) : name; };
        for (const auto& [name, bytes] : c.before) {
            write_bytes(rig.dir / name_of(name), bytes);
        }
        EXPECT_EQ(rig.obtain(0), "ready");
        EXPECT_EQ(rig.fetcher.calls, c.want_calls);
        for (const auto& [name, bytes] : c.want_after) {
            EXPECT_EQ(rig.file(name_of(name)), bytes) << name;
        }
        EXPECT_EQ(rig.bytes_downloaded, c.want_bytes);
        EXPECT_EQ(rig.packs_downloaded, c.want_calls.empty() ? 0u : 1u);
        EXPECT_EQ(rig.cache.used_packs, std::vector<std::uint32_t>{0});
        EXPECT_EQ(rig.cache.pack_bytes, 100u);
        const bool stale = c.before.front().first == "p0.deadbeef.part";
        EXPECT_EQ(rig.lines, stale ? std::vector<std::string>{"pack p0 stale partial p0.deadbeef.part discarded"}
                                   : std::vector<std::string>{});
    }
}

// A link planted under a partial's name is never followed: a stale one goes as a link, and a parked
// partial that is a link is not resumed into (that would write wherever it points).
TEST(PackCache, LinksUnderPartialNamesAreNeverFollowed) {
    Rig rig;
    const fs::path outside = rig.scratch / "outside";
    fs::create_directories(outside);
    write_bytes(outside / "keep.txt", "keep");
    const fs::path stale = rig.dir / "p0.deadbeef.part";
    const kyrtest::PlantedLink planted = kyrtest::plant_link(stale, outside);
    if (planted == kyrtest::PlantedLink::none) {
        GTEST_SKIP() << "this system cannot make a link";
    }
    const std::string victim = rig.contents[0].substr(0, 50);
    if (kCanLinkToFiles) {
        write_bytes(outside / "victim", victim);
        fs::create_symlink(outside / "victim", rig.dir / rig.parked(0));
    }

    EXPECT_EQ(rig.obtain(0), "ready");
    EXPECT_EQ(read_bytes(outside / "keep.txt"), "keep");
    if (planted == kyrtest::PlantedLink::removable) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(stale)));
        EXPECT_EQ(rig.lines, std::vector<std::string>{"pack p0 stale partial p0.deadbeef.part discarded"});
    }
    if (kCanLinkToFiles) {
        EXPECT_EQ(read_bytes(outside / "victim"), victim);
        EXPECT_EQ(rig.fetcher.calls, "@0");
    }
    kyrtest::remove_planted_link(stale);
}

TEST(PackCache, UnreachableStoreBetweenTransfersEndsInDemotion) {
    Rig rig;
    rig.config.store_wait_budget_ms = 2500;
    rig.fetcher.store_answers = false;
    rig.fetcher.script = "r";
    EXPECT_EQ(rig.obtain(0), "demoted");
    EXPECT_EQ(rig.fetcher.calls, "@0");
    EXPECT_EQ(rig.fetcher.probes, (std::vector<std::string>{kProbe, kProbe}));
    EXPECT_EQ(rig.lines, (std::vector<std::string>{
                             attempt(1, 6, "HTTP 503", 0, 0),
                             "pack p0: store unreachable after 1 s of waiting (budget 2 s)",
                             "pack p0: store unreachable after 2 s of waiting (budget 2 s)",
                             "pack p0 giving up: 2 s waited, 1 transfer(s)",
                             "pack p0 demoted to per-chunk (6 transfers max, 2 s waited)",
                         }));
}

TEST(PackCache, CancelStopsBeforeATransferAndAfterAWait) {
    struct Case {
        std::string name;
        std::uint64_t cancel_at; // virtual time from which cancel says true
        std::string want_calls;
    };
    for (const Case& c : std::vector<Case>{{"before the first transfer", 0, ""}, {"during the wait", 500, "@0"}}) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.fetcher.script = "r";
        rig.config.cancel = [&rig, &c] { return rig.clock.now >= c.cancel_at; };
        EXPECT_EQ(rig.obtain(0), "error: cancelled");
        EXPECT_EQ(rig.fetcher.calls, c.want_calls);
        EXPECT_TRUE(rig.cache.demoted.empty());
    }
}

TEST(PackCache, EntriesThatCannotNameACacheFileAreExcluded) {
    struct Case {
        std::string name;
        std::string pack_name;
        std::string sha; // empty: the real one
    };
    const std::vector<Case> cases = {
        {"the active partial", "current.part", ""},
        {"the owner file", "current.part.owner", ""},
        {"a parked partial's shape", "p9.0123abcd.part", ""},
        {"a drive or stream", "c:pack", ""},
        {"a trailing dot", "pack.", ""},
        {"the folder itself", ".", ""},
        {"a trailing blank", "pack ", ""},
        {"an upper-case sha", "p9", std::string(64, 'A')},
        {"a short sha", "p9", std::string(63, 'a')},
        {"a sha that is a path", "p9", "../../" + std::string(58, 'a')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.add_pack(c.pack_name, "some pack");
        if (!c.sha.empty()) {
            rig.index.packs[2].sha256 = c.sha;
        }
        write_bytes(rig.dir / "current.part", "someone's partial");
        EXPECT_EQ(rig.obtain(2), "excluded");
        EXPECT_EQ(rig.obtain(2, true), "excluded");
        rig.cache.evict(2);
        EXPECT_EQ(rig.fetcher.calls, "");
        EXPECT_EQ(rig.file("current.part"), "someone's partial");
        EXPECT_EQ(rig.lines.front(),
                  "pack " + c.pack_name + " excluded: its name or sha cannot name a file in the pack cache");
    }
}

TEST(PackCache, PackNumberOutsideTheIndexGivesNothing) {
    Rig rig;
    EXPECT_EQ(rig.obtain(7, true), "none");
    rig.cache.evict(7);
    EXPECT_EQ(rig.fetcher.calls, "");
    EXPECT_TRUE(rig.lines.empty());
}

TEST(PackCache, PackThatCannotFitOnTheDiskIsExcluded) {
    struct Case {
        std::string name;
        std::optional<std::uint64_t> free;
        std::size_t parked_bytes;
        std::string want_calls;
    };
    const std::vector<Case> cases = {
        {"too big", 99, 0, ""},
        {"just fits", 100, 0, "@0"},
        {"fits beside its parked progress", 40, 60, "@60"},
        {"free space unknown", std::nullopt, 0, "@0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.cache.free_space = [&](const fs::path& folder) {
            EXPECT_EQ(folder, rig.dir);
            return c.free;
        };
        if (c.parked_bytes != 0) {
            write_bytes(rig.dir / rig.parked(0), rig.contents[0].substr(0, c.parked_bytes));
        }
        EXPECT_EQ(rig.obtain(0), c.want_calls.empty() ? "excluded" : "ready");
        EXPECT_EQ(rig.fetcher.calls, c.want_calls);
        if (c.want_calls.empty()) {
            EXPECT_EQ(rig.lines, std::vector<std::string>{"pack p0 excluded: needs 100 more bytes, 99 free in " +
                                                          path_text(rig.dir)});
        }
    }
}

TEST(PackCache, CacheFolderIsCreatedForTheFirstDownload) {
    Rig rig;
    fs::remove_all(rig.dir);
    EXPECT_EQ(rig.obtain(1), "ready");
}

TEST(PackCache, RefusedRenameCountsAsAFailedTransfer) {
    Rig rig;
    rig.config.pack_max_transfers = 2;
    // A non-empty folder where the pack file belongs cannot be replaced by the finished partial.
    fs::create_directories(rig.dir / "p0" / "inside");
    EXPECT_EQ(rig.obtain(0), "demoted");
    EXPECT_EQ(rig.fetcher.calls, "@0 @0");
    EXPECT_EQ(rig.file("current.part"), kMissing);
    EXPECT_EQ(rig.packs_downloaded, 0u);
}

TEST(PackCache, EvictDeletesThePackAndForgetsIt) {
    Rig rig;
    EXPECT_EQ(rig.obtain(0), "ready");
    EXPECT_EQ(rig.obtain(1), "ready");
    rig.cache.evict(0);
    EXPECT_EQ(rig.file("p0"), kMissing);
    EXPECT_EQ(rig.file("p1"), rig.contents[1]);
    EXPECT_EQ(rig.cache.ready.count(0), 0u);
    EXPECT_EQ(rig.cache.used_packs, (std::vector<std::uint32_t>{0, 1}));
    EXPECT_TRUE(rig.lines.empty());
}

} // namespace

// The pack phase checks each pack while the next one downloads; the outcome per pack, the transfers and
// the log lines are those of obtaining the packs one by one.
TEST(PackCache, PackPhaseChecksEachPackWhileTheNextDownloads) {
    struct Case {
        std::string name;
        std::string script;
        std::uint32_t max_transfers;
        std::vector<std::string> want_settled; // "index:state" in the order settled() was called
        std::string want_calls;
        std::vector<std::string> want_lines;
        std::uint32_t want_packs;
    };
    const Case cases[] = {
        {"both right", "w", 6, {"0:ready", "1:ready"}, "@0 @0", {}, 2},
        {"first fails its check, then comes right after the second",
         "xww",
         6,
         {"0:ready", "1:ready"},
         "@0 @0 @0",
         {attempt(1, 6, "pack sha mismatch", 0, 100)},
         2},
        {"first fails its only check and is demoted",
         "xw",
         1,
         {"0:demoted", "1:ready"},
         "@0 @0",
         {attempt(1, 1, "pack sha mismatch", 0, 100), "pack p0 demoted to per-chunk (1 transfers max, 0 s waited)"},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.fetcher.script = c.script;
        rig.config.pack_max_transfers = c.max_transfers;
        std::vector<std::string> settled;
        rig.cache.download_all({0, 1}, [&](std::size_t i) {
            const auto pack = static_cast<std::uint32_t>(i);
            const bool ready = rig.cache.ready.count(pack) != 0;
            settled.push_back(std::to_string(i) + ":" + (ready ? "ready" : rig.cache.demoted.count(pack) ? "demoted" : "none"));
            if (ready) {
                EXPECT_EQ(read_bytes(rig.cache.ready.at(pack)), rig.contents[pack]);
            }
        });
        EXPECT_EQ(settled, c.want_settled);
        EXPECT_EQ(rig.fetcher.calls, c.want_calls);
        EXPECT_EQ(rig.lines, c.want_lines);
        EXPECT_EQ(rig.packs_downloaded, c.want_packs);
        EXPECT_EQ(rig.file("current.part"), kMissing);
        EXPECT_EQ(rig.file("current.part.owner"), kMissing);
        if (c.want_settled.front() == "0:demoted") {
            EXPECT_EQ(rig.file("p0"), kMissing);
        }
    }
}
