#include "support/fetcher_contract.hpp"

#include "patch/errors.hpp"
#include "support/http_test_server.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

namespace kyrtest {

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

gu::patch::ByteSink appendTo(std::string& streamed) {
    return [&streamed](std::string_view block) { streamed += block; };
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
        HttpResponse missing;
        missing.status = 404;
        return found == objects_.end() ? missing : serveObject(request, found->second);
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

void expectStreamWithinItsLimit(ContractStore& store, const std::string& object) {
    store.put("v1/packs/p0", object);
    const std::unique_ptr<gu::patch::Fetcher> fetcher = store.fetcher();
    const std::uint64_t size = object.size();
    for (const auto& [offset, limit] : std::vector<std::pair<std::uint64_t, std::uint64_t>>{
             {0, size}, {1000, size}, {size * 3 / 4, size}, {0, size - 1}, {1000, size - 1}}) {
        SCOPED_TRACE(std::to_string(offset) + " within " + std::to_string(limit));
        const bool fits = limit >= size;
        std::string streamed;
        EXPECT_EQ(failureOf([&] { fetcher->stream_from("v1/packs/p0", offset, limit, appendTo(streamed)); }),
                  fits ? "(no exception)"
                       : "fetch: " + gu::patch::size_limit_message(store.where("v1/packs/p0"), limit));
        EXPECT_EQ(streamed, fits ? object.substr(offset) : "");
    }
}

void expectFailedStreamNamesItsCause(ContractStore& store, const std::string& object) {
    store.put("v1/packs/p0", object);
    const std::unique_ptr<gu::patch::Fetcher> fetcher = store.fetcher();
    const std::uint64_t size = object.size();
    for (const auto& [path, offset, want] : std::vector<std::tuple<std::string, std::uint64_t, std::string>>{
             {"v1/packs/p0", size, store.pastEndMessage("v1/packs/p0", size, size)},
             {"v1/packs/p0", size + 1, store.pastEndMessage("v1/packs/p0", size + 1, size)},
             {"v1/gone", 1000, store.missingMessage("v1/gone")},
             {"v1/gone", 0, store.missingMessage("v1/gone")}}) {
        SCOPED_TRACE(path + " @" + std::to_string(offset));
        std::string streamed;
        EXPECT_EQ(failureOf([&] { fetcher->stream_from(path, offset, size, appendTo(streamed)); }), "fetch: " + want);
        EXPECT_EQ(streamed, "");
    }
}

void expectSinkErrorEndsTheStream(ContractStore& store, const std::string& object) {
    store.put("v1/x", object);
    store.put("v1/big", binaryObject(600000));
    const std::unique_ptr<gu::patch::Fetcher> fetcher = store.fetcher();
    int blocks = 0;
    EXPECT_EQ(failureOf([&] {
                  fetcher->stream_from("v1/big", 0, 600000, [&](std::string_view) {
                      ++blocks;
                      throw LocalWriteError("disk full");
                  });
              }),
              "local write: disk full");
    EXPECT_EQ(blocks, 1);
    // Nothing of the failed call is left behind to disturb the next one.
    EXPECT_EQ(fetcher->get("v1/x", object.size()), object);
}

void expectEveryArrivingBytePassesTheGate(ContractStore& store, const std::string& object) {
    store.put("gated", object);
    const std::unique_ptr<gu::patch::Fetcher> fetcher = store.fetcher();
    gu::patch::TransferGate counting(0, {});
    fetcher->attach_gate(&counting);
    EXPECT_EQ(fetcher->get("gated", gu::patch::kMaxDocumentBytes), object);
    fetcher->stream_from("gated", 0, object.size(), [](std::string_view) {});
    fetcher->stream_from("gated", 1000, object.size(), [](std::string_view) {});
    EXPECT_EQ(counting.bytes_passed(), 3 * object.size() - 1000);
    // A byte a second, and the player cancelled: the wait would last for hours.
    gu::patch::TransferGate cancelled(1, [] { return true; });
    fetcher->attach_gate(&cancelled);
    EXPECT_EQ(messageOf<gu::patch::FetchError>([&] { fetcher->get("gated", gu::patch::kMaxDocumentBytes); }),
              "cancelled");
    std::string streamed; // a block reaches the sink only once it has passed the gate
    EXPECT_EQ(messageOf<FetchError>([&] { fetcher->stream_from("gated", 0, object.size(), appendTo(streamed)); }),
              "cancelled");
    EXPECT_EQ(streamed, "");
    fetcher->attach_gate(nullptr);
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
                mismatches[t] += fetcher->get(pathOf(t, i), gu::patch::kMaxDocumentBytes) != object + pathOf(t, i);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches, std::vector<int>(kThreads, 0));
}

void expectRangeRequests(const FetcherMaker& make, const std::string& object) {
    // {offset, whether the server honours Range}: an offset asks for the rest, and a server that answers
    // 200 anyway sends the whole object.
    for (const auto& [offset, honour] :
         std::vector<std::pair<std::size_t, bool>>{{0, true}, {1000, true}, {1000, false}}) {
        SCOPED_TRACE(std::to_string(offset) + (honour ? " honoured" : " ignored"));
        HttpTestServer server([&](const HttpRequest& r) { return serveObject(r, object, honour); });
        const std::unique_ptr<gu::patch::Fetcher> fetcher = make(server.baseUrl());
        std::string streamed; // from offset on, whatever the server sent
        fetcher->stream_from("v1/packs/p0", offset, object.size(), appendTo(streamed));
        EXPECT_EQ(streamed, object.substr(offset));
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 1u);
        const auto range = requests[0].headers.find("range");
        EXPECT_EQ(range == requests[0].headers.end() ? "" : range->second,
                  offset == 0 ? "" : "bytes=" + std::to_string(offset) + "-");
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
        const std::string want = c.refused         ? gu::patch::size_limit_message(url, kLimit)
                                 : c.status >= 400 ? "HTTP " + std::to_string(c.status) + " " + url
                                                   : "(no exception)";
        const std::unique_ptr<gu::patch::Fetcher> fetcher = make(server.baseUrl());
        EXPECT_EQ(messageOf<FetchError>([&] { EXPECT_EQ(fetcher->get("v1/x", kLimit), c.body); }), want);
        std::string streamed;
        EXPECT_EQ(messageOf<FetchError>([&] { fetcher->stream_from("v1/x", 0, kLimit, appendTo(streamed)); }), want);
        EXPECT_EQ(streamed, c.status >= 400 ? ""
                            : c.refused     ? c.body.substr(0, std::min<std::size_t>(streamed.size(), kLimit))
                                            : c.body);
    }
}

