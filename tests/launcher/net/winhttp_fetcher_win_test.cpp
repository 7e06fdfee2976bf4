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

namespace fs = std::filesystem;
using gu::patch::FetchError;
using gu::patch::kMaxDocumentBytes;
using kyrtest::binaryObject;
using kyrtest::HttpRequest;
using kyrtest::HttpResponse;
using kyrtest::HttpTestServer;
using kyrtest::messageOf;
using kyrtest::read_bytes;
using launcher::WinHttpFetcher;

// WinHTTP's ERROR_WINHTTP_CANNOT_CONNECT, as a refused connection gives it.
constexpr char kCannotConnect[] = "(0x00002EFD)";

// A base URL on which nothing listens.
std::string closedBase() {
    HttpTestServer closed([](const HttpRequest&) { return HttpResponse{}; });
    return closed.baseUrl();
}

class WinHttpFetcherTest : public ::testing::Test {
protected:
    kyrtest::ScratchFolder dir_;
    const std::string object_ = binaryObject(200000); // several read blocks
};

TEST(WinHttpFetcherUrl, ResolvesStorePathsAgainstTheBase) {
    struct Case {
        const char* base;
        const char* path;
        const char* want;
    } cases[] = {
        {"https://store.example/kyr", "v1/channels/windows.json", "https://store.example/kyr/v1/channels/windows.json"},
        {"https://store.example/kyr/", "v1/x", "https://store.example/kyr/v1/x"},
        {"", "v1/x", "/v1/x"},
        {"https://a/", "", "https://a/"},
        {"https://a/", "https://mirror/v1/x", "https://mirror/v1/x"},
        {"https://a/", "://", "://"},
        {"https://a/", "x:/", "https://a/x:/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.base) + " + " + c.path);
        EXPECT_EQ(WinHttpFetcher(c.base).resolve_url(c.path), c.want);
    }
}

TEST_F(WinHttpFetcherTest, GetReturnsTheWholeBodyAndSendsTheLauncherHeaders) {
    HttpTestServer server([&](const HttpRequest& r) { return kyrtest::serveObject(r, object_); });
    std::string base = server.baseUrl();
    base.pop_back(); // the slash is put back at construction
    WinHttpFetcher fetcher(base);
    EXPECT_EQ(fetcher.get("v1/chunks/ab/abcd.zst", kMaxDocumentBytes), object_);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/v1/chunks/ab/abcd.zst");
    EXPECT_EQ(requests[0].headers.at("user-agent"), "7qvaldra-launcher/1.0");
    EXPECT_EQ(requests[0].headers.count("range"), 0u);
}

TEST_F(WinHttpFetcherTest, AbsoluteUrlIsRequestedWithoutTheBase) {
    HttpTestServer server([&](const HttpRequest& r) { return kyrtest::serveObject(r, object_); });
    WinHttpFetcher fetcher(closedBase() + "store/");
    EXPECT_EQ(fetcher.get(server.baseUrl() + "mirror/v1/x", kMaxDocumentBytes), object_);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/mirror/v1/x");
}

TEST_F(WinHttpFetcherTest, StatusesDecideBetweenBodyAndFetchError) {
    struct Case {
        int status;
        bool fails;
    } cases[] = {{200, false}, {204, false}, {399, false}, {400, true}, {404, true}, {500, true}, {503, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        HttpTestServer server([&](const HttpRequest&) {
            HttpResponse response;
            response.status = c.status;
            response.body = c.status == 204 ? "" : "payload";
            return response;
        });
        WinHttpFetcher fetcher(server.baseUrl());
        const std::string url = server.baseUrl() + "v1/x";
        const fs::path dest = dir_ / "f";
        if (c.fails) {
            const std::string want = "HTTP " + std::to_string(c.status) + " " + url;
            EXPECT_EQ(messageOf<FetchError>([&] { fetcher.get("v1/x", kMaxDocumentBytes); }), want);
            EXPECT_EQ(messageOf<FetchError>([&] { fetcher.download("v1/x", dest.string()); }), want);
            EXPECT_FALSE(fs::exists(dest));
        } else {
            const std::string want = c.status == 204 ? "" : "payload";
            EXPECT_EQ(fetcher.get("v1/x", kMaxDocumentBytes), want);
            fetcher.download("v1/x", dest.string());
            EXPECT_EQ(read_bytes(dest), want);
        }
        fs::remove(dest);
    }
}

TEST_F(WinHttpFetcherTest, TransportFailuresNameTheOperationTheCodeAndTheUrl) {
    const std::string base = closedBase();
    WinHttpFetcher fetcher(base);
    const fs::path dest = dir_ / "f";
    EXPECT_EQ(messageOf<FetchError>([&] { fetcher.get("v1/x", kMaxDocumentBytes); }),
              std::string("WinHTTP GET failed ") + kCannotConnect + " " + base + "v1/x");
    EXPECT_EQ(messageOf<FetchError>([&] { fetcher.download_from("v1/x", dest.string(), 10); }),
              std::string("WinHTTP download failed ") + kCannotConnect + " " + base + "v1/x");
    EXPECT_FALSE(fs::exists(dest));

    // A URL that cannot even be split fails the same way, with the cracking step's code.
    const std::string unsplittable = WinHttpFetcher("").resolve_url("v1/x");
    const std::string message = messageOf<FetchError>([&] { WinHttpFetcher("").get("v1/x", kMaxDocumentBytes); });
    EXPECT_EQ(message.rfind("WinHTTP GET failed (0x", 0), 0u) << message;
    EXPECT_EQ(message.substr(message.size() - unsplittable.size() - 1), " " + unsplittable);
}

TEST_F(WinHttpFetcherTest, TransportMessageIsCutTo191Characters) {
    WinHttpFetcher fetcher(closedBase());
    for (const bool download : {false, true}) {
        SCOPED_TRACE(download);
        const std::string message = messageOf<FetchError>([&] {
            if (download) {
                fetcher.download(std::string(400, 'p'), (dir_ / "f").string());
            } else {
                fetcher.get(std::string(400, 'p'), kMaxDocumentBytes);
            }
        });
        EXPECT_EQ(message.size(), 191u);
        EXPECT_EQ(message.rfind(download ? "WinHTTP download failed (0x" : "WinHTTP GET failed (0x", 0), 0u);
    }
}

TEST_F(WinHttpFetcherTest, BodyCutHalfwayEndsSilentlyWithTheBytesRead) {
    HttpTestServer server([&](const HttpRequest& r) {
        HttpResponse response = kyrtest::serveObject(r, object_);
        response.cutAfter = object_.size() / 2;
        return response;
    });
    WinHttpFetcher fetcher(server.baseUrl());
    EXPECT_EQ(fetcher.get("v1/x", kMaxDocumentBytes), object_.substr(0, object_.size() / 2));

    const fs::path dest = dir_ / "pack";
    fetcher.download("v1/x", dest.string());
    EXPECT_EQ(read_bytes(dest), object_.substr(0, object_.size() / 2));
}

TEST_F(WinHttpFetcherTest, RangeHeaderCarriesOffsetsBeyond32Bits) {
    HttpTestServer server([](const HttpRequest&) {
        HttpResponse unsatisfiable;
        unsatisfiable.status = 416;
        return unsatisfiable;
    });
    const std::uint64_t offset = 0x123456789ULL;
    EXPECT_EQ(messageOf<FetchError>(
                  [&] { WinHttpFetcher(server.baseUrl()).download_from("p", (dir_ / "f").string(), offset); }),
              "HTTP 416 " + server.baseUrl() + "p");
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].headers.at("range"), "bytes=4886718345-");
}

