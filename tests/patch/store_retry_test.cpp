#include "patch/store_retry.hpp"

#include "patch/errors.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace gu::patch;

// Virtual time: each slice advances the clock at once.
class VirtualClock : public WaitClock {
public:
    std::uint64_t now_ms() override { return now; }
    void pause_ms(std::uint32_t ms) override { now += ms; }
    std::uint64_t now = 0;
};

const std::string kChunk = "v1/chunks/ab/abcd.zst";
const std::string kProbe = "v1/channels/windows.json";

// The chunk's answers follow a script, one letter per get (then "body"): f HTTP 503, d LocalWriteError,
// s a body one byte short. The probe always answers.
class ScriptedStore : public Fetcher {
public:
    std::string get(const std::string& path, std::uint64_t max_bytes) override {
        ++calls[path];
        EXPECT_EQ(max_bytes, path == kChunk ? 4 : kMaxDocumentBytes);
        const char step = path == kChunk && !script.empty() ? script[0] : ' ';
        script.erase(0, path == kChunk && !script.empty() ? 1 : 0);
        if (step == 'f') {
            throw FetchError("HTTP 503");
        }
        if (step == 'd') {
            throw LocalWriteError("disk write failed");
        }
        return step == 's' ? "bod" : "body";
    }
    void stream_from(const std::string&, std::uint64_t, std::uint64_t, const ByteSink&) override {
        ADD_FAILURE() << "a chunk is fetched whole";
    }

    std::string script;
    std::map<std::string, int> calls;
};

// A chunk is tried along the ladder (500, 1500, 3000 ms), then, when it may wait, once more after the
// store answers again; a body of the wrong size is a failed attempt like any other.
TEST(StoreRetry, ChunksAreRetriedAlongTheLadderAndAfterOneStoreWait) {
    struct Case {
        const char* name;
        std::string script;
        bool may_wait;
        std::uint64_t cancel_at; // virtual time from which cancel says true
        std::string want;
        std::size_t want_failed; // attempts that failed
        std::uint64_t want_slept;
        int want_probes;
    };
    const std::uint64_t never = UINT64_MAX;
    const Case cases[] = {
        {"fails twice then succeeds", "ff", true, never, "body", 2, 2000, 0},
        {"short bodies are failed attempts", "ss", false, never, "body", 2, 2000, 0},
        {"no waiting for the store", "ffff", false, never, "fetch: HTTP 503", 4, 5000, 0},
        {"store answers, attempts start over", "fffff", true, never, "body", 5, 7500, 1},
        {"store waited for once", "ffffffff", true, never, "fetch: HTTP 503", 8, 12000, 1},
        {"local write failure at once", "fd", true, never, "local write: disk write failed", 1, 500, 0},
        {"cancel inside the second back-off", "ffff", true, 750, "other: cancelled", 2, 750, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedStore fetcher;
        fetcher.script = c.script;
        VirtualClock clock;
        DownloaderConfig config;
        config.cancel = [&] { return clock.now >= c.cancel_at; };
        StoreRetry retry(fetcher, config, kProbe, clock);
        std::vector<std::string> lines;
        std::string got;
        try {
            got = retry.retry_fetch(kChunk, 4, c.may_wait, [&](const std::string& line) { lines.push_back(line); });
        } catch (const LocalWriteError& e) {
            got = std::string("local write: ") + e.what();
        } catch (const FetchError& e) {
            got = std::string("fetch: ") + e.what();
        } catch (const std::exception& e) {
            got = std::string("other: ") + e.what();
        }
        EXPECT_EQ(got, c.want);
        EXPECT_EQ(lines.size(), c.want_failed);
        EXPECT_EQ(clock.now, c.want_slept);
        EXPECT_EQ(fetcher.calls[kProbe], c.want_probes);
    }
}

// A probe of an unreachable store may itself take long (a connection that times out): that time counts
// against the wait's budget, or a slow store would be waited on far past it.
TEST(StoreRetry, TheTimeProbesTakeCountsAgainstTheWaitBudget) {
    class SlowUnreachableStore : public Fetcher {
    public:
        explicit SlowUnreachableStore(VirtualClock& clock) : clock_(clock) {}
        std::string get(const std::string&, std::uint64_t) override {
            ++probes;
            clock_.now += 4000;
            throw FetchError("timed out");
        }
        void stream_from(const std::string&, std::uint64_t, std::uint64_t, const ByteSink&) override {
            ADD_FAILURE() << "only probes";
        }
        int probes = 0;

    private:
        VirtualClock& clock_;
    };
    VirtualClock clock;
    SlowUnreachableStore fetcher(clock);
    DownloaderConfig config;
    config.store_wait_ladder_ms = {1000};
    config.store_wait_budget_ms = 10000;
    StoreRetry retry(fetcher, config, kProbe, clock);
    unsigned step = 0;
    std::uint64_t waited_ms = 0;
    EXPECT_FALSE(retry.await_store("pack p0", step, waited_ms));
    // 1 s asleep and 4 s probing, twice.
    EXPECT_EQ(fetcher.probes, 2);
    EXPECT_EQ(waited_ms, 10000u);
    EXPECT_EQ(clock.now, 10000u);
}

} // namespace
