#include "patch/pack_cache.hpp"

#include "patch/atomic_file.hpp"
#include "patch/errors.hpp"
#include "patch/sha256.hpp"
#include "support/planted_link.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace gu::patch;
namespace fs = std::filesystem;
using kyrtest::read_bytes;
using kyrtest::write_bytes;

const std::string kMissing = "<missing>";

// A pack server whose transfers follow a script, one letter per transfer (the last one repeats):
//   w  the rest of the pack from the offset, c  forty bytes of it then a broken connection,
//   s  the rest without the pack's last byte, x  the rest with its last byte changed,
//   r  HTTP 503 before any byte, d  LocalWriteError before any byte.
class FakePackServer : public Fetcher {
public:
    std::string get(const std::string&, std::uint64_t) override { return "{}"; }
    void download(const std::string& path, const std::string& dest_file) override {
        transfer("dl", path, dest_file, 0);
    }
    bool supports_resume() override { return resume; }
    void download_from(const std::string& path, const std::string& dest_file, std::uint64_t offset) override {
        transfer("@" + std::to_string(offset), path, dest_file, offset);
    }

    bool resume = true;
    std::string script = "w";
    std::string pack;  // the body of every pack path
    std::string calls; // "@0 @40", or "dl dl" for download()

private:
    void transfer(const std::string& call, const std::string&, const std::string& dest_file, std::uint64_t offset) {
        calls += (calls.empty() ? "" : " ") + call;
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
        std::string bytes = pack.substr(static_cast<std::size_t>(offset));
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

class NoWait : public WaitClock {
public:
    std::uint64_t now_ms() override { return 0; }
    void pause_ms(std::uint32_t) override {}
};

std::string attempt(int t, int of, const std::string& what, std::uint64_t offset, std::uint64_t disk) {
    return "pack p0 attempt " + std::to_string(t) + "/" + std::to_string(of) + " failed: " + what + " (offset " +
           std::to_string(offset) + ", on disk " + std::to_string(disk) + "/100)";
}

// A pack cache over a scratch folder with one pack p0 of 100 bytes.
struct Rig {
    Rig(const std::string& name = "p0", const std::string& sha = "") {
        for (std::size_t i = 0; i < pack.size(); ++i) {
            pack[i] = static_cast<char>(i * 31 % 251);
        }
        index.packs.push_back({name, pack.size(), sha.empty() ? sha256_hex(pack) : sha});
        fetcher.pack = pack;
        config.log = [this](const std::string& line) { lines.push_back(line); };
        fs::create_directories(dir);
    }
    std::string parked() const { return "p0." + index.packs[0].sha256.substr(0, 8) + ".part"; }
    std::string file(const std::string& name) const { return read_bytes(dir / name); }

    // What the cache made of the pack, as one word or the error.
    std::string obtain() {
        try {
            const std::optional<fs::path> path = cache.local_pack_path(0);
            if (path) {
                EXPECT_EQ(read_bytes(*path), pack);
                return "ready";
            }
            return cache.demoted.count(0) != 0 ? "demoted" : cache.excluded.count(0) != 0 ? "excluded" : "none";
        } catch (const LocalWriteError& e) {
            return std::string("local write: ") + e.what();
        }
    }

    kyrtest::ScratchFolder scratch;
    fs::path dir = scratch / ".updpacks";
    std::string pack = std::string(100, '\0');
    PackIndex index;
    DownloaderConfig config;
    std::vector<std::string> lines;
    FakePackServer fetcher;
    NoWait clock;
    StoreRetry store{fetcher, config, "v1/channels/windows.json", clock};
    std::uint64_t bytes_downloaded = 0;
    std::uint32_t packs_downloaded = 0;
    PackCache cache{index, dir, fetcher, config, store, {bytes_downloaded, packs_downloaded}};
};

TEST(PackCache, FailedTransfersAreRetriedThenDemoted) {
    struct Case {
        std::string name;
        bool resume;
        std::string script;
        std::string want;
        std::string want_calls;
        std::uint64_t want_bytes; // pack size minus the offset of the transfer that completed it
        std::vector<std::string> want_lines;
    };
    const std::string cut = attempt(1, 3, "connection reset", 0, 40);
    const std::string short_by_one = "pack size mismatch (99 != 100)";
    const std::vector<Case> cases = {
        {"cut connection resumes", true, "cw", "ready", "@0 @40", 60, {cut}},
        {"without resume every transfer starts over", false, "cw", "ready", "dl dl", 100, {cut}},
        {"one byte short every time", true, "s", "demoted", "@0 @99 @99", 0,
         {attempt(1, 3, short_by_one, 0, 99), attempt(2, 3, short_by_one, 99, 99), attempt(3, 3, short_by_one, 99, 99),
          "pack p0 demoted to per-chunk (3 transfers max, 0 s waited)"}},
        {"corrupt pack is fetched afresh", true, "xw", "ready", "@0 @0", 100, {attempt(1, 3, "pack sha mismatch", 0, 100)}},
        {"local write failure stops at once", true, "d", "local write: disk full", "@0", 0,
         {"pack p0 local write failed, stopping: disk full"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.fetcher.resume = c.resume;
        rig.fetcher.script = c.script;
        rig.config.pack_max_transfers = 3;
        EXPECT_EQ(rig.obtain(), c.want);
        EXPECT_EQ(rig.fetcher.calls, c.want_calls);
        EXPECT_EQ(rig.bytes_downloaded, c.want_bytes);
        EXPECT_EQ(rig.packs_downloaded, c.want == "ready" ? 1u : 0u);
        EXPECT_EQ(rig.lines, c.want_lines);
        if (c.want != "ready") {
            EXPECT_EQ(rig.file("p0"), kMissing);
        }
    }
}

TEST(PackCache, FilesLeftByEarlierRunsAreResumedOnlyWhenTheyAreThisPacks) {
    using Files = std::vector<std::pair<std::string, std::string>>; // "$" names p0's parked partial
    const Rig names;
    const std::string half = names.pack.substr(0, 50);
    const std::string owner = "p0 " + names.index.packs[0].sha256;
    const std::string part = "current.part";
    const std::string own = "current.part.owner";
    struct Case {
        std::string name;
        Files before;
        std::string want_calls;
        Files want_after;
    };
    const std::vector<Case> cases = {
        {"active partial of its owner resumes", {{part, half}, {own, owner}}, "@50", {{part, kMissing}, {own, kMissing}}},
        {"owner of another version", {{part, half}, {own, "p0 " + std::string(64, 'e')}}, "@0", {}},
        {"partial as long as the pack", {{part, std::string(100, 'x')}, {own, owner}}, "@0", {}},
        {"parked partial of this version resumes", {{"$", half}}, "@50", {{"$", kMissing}}},
        {"complete file is used as it is", {{"p0", names.pack}}, "", {}},
        {"corrupted complete file is replaced", {{"p0", std::string(100, 'x')}}, "@0", {}},
        {"only partials of this pack's shape are stale",
         {{"p0.deadbeef.part", "old"}, {"p0.b.deadbeef.part", "p0.b"}},
         "@0",
         {{"p0.deadbeef.part", kMissing}, {"p0.b.deadbeef.part", "p0.b"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        const auto name_of = [&rig](const std::string& name) { return name == "$" ? rig.parked() : name; };
        for (const auto& [name, bytes] : c.before) {
            write_bytes(rig.dir / name_of(name), bytes);
        }
        EXPECT_EQ(rig.obtain(), "ready");
        EXPECT_EQ(rig.fetcher.calls, c.want_calls);
        for (const auto& [name, bytes] : c.want_after) {
            EXPECT_EQ(rig.file(name_of(name)), bytes) << name;
        }
    }
}

// A link planted under a partial's name is never followed: a stale one goes as a link.
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
    EXPECT_EQ(rig.obtain(), "ready");
    EXPECT_EQ(read_bytes(outside / "keep.txt"), "keep");
    if (planted == kyrtest::PlantedLink::removable) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(stale)));
    }
    kyrtest::remove_planted_link(stale);
}

TEST(PackCache, PacksThatCannotBeCachedOrDoNotFitAreExcluded) {
    struct Case {
        std::string name;
        std::string pack_name;
        std::string sha; // empty: the real one
        std::optional<std::uint64_t> free;
        std::string want;
    };
    const std::vector<Case> cases = {
        {"the active partial", "current.part", "", {}, "excluded"},
        {"a parked partial's shape", "p0.0123abcd.part", "", {}, "excluded"},
        {"a drive or stream", "c:pack", "", {}, "excluded"},
        {"a trailing blank", "pack ", "", {}, "excluded"},
        {"an upper-case sha", "p0", std::string(64, 'A'), {}, "excluded"},
        {"a sha that is a path", "p0", "../../" + std::string(58, 'a'), {}, "excluded"},
        {"too big for the disk", "p0", "", 99, "excluded"},
        {"just fits", "p0", "", 100, "ready"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.pack_name, c.sha);
        rig.cache.free_space = [&](const fs::path&) { return c.free; };
        write_bytes(rig.dir / "current.part", "someone's partial");
        EXPECT_EQ(rig.obtain(), c.want);
        if (c.want == "excluded") {
            EXPECT_EQ(rig.fetcher.calls, "");
            EXPECT_EQ(rig.file("current.part"), "someone's partial");
        }
    }
}

} // namespace
