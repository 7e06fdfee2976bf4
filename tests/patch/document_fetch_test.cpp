#include "patch/document_fetch.hpp"

#include "patch/errors.hpp"
#include "support/test_store.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

namespace {

using namespace gu::patch;
using kyrtest::FaultKind;

const std::string kPath = "v1/channels/windows.json";
const std::string kText = R"({"product":"valdra7q"})";

struct Rig {
    Rig() {
        store.put_signed(kPath, kText);
        config.pubkey_b64 = store.pubkey_b64();
        config.document_retry_delays_ms = {1, 1};
    }

    std::string fetch(std::chrono::steady_clock::time_point run_start = std::chrono::steady_clock::now()) {
        return fetch_document(
            fetcher, config, kPath, [this](const std::string& line) { lines.push_back(line); }, run_start);
    }

    kyrtest::TestStore store;
    kyrtest::MemoryFetcher fetcher{store};
    DownloaderConfig config;
    std::vector<std::string> lines;
};

std::string attempt_line(int k, int n, const std::string& error) {
    return "meta " + kPath + " intento " + std::to_string(k) + "/" + std::to_string(n) + " fallo: " + error;
}

TEST(FetchDocument, RetriesAlongTheLadderLoggingEachFailedAttempt) {
    const std::string unavailable = "HTTP 503 " + kPath;
    struct Case {
        const char* name;
        int failures;
        std::vector<std::uint32_t> delays;
        std::vector<std::string> want_lines;
        bool want_ok;
    };
    const Case cases[] = {
        {"last attempt", 2, {1, 1}, {attempt_line(1, 3, unavailable), attempt_line(2, 3, unavailable)}, true},
        {"every attempt fails",
         3,
         {1, 1},
         {attempt_line(1, 3, unavailable), attempt_line(2, 3, unavailable), attempt_line(3, 3, unavailable)},
         false},
        {"no ladder: one attempt", 1, {}, {attempt_line(1, 1, unavailable)}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.config.document_retry_delays_ms = c.delays;
        rig.fetcher.fail(kPath, FaultKind::fetch_error, c.failures);
        if (c.want_ok) {
            EXPECT_EQ(rig.fetch(), kText);
        } else {
            try {
                rig.fetch();
                ADD_FAILURE() << "no exception";
            } catch (const FetchError& e) {
                EXPECT_EQ(std::string(e.what()), unavailable);
            }
        }
        EXPECT_EQ(rig.lines, c.want_lines);
        EXPECT_EQ(rig.fetcher.requests(kPath), std::min<int>(c.failures + 1, static_cast<int>(c.delays.size()) + 1));
    }
}

TEST(FetchDocument, SpentBudgetAbandonsTheLadder) {
    Rig rig;
    rig.config.document_budget_ms = 1000;
    rig.fetcher.fail(kPath, FaultKind::fetch_error, 3);
    EXPECT_THROW(rig.fetch(std::chrono::steady_clock::now() - std::chrono::seconds(10)), FetchError);
    ASSERT_EQ(rig.lines.size(), 2u);
    EXPECT_EQ(rig.lines[0], attempt_line(1, 3, "HTTP 503 " + kPath));
    std::smatch elapsed;
    ASSERT_TRUE(std::regex_match(
        rig.lines[1], elapsed,
        std::regex("meta v1/channels/windows\\.json: presupuesto agotado \\(([0-9]+) ms\\), se abandona la escalera")));
    EXPECT_GE(std::stoull(elapsed[1].str()), 10000u);
    EXPECT_EQ(rig.fetcher.requests(kPath), 1);
}

} // namespace
