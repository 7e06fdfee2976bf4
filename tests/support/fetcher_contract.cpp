#include "support/fetcher_contract.hpp"

#include "patch/errors.hpp"
#include "support/http_test_server.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <tuple>
#include <vector>

namespace kyrtest {

namespace fs = std::filesystem;

std::string binaryObject(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + 7) % 256);
    }
    return bytes;
}

void expectDownloadFileModes(const FetcherMaker& make, const fs::path& dir, const std::string& object) {
    struct Case {
        const char* name;
        std::uint64_t offset;
        bool honourRange;
        std::string existing;
        bool sendsRange;
    };
    const std::uint64_t late = object.size() * 3 / 4;
    const Case cases[] = {
        {"offset 0 rewrites a longer file", 0, true, std::string(object.size() * 3 / 2, 'x'), false},
        {"206 appends", 1000, true, object.substr(0, 1000), true},
        {"206 appends to a long partial file", late, true, object.substr(0, late), true},
        {"200 for a range rewrites", 1000, false, std::string(1000, 'x'), true},
        {"no file yet, offset 0", 0, true, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpTestServer server([&](const HttpRequest& r) { return serveObject(r, object, c.honourRange); });
        const fs::path dest = dir / "pack";
        fs::remove(dest);
        if (!c.existing.empty()) {
            write_bytes(dest, c.existing);
        }
        make(server.baseUrl())->download_from("v1/packs/p0", dest.string(), c.offset);
        EXPECT_EQ(read_bytes(dest), object);
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].headers.count("range"), c.sendsRange ? 1u : 0u);
        if (c.sendsRange) {
            EXPECT_EQ(requests[0].headers.at("range"), "bytes=" + std::to_string(c.offset) + "-");
        }
    }
}

void expectErrorStatusLeavesThePartialFile(const FetcherMaker& make, const fs::path& dir, const std::string& object) {
    HttpTestServer server([&](const HttpRequest& r) {
        if (r.target == "/gone") {
            HttpResponse missing;
            missing.status = 404;
            missing.body = "not here";
            return missing;
        }
        return serveObject(r, object);
    });
    const std::unique_ptr<gu::patch::Fetcher> fetcher = make(server.baseUrl());
    const fs::path dest = dir / "pack";
    const std::string partial = object.substr(0, 1000);
    for (const auto& [path, offset, status] : {std::tuple{"pack", std::uint64_t{object.size()}, 416},
                                               std::tuple{"gone", std::uint64_t{1000}, 404},
                                               std::tuple{"gone", std::uint64_t{0}, 404}}) {
        SCOPED_TRACE(path);
        write_bytes(dest, partial);
        EXPECT_EQ(messageOf<gu::patch::FetchError>([&] { fetcher->download_from(path, dest.string(), offset); }),
                  "HTTP " + std::to_string(status) + " " + server.baseUrl() + path);
        EXPECT_EQ(read_bytes(dest), partial);
    }
}

void expectUnopenableDestinationIsALocalWriteError(const FetcherMaker& make, const fs::path& dir,
                                                   const std::string& object) {
    HttpTestServer server([&](const HttpRequest& r) { return serveObject(r, object); });
    const std::unique_ptr<gu::patch::Fetcher> fetcher = make(server.baseUrl());
    const fs::path folder = dir / "taken";
    fs::create_directories(folder);
    const fs::path missingParent = dir / "no" / "such" / "file";
    for (const fs::path& dest : {folder, missingParent}) {
        SCOPED_TRACE(dest.string());
        EXPECT_EQ(messageOf<gu::patch::LocalWriteError>([&] { fetcher->download("v1/x", dest.string()); }),
                  "cannot open " + dest.string());
    }
    // Nothing of the failed calls is left behind to disturb the next one.
    EXPECT_EQ(fetcher->get("v1/x"), object);
}

void expectEmptyBodyCreatesTheFile(const FetcherMaker& make, const fs::path& dir) {
    HttpTestServer server([&](const HttpRequest& r) { return serveObject(r, ""); });
    const fs::path dest = dir / "empty";
    write_bytes(dest, "old contents");
    make(server.baseUrl())->download("v1/x", dest.string());
    EXPECT_TRUE(fs::exists(dest));
    EXPECT_EQ(fs::file_size(dest), 0u);
}

void expectNonAsciiDestinationIsWritten(const FetcherMaker& make, const fs::path& dir, const std::string& object) {
    HttpTestServer server([&](const HttpRequest& r) { return serveObject(r, object); });
    const fs::path folder = dir / fs::u8path("J\xC3\xB6rg \xE5\xBC\xA0\xE4\xB8\x89");
    fs::create_directories(folder);
    const fs::path dest = folder / "current.part";
    const std::string dest_text = dest.u8string();
    const std::unique_ptr<gu::patch::Fetcher> fetcher = make(server.baseUrl());
    fetcher->download("v1/x", dest_text);
    EXPECT_EQ(read_bytes(dest), object);
    write_bytes(dest, object.substr(0, 1000));
    fetcher->download_from("v1/x", dest_text, 1000);
    EXPECT_EQ(read_bytes(dest), object);
}

void expectConcurrentGetsOfOneFetcher(const FetcherMaker& make, const std::string& object) {
    HttpTestServer server([&](const HttpRequest& r) { return serveObject(r, object + r.target); });
    const std::unique_ptr<gu::patch::Fetcher> fetcher = make(server.baseUrl());
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                const std::string path = "t" + std::to_string(t) + "/" + std::to_string(i);
                if (fetcher->get(path) != object + "/" + path) {
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

} // namespace kyrtest
