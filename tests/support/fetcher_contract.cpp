#include "support/fetcher_contract.hpp"

#include "patch/errors.hpp"
#include "patch/link_test.hpp"
#include "support/http_test_server.hpp"
#include "support/planted_link.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <map>
#include <mutex>
#include <string_view>
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

void expectDownloadFileModes(ContractStore& store, const fs::path& dir, const std::string& object) {
    store.put("v1/packs/p0", object);
    const std::unique_ptr<gu::patch::Fetcher> fetcher = store.fetcher();
    const std::size_t late = object.size() * 3 / 4;
    for (const auto& [offset, existing] :
         std::vector<std::pair<std::size_t, std::string>>{{0, std::string(object.size() * 3 / 2, 'x')},
                                                          {1000, object.substr(0, 1000)},
                                                          {late, object.substr(0, late)}}) {
        SCOPED_TRACE(offset);
        write_bytes(dir / "pack", existing);
        fetcher->download_from("v1/packs/p0", (dir / "pack").string(), offset, object.size());
        EXPECT_EQ(read_bytes(dir / "pack"), object);
    }
}

void expectDownloadWithinItsLimit(ContractStore& store, const fs::path& dir, const std::string& object) {
    store.put("v1/packs/p0", object);
    const std::unique_ptr<gu::patch::Fetcher> fetcher = store.fetcher();
    const std::uint64_t size = object.size();
    const std::string partial = object.substr(0, 1000);
    for (const auto& [offset, limit] : std::vector<std::pair<std::uint64_t, std::uint64_t>>{
             {0, size}, {1000, size}, {0, size - 1}, {1000, size - 1}}) {
        SCOPED_TRACE(std::to_string(offset) + " within " + std::to_string(limit));
        write_bytes(dir / "pack", partial);
        const std::string failure =
            failureOf([&] { fetcher->download_from("v1/packs/p0", (dir / "pack").string(), offset, limit); });
        const bool fits = limit >= size;
        EXPECT_EQ(failure, fits ? "(no exception)"
                                : "fetch: " + gu::patch::size_limit_message(store.where("v1/packs/p0"), limit));
        EXPECT_EQ(read_bytes(dir / "pack"), fits ? object : partial);
        std::string streamed;
        EXPECT_EQ(failureOf([&] { fetcher->stream_from("v1/packs/p0", offset, limit, appendTo(streamed)); }), failure);
        EXPECT_EQ(streamed, fits ? object.substr(offset) : "");
    }
}

void expectFailedDownloadLeavesThePartialFile(ContractStore& store, const fs::path& dir, const std::string& object) {
    store.put("v1/packs/p0", object);
    const std::unique_ptr<gu::patch::Fetcher> fetcher = store.fetcher();
    const std::uint64_t size = object.size();
    for (const auto& [path, offset, want] : std::vector<std::tuple<std::string, std::uint64_t, std::string>>{
             {"v1/packs/p0", size, store.pastEndMessage("v1/packs/p0", size, size)},
             {"v1/packs/p0", size + 1, store.pastEndMessage("v1/packs/p0", size + 1, size)},
             {"v1/gone", 1000, store.missingMessage("v1/gone")},
             {"v1/gone", 0, store.missingMessage("v1/gone")}}) {
        SCOPED_TRACE(path + " @" + std::to_string(offset));
        write_bytes(dir / "pack", object.substr(0, 1000));
        EXPECT_EQ(failureOf([&] { fetcher->download_from(path, (dir / "pack").string(), offset, size); }),
                  "fetch: " + want);
        EXPECT_EQ(read_bytes(dir / "pack"), object.substr(0, 1000));
        EXPECT_EQ(failureOf([&] { fetcher->stream_from(path, offset, size, [](std::string_view) {}); }),
                  "fetch: " + want);
    }
}

void expectUnopenableDestinationIsALocalWriteError(ContractStore& store, const fs::path& dir,
                                                   const std::string& object) {
    store.put("v1/x", object);
    const std::unique_ptr<gu::patch::Fetcher> fetcher = store.fetcher();
    fs::create_directories(dir / "taken");
    for (const fs::path& dest : {dir / "taken", dir / "no" / "such" / "file"}) {
        SCOPED_TRACE(dest.string());
        EXPECT_EQ(messageOf<LocalWriteError>([&] { fetcher->download("v1/x", dest.string(), object.size()); }),
                  "cannot open " + dest.string());
    }
    // A sink's own error ends a stream at its first block and reaches the caller as it was thrown.
    store.put("v1/big", binaryObject(600000));
    int blocks = 0;
    EXPECT_EQ(failureOf([&] {
                  fetcher->stream_from("v1/big", 0, 600000, [&](std::string_view) {
                      ++blocks;
                      throw LocalWriteError("disk full");
                  });
              }),
              "local write: disk full");
    EXPECT_EQ(blocks, 1);
    // Nothing of the failed calls is left behind to disturb the next one.
    EXPECT_EQ(fetcher->get("v1/x", object.size()), object);
}

