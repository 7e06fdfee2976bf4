#include "support/fetcher_contract.hpp"

#include "patch/errors.hpp"
#include "support/http_test_server.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

namespace kyrtest {

namespace fs = std::filesystem;
using gu::patch::FetchError;
using gu::patch::LocalWriteError;

namespace {

// "fetch: <what>" or "local write: <what>": the store's failures must not pass for the disk's.
template <typename Call> std::string failureOf(Call&& call) {
    try {
        call();
    } catch (const LocalWriteError& e) {
        return std::string("local write: ") + e.what();
    } catch (const FetchError& e) {
        return std::string("fetch: ") + e.what();
    }
    return "(no exception)";
}

class HttpContractStore : public ContractStore {
public:
    explicit HttpContractStore(FetcherMaker make) : make_(std::move(make)) {}

    void put(const std::string& path, const std::string& bytes) override {
        std::lock_guard<std::mutex> lock(mutex_);
        objects_[path] = bytes;
    }
    std::unique_ptr<gu::patch::Fetcher> fetcher() override { return make_(server_.baseUrl()); }
    std::string where(const std::string& path) const override { return server_.baseUrl() + path; }
    std::string missingMessage(const std::string& path) const override { return "HTTP 404 " + where(path); }
    std::string pastEndMessage(const std::string& path, std::uint64_t, std::uint64_t) const override {
        return "HTTP 416 " + where(path);
    }

private:
    HttpResponse serve(const HttpRequest& request) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = objects_.find(request.target.substr(1));
        if (found == objects_.end()) {
            HttpResponse missing;
            missing.status = 404;
            missing.body = "not here";
            return missing;
        }
        return serveObject(request, found->second);
    }

    FetcherMaker make_;
    std::mutex mutex_;
    std::map<std::string, std::string> objects_;
    HttpTestServer server_{[this](const HttpRequest& request) { return serve(request); }}; // last: serves at once
};

} // namespace

std::unique_ptr<ContractStore> httpStore(FetcherMaker make) {
    return std::make_unique<HttpContractStore>(std::move(make));
}

std::string binaryObject(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + 7) % 256);
    }
    return bytes;
}

void expectGetWithinItsLimit(ContractStore& store, const std::string& object) {
    store.put("v1/x", object);
    const std::unique_ptr<gu::patch::Fetcher> fetcher = store.fetcher();
    EXPECT_EQ(fetcher->get("v1/x", object.size()), object);
    EXPECT_EQ(failureOf([&] { fetcher->get("v1/x", object.size() - 1); }),
              "fetch: " + gu::patch::size_limit_message(store.where("v1/x"), object.size() - 1));
    EXPECT_EQ(failureOf([&] { fetcher->get("v1/gone", object.size()); }), "fetch: " + store.missingMessage("v1/gone"));
}

void expectDownloadFileModes(ContractStore& store, const fs::path& dir, const std::string& object) {
    struct Case {
        const char* name;
        std::uint64_t offset;
        std::string existing;
    };
    const std::uint64_t late = object.size() * 3 / 4;
    const Case cases[] = {
        {"offset 0 rewrites a longer file", 0, std::string(object.size() * 3 / 2, 'x')},
        {"appends the rest", 1000, object.substr(0, 1000)},
        {"appends to a long partial file", late, object.substr(0, late)},
        {"no file yet, offset 0", 0, ""},
    };
    store.put("v1/packs/p0", object);
    const std::unique_ptr<gu::patch::Fetcher> fetcher = store.fetcher();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dest = dir / "pack";
        fs::remove(dest);
        if (!c.existing.empty()) {
            write_bytes(dest, c.existing);
        }
        fetcher->download_from("v1/packs/p0", dest.string(), c.offset);
        EXPECT_EQ(read_bytes(dest), object);
    }
}

void expectFailedDownloadLeavesThePartialFile(ContractStore& store, const fs::path& dir, const std::string& object) {
    store.put("v1/packs/p0", object);
    const std::unique_ptr<gu::patch::Fetcher> fetcher = store.fetcher();
    const fs::path dest = dir / "pack";
    const std::string partial = object.substr(0, 1000);
    const std::uint64_t size = object.size();
    for (const auto& [path, offset, want] :
         {std::tuple{"v1/packs/p0", size, store.pastEndMessage("v1/packs/p0", size, size)},
          std::tuple{"v1/packs/p0", size + 1, store.pastEndMessage("v1/packs/p0", size + 1, size)},
          std::tuple{"v1/gone", std::uint64_t{1000}, store.missingMessage("v1/gone")},
          std::tuple{"v1/gone", std::uint64_t{0}, store.missingMessage("v1/gone")}}) {
        SCOPED_TRACE(std::string(path) + " @" + std::to_string(offset));
        write_bytes(dest, partial);
        EXPECT_EQ(failureOf([&] { fetcher->download_from(path, dest.string(), offset); }), "fetch: " + want);
        EXPECT_EQ(read_bytes(dest), partial);
    }
}

