#include "patch/store_retry.hpp"

#include "patch/errors.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <numeric>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace gu::patch;

// Virtual time: each slice is recorded and advances the clock at once.
class VirtualClock : public WaitClock {
public:
    std::uint64_t now_ms() override { return now; }
    void pause_ms(std::uint32_t ms) override {
        EXPECT_LE(ms, kSleepSliceMs);
        slept += ms;
        now += ms;
    }

    std::uint64_t now = 0;
    std::uint64_t slept = 0;
};

// What one get() of a path does; past the end of a path's script every call succeeds.
enum class Step { ok, fail, local_write, odd, short_body };

class ScriptedStore : public Fetcher {
public:
    std::string get(const std::string& path, std::uint64_t max_bytes) override {
        ++calls[path];
        limits[path] = max_bytes;
        std::deque<Step>& script = scripts[path];
        const Step step = script.empty() ? Step::ok : script.front();
        if (!script.empty()) {
            script.pop_front();
        }
        if (step == Step::fail) {
            throw FetchError("HTTP 503");
        }
        if (step == Step::local_write) {
            throw LocalWriteError("disk write failed");
        }
        if (step == Step::odd) {
            throw std::runtime_error("odd");
        }
        return step == Step::short_body ? "bo" : "body";
    }
    void download(const std::string&, const std::string&) override { ADD_FAILURE() << "download"; }
    void download_from(const std::string&, const std::string&, std::uint64_t) override {
        ADD_FAILURE() << "download_from";
    }

    std::map<std::string, std::deque<Step>> scripts;
    std::map<std::string, int> calls;
    std::map<std::string, std::uint64_t> limits; // the last limit asked for each path
};

const std::string kChunk = "v1/chunks/ab/abcd.zst";
const std::string kProbe = "v1/channels/windows.json";

std::deque<Step> fails(std::size_t times, Step then = Step::ok) {
    std::deque<Step> script(times, Step::fail);
    script.push_back(then);
    return script;
}

// The failed attempts' lines from their numbers, e.g. "1 2 3 4 1".
std::vector<std::string> attempt_lines(const std::string& attempts) {
    std::vector<std::string> lines;
    std::istringstream numbers(attempts);
    int attempt = 0;
    while (numbers >> attempt) {
        lines.push_back("chunk " + kChunk + " attempt " + std::to_string(attempt) + "/4 failed: HTTP 503");
    }
    return lines;
}

class StoreRetryTest : public ::testing::Test {
protected:
    StoreRetryTest() {
        config_.log = [this](const std::string& line) { config_lines_.push_back(line); };
    }

    // retry_fetch's body, or the kind and text of its error.
    std::string fetch(bool may_wait) {
        try {
            return retry_.retry_fetch(kChunk, 4, may_wait, chunk_log_);
        } catch (const LocalWriteError& e) {
            return std::string("local write: ") + e.what();
        } catch (const FetchError& e) {
            return std::string("fetch: ") + e.what();
        } catch (const std::exception& e) {
            return std::string("other: ") + e.what();
        }
    }

    std::vector<std::string> chunk_lines_;
    std::vector<std::string> config_lines_;
    LogLine chunk_log_ = [this](const std::string& line) { chunk_lines_.push_back(line); };
    DownloaderConfig config_;
    ScriptedStore fetcher_;
    VirtualClock clock_;
    StoreRetry retry_{fetcher_, config_, kProbe, clock_};
};

TEST_F(StoreRetryTest, RetryLadderAndOneStoreWait) {
    struct Case {
        std::string name;
        std::deque<Step> chunk;
        bool may_wait;
        bool wait_for_store;
        std::string want;
        std::string want_attempts;
        std::uint64_t want_slept;
        int want_probes;
    };
    const std::vector<Case> cases = {
        {"fails twice then succeeds", fails(2), true, true, "body", "1 2", 500 + 1500, 0},
        {"no may_wait, no store wait", fails(4), false, true, "fetch: HTTP 503", "1 2 3 4", 5000, 0},
        {"wait_for_store off", fails(4), true, false, "fetch: HTTP 503", "1 2 3 4", 5000, 0},
        {"store answers, attempts start over", fails(5), true, true, "body", "1 2 3 4 1", 5000 + 2000 + 500, 1},
        {"store waited for once per chunk", fails(8), true, true, "fetch: HTTP 503", "1 2 3 4 1 2 3 4", 12000, 1},
        {"local write at once", {Step::local_write}, true, true, "local write: disk write failed", "", 0, 0},
        {"local write after a failure", fails(1, Step::local_write), true, true, "local write: disk write failed", "1",
         500, 0},
        {"not a fetch error", {Step::odd}, true, true, "other: odd", "", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fetcher_ = ScriptedStore();
        fetcher_.scripts[kChunk] = c.chunk;
        config_.wait_for_store = c.wait_for_store;
        clock_ = VirtualClock();
        chunk_lines_.clear();
        EXPECT_EQ(fetch(c.may_wait), c.want);
        EXPECT_EQ(chunk_lines_, attempt_lines(c.want_attempts));
        EXPECT_EQ(clock_.slept, c.want_slept);
        EXPECT_EQ(fetcher_.calls[kProbe], c.want_probes);
    }
}

TEST_F(StoreRetryTest, BodyCutShortIsAFailedAttempt) {
    fetcher_.scripts[kChunk] = {Step::short_body, Step::short_body};
    EXPECT_EQ(fetch(false), "body");
    const std::string cut = " failed: object size mismatch (got 2 bytes, expected 4)";
    EXPECT_EQ(chunk_lines_, (std::vector<std::string>{"chunk " + kChunk + " attempt 1/4" + cut,
                                                      "chunk " + kChunk + " attempt 2/4" + cut}));
}

TEST_F(StoreRetryTest, CancelDuringAWaitEndsWithCancelled) {
    struct Case {
        std::string name;
        std::uint64_t cancel_at; // virtual time from which cancel says true
        std::uint64_t want_slept;
    };
    const std::vector<Case> cases = {
        {"inside the second back-off", 750, 750},
        {"inside the store wait", 5000 + 3000, 8000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fetcher_ = ScriptedStore();
        fetcher_.scripts[kChunk] = fails(4);
        fetcher_.scripts[kProbe] = fails(10);
        clock_ = VirtualClock();
        config_.cancel = [this, &c] { return clock_.now >= c.cancel_at; };
        EXPECT_EQ(fetch(true), "other: cancelled");
        EXPECT_EQ(clock_.slept, c.want_slept);
    }
}

} // namespace