void expectEmptyBodyCreatesTheFile(ContractStore& store, const fs::path& dir) {
    store.put("v1/x", "");
    write_bytes(dir / "empty", "old contents");
    store.fetcher()->download("v1/x", (dir / "empty").string(), 0);
    EXPECT_EQ(read_bytes(dir / "empty"), "");
}

void expectNonAsciiDestinationIsWritten(ContractStore& store, const fs::path& dir, const std::string& object) {
    store.put("v1/x", object);
    const fs::path folder = dir / fs::u8path("J\xC3\xB6rg \xE5\xBC\xA0\xE4\xB8\x89");
    fs::create_directories(folder);
    const std::unique_ptr<gu::patch::Fetcher> fetcher = store.fetcher();
    fetcher->download("v1/x", (folder / "current.part").u8string(), object.size());
    EXPECT_EQ(read_bytes(folder / "current.part"), object);
    write_bytes(folder / "current.part", object.substr(0, 1000));
    fetcher->download_from("v1/x", (folder / "current.part").u8string(), 1000, object.size());
    EXPECT_EQ(read_bytes(folder / "current.part"), object);
}

void expectLinksAtTheDestinationAreNeverWrittenThrough(ContractStore& store, const fs::path& dir,
                                                       const std::string& object) {
    enum class Planted { link_to_file, link_to_folder, hard_link };
    store.put("v1/packs/p0", object);
    const std::unique_ptr<gu::patch::Fetcher> fetcher = store.fetcher();
    const fs::path outside_file = dir / "outside.bin";
    const fs::path outside_folder = dir / "outside";
    const fs::path dest = dir / "current.part";
    // The outside file looks like a partial of the object, so that a resume would append to it.
    const std::string partial = object.substr(0, 1000);
    // A download, then a resume, with each link planted.
    for (int run = 0; run < 6; ++run) {
        const Planted kind = static_cast<Planted>(run / 2);
        const std::uint64_t offset = run % 2 == 0 ? 0 : 1000;
        SCOPED_TRACE(run);
        if (kind == Planted::link_to_file && !file_links_show()) {
            continue;
        }
        write_bytes(outside_file, partial);
        fs::create_directories(outside_folder);
        write_bytes(outside_folder / "keep.txt", "keep");
        PlantedLink planted = PlantedLink::removable;
        if (kind == Planted::hard_link) {
            fs::create_hard_link(outside_file, dest);
        } else {
            planted = plant_link(dest, kind == Planted::link_to_file ? outside_file : outside_folder);
            ASSERT_NE(planted, PlantedLink::none);
        }
        const std::string failure =
            failureOf([&] { fetcher->download_from("v1/packs/p0", dest.string(), offset, object.size()); });
        EXPECT_EQ(read_bytes(outside_file), partial);
        EXPECT_EQ(read_bytes(outside_folder / "keep.txt"), "keep");
        EXPECT_EQ(std::distance(fs::directory_iterator(outside_folder), fs::directory_iterator()), 1);
        if (planted == PlantedLink::removable) {
            EXPECT_EQ(failure, "(no exception)");
            EXPECT_FALSE(gu::patch::is_link(dest));
            EXPECT_EQ(read_bytes(dest), object);
        } else {
            EXPECT_EQ(failure, "local write: cannot open " + dest.string());
            remove_planted_link(dest);
        }
        std::error_code ignored;
        fs::remove(dest, ignored);
    }
}

