#include "patch/curl_fetcher.hpp"

#include "patch/errors.hpp"
#include "support/fetcher_contract.hpp"
#include "support/http_test_server.hpp"
#include "support/nginx_server_posix.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace gu::patch {
namespace {

namespace fs = std::filesystem;
using kyrtest::HttpRequest;
using kyrtest::HttpTestServer;

const kyrtest::FetcherMaker kCurl = [](const std::string& base) { return std::make_unique<CurlFetcher>(base); };
const kyrtest::FetcherMaker kCurlIdleOneSecond = [](const std::string& base) {
    CurlFetcherOptions options;
    options.idle_timeout_ms = 1000;
    return std::make_unique<CurlFetcher>(base, options);
};

TEST(CurlFetcher, KeepsTheFetcherContract) {
    kyrtest::expectHttpFetcherContract(kCurl, kCurlIdleOneSecond, kyrtest::binaryObject(5000));
}

// A real HTTPS store (nginx with a test authority) whose answer points at plain HTTP.
TEST(CurlFetcher, HttpsStoreNeverRedirectsToPlainHttp) {
    if (kyrtest::NginxServer::program().empty()) {
        GTEST_SKIP() << "nginx is not installed (Debian package nginx-light)";
    }
    const kyrtest::ScratchFolder scratch;
    const fs::path dir_ = scratch.path();
    const std::string object_ = kyrtest::binaryObject(5000);
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
    EXPECT_EQ(kyrtest::messageOf<FetchError>([&] { fetcher.get("down", kMaxDocumentBytes); }),
              "curl GET failed (0x00000001) " + tls.baseUrl() + "down");
    EXPECT_TRUE(plain.requests().empty());
}

} // namespace
} // namespace gu::patch
