#include "patch/curl_fetcher.hpp"

#include "patch/errors.hpp"
#include "support/fetcher_contract.hpp"
#include "support/http_test_server.hpp"
#include "support/nginx_server_posix.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>

namespace gu::patch {
namespace {

namespace fs = std::filesystem;
using kyrtest::binaryObject;
using kyrtest::HttpRequest;
using kyrtest::HttpResponse;
using kyrtest::HttpTestServer;
using kyrtest::messageOf;

// A base URL on which nothing listens.
std::string closedBase() {
    HttpTestServer closed([](const HttpRequest&) { return HttpResponse{}; });
    return closed.baseUrl();
}

class CurlFetcherTest : public ::testing::Test {
protected:
    kyrtest::ScratchFolder scratch_;
    const fs::path dir_ = scratch_.path();
    const std::string object_ = binaryObject(5000);
};

TEST(CurlFetcherUrl, ResolvesStorePathsAgainstTheBase) {
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
        EXPECT_EQ(CurlFetcher(c.base).resolve_url(c.path), c.want);
    }
}

TEST_F(CurlFetcherTest, GetReturnsTheWholeBodyAndSendsTheLauncherHeaders) {
    HttpTestServer server([&](const HttpRequest& r) { return kyrtest::serveObject(r, object_); });
    CurlFetcher fetcher(server.baseUrl());
    EXPECT_EQ(fetcher.get("v1/chunks/ab/abcd.zst", kMaxDocumentBytes), object_);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/v1/chunks/ab/abcd.zst");
    EXPECT_EQ(requests[0].headers.at("user-agent"), "7qvaldra-launcher/1.0");
    EXPECT_EQ(requests[0].headers.at("cache-control"), "no-cache");
    EXPECT_EQ(requests[0].headers.count("range"), 0u);
}

TEST_F(CurlFetcherTest, StatusesDecideBetweenBodyAndFetchError) {
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
        CurlFetcher fetcher(server.baseUrl());
        const std::string url = server.baseUrl() + "v1/x";
        if (c.fails) {
            EXPECT_EQ(messageOf<FetchError>([&] { fetcher.get("v1/x", kMaxDocumentBytes); }),
                      "HTTP " + std::to_string(c.status) + " " + url);
        } else {
            EXPECT_EQ(fetcher.get("v1/x", kMaxDocumentBytes), c.status == 204 ? "" : "payload");
        }
    }
}

TEST_F(CurlFetcherTest, RefusedConnectionIsATransportFailure) {
    const std::string base = closedBase();
    CurlFetcher fetcher(base);
    EXPECT_EQ(messageOf<FetchError>([&] { fetcher.get("v1/x", kMaxDocumentBytes); }),
              "curl GET failed (0x00000007) " + base + "v1/x");
    EXPECT_EQ(messageOf<FetchError>([&] { fetcher.download("v1/x", (dir_ / "f").string()); }),
              "curl download failed (0x00000007) " + base + "v1/x");
    EXPECT_FALSE(fs::exists(dir_ / "f"));
}

TEST_F(CurlFetcherTest, TransportMessageIsCutTo191Characters) {
    CurlFetcher fetcher("http://127.0.0.1:1/");
    const std::string message = messageOf<FetchError>([&] { fetcher.get(std::string(400, 'p'), kMaxDocumentBytes); });
    EXPECT_EQ(message.size(), 191u);
    EXPECT_EQ(message.rfind("curl GET failed (0x", 0), 0u);
}

TEST_F(CurlFetcherTest, BodyCutHalfwayEndsSilentlyWithTheBytesRead) {
    HttpTestServer server([&](const HttpRequest& r) {
        HttpResponse response = kyrtest::serveObject(r, object_);
        response.cutAfter = 1200;
        return response;
    });
    CurlFetcher fetcher(server.baseUrl());
    EXPECT_EQ(fetcher.get("v1/x", kMaxDocumentBytes), object_.substr(0, 1200));

    const fs::path dest = dir_ / "pack";
    fetcher.download("v1/x", dest.string());
    EXPECT_EQ(kyrtest::read_bytes(dest), object_.substr(0, 1200));
}

TEST_F(CurlFetcherTest, ReceiveTimeoutOfGetEndsAStalledBody) {
    HttpTestServer server([&](const HttpRequest& r) {
        HttpResponse response = kyrtest::serveObject(r, object_);
        response.stallMs = 2500;
        return response;
    });
    CurlFetcherOptions options;
    options.get_receive_timeout_ms = 1000;
    CurlFetcher fetcher(server.baseUrl(), options);
    EXPECT_EQ(fetcher.get("v1/x", kMaxDocumentBytes), "");
}

