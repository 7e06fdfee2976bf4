#pragma once
// What every store fetcher (WinHTTP in the launcher, curl, the folder reader) must do with files, limits
// and threads, checked the same way for each against a store that the test holds: the loopback HTTP
// server or a folder.

#include "patch/fetcher.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
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
// download_from: offset 0 rewrites, an offset inside the object appends the rest. object must be at least
// 2000 bytes.
void expectDownloadFileModes(ContractStore& store, const std::filesystem::path& dir, const std::string& object);
// A download whose file would grow past max_bytes, from the start or appended to a partial, is a FetchError
// naming the object and the limit that leaves the partial file as it was; a stream within the same limit
// hands over the object from its offset, and one past it nothing.
void expectDownloadWithinItsLimit(ContractStore& store, const std::filesystem::path& dir, const std::string& object);
// A missing object and an offset at or past the end are FetchErrors that leave the partial file as it was,
// for streams too.
void expectFailedDownloadLeavesThePartialFile(ContractStore& store, const std::filesystem::path& dir,
                                              const std::string& object);
// A destination that cannot be opened is a LocalWriteError "cannot open <path>", a sink's LocalWriteError
// ends a stream at its first block and reaches the caller, and the fetcher still works afterwards.
void expectUnopenableDestinationIsALocalWriteError(ContractStore& store, const std::filesystem::path& dir,
                                                   const std::string& object);
// An empty object still creates (truncates) the destination.
void expectEmptyBodyCreatesTheFile(ContractStore& store, const std::filesystem::path& dir);
// dest_file is UTF-8 text: a folder name outside any narrow code page still holds downloads and resumes.
void expectNonAsciiDestinationIsWritten(ContractStore& store, const std::filesystem::path& dir,
                                        const std::string& object);
// A link, or a second hard link, planted at the destination to make the fetcher write out of the game
// folder: what lies outside keeps its bytes, and the destination becomes a plain file holding the whole
// object (a resume starts again from 0). A link that cannot be removed (Wine) is a LocalWriteError.
void expectLinksAtTheDestinationAreNeverWrittenThrough(ContractStore& store, const std::filesystem::path& dir,
                                                       const std::string& object);
// Every byte of a body passes the attached gate as it arrives (gets, downloads, the rest of a resume), and
// a wait for the limit that is cancelled ends the transfer as a FetchError "cancelled" without waiting it out.
void expectEveryArrivingBytePassesTheGate(ContractStore& store, const std::filesystem::path& dir,
                                          const std::string& object);
// Four threads sharing one fetcher each get their own bodies.
void expectConcurrentGetsOfOneFetcher(ContractStore& store, const std::string& object);

// HTTP only: Range is sent only for an offset, and a server that ignores it (200) gets the file rewritten
// and its first offset bytes dropped from a stream.
void expectRangeRequests(const FetcherMaker& make, const std::filesystem::path& dir, const std::string& object);
// HTTP only: a declared length past the limit is refused before the body is read, a body without one
// as soon as it passes the limit (a download's file or a stream then holds no more than the limit), and an
// error status wins over the size of its page; for get, download and stream alike.
void expectGetStopsAtItsLimit(const FetcherMaker& make, const std::filesystem::path& dir);
// HTTP only, with a fetcher whose downloads have an idle time-out of one second: a body that stalls ends
// the download in bounded time with the bytes that came, a request that gets no answer fails it in bounded
// time, and one that keeps moving more slowly than that for longer arrives whole.
void expectStalledDownloadEnds(const FetcherMaker& makeWithOneSecondIdle, const std::filesystem::path& dir);

} // namespace kyrtest