void expectStalledStreamEnds(const FetcherMaker& makeWithOneSecondIdle) {
    const std::string object = binaryObject(5000);
    const struct {
        const char* name;
        int pieces;
        int stallMs; // before each piece
        bool answers;
        std::string want;
    } cases[] = {
        {"nothing after the headers", 1, 60000, true, ""},
        {"no answer at all", 1, 60000, false, ""},
        {"a piece every 0.3 s for 1.5 s", 5, 300, true, object.substr(1000)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HttpTestServer server([&](const HttpRequest& request) {
            HttpResponse response = serveObject(request, object);
            response.pieces = c.pieces;
            response.stallMs = c.stallMs;
            response.sendHeaders = c.answers;
            return response;
        });
        const auto start = std::chrono::steady_clock::now();
        std::string streamed;
        const std::string failure = failureOf([&] {
            makeWithOneSecondIdle(server.baseUrl())
                ->stream_from("v1/packs/p0", 1000, object.size(), appendTo(streamed));
        });
        // A body cut short ends silently: the caller counts what arrived and resumes from there.
        EXPECT_EQ(failure.rfind("fetch: ", 0) == 0, !c.answers) << failure;
        // A hang check, not a timing test: the stalled answer would take a minute.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
        EXPECT_EQ(streamed, c.want);
    }
}

void expectHttpFetcherContract(const FetcherMaker& make, const FetcherMaker& makeWithOneSecondIdle,
                               const std::string& object) {
    expectGetWithinItsLimit(*httpStore(make), object);
    expectGetStopsAtItsLimit(make);
    expectStreamWithinItsLimit(*httpStore(make), object);
    expectStalledStreamEnds(makeWithOneSecondIdle);
    expectRangeRequests(make, object);
    expectFailedStreamNamesItsCause(*httpStore(make), object);
    expectSinkErrorEndsTheStream(*httpStore(make), object);
    expectEveryArrivingBytePassesTheGate(*httpStore(make), object);
    expectConcurrentGetsOfOneFetcher(*httpStore(make), object.substr(0, 3000));
}

} // namespace kyrtest
