#include "patch/failover_fetcher.hpp"

#include "patch/errors.hpp"

#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using gu::patch::FailoverFetcher;
using gu::patch::FetchError;
using gu::patch::LocalWriteError;
using gu::patch::VerifyError;

enum class Outcome { ok, fetch_error, local_write_error, verify_error };

// An in-memory source whose calls follow a script; past its end every call has the outcome `rest`.
class ScriptedSource : public gu::patch::Fetcher {
public:
    explicit ScriptedSource(std::string name, std::vector<Outcome> script = {}, Outcome rest = Outcome::ok)
        : name_(std::move(name)), script_(std::move(script)), rest_(rest) {}

    std::string get(const std::string& path, std::uint64_t max_bytes) override {
        act("get " + path + " max " + std::to_string(max_bytes));
        return name_ + " body of " + path;
    }
    void download(const std::string& path, const std::string& dest_file) override {
        act("download " + path + " -> " + dest_file);
    }
    bool supports_resume() override { return resume; }
    void download_from(const std::string& path, const std::string& dest_file, std::uint64_t offset) override {
        if (before_download_from) {
            before_download_from(dest_file);
        }
        act("download_from " + path + " @" + std::to_string(offset));
    }

    std::vector<std::string> calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    std::size_t call_count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_.size();
    }

    bool resume = true;
    std::function<void(const std::string&)> before_download_from; // e.g. leaves a partial file behind

private:
    void act(const std::string& call) {
        Outcome outcome;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            outcome = calls_.size() < script_.size() ? script_[calls_.size()] : rest_;
            calls_.push_back(call);
        }
        switch (outcome) {
        case Outcome::ok:
            return;
        case Outcome::fetch_error:
            throw FetchError(name_ + " down");
        case Outcome::local_write_error:
            throw LocalWriteError("disk write failed");
        case Outcome::verify_error:
            throw VerifyError("bad bytes from " + name_);
        }
    }

    std::string name_;
    std::vector<Outcome> script_;
    Outcome rest_;
    std::mutex mutex_;
    std::vector<std::string> calls_;
};

// Collects what the failover fetcher reports; safe to call from several threads.
struct Recorder {
    std::mutex mutex;
    std::vector<std::string> lines;
    std::vector<unsigned> switches;

    std::function<void(const std::string&)> log() {
        return [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex);
            lines.push_back(line);
        };
    }
    std::function<void(unsigned)> on_switch() {
        return [this](unsigned index) {
            std::lock_guard<std::mutex> lock(mutex);
            switches.push_back(index);
        };
    }
};

struct OrderCase {
    const char* name;
    unsigned sources;
    unsigned active;
    std::optional<int> preferred;
    std::optional<bool> force_secondary;
    std::vector<unsigned> want;
};

