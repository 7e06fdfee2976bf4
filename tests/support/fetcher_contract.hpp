#pragma once
// What every store fetcher (WinHTTP in the launcher, curl, the folder reader) must do with offsets, limits
// and threads, checked the same way for each against a store that the test holds: the loopback HTTP
// server or a folder.

#include "patch/fetcher.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kyrtest {

using FetcherMaker = std::function<std::unique_ptr<gu::patch::Fetcher>(const std::string& baseUrl)>;

// The store side of the contract: objects put at store paths, and a fetcher that reads them.
class ContractStore {
public:
    virtual ~ContractStore() = default;
    // Later requests of path find bytes.
    virtual void put(const std::string& path, const std::string& bytes) = 0;
    virtual std::unique_ptr<gu::patch::Fetcher> fetcher() = 0;
    // How the fetcher's messages name the object at path (its URL, its file).
    virtual std::string where(const std::string& path) const = 0;
    // The FetchError text for a missing object, and for a resume offset at or past an object's end.
    virtual std::string missingMessage(const std::string& path) const = 0;
    virtual std::string pastEndMessage(const std::string& path, std::uint64_t offset, std::uint64_t size) const = 0;
};

// A store on the loopback test server, read by the fetchers that make builds.
std::unique_ptr<ContractStore> httpStore(FetcherMaker make);

// Bytes that are not text, so that no line-end or encoding conversion goes unnoticed.
std::string binaryObject(std::size_t size);

// The what() of the Error that call throws, or "(no exception)".
template <typename Error, typename Call> std::string messageOf(Call&& call) {
    try {
        call();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no exception)";
}

// get returns a body of exactly max_bytes, refuses one byte more naming the object and the limit, and
// fails on a missing object.
void expectGetWithinItsLimit(ContractStore& store, const std::string& object);
// A stream within max_bytes hands over the object from its offset; past the limit, from the start or
// from an offset, it is a FetchError naming the object and the limit, and the sink gets nothing.
void expectStreamWithinItsLimit(ContractStore& store, const std::string& object);
// A missing object and an offset at or past the end are FetchErrors before the sink gets anything.
void expectFailedStreamNamesItsCause(ContractStore& store, const std::string& object);
// A sink's LocalWriteError ends a stream at its first block and reaches the caller, and the fetcher still
// works afterwards.
void expectSinkErrorEndsTheStream(ContractStore& store, const std::string& object);
// Every byte of a body passes the attached gate as it arrives (gets, and streams from their offset), and
// a wait for the limit that is cancelled ends the transfer as a FetchError "cancelled" without waiting it
// out, before the sink gets the block.
void expectEveryArrivingBytePassesTheGate(ContractStore& store, const std::string& object);
// Four threads sharing one fetcher each get their own bodies.
void expectConcurrentGetsOfOneFetcher(ContractStore& store, const std::string& object);

// HTTP only: Range is sent only for an offset, and from a server that ignores it (200) the stream drops
// the first offset bytes.
void expectRangeRequests(const FetcherMaker& make, const std::string& object);
// HTTP only: a declared length past the limit is refused before the body is read, a body without one
// as soon as it passes the limit (a stream then has handed over no more than the limit), and an error
// status wins over the size of its page; for get and stream alike.
void expectGetStopsAtItsLimit(const FetcherMaker& make);
// HTTP only, with a fetcher whose streams have an idle time-out of one second: a body that stalls ends
// the stream in bounded time with the bytes that came, a request that gets no answer fails it in bounded
// time, and one that keeps moving more slowly than that for longer arrives whole.
void expectStalledStreamEnds(const FetcherMaker& makeWithOneSecondIdle);
// The whole contract for an HTTP fetcher: each check above, against the loopback server. object must be at
// least 3000 bytes.
void expectHttpFetcherContract(const FetcherMaker& make, const FetcherMaker& makeWithOneSecondIdle,
                               const std::string& object);

} // namespace kyrtest
