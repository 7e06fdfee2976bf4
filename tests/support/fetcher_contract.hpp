#pragma once
// What every HTTP fetcher (WinHTTP in the launcher, curl in the tools) must do with files and threads,
// checked the same way for each against the loopback test server.

#include "patch/fetcher.hpp"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace kyrtest {

using FetcherMaker = std::function<std::unique_ptr<gu::patch::Fetcher>(const std::string& baseUrl)>;

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

// download_from: offset 0 rewrites, 206 appends, 200 for a range rewrites; Range is sent only for an
// offset. object must be at least 2000 bytes.
void expectDownloadFileModes(const FetcherMaker& make, const std::filesystem::path& dir, const std::string& object);
// 404 and 416 are FetchErrors "HTTP <status> <url>" and leave the partial file as it was.
void expectErrorStatusLeavesThePartialFile(const FetcherMaker& make, const std::filesystem::path& dir,
                                           const std::string& object);
// A destination that cannot be opened is a LocalWriteError "cannot open <path>", and the fetcher still
// works afterwards.
void expectUnopenableDestinationIsALocalWriteError(const FetcherMaker& make, const std::filesystem::path& dir,
                                                   const std::string& object);
// An empty body still creates (truncates) the destination.
void expectEmptyBodyCreatesTheFile(const FetcherMaker& make, const std::filesystem::path& dir);
// dest_file is UTF-8 text: a folder name outside any narrow code page still holds downloads and resumes.
void expectNonAsciiDestinationIsWritten(const FetcherMaker& make, const std::filesystem::path& dir,
                                        const std::string& object);
// Four threads sharing one fetcher each get their own bodies.
void expectConcurrentGetsOfOneFetcher(const FetcherMaker& make, const std::string& object);

} // namespace kyrtest
