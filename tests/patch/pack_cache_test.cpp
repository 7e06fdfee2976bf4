#include "patch/pack_cache.hpp"

#include "patch/errors.hpp"
#include "patch/sha256.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace gu::patch;
namespace fs = std::filesystem;
using kyrtest::read_bytes;

// A pack server whose transfers follow a script, one letter per transfer, the last one repeating:
// w the rest of the pack from the offset, c forty bytes of it then a broken connection, s the rest
// without the last byte, x the rest with its last byte changed, d LocalWriteError before any byte.
class FakePackServer : public Fetcher {
public:
    std::string get(const std::string&, std::uint64_t) override { return "{}"; }
    void download(const std::string&, const std::string& dest_file, std::uint64_t max_bytes) override {
        transfer("dl", dest_file, 0, max_bytes);
    }
    bool supports_resume() override { return resume; }
    void download_from(const std::string&, const std::string& dest_file, std::uint64_t offset,
                       std::uint64_t max_bytes) override {
        transfer("@" + std::to_string(offset), dest_file, offset, max_bytes);
    }

    bool resume = true;
    std::string script = "w";
    std::string pack;
    std::string calls;              // "@0 @40", or "dl dl" for download()
    std::set<std::uint64_t> limits; // the max_bytes of every transfer

private:
    void transfer(const std::string& call, const std::string& dest_file, std::uint64_t offset,
                  std::uint64_t max_bytes) {
        limits.insert(max_bytes);
        calls += (calls.empty() ? "" : " ") + call;
        const char step = script.front();
        script.erase(0, script.size() > 1 ? 1 : 0);
        if (step == 'd') {
            throw LocalWriteError("disk full");
        }
        std::string bytes = pack.substr(static_cast<std::size_t>(offset));
        if (step == 'c') {
            bytes.resize(40);
        } else if (step == 's') {
            bytes.pop_back();
        } else if (step == 'x') {
            bytes.back() = static_cast<char>(bytes.back() ^ 0x55);
        }
        kyrtest::write_bytes(dest_file, (offset == 0 ? std::string() : read_bytes(dest_file)) + bytes);
        if (step == 'c') {
            throw FetchError("connection reset");
        }
    }
};

struct Rig { // a pack cache over a scratch folder with one pack of 100 bytes
    Rig(const std::string& name = "p0", const std::string& sha = "") {
        for (std::size_t i = 0; i < pack.size(); ++i) {
            pack[i] = static_cast<char>(i * 31 % 251);
        }
        index.packs.push_back({name, pack.size(), sha.empty() ? sha256_hex(pack) : sha});
        fetcher.pack = pack;
        config.pack_max_transfers = 3;
        config.store_wait_ladder_ms = {1};
        fs::create_directories(dir);
    }

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
    FakePackServer fetcher;
    StoreRetry store{fetcher, config, "v1/channels/windows.json"};
    std::uint64_t bytes_downloaded = 0;
    std::uint32_t packs_downloaded = 0;
    PackCache cache{index, dir, fetcher, config, store, {bytes_downloaded, packs_downloaded}};
};

// A pack is used only once whole and verified: transfers resume what is this pack's own, are retried up to
// their limit; a pack that cannot be a file of the cache or does not fit on the disk is never downloaded.
TEST(PackCache, PacksAreDownloadedVerifiedAndResumedOrLeftToPerChunkFetching) {
    using Files = std::vector<std::pair<std::string, std::string>>; // "$" names the parked partial
    const Rig model;
    const std::string half = model.pack.substr(0, 50);
    const std::string owner = "p0 " + model.index.packs[0].sha256;
    struct Case {
        std::string name;
        std::string script;
        Files before;
        std::string want;
        std::string want_calls;
        std::string pack_name = "p0";
        std::string sha = "";
        std::optional<std::uint64_t> free = std::nullopt;
        bool resume = true;
        bool second_chance = true;
    };
    const std::vector<Case> cases = {
        {"cut connection resumes", "cw", {}, "ready", "@0 @40"},
        {"without resume every transfer starts over", "cw", {}, "ready", "dl dl", "p0", "", {}, false},
        {"one byte short every time, then once more", "s", {}, "demoted", "@0 @99 @99 @99 @99 @99"},
        {"corrupt, no second chance", "x", {}, "demoted", "@0 @0 @0", "p0", "", {}, true, false},
        {"corrupt pack is fetched afresh", "xw", {}, "ready", "@0 @0"},
        {"local write failure stops at once", "d", {}, "local write: disk full", "@0"},
        {"partial of its owner resumes", "w", {{"current.part", half}, {"current.part.owner", owner}}, "ready", "@50"},
        {"parked partial of this version resumes", "w", {{"$", half}}, "ready", "@50"},
        {"partial of another pack", "w", {{"current.part", half}, {"current.part.owner", "p9"}}, "ready", "@0"},
        {"only the rest of a parked partial fits", "w", {{"$", half}}, "ready", "@50", "p0", "", 50},
        {"complete file is used as it is", "w", {{"p0", model.pack}}, "ready", ""},
        {"corrupt leftover pack is fetched afresh", "w", {{"p0", std::string(100, 'x')}}, "ready", "@0"},
        {"name of the active partial", "w", {}, "excluded", "", "current.part"},
        {"name of a drive or stream", "w", {}, "excluded", "", "c:pack"},
        {"sha that is a path", "w", {}, "excluded", "", "p0", "../../" + std::string(58, 'a')},
        {"too big for the disk", "w", {}, "excluded", "", "p0", "", 99},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.pack_name, c.sha);
        rig.fetcher.script = c.script;
        rig.fetcher.resume = c.resume;
        rig.config.pack_second_chance = c.second_chance;
        rig.cache.free_space = [&](const fs::path&) { return c.free; };
        for (const auto& [name, bytes] : c.before) {
            kyrtest::write_bytes(
                rig.dir / (name == "$" ? "p0." + rig.index.packs[0].sha256.substr(0, 8) + ".part" : name), bytes);
        }
        EXPECT_EQ(rig.obtain(), c.want);
        // A demoted pack's chunks give it one second chance, the whole pack again, before they come one by one.
        EXPECT_TRUE(c.want != "demoted" || !(rig.cache.pack_for_chunk(0) || rig.cache.pack_for_chunk(0)));
        EXPECT_EQ(rig.fetcher.calls, c.want_calls);
        EXPECT_EQ(rig.packs_downloaded, c.want == "ready" && !c.want_calls.empty() ? 1u : 0u);
        const std::string last = c.want_calls.substr(c.want_calls.rfind(' ') + 1); // a resume counts its rest
        EXPECT_EQ(rig.bytes_downloaded, rig.packs_downloaded * (100 - (last[0] == '@' ? std::stoul(&last[1]) : 0)));
        EXPECT_EQ(fs::exists(rig.dir / "p0"), c.want == "ready" && c.pack_name == "p0");
        // The signed size bounds every body, so a source that sends more cannot fill the disk.
        EXPECT_EQ(rig.fetcher.limits, c.want_calls.empty() ? std::set<std::uint64_t>{} : std::set<std::uint64_t>{100});
    }
}

} // namespace