void expectUnopenableDestinationIsALocalWriteError(ContractStore& store, const fs::path& dir,
                                                   const std::string& object) {
    store.put("v1/x", object);
    const std::unique_ptr<gu::patch::Fetcher> fetcher = store.fetcher();
    const fs::path folder = dir / "taken";
    fs::create_directories(folder);
    const fs::path missingParent = dir / "no" / "such" / "file";
    for (const fs::path& dest : {folder, missingParent}) {
        SCOPED_TRACE(dest.string());
        EXPECT_EQ(messageOf<LocalWriteError>([&] { fetcher->download("v1/x", dest.string()); }),
                  "cannot open " + dest.string());
    }
    // Nothing of the failed calls is left behind to disturb the next one.
    EXPECT_EQ(fetcher->get("v1/x", object.size()), object);
}

void expectEmptyBodyCreatesTheFile(ContractStore& store, const fs::path& dir) {
    store.put("v1/x", "");
    const fs::path dest = dir / "empty";
    write_bytes(dest, "old contents");
    store.fetcher()->download("v1/x", dest.string());
    EXPECT_TRUE(fs::exists(dest));
    EXPECT_EQ(fs::file_size(dest), 0u);
}

void expectNonAsciiDestinationIsWritten(ContractStore& store, const fs::path& dir, const std::string& object) {
    store.put("v1/x", object);
    const fs::path folder = dir / fs::u8path("J\xC3\xB6rg \xE5\xBC\xA0\xE4\xB8\x89");
    fs::create_directories(folder);
    const fs::path dest = folder / "current.part";
    const std::string dest_text = dest.u8string();
    const std::unique_ptr<gu::patch::Fetcher> fetcher = store.fetcher();
    fetcher->download("v1/x", dest_text);
    EXPECT_EQ(read_bytes(dest), object);
    write_bytes(dest, object.substr(0, 1000));
    fetcher->download_from("v1/x", dest_text, 1000);
    EXPECT_EQ(read_bytes(dest), object);
}

void expectConcurrentGetsOfOneFetcher(ContractStore& store, const std::string& object) {
    constexpr int kThreads = 4;
    constexpr int kGetsPerThread = 10;
    const auto pathOf = [](int t, int i) { return "t" + std::to_string(t) + "/" + std::to_string(i); };
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kGetsPerThread; ++i) {
            store.put(pathOf(t, i), object + pathOf(t, i));
        }
    }
    const std::unique_ptr<gu::patch::Fetcher> fetcher = store.fetcher();
    std::vector<std::thread> threads;
    std::vector<int> mismatches(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kGetsPerThread; ++i) {
                if (fetcher->get(pathOf(t, i), gu::patch::kMaxDocumentBytes) != object + pathOf(t, i)) {
                    ++mismatches[t];
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches, std::vector<int>(kThreads, 0));
}

void expectRangeRequests(const FetcherMaker& make, const fs::path& dir, const std::string& object) {
    struct Case {
        const char* name;
        std::uint64_t offset;
        bool honourRange;
        bool sendsRange;
    };
    const Case cases[] = {
        {"offset 0 asks for everything", 0, true, false},
        {"an offset asks for the rest", 1000, true, true},
        {"200 for a range rewrites", 1000, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpTestServer server([&](const HttpRequest& r) { return serveObject(r, object, c.honourRange); });
        const fs::path dest = dir / "pack";
        write_bytes(dest, std::string(static_cast<std::size_t>(c.offset), 'x') + (c.honourRange ? "" : "tail"));
        make(server.baseUrl())->download_from("v1/packs/p0", dest.string(), c.offset);
        EXPECT_EQ(read_bytes(dest), c.honourRange ? std::string(static_cast<std::size_t>(c.offset), 'x') +
                                                        object.substr(static_cast<std::size_t>(c.offset))
                                                  : object);
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].headers.count("range"), c.sendsRange ? 1u : 0u);
        if (c.sendsRange) {
            EXPECT_EQ(requests[0].headers.at("range"), "bytes=" + std::to_string(c.offset) + "-");
        }
    }
}

void expectGetStopsAtItsLimit(const FetcherMaker& make) {
    constexpr std::uint64_t kLimit = 100000;
    const std::string atLimit = binaryObject(kLimit);
    const std::string pastLimit = binaryObject(kLimit + 1);
    struct Case {
        const char* name;
        int status;
        std::string body;
        bool chunked;
        std::size_t cutAfter;
        bool refused;
    };
    const std::size_t whole = static_cast<std::size_t>(-1);
    const Case cases[] = {
        {"declared length at the limit", 200, atLimit, false, whole, false},
        {"declared length one past", 200, pastLimit, false, whole, true},
        // The body breaks off early: only a check of the declared length can refuse it.
        {"declared length past, body cut short", 200, pastLimit, false, 10, true},
        {"undeclared length at the limit", 200, atLimit, true, whole, false},
        {"undeclared length one past", 200, pastLimit, true, whole, true},
        {"error page larger than the limit", 404, pastLimit, false, whole, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpTestServer server([&](const HttpRequest&) {
            HttpResponse response;
            response.status = c.status;
            response.body = c.body;
            response.chunked = c.chunked;
            response.cutAfter = c.cutAfter;
            return response;
        });
        const std::string url = server.baseUrl() + "v1/x";
        const std::string message =
            messageOf<FetchError>([&] { EXPECT_EQ(make(server.baseUrl())->get("v1/x", kLimit), c.body); });
        if (c.refused) {
            EXPECT_EQ(message, gu::patch::size_limit_message(url, kLimit));
        } else {
            EXPECT_EQ(message, c.status >= 400 ? "HTTP " + std::to_string(c.status) + " " + url : "(no exception)");
        }
    }
}

} // namespace kyrtest