void expectEveryArrivingBytePassesTheGate(ContractStore& store, const fs::path& dir, const std::string& object) {
    store.put("gated", object);
    const std::unique_ptr<gu::patch::Fetcher> fetcher = store.fetcher();
    const std::string part = (dir / "gated.part").u8string();
    gu::patch::TransferGate counting(0, {});
    fetcher->attach_gate(&counting);
    EXPECT_EQ(fetcher->get("gated", gu::patch::kMaxDocumentBytes), object);
    fetcher->download("gated", part, object.size());
    write_bytes(dir / "gated.part", object.substr(0, 1000));
    fetcher->download_from("gated", part, 1000, object.size());
    fetcher->stream_from("gated", 1000, object.size(), [](std::string_view) {});
    EXPECT_EQ(counting.bytes_passed(), 4 * object.size() - 2000);
    // A byte a second, and the player cancelled: the wait would last for hours.
    gu::patch::TransferGate cancelled(1, [] { return true; });
    fetcher->attach_gate(&cancelled);
    EXPECT_EQ(messageOf<gu::patch::FetchError>([&] { fetcher->get("gated", gu::patch::kMaxDocumentBytes); }),
              "cancelled");
    EXPECT_EQ(messageOf<gu::patch::FetchError>([&] { fetcher->download("gated", part, object.size()); }), "cancelled");
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

void expectRangeRequests(const FetcherMaker& make, const fs::path& dir, const std::string& object) {
    // {offset, whether the server honours Range}: an offset asks for the rest, and a server that answers
    // 200 anyway gets the file rewritten.
    for (const auto& [offset, honour] :
         std::vector<std::pair<std::size_t, bool>>{{0, true}, {1000, true}, {1000, false}}) {
        SCOPED_TRACE(std::to_string(offset) + (honour ? " honoured" : " ignored"));
        HttpTestServer server([&](const HttpRequest& r) { return serveObject(r, object, honour); });
        write_bytes(dir / "pack", std::string(offset, 'x') + (honour ? "" : "tail"));
        const std::unique_ptr<gu::patch::Fetcher> fetcher = make(server.baseUrl());
        fetcher->download_from("v1/packs/p0", (dir / "pack").string(), offset, object.size());
        EXPECT_EQ(read_bytes(dir / "pack"), honour ? std::string(offset, 'x') + object.substr(offset) : object);
        std::string streamed; // from offset on, whatever the server sent
        fetcher->stream_from("v1/packs/p0", offset, object.size(), appendTo(streamed));
        EXPECT_EQ(streamed, object.substr(offset));
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 2u);
        for (const HttpRequest& request : requests) {
            const auto range = request.headers.find("range");
            EXPECT_EQ(range == request.headers.end() ? "" : range->second,
                      offset == 0 ? "" : "bytes=" + std::to_string(offset) + "-");
        }
    }
}

void expectGetStopsAtItsLimit(const FetcherMaker& make, const fs::path& dir) {
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
        const fs::path file = dir / "limited";
        fs::remove(file);
        EXPECT_EQ(messageOf<FetchError>([&] { fetcher->download("v1/x", file.string(), kLimit); }), want);
        if (c.refused) {
            EXPECT_LE(fs::exists(file) ? fs::file_size(file) : 0, kLimit);
        } else if (c.status < 400) {
            EXPECT_EQ(read_bytes(file), c.body);
        }
        std::string streamed;
        EXPECT_EQ(messageOf<FetchError>([&] { fetcher->stream_from("v1/x", 0, kLimit, appendTo(streamed)); }), want);
        EXPECT_EQ(streamed, c.status >= 400 ? ""
                            : c.refused     ? c.body.substr(0, std::min<std::size_t>(streamed.size(), kLimit))
                                            : c.body);
    }
}

void expectStalledDownloadEnds(const FetcherMaker& makeWithOneSecondIdle, const fs::path& dir) {
    const std::string object = binaryObject(5000);
    const struct {
        const char* name;
        int pieces;
        int stallMs; // before each piece
        bool answers;
        std::string want;
    } cases[] = {
        {"nothing after the headers", 1, 60000, true, object.substr(0, 1000)}, // the partial, untouched
        {"no answer at all", 1, 60000, false, object.substr(0, 1000)},
        {"a piece every 0.3 s for 1.5 s", 5, 300, true, object},
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
        write_bytes(dir / "pack", object.substr(0, 1000));
        const auto start = std::chrono::steady_clock::now();
        const std::string failure = failureOf([&] {
            makeWithOneSecondIdle(server.baseUrl())
                ->download_from("v1/packs/p0", (dir / "pack").string(), 1000, object.size());
        });
        // A body cut short ends silently: the caller's size check and resume see to it.
        EXPECT_EQ(failure.rfind("fetch: ", 0) == 0, !c.answers) << failure;
        // A hang check, not a timing test: the stalled answer would take a minute.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
        EXPECT_EQ(read_bytes(dir / "pack"), c.want);
    }
}

} // namespace kyrtest
