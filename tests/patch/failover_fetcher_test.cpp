#include "patch/failover_fetcher.hpp"

#include "patch/errors.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
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

    std::string get(const std::string& path, std::uint64_t) override {
        act("get " + path);
        return name_ + " body of " + path;
    }
    void download(const std::string& path, const std::string&) override { act("download " + path); }
    void download_from(const std::string& path, const std::string& dest_file, std::uint64_t offset) override {
        if (partial_bytes != 0) {
            kyrtest::write_bytes(dest_file, std::string(partial_bytes, 'x'));
        }
        act("download_from " + path + " @" + std::to_string(offset));
    }

    std::vector<std::string> calls;
    std::size_t partial_bytes = 0; // written to the destination before the call's outcome

private:
    void act(const std::string& call) {
        const Outcome outcome = calls.size() < script_.size() ? script_[calls.size()] : rest_;
        calls.push_back(call);
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
};

TEST(FailoverFetcher, AttemptOrderFollowsActivePreferenceAndForcedSecondary) {
    struct Case {
        const char* name;
        unsigned sources;
        unsigned active;
        std::optional<int> preferred;
        std::optional<bool> force_secondary;
        std::vector<unsigned> want;
    };
    const Case cases[] = {
        {"one source", 1, 0, {}, {}, {0}},
        {"primary active", 3, 0, {}, {}, {0, 1, 2}},
        {"last worked first, others in list order", 3, 2, {}, {}, {2, 0, 1}},
        {"preference beats the active source", 3, 2, 1, {}, {1, 0, 2}},
        {"preference equal to the count ignored", 3, 1, 3, {}, {1, 0, 2}},
        {"two sources forced, primary active", 2, 0, {}, true, {1, 0}},
        {"forced, primary active: secondaries downwards", 4, 0, {}, true, {3, 2, 1, 0}},
        {"forced, secondary active first", 4, 2, {}, true, {2, 3, 1, 0}},
        {"forced beats preference", 3, 0, 0, true, {2, 1, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
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

TEST(FailoverFetcher, SecondaryTakesOverIsReportedOnceAndStaysActive) {
    ScriptedSource primary("primary", {}, Outcome::fetch_error);
    ScriptedSource secondary("secondary");
    std::vector<std::string> lines;
    std::vector<unsigned> switches;
    FailoverFetcher fetcher({{&primary, "primary"}, {&secondary, "secondary"}},
                            [&](const std::string& line) { lines.push_back(line); });
    fetcher.on_switch = [&](unsigned index) { switches.push_back(index); };

    EXPECT_EQ(fetcher.get("v1/a.json", 100), "secondary body of v1/a.json");
    EXPECT_EQ(fetcher.get("v1/b.json", 100), "secondary body of v1/b.json");
    EXPECT_EQ(primary.calls.size(), 1u);
    EXPECT_EQ(fetcher.failover_count, 1u);
    EXPECT_EQ(fetcher.active_index, 1u);
    EXPECT_EQ(switches, std::vector<unsigned>{1});
    EXPECT_EQ(lines, (std::vector<std::string>{"failover: primary fallo para v1/a.json (primary down)",
                                               "failover: origen activo ahora = secondary"}));
}

TEST(FailoverFetcher, FailuresOfEverySourceAreListedAndOtherErrorsEndAtOnce) {
    struct Case {
        const char* name;
        Outcome primary;
        std::string want; // the error's kind and text
        std::size_t want_secondary_calls;
    };
    const Case cases[] = {
        {"every source down", Outcome::fetch_error,
         "fetch: all 2 store sources failed for v1/x [primary: primary down | secondary: secondary down]", 1},
        {"local write failure asks no other server", Outcome::local_write_error, "local: disk write failed", 0},
        {"verification error passes through", Outcome::verify_error, "verify: bad bytes from primary", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSource primary("primary", {}, c.primary);
        ScriptedSource secondary("secondary", {}, Outcome::fetch_error);
        FailoverFetcher fetcher({{&primary, "primary"}, {&secondary, "secondary"}}, {});
        std::string error = "(none)";
        try {
            fetcher.download("v1/x", "dest");
        } catch (const LocalWriteError& e) {
            error = std::string("local: ") + e.what();
        } catch (const FetchError& e) {
            error = std::string("fetch: ") + e.what();
        } catch (const VerifyError& e) {
            error = std::string("verify: ") + e.what();
        }
        EXPECT_EQ(error, c.want);
        EXPECT_EQ(secondary.calls.size(), c.want_secondary_calls);
        EXPECT_EQ(fetcher.active_index, 0u);
    }
}

TEST(FailoverFetcher, SecondSourceContinuesWhereTheFirstStoppedWriting) {
    kyrtest::ScratchFolder scratch;
    const std::string part = (scratch / "current.part").u8string();
    ScriptedSource first("first", {Outcome::fetch_error});
    first.partial_bytes = 1000;
    ScriptedSource second("second");
    FailoverFetcher fetcher({{&first, "first"}, {&second, "second"}}, {});

    fetcher.download_from("v1/packs/p2", part, 0);
    EXPECT_EQ(first.calls, std::vector<std::string>{"download_from v1/packs/p2 @0"});
    EXPECT_EQ(second.calls, std::vector<std::string>{"download_from v1/packs/p2 @1000"});
}

} // namespace