TEST(FailoverFetcher, AttemptOrderFollowsActivePreferenceAndForcedSecondary) {
    const OrderCase cases[] = {
        {"one source", 1, 0, {}, {}, {0}},
        {"one source, forced secondary has no effect", 1, 0, {}, true, {0}},
        {"one source, preference 0", 1, 0, 0, {}, {0}},
        {"primary active", 3, 0, {}, {}, {0, 1, 2}},
        {"last worked first, others in list order", 3, 2, {}, {}, {2, 0, 1}},
        {"active index taken modulo the count", 3, 5, {}, {}, {2, 0, 1}},
        {"preference beats the active source", 3, 2, 1, {}, {1, 0, 2}},
        {"negative preference ignored", 3, 2, -1, {}, {2, 0, 1}},
        {"preference equal to the count ignored", 3, 1, 3, {}, {1, 0, 2}},
        {"forced secondary callback saying no", 3, 0, {}, false, {0, 1, 2}},
        {"two sources forced, primary active", 2, 0, {}, true, {1, 0}},
        {"two sources forced, secondary active", 2, 1, {}, true, {1, 0}},
        {"forced, primary active: secondaries downwards", 4, 0, {}, true, {3, 2, 1, 0}},
        {"forced, secondary active first", 4, 2, {}, true, {2, 3, 1, 0}},
        {"forced beats preference", 3, 0, 0, true, {2, 1, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The order is computed without calling any source.
        FailoverFetcher fetcher(std::vector<gu::patch::FetchSource>(c.sources), {});
        fetcher.active_index = c.active;
        if (c.preferred) {
            fetcher.preferred_source = [p = *c.preferred] { return p; };
        }
        if (c.force_secondary) {
            fetcher.force_secondary = [f = *c.force_secondary] { return f; };
        }
        EXPECT_EQ(fetcher.attempt_order(), c.want);
    }
}

TEST(FailoverFetcher, SecondaryTakesOverAndStaysActive) {
    ScriptedSource primary("primary", {}, Outcome::fetch_error);
    ScriptedSource secondary("secondary");
    Recorder recorder;
    FailoverFetcher fetcher({{&primary, "primary"}, {&secondary, "secondary"}}, recorder.log());
    fetcher.on_switch = recorder.on_switch();

    EXPECT_EQ(fetcher.get("v1/channels/windows.json", 100), "secondary body of v1/channels/windows.json");
    EXPECT_EQ(fetcher.failover_count, 1u);
    EXPECT_EQ(fetcher.active_index, 1u);
    EXPECT_EQ(recorder.switches, std::vector<unsigned>{1});
    EXPECT_EQ(recorder.lines,
              (std::vector<std::string>{"failover: primary fallo para v1/channels/windows.json (primary down)",
                                        "failover: origen activo ahora = secondary"}));

    EXPECT_EQ(fetcher.get("v1/chunks/ab/abcd.zst", 100), "secondary body of v1/chunks/ab/abcd.zst");
    EXPECT_EQ(primary.call_count(), 1u);
    EXPECT_EQ(fetcher.failover_count, 1u);
    EXPECT_EQ(fetcher.active_index, 1u);
    EXPECT_EQ(recorder.switches.size(), 1u);
    EXPECT_EQ(recorder.lines.size(), 2u);
}

TEST(FailoverFetcher, MovesBackWhenAnotherSourceSucceedsWhereTheActiveFailed) {
    ScriptedSource primary("primary", {Outcome::fetch_error});
    ScriptedSource secondary("secondary", {Outcome::ok, Outcome::fetch_error});
    Recorder recorder;
    FailoverFetcher fetcher({{&primary, "primary"}, {&secondary, "secondary"}}, recorder.log());
    fetcher.on_switch = recorder.on_switch();

    fetcher.get("a", 100);
    EXPECT_EQ(fetcher.get("b", 100), "primary body of b");
    EXPECT_EQ(fetcher.active_index, 0u);
    EXPECT_EQ(fetcher.failover_count, 2u);
    EXPECT_EQ(recorder.switches, (std::vector<unsigned>{1, 0}));
    EXPECT_EQ(recorder.lines.back(), "failover: origen activo ahora = primary");
}

TEST(FailoverFetcher, PreferredSourceServingFirstSwitchesWithoutCountingAFailover) {
    ScriptedSource primary("primary");
    ScriptedSource secondary("secondary");
    Recorder recorder;
    FailoverFetcher fetcher({{&primary, "primary"}, {&secondary, "secondary"}}, recorder.log());
    fetcher.on_switch = recorder.on_switch();
    fetcher.preferred_source = [] { return 1; };

    EXPECT_EQ(fetcher.get("x", 100), "secondary body of x");
    EXPECT_EQ(primary.call_count(), 0u);
    EXPECT_EQ(fetcher.failover_count, 0u);
    EXPECT_EQ(fetcher.active_index, 1u);
    EXPECT_EQ(recorder.switches, std::vector<unsigned>{1});
    EXPECT_EQ(recorder.lines, std::vector<std::string>{"failover: origen activo ahora = secondary"});
}

TEST(FailoverFetcher, AllSourcesFailingListsEveryFailure) {
    struct Case {
        const char* name;
        std::vector<std::string> names;
        std::string want_error;
        std::size_t want_log_lines;
    };
    const Case cases[] = {
        {"one source: no failover log",
         {"https://a.example/"},
         "all 1 store sources failed for v1/x [https://a.example/: https://a.example/ down]",
         0},
        {"two sources", {"a", "b"}, "all 2 store sources failed for v1/x [a: a down | b: b down]", 2},
        {"three sources",
         {"a", "b", "c"},
         "all 3 store sources failed for v1/x [a: a down | b: b down | c: c down]",
         3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::unique_ptr<ScriptedSource>> fakes;
        std::vector<gu::patch::FetchSource> sources;
        for (const std::string& name : c.names) {
            fakes.push_back(std::make_unique<ScriptedSource>(name, std::vector<Outcome>{}, Outcome::fetch_error));
            sources.push_back({fakes.back().get(), name});
        }
        Recorder recorder;
        FailoverFetcher fetcher(sources, recorder.log());
        fetcher.on_switch = recorder.on_switch();
        try {
            fetcher.get("v1/x", 100);
            ADD_FAILURE() << "no error";
        } catch (const LocalWriteError&) {
            ADD_FAILURE() << "not a local write error";
        } catch (const FetchError& e) {
            EXPECT_EQ(std::string(e.what()), c.want_error);
        }
        EXPECT_EQ(recorder.lines.size(), c.want_log_lines);
        EXPECT_TRUE(recorder.switches.empty());
        EXPECT_EQ(fetcher.active_index, 0u);
        EXPECT_EQ(fetcher.failover_count, 0u);
    }
}

TEST(FailoverFetcher, ErrorsOtherThanFetchErrorEndTheOperationAtOnce) {
    struct Case {
        const char* name;
        Outcome primary;
    };
    const Case cases[] = {
        {"local write failure is not a reason to ask another server", Outcome::local_write_error},
        {"verification error passes through", Outcome::verify_error},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSource primary("primary", {c.primary});
        ScriptedSource secondary("secondary");
        Recorder recorder;
        FailoverFetcher fetcher({{&primary, "primary"}, {&secondary, "secondary"}}, recorder.log());
        try {
            fetcher.download("v1/packs/p0", "dest");
            ADD_FAILURE() << "no error";
        } catch (const LocalWriteError& e) {
            EXPECT_EQ(c.primary, Outcome::local_write_error);
            EXPECT_STREQ(e.what(), "disk write failed");
        } catch (const VerifyError& e) {
            EXPECT_EQ(c.primary, Outcome::verify_error);
            EXPECT_STREQ(e.what(), "bad bytes from primary");
        }
        EXPECT_EQ(secondary.call_count(), 0u);
        EXPECT_TRUE(recorder.lines.empty());
        EXPECT_EQ(fetcher.active_index, 0u);
    }
}

TEST(FailoverFetcher, EveryOperationFailsOver) {
    struct Case {
        const char* name;
        std::function<void(FailoverFetcher&)> run;
        std::string want_call;
    };
    const Case cases[] = {
        {"get", [](FailoverFetcher& f) { f.get("p", 7); }, "get p max 7"},
        {"download", [](FailoverFetcher& f) { f.download("p", "no-such-dir/f"); }, "download p -> no-such-dir/f"},
        {"download_from", [](FailoverFetcher& f) { f.download_from("p", "no-such-dir/f", 7); }, "download_from p @7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSource primary("primary", {Outcome::fetch_error});
        ScriptedSource secondary("secondary");
        FailoverFetcher fetcher({{&primary, "primary"}, {&secondary, "secondary"}}, {});
        c.run(fetcher);
        EXPECT_EQ(primary.calls(), std::vector<std::string>{c.want_call});
        EXPECT_EQ(secondary.calls(), std::vector<std::string>{c.want_call});
        EXPECT_EQ(fetcher.active_index, 1u);
        EXPECT_EQ(fetcher.failover_count, 1u);
    }
}

TEST(FailoverFetcher, ResumesOnlyWhenEverySourceCan) {
    ScriptedSource a("a");
    ScriptedSource b("b");
    EXPECT_TRUE(FailoverFetcher({}, {}).supports_resume());
    EXPECT_TRUE(FailoverFetcher({{&a, "a"}, {&b, "b"}}, {}).supports_resume());
    b.resume = false;
    FailoverFetcher fetcher({{&a, "a"}, {&b, "b"}}, {});
    EXPECT_FALSE(fetcher.supports_resume());

    fetcher.download_from("v1/packs/p1", "part", 5000);
    EXPECT_EQ(a.calls(), std::vector<std::string>{"download v1/packs/p1 -> part"});
}

class FailoverDownloadFrom : public ::testing::Test {
protected:
    void SetUp() override {
        // A folder name outside any narrow code page: dest_file is UTF-8 text.
        dir_ = scratch_ / std::filesystem::u8path("J\xC3\xB6rg");
        std::filesystem::create_directories(dir_);
        part_ = (dir_ / "current.part").u8string();
    }

    void write_part(std::size_t size) const {
        std::ofstream(std::filesystem::u8path(part_), std::ios::binary) << std::string(size, 'x');
    }

    kyrtest::ScratchFolder scratch_;

    std::filesystem::path dir_;
    std::string part_;
};

TEST_F(FailoverDownloadFrom, SecondSourceContinuesWhereTheFirstStoppedWriting) {
    ScriptedSource first("first", {Outcome::fetch_error});
    first.before_download_from = [this](const std::string&) { write_part(1000); };
    ScriptedSource second("second");
    FailoverFetcher fetcher({{&first, "first"}, {&second, "second"}}, {});

    fetcher.download_from("v1/packs/p2", part_, 0);
    EXPECT_EQ(first.calls(), std::vector<std::string>{"download_from v1/packs/p2 @0"});
    EXPECT_EQ(second.calls(), std::vector<std::string>{"download_from v1/packs/p2 @1000"});
}

TEST_F(FailoverDownloadFrom, CarriedOffsetOnlyGrows) {
    struct Case {
        const char* name;
        std::optional<std::size_t> on_disk;
        std::uint64_t offset;
        std::string want_first;
    };
    const Case cases[] = {
        {"no file keeps the caller's offset", {}, 300, "download_from p @300"},
        {"larger file raises it", 1000, 300, "download_from p @1000"},
        {"shorter file does not lower it", 200, 300, "download_from p @300"},
        {"empty file, offset 0", 0, 0, "download_from p @0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(std::filesystem::u8path(part_));
        if (c.on_disk) {
            write_part(*c.on_disk);
        }
        ScriptedSource only("only");
        FailoverFetcher fetcher({{&only, "only"}}, {});
        fetcher.download_from("p", part_, c.offset);
        EXPECT_EQ(only.calls(), std::vector<std::string>{c.want_first});
    }
}

TEST(FailoverFetcher, ConcurrentGetsAgreeOnOneSwitch) {
    constexpr int kThreads = 4;
    constexpr int kGetsPerThread = 200;
    ScriptedSource primary("primary", {}, Outcome::fetch_error);
    ScriptedSource secondary("secondary");
    Recorder recorder;
    FailoverFetcher fetcher({{&primary, "primary"}, {&secondary, "secondary"}}, recorder.log());
    fetcher.on_switch = recorder.on_switch();

    std::atomic<int> wrong_bodies{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kGetsPerThread; ++i) {
                const std::string path = "v1/chunks/" + std::to_string(t) + "/" + std::to_string(i);
                if (fetcher.get(path, 100) != "secondary body of " + path) {
                    ++wrong_bodies;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    EXPECT_EQ(wrong_bodies, 0);
    EXPECT_EQ(secondary.call_count(), std::size_t{kThreads * kGetsPerThread});
    // Each thread tries the primary at most once: after its own success the secondary is active for good.
    EXPECT_GE(primary.call_count(), 1u);
    EXPECT_LE(primary.call_count(), std::size_t{kThreads});
    EXPECT_EQ(fetcher.failover_count, primary.call_count());
    EXPECT_EQ(fetcher.active_index, 1u);
    EXPECT_EQ(recorder.switches, std::vector<unsigned>{1});
}

} // namespace
