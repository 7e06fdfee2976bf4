#include "patch/curl_fetcher.hpp"

#include "patch/errors.hpp"
#include "support/http_test_server.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace gu::patch {
namespace {

namespace fs = std::filesystem;
using kyrtest::HttpRequest;
using kyrtest::HttpResponse;
using kyrtest::HttpTestServer;

std::string binaryObject(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + 7) % 256);
    }
    return bytes;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

template <typename Error, typename Call>
std::string messageOf(Call&& call) {
    try {
        call();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no exception)";
}

class CurlFetcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kyr-curl-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
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
    EXPECT_EQ(fetcher.get("v1/chunks/ab/abcd.zst"), object_);

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
            EXPECT_EQ(messageOf<FetchError>([&] { fetcher.get("v1/x"); }), "HTTP " + std::to_string(c.status) + " " + url);
        } else {
            EXPECT_EQ(fetcher.get("v1/x"), c.status == 204 ? "" : "payload");
        }
    }
}

TEST_F(CurlFetcherTest, RefusedConnectionIsATransportFailure) {
    std::string base;
    {
        HttpTestServer closed([](const HttpRequest&) { return HttpResponse{}; });
        base = closed.baseUrl();
    }
    CurlFetcher fetcher(base);
    EXPECT_EQ(messageOf<FetchError>([&] { fetcher.get("v1/x"); }),
              "curl GET failed (0x00000007) " + base + "v1/x");
    EXPECT_EQ(messageOf<FetchError>([&] { fetcher.download("v1/x", (dir_ / "f").string()); }),
              "curl download failed (0x00000007) " + base + "v1/x");
    EXPECT_FALSE(fs::exists(dir_ / "f"));
}

TEST_F(CurlFetcherTest, TransportMessageIsCutTo191Characters) {
    CurlFetcher fetcher("http://127.0.0.1:1/");
    const std::string message = messageOf<FetchError>([&] { fetcher.get(std::string(400, 'p')); });
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
    EXPECT_EQ(fetcher.get("v1/x"), object_.substr(0, 1200));

    const fs::path dest = dir_ / "pack";
    fetcher.download("v1/x", dest.string());
    EXPECT_EQ(readFile(dest), object_.substr(0, 1200));
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
    EXPECT_EQ(fetcher.get("v1/x"), "");
}

TEST_F(CurlFetcherTest, RedirectsAreFollowed) {
    HttpTestServer server([&](const HttpRequest& r) {
        if (r.target == "/old") {
            HttpResponse moved;
            moved.status = 302;
            moved.headers.emplace_back("Location", "/new");
            return moved;
        }
        return kyrtest::serveObject(r, object_);
    });
    CurlFetcher fetcher(server.baseUrl());
    EXPECT_EQ(fetcher.get("old"), object_);
}

TEST_F(CurlFetcherTest, DownloadFromChoosesTheFileModeByOffsetAndStatus) {
    struct Case {
        const char* name;
        std::uint64_t offset;
        bool honourRange;
        std::string existing;
        std::string want;
        bool sendsRange;
    } cases[] = {
        {"offset 0 rewrites a longer file", 0, true, std::string(9000, 'x'), object_, false},
        {"206 appends", 1000, true, object_.substr(0, 1000), object_, true},
        {"200 for a range rewrites", 1000, false, std::string(1000, 'x'), object_, true},
        {"no file yet, offset 0", 0, true, "", object_, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HttpTestServer server([&](const HttpRequest& r) { return kyrtest::serveObject(r, object_, c.honourRange); });
        const fs::path dest = dir_ / "pack";
        fs::remove(dest);
        if (!c.existing.empty()) {
            writeFile(dest, c.existing);
        }
        CurlFetcher(server.baseUrl()).download_from("v1/packs/p0", dest.string(), c.offset);
        EXPECT_EQ(readFile(dest), c.want);
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].headers.count("range"), c.sendsRange ? 1u : 0u);
        if (c.sendsRange) {
            EXPECT_EQ(requests[0].headers.at("range"), "bytes=" + std::to_string(c.offset) + "-");
        }
    }
}

TEST_F(CurlFetcherTest, ErrorStatusLeavesThePartialFileUntouched) {
    HttpTestServer server([&](const HttpRequest& r) {
        if (r.target == "/gone") {
            HttpResponse missing;
            missing.status = 404;
            missing.body = "not here";
            return missing;
        }
        return kyrtest::serveObject(r, object_);
    });
    CurlFetcher fetcher(server.baseUrl());
    const fs::path dest = dir_ / "pack";
    const std::string partial = object_.substr(0, 1000);
    for (const auto& [path, offset, status] : {std::tuple{"pack", std::uint64_t{5000}, 416},
                                               std::tuple{"gone", std::uint64_t{1000}, 404},
                                               std::tuple{"gone", std::uint64_t{0}, 404}}) {
        SCOPED_TRACE(path);
        writeFile(dest, partial);
        EXPECT_EQ(messageOf<FetchError>([&] { fetcher.download_from(path, dest.string(), offset); }),
                  "HTTP " + std::to_string(status) + " " + server.baseUrl() + path);
        EXPECT_EQ(readFile(dest), partial);
    }
}

TEST_F(CurlFetcherTest, UnopenableDestinationIsALocalWriteError) {
    HttpTestServer server([&](const HttpRequest& r) { return kyrtest::serveObject(r, object_); });
    CurlFetcher fetcher(server.baseUrl());
    const fs::path folder = dir_ / "taken";
    fs::create_directories(folder);
    EXPECT_EQ(messageOf<LocalWriteError>([&] { fetcher.download("v1/x", folder.string()); }),
              "cannot open " + folder.string());
    const fs::path missingParent = dir_ / "no" / "such" / "file";
    EXPECT_EQ(messageOf<LocalWriteError>([&] { fetcher.download("v1/x", missingParent.string()); }),
              "cannot open " + missingParent.string());
}

TEST_F(CurlFetcherTest, EmptyBodyStillCreatesTheFile) {
    HttpTestServer server([&](const HttpRequest& r) { return kyrtest::serveObject(r, ""); });
    const fs::path dest = dir_ / "empty";
    writeFile(dest, "old contents");
    CurlFetcher(server.baseUrl()).download("v1/x", dest.string());
    EXPECT_TRUE(fs::exists(dest));
    EXPECT_EQ(fs::file_size(dest), 0u);
}

TEST_F(CurlFetcherTest, ConcurrentCallsFromSeveralThreads) {
    HttpTestServer server([&](const HttpRequest& r) { return kyrtest::serveObject(r, object_ + r.target); });
    CurlFetcher fetcher(server.baseUrl());
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                const std::string path = "t" + std::to_string(t) + "/" + std::to_string(i);
                if (fetcher.get(path) != object_ + "/" + path) {
                    ++mismatches[t];
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
    EXPECT_EQ(server.requests().size(), 40u);
}

} // namespace
} // namespace gu::patch
