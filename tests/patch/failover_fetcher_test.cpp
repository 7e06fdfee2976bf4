#include "patch/failover_fetcher.hpp"

#include "patch/errors.hpp"
#include "support/fetcher_contract.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace gu::patch;

const std::string kObject = kyrtest::binaryObject(5000);

// A source whose calls follow a script, one letter per call, the last one repeating: o serves, f fails
// (FetchError), l cannot write (LocalWriteError), v serves bad bytes (VerifyError).
class ScriptedSource : public Fetcher {
public:
    ScriptedSource(std::string name, std::string script) : name_(std::move(name)), script_(std::move(script)) {}

    std::string get(const std::string&, std::uint64_t) override {
        const char step = script_[std::min(calls++, script_.size() - 1)];
        if (step == 'f') {
            throw FetchError(name_ + " down");
        }
        if (step == 'l') {
            throw LocalWriteError("disk write failed");
        }
        if (step == 'v') {
            throw VerifyError("bad bytes from " + name_);
        }
        return name_ + " body";
    }
    // f hands over 1000 bytes of kObject from offset before it fails.
    void stream_from(const std::string&, std::uint64_t offset, std::uint64_t max_bytes, const ByteSink& sink) override {
        streams += "@" + std::to_string(offset) + "<" + std::to_string(max_bytes) + " ";
        const bool fails = script_[std::min(calls++, script_.size() - 1)] == 'f';
        sink(std::string_view(kObject).substr(offset, fails ? 1000 : std::string::npos));
        if (fails) {
            throw FetchError(name_ + " down");
        }
    }

    std::size_t calls = 0;
    std::string streams; // "@offset<limit " per stream

private:
    std::string name_;
    std::string script_;
};

TEST(FailoverFetcher, AttemptOrderFollowsActivePreferenceAndForcedSecondary) {
    struct Case {
        unsigned sources;
        unsigned active;
        std::optional<int> preferred;
        bool forced;
        std::vector<unsigned> want;
    };
    const Case cases[] = {
        {1, 0, {}, true, {0}},          {3, 0, {}, false, {0, 1, 2}},   {3, 2, {}, false, {2, 0, 1}},
        {3, 2, 1, false, {1, 0, 2}},    {3, 1, 3, false, {1, 0, 2}},    {2, 0, {}, true, {1, 0}},
        {4, 0, {}, true, {3, 2, 1, 0}}, {4, 2, {}, true, {2, 3, 1, 0}}, {3, 0, 0, true, {2, 1, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.sources) + " sources, active " + std::to_string(c.active));
        FailoverFetcher fetcher(std::vector<FetchSource>(c.sources), {});
        fetcher.active_index = c.active;
        if (c.preferred) {
            fetcher.preferred_source = [p = *c.preferred] { return p; };
        }
        fetcher.force_secondary = [f = c.forced] { return f; };
        EXPECT_EQ(fetcher.attempt_order(), c.want);
    }
}

// Only a store's failure sends the request to the next source; the switch is reported once and sticks.
TEST(FailoverFetcher, AStoreFailureMovesToTheNextSourceAndOtherErrorsEndAtOnce) {
    struct Case {
        const char* name;
        std::string primary;
        std::string secondary;
        std::string want; // both calls' bodies, or the first call's error
        std::vector<std::string> want_lines;
    };
    const Case cases[] = {
        {"secondary takes over and stays",
         "f",
         "o",
         "secondary body, secondary body",
         {"failover: primary fallo para v1/a (primary down)", "failover: origen activo ahora = secondary"}},
        {"every source down",
         "f",
         "f",
         "fetch: all 2 store sources failed for v1/a [primary: primary down | secondary: secondary down]",
         {"failover: primary fallo para v1/a (primary down)", "failover: secondary fallo para v1/a (secondary down)"}},
        {"local write failure asks no other server", "l", "o", "local: disk write failed", {}},
        {"verification error passes through", "v", "o", "verify: bad bytes from primary", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSource primary("primary", c.primary);
        ScriptedSource secondary("secondary", c.secondary);
        std::vector<std::string> lines;
        std::vector<unsigned> switches;
        FailoverFetcher fetcher({{&primary, "primary"}, {&secondary, "secondary"}},
                                [&](const std::string& line) { lines.push_back(line); });
        fetcher.on_switch = [&](unsigned index) { switches.push_back(index); };
        std::string got;
        try {
            got = fetcher.get("v1/a", 100);
            got += ", " + fetcher.get("v1/b", 100);
        } catch (const LocalWriteError& e) {
            got = std::string("local: ") + e.what();
        } catch (const FetchError& e) {
            got = std::string("fetch: ") + e.what();
        } catch (const VerifyError& e) {
            got = std::string("verify: ") + e.what();
        }
        EXPECT_EQ(got, c.want);
        EXPECT_EQ(lines, c.want_lines);
        const bool switched = c.secondary == "o" && c.primary == "f";
        EXPECT_EQ(switches, switched ? std::vector<unsigned>{1} : std::vector<unsigned>{});
        EXPECT_EQ(primary.calls, 1u);
        EXPECT_EQ(fetcher.active_index, switched ? 1u : 0u);
    }
}

// A stream that breaks off part-way continues on the next source, so the sink sees the object once; the
// sink's own error is no source's failure.
TEST(FailoverFetcher, StreamsContinueOnTheNextSourceAndSinkErrorsEndAtOnce) {
    for (const bool sink_fails : {false, true}) {
        SCOPED_TRACE(sink_fails ? "sink fails" : "primary breaks off");
        ScriptedSource primary("primary", sink_fails ? "o" : "f");
        ScriptedSource secondary("secondary", "o");
        FailoverFetcher fetcher({{&primary, "primary"}, {&secondary, "secondary"}}, {});
        std::string streamed;
        EXPECT_EQ(kyrtest::messageOf<FetchError>([&] {
                      fetcher.stream_from("v1/packs/p0", 500, 5000, [&](std::string_view block) {
                          streamed += block;
                          if (sink_fails) {
                              throw FetchError("bad pack");
                          }
                      });
                  }),
                  sink_fails ? "bad pack" : "(no exception)");
        EXPECT_EQ(streamed, kObject.substr(500));
        EXPECT_EQ(primary.streams, "@500<5000 ");
        EXPECT_EQ(secondary.streams, sink_fails ? "" : "@1500<5000 ");
        EXPECT_EQ(fetcher.active_index, sink_fails ? 0u : 1u);
    }
}

} // namespace