const kyrtest::FetcherMaker kWinHttp = [](const std::string& base) { return std::make_unique<WinHttpFetcher>(base); };

TEST_F(WinHttpFetcherTest, GetStaysWithinItsLimit) {
    kyrtest::expectGetWithinItsLimit(*kyrtest::httpStore(kWinHttp), object_);
    kyrtest::expectGetStopsAtItsLimit(kWinHttp);
}

TEST_F(WinHttpFetcherTest, DownloadFromChoosesTheFileModeByOffsetAndStatus) {
    kyrtest::expectDownloadFileModes(*kyrtest::httpStore(kWinHttp), dir_.path(), object_);
    kyrtest::expectRangeRequests(kWinHttp, dir_.path(), object_);
}

TEST_F(WinHttpFetcherTest, ErrorStatusLeavesThePartialFileUntouched) {
    kyrtest::expectFailedDownloadLeavesThePartialFile(*kyrtest::httpStore(kWinHttp), dir_.path(), object_);
}

TEST_F(WinHttpFetcherTest, UnopenableDestinationIsALocalWriteError) {
    kyrtest::expectUnopenableDestinationIsALocalWriteError(*kyrtest::httpStore(kWinHttp), dir_.path(), object_);
}

TEST_F(WinHttpFetcherTest, EmptyBodyStillCreatesTheFile) {
    kyrtest::expectEmptyBodyCreatesTheFile(*kyrtest::httpStore(kWinHttp), dir_.path());
}

TEST_F(WinHttpFetcherTest, NonAsciiDestinationIsWritten) {
    kyrtest::expectNonAsciiDestinationIsWritten(*kyrtest::httpStore(kWinHttp), dir_.path(), object_);
}

TEST_F(WinHttpFetcherTest, ConcurrentCallsFromSeveralThreads) {
    kyrtest::expectConcurrentGetsOfOneFetcher(*kyrtest::httpStore(kWinHttp), object_.substr(0, 3000));
}

} // namespace
