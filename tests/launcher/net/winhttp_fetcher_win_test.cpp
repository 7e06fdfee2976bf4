#include "launcher/net/winhttp_fetcher.hpp"

#include "patch/errors.hpp"
#include "support/http_test_server.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;
using gu::patch::FetchError;
using gu::patch::LocalWriteError;
using kyrtest::HttpRequest;
using kyrtest::HttpResponse;
using kyrtest::HttpTestServer;
using kyrtest::read_bytes;
using kyrtest::write_bytes;
using launcher::WinHttpFetcher;

// WinHTTP's ERROR_WINHTTP_CANNOT_CONNECT, as a refused connection gives it.
constexpr char kCannotConnect[] = "(0x00002EFD)";

std::string binaryObject(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + 7) % 256);
    }
    return bytes;
}

template <typename Error, typename Call> std::string messageOf(Call&& call) {
    try {
        call();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no exception)";
}

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
    EXPECT_EQ(fetcher.get("v1/chunks/ab/abcd.zst"), object_);

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
    EXPECT_EQ(fetcher.get(server.baseUrl() + "mirror/v1/x"), object_);
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
            EXPECT_EQ(messageOf<FetchError>([&] { fetcher.get("v1/x"); }), want);
            EXPECT_EQ(messageOf<FetchError>([&] { fetcher.download("v1/x", dest.string()); }), want);
            EXPECT_FALSE(fs::exists(dest));
        } else {
            const std::string want = c.status == 204 ? "" : "payload";
            EXPECT_EQ(fetcher.get("v1/x"), want);
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
    EXPECT_EQ(messageOf<FetchError>([&] { fetcher.get("v1/x"); }),
              std::string("WinHTTP GET failed ") + kCannotConnect + " " + base + "v1/x");
    EXPECT_EQ(messageOf<FetchError>([&] { fetcher.download_from("v1/x", dest.string(), 10); }),
              std::string("WinHTTP download failed ") + kCannotConnect + " " + base + "v1/x");
    EXPECT_FALSE(fs::exists(dest));

    // A URL that cannot even be split fails the same way, with the cracking step's code.
    const std::string unsplittable = WinHttpFetcher("").resolve_url("v1/x");
    const std::string message = messageOf<FetchError>([&] { WinHttpFetcher("").get("v1/x"); });
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
                fetcher.get(std::string(400, 'p'));
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
    EXPECT_EQ(fetcher.get("v1/x"), object_.substr(0, object_.size() / 2));

    const fs::path dest = dir_ / "pack";
    fetcher.download("v1/x", dest.string());
    EXPECT_EQ(read_bytes(dest), object_.substr(0, object_.size() / 2));
}

TEST_F(WinHttpFetcherTest, DownloadFromChoosesTheFileModeByOffsetAndStatus) {
    struct Case {
        const char* name;
        std::uint64_t offset;
        bool honourRange;
        std::string existing;
        std::string want;
        bool sendsRange;
    } cases[] = {
        {"offset 0 rewrites a longer file", 0, true, std::string(300000, 'x'), object_, false},
        {"206 appends", 1000, true, object_.substr(0, 1000), object_, true},
        {"206 appends to a long partial file", 150000, true, object_.substr(0, 150000), object_, true},
        {"200 for a range rewrites", 1000, false, std::string(1000, 'x'), object_, true},
        {"no file yet, offset 0", 0, true, "", object_, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HttpTestServer server([&](const HttpRequest& r) { return kyrtest::serveObject(r, object_, c.honourRange); });
        const fs::path dest = dir_ / "pack";
        fs::remove(dest);
        if (!c.existing.empty()) {
            write_bytes(dest, c.existing);
        }
        WinHttpFetcher(server.baseUrl()).download_from("v1/packs/p0", dest.string(), c.offset);
        EXPECT_EQ(read_bytes(dest), c.want);
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].headers.count("range"), c.sendsRange ? 1u : 0u);
        if (c.sendsRange) {
            EXPECT_EQ(requests[0].headers.at("range"), "bytes=" + std::to_string(c.offset) + "-");
        }
    }
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

TEST_F(WinHttpFetcherTest, ErrorStatusLeavesThePartialFileUntouched) {
    HttpTestServer server([&](const HttpRequest& r) {
        if (r.target == "/gone") {
            HttpResponse missing;
            missing.status = 404;
            missing.body = "not here";
            return missing;
        }
        return kyrtest::serveObject(r, object_);
    });
    WinHttpFetcher fetcher(server.baseUrl());
    const fs::path dest = dir_ / "pack";
    const std::string partial = object_.substr(0, 1000);
    for (const auto& [path, offset, status] : {std::tuple{"pack", std::uint64_t{200000}, 416},
                                               std::tuple{"gone", std::uint64_t{1000}, 404},
                                               std::tuple{"gone", std::uint64_t{0}, 404}}) {
        SCOPED_TRACE(path);
        write_bytes(dest, partial);
        EXPECT_EQ(messageOf<FetchError>([&] { fetcher.download_from(path, dest.string(), offset); }),
                  "HTTP " + std::to_string(status) + " " + server.baseUrl() + path);
        EXPECT_EQ(read_bytes(dest), partial);
    }
}

TEST_F(WinHttpFetcherTest, UnopenableDestinationIsALocalWriteError) {
    HttpTestServer server([&](const HttpRequest& r) { return kyrtest::serveObject(r, object_); });
    WinHttpFetcher fetcher(server.baseUrl());
    const fs::path folder = dir_ / "taken";
    fs::create_directories(folder);
    const fs::path missingParent = dir_ / "no" / "such" / "file";
    for (const fs::path& dest : {folder, missingParent}) {
        SCOPED_TRACE(dest.string());
        EXPECT_EQ(messageOf<LocalWriteError>([&] { fetcher.download("v1/x", dest.string()); }),
                  "cannot open " + dest.string());
    }
    // Nothing of the failed calls is left behind to disturb the next one.
    EXPECT_EQ(fetcher.get("v1/x"), object_);
}

TEST_F(WinHttpFetcherTest, EmptyBodyStillCreatesTheFile) {
    HttpTestServer server([&](const HttpRequest& r) { return kyrtest::serveObject(r, ""); });
    const fs::path dest = dir_ / "empty";
    write_bytes(dest, "old contents");
    WinHttpFetcher(server.baseUrl()).download("v1/x", dest.string());
    EXPECT_TRUE(fs::exists(dest));
    EXPECT_EQ(fs::file_size(dest), 0u);
}

TEST_F(WinHttpFetcherTest, ConcurrentCallsFromSeveralThreads) {
    const std::string small = object_.substr(0, 3000);
    HttpTestServer server([&](const HttpRequest& r) { return kyrtest::serveObject(r, small + r.target); });
    WinHttpFetcher fetcher(server.baseUrl());
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                const std::string path = "t" + std::to_string(t) + "/" + std::to_string(i);
                if (fetcher.get(path) != small + "/" + path) {
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
