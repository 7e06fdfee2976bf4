#include "patch/pack_stream.hpp"

#include "patch/errors.hpp"
#include "patch/sha256.hpp"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace gu::patch;

// Transfers follow a script, one letter each, the last repeating: w the rest of the pack, c forty bytes of
// it then a broken connection, s the rest but its last byte, x the rest with its last byte changed, f a
// failure before any byte.
class ScriptedPacks : public Fetcher {
public:
    std::string get(const std::string&, std::uint64_t) override { return "{}"; }
    void stream_from(const std::string&, std::uint64_t offset, std::uint64_t, const ByteSink& sink) override {
        char step = 0;
        {
            const std::lock_guard<std::mutex> lock(mutex);
            calls += (calls.empty() ? "@" : " @") + std::to_string(offset);
            step = script.front();
            script.erase(0, script.size() > 1 ? 1 : 0);
        }
        std::string rest = pack.substr(offset, step == 'c' ? 40 : std::string::npos);
        if (step == 's') {
            rest.pop_back();
        } else if (step == 'x') {
            rest.back() ^= 0x55;
        }
        for (std::size_t at = 0; step != 'f' && at < rest.size(); at += 10) { // blocks of ten bytes
            sink(std::string_view(rest).substr(at, 10));
        }
        if (step == 'c' || step == 'f') {
            throw FetchError("connection reset");
        }
    }

    std::mutex mutex;
    std::string script, calls, pack;
};

struct Rig { // one pack of four chunks "a".."d" of 25 bytes each
    explicit Rig(const std::string& script, std::uint64_t budget = PackStream::kDefaultBudgetBytes,
                 bool second_chance = true) {
        for (int i = 0; i < 100; ++i) {
            fetcher.pack += static_cast<char>(i * 31 % 251);
        }
        fetcher.script = script;
        index.packs.push_back({"p0", 100, sha256_hex(fetcher.pack)});
        for (int i = 0; i < 4; ++i) {
            const std::string h(1, static_cast<char>('a' + i));
            index.chunks[h] = {0, 25u * i, 25};
            wanted.push_back({h, 25, 25});
        }
        config.pack_max_transfers = 3;
        config.store_wait_ladder_ms = {1};
        config.pack_second_chance = second_chance;
        std::vector<const ManifestChunk*> pointers;
        for (const ManifestChunk& chunk : wanted) {
            pointers.push_back(&chunk);
        }
        stream.emplace(index, std::vector<std::uint32_t>{0}, pointers, fetcher, config, "probe", budget);
        stream->start();
    }
    // The chunks in the order asked for: "." for one delivered intact, "x" for changed bytes, "-" for none.
    std::string take(const std::string& order) {
        std::string got;
        for (const char h : order) {
            const std::optional<std::string> bytes = stream->take(std::string(1, h));
            got += !bytes ? '-' : *bytes == fetcher.pack.substr(25u * (h - 'a'), 25) ? '.' : 'x';
        }
        return got;
    }

    ScriptedPacks fetcher;
    PackIndex index;
    std::vector<ManifestChunk> wanted;
    DownloaderConfig config;
    std::optional<PackStream> stream;
};

// Chunks are cut out of the pack as it arrives; a transfer cut short resumes where it stopped; a pack that
// keeps failing is demoted, gets one second chance from where it stopped, and otherwise leaves the rest of
// its chunks to their own objects. Only a pack whose whole hash matches counts as downloaded.
TEST(PackStream, CutsChunksAsThePackArrivesResumingAndDemotingAsNeeded) {
    struct Case {
        const char* name;
        std::string script;
        bool second_chance;
        std::string want_taken, want_calls;
        std::uint32_t want_completed;
    };
    const Case cases[] = {
        {"whole pack", "w", true, "....", "@0", 1},
        {"cut connection resumes", "cw", true, "....", "@0 @40", 1},
        {"short body resumes at its last byte", "sw", true, "....", "@0 @99", 1},
        {"changed byte reaches its chunk, pack not counted", "x", true, "...x", "@0", 0},
        {"second chance resumes", "cffw", true, "....", "@0 @40 @40 @40", 1},
        {"no second chance", "cf", false, ".---", "@0 @40 @40", 0},
        {"second chance fails too", "cf", true, ".---", "@0 @40 @40 @40 @40 @40", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.script, PackStream::kDefaultBudgetBytes, c.second_chance);
        EXPECT_TRUE(rig.stream->will_deliver("d"));
        EXPECT_EQ(rig.take("abcd"), c.want_taken);
        EXPECT_EQ(rig.take("a"), "-"); // once only
        EXPECT_FALSE(rig.stream->will_deliver("a"));
        rig.stream->wait_settled();
        EXPECT_EQ(rig.stream->packs_completed(), c.want_completed);
        const std::lock_guard<std::mutex> lock(rig.fetcher.mutex);
        EXPECT_EQ(rig.fetcher.calls, c.want_calls);
    }
}

// Memory stays within the budget: with the file phase waiting for a chunk further on, the chunks that do
// not fit are not kept; the stream never waits for a file phase that waits for it.
TEST(PackStream, ChunksTakenOutOfOrderPastTheBudgetComeFromTheirObjects) {
    Rig rig("w", 30);
    EXPECT_EQ(rig.take("dabc"), "..--");
    for (int round = 0; round < 20; ++round) { // in order, each is kept, however the threads interleave
        EXPECT_EQ(Rig("w", 30).take("abcd"), "....");
    }
    Rig unread("w", 30); // nothing taken: ends at once although the stream waits for room
}

} // namespace
