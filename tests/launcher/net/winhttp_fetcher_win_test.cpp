#include "launcher/net/winhttp_fetcher.hpp"

#include "patch/errors.hpp"
#include "support/fetcher_contract.hpp"
#include "support/http_test_server.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

using gu::patch::FetchError;
using gu::patch::kMaxDocumentBytes;
using kyrtest::HttpRequest;
using kyrtest::HttpResponse;
using kyrtest::HttpTestServer;
using kyrtest::messageOf;
using launcher::WinHttpFetcher;

const kyrtest::FetcherMaker kWinHttp = [](const std::string& base) { return std::make_unique<WinHttpFetcher>(base); };

// WinHTTP against a real local server: the statuses, the launcher's headers and a range beyond 32 bits.
TEST(WinHttpFetcher, StatusesDecideBetweenBodyAndFetchError) {
    const kyrtest::ScratchFolder dir;
    for (const int status : {200, 399, 400, 416, 503}) {
        SCOPED_TRACE(status);
        HttpTestServer server([&](const HttpRequest&) {
            HttpResponse response;
            response.status = status;
            response.body = "payload";
            return response;
        });
        WinHttpFetcher fetcher(server.baseUrl());
        const std::string dest = (dir / "f").string();
        if (status >= 400) {
            const std::string want = "HTTP " + std::to_string(status) + " " + server.baseUrl() + "v1/x";
            EXPECT_EQ(messageOf<FetchError>([&] { fetcher.get("v1/x", kMaxDocumentBytes); }), want);
            EXPECT_EQ(messageOf<FetchError>([&] { fetcher.download_from("v1/x", dest, 0x123456789ULL); }), want);
            EXPECT_FALSE(std::filesystem::exists(dest));
            EXPECT_EQ(server.requests().back().headers.at("range"), "bytes=4886718345-");
        } else {
            EXPECT_EQ(fetcher.get("v1/x", kMaxDocumentBytes), "payload");
            EXPECT_EQ(server.requests().back().headers.at("user-agent"), "7qvaldra-launcher/1.0");
            EXPECT_EQ(server.requests().back().headers.count("range"), 0u);
        }
    }
}

TEST(WinHttpFetcher, TransportFailuresNameTheOperationTheCodeAndTheUrl) {
    std::string base;
    {
        HttpTestServer closed([](const HttpRequest&) { return HttpResponse{}; });
        base = closed.baseUrl();
    }
    WinHttpFetcher fetcher(base.substr(0, base.size() - 1)); // the slash is put back at construction
    EXPECT_EQ(fetcher.resolve_url("https://mirror/v1/x"), "https://mirror/v1/x");
    // WinHTTP's ERROR_WINHTTP_CANNOT_CONNECT, as a refused connection gives it.
    EXPECT_EQ(messageOf<FetchError>([&] { fetcher.get("v1/x", kMaxDocumentBytes); }),
              "WinHTTP GET failed (0x00002EFD) " + base + "v1/x");
    const std::string message = messageOf<FetchError>([&] { fetcher.get(std::string(400, 'p'), kMaxDocumentBytes); });
    EXPECT_EQ(message.size(), 191u) << "cut to 191 characters";
}

TEST(WinHttpFetcher, KeepsTheFetcherContract) {
    const kyrtest::ScratchFolder dir;
    const std::string object = kyrtest::binaryObject(200000); // several read blocks
    kyrtest::expectGetWithinItsLimit(*kyrtest::httpStore(kWinHttp), object);
    kyrtest::expectGetStopsAtItsLimit(kWinHttp);
    kyrtest::expectDownloadFileModes(*kyrtest::httpStore(kWinHttp), dir.path(), object);
    kyrtest::expectRangeRequests(kWinHttp, dir.path(), object);
    kyrtest::expectFailedDownloadLeavesThePartialFile(*kyrtest::httpStore(kWinHttp), dir.path(), object);
    kyrtest::expectUnopenableDestinationIsALocalWriteError(*kyrtest::httpStore(kWinHttp), dir.path(), object);
    kyrtest::expectEmptyBodyCreatesTheFile(*kyrtest::httpStore(kWinHttp), dir.path());
    kyrtest::expectNonAsciiDestinationIsWritten(*kyrtest::httpStore(kWinHttp), dir.path(), object);
    kyrtest::expectConcurrentGetsOfOneFetcher(*kyrtest::httpStore(kWinHttp), object.substr(0, 3000));
}

} // namespace