TEST(CurlFetcherRedirects, StayOnHttpsOnceARequestIsEncrypted) {
    const struct {
        const char* url;
        const char* want;
    } cases[] = {
        {"https://store.example/v1/x", "https"},
        {"HTTPS://store.example/v1/x", "https"},
        {"http://store.example/v1/x", "http,https"},
        {"http://https.example/v1/x", "http,https"},
        {"", "http,https"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(redirect_protocols(c.url), c.want);
    }
}

TEST_F(CurlFetcherTest, RedirectsAreFollowedOnlyToAnAnswer) {
    const std::string closed = closedBase();
    HttpTestServer server([&](const HttpRequest& r) {
        if (r.target == "/object") {
            return kyrtest::serveObject(r, object_);
        }
        HttpResponse moved;
        moved.status = 302;
        moved.body = "moved";
        const std::map<std::string, std::string> locations = {
            {"/relative", "/object"}, {"/absolute", server.baseUrl() + "object"}, {"/dead", closed + "object"}};
        moved.headers.emplace_back("Location", locations.at(r.target));
        return moved;
    });
    CurlFetcher fetcher(server.baseUrl());
    EXPECT_EQ(fetcher.get("relative", kMaxDocumentBytes), object_);
    EXPECT_EQ(fetcher.get("absolute", kMaxDocumentBytes), object_);
    // A redirect that leads nowhere is a failed request, not a body made of the redirect's own page.
    const std::string url = server.baseUrl() + "dead";
    EXPECT_EQ(messageOf<FetchError>([&] { fetcher.get("dead", kMaxDocumentBytes); }),
              "curl GET failed (0x00000007) " + url);
    EXPECT_EQ(messageOf<FetchError>([&] { fetcher.download("dead", (dir_ / "f").string()); }),
              "curl download failed (0x00000007) " + url);
    EXPECT_FALSE(fs::exists(dir_ / "f"));
}

// A real HTTPS store (nginx with a test authority) whose answer points at plain HTTP.
TEST_F(CurlFetcherTest, HttpsStoreNeverRedirectsToPlainHttp) {
    if (kyrtest::NginxServer::program().empty()) {
        GTEST_SKIP() << "nginx is not installed (Debian package nginx-light)";
    }
    HttpTestServer plain([&](const HttpRequest& r) { return kyrtest::serveObject(r, object_); });
    const fs::path served = dir_ / "served";
    fs::create_directories(served / "v1");
    kyrtest::write_bytes(served / "v1" / "x", object_);
    const kyrtest::TestCertificates certificates = kyrtest::makeTestCertificates(dir_ / "tls");
    const std::string up = "location = /up { return 302 /v1/x; }\n";
    const std::string down = "location = /down { return 302 " + plain.baseUrl() + "v1/x; }\n";
    const kyrtest::NginxServer tls(served, dir_ / "nginx", certificates.server, up + down);
    CurlFetcherOptions options;
    options.ca_file = certificates.caCertificate.string();
    CurlFetcher fetcher(tls.baseUrl(), options);

    EXPECT_EQ(fetcher.get("up", kMaxDocumentBytes), object_);
    // CURLE_UNSUPPORTED_PROTOCOL: the plain server is never asked.
    EXPECT_EQ(messageOf<FetchError>([&] { fetcher.get("down", kMaxDocumentBytes); }),
              "curl GET failed (0x00000001) " + tls.baseUrl() + "down");
    EXPECT_TRUE(plain.requests().empty());
}

const kyrtest::FetcherMaker kCurl = [](const std::string& base) { return std::make_unique<CurlFetcher>(base); };

TEST_F(CurlFetcherTest, GetStaysWithinItsLimit) {
    kyrtest::expectGetWithinItsLimit(*kyrtest::httpStore(kCurl), object_);
    kyrtest::expectGetStopsAtItsLimit(kCurl);
}

TEST_F(CurlFetcherTest, DownloadFromChoosesTheFileModeByOffsetAndStatus) {
    kyrtest::expectDownloadFileModes(*kyrtest::httpStore(kCurl), dir_, object_);
    kyrtest::expectRangeRequests(kCurl, dir_, object_);
}

TEST_F(CurlFetcherTest, ErrorStatusLeavesThePartialFileUntouched) {
    kyrtest::expectFailedDownloadLeavesThePartialFile(*kyrtest::httpStore(kCurl), dir_, object_);
}

TEST_F(CurlFetcherTest, UnopenableDestinationIsALocalWriteError) {
    kyrtest::expectUnopenableDestinationIsALocalWriteError(*kyrtest::httpStore(kCurl), dir_, object_);
}

TEST_F(CurlFetcherTest, EmptyBodyStillCreatesTheFile) {
    kyrtest::expectEmptyBodyCreatesTheFile(*kyrtest::httpStore(kCurl), dir_);
}

TEST_F(CurlFetcherTest, NonAsciiDestinationIsWritten) {
    kyrtest::expectNonAsciiDestinationIsWritten(*kyrtest::httpStore(kCurl), dir_, kyrtest::binaryObject(200000));
}

TEST_F(CurlFetcherTest, ConcurrentCallsFromSeveralThreads) {
    kyrtest::expectConcurrentGetsOfOneFetcher(*kyrtest::httpStore(kCurl), object_);
}

} // namespace
} // namespace gu::patch
