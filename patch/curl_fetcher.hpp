#pragma once
// The store transport where WinHTTP does not exist (Linux tools and tests), built on libcurl with the
// same contract as the launcher's WinHTTP fetcher: system proxy, bounded resolve/connect/send, a receive
// limit for documents and an idle limit for pack streams, no caches, platform certificate checks, redirects
// followed (never from HTTPS down to HTTP), and the same status, Range and message rules ("curl" in place
// of "WinHTTP").

#include "patch/url_fetcher.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace gu::patch {

// The protocols a redirect of a request to url may lead to (curl's list form): only "https" when url is
// HTTPS, so no answer can move a request from an encrypted store onto plain HTTP.
std::string redirect_protocols(const std::string& url);

struct CurlFetcherOptions {
    std::string ca_file;                  // extra trusted CA certificates (PEM), beside the system store
    long connect_timeout_ms = 15000;      // name resolution, connection and sending the request
    long get_receive_timeout_ms = 120000; // longest wait for data in get()
    // Longest wait for data in a download, the DownloaderConfig's idle_timeout_ms; 0 = no limit.
    long idle_timeout_ms = kDefaultIdleTimeoutMs;
};

class CurlFetcher : public UrlFetcher {
public:
    explicit CurlFetcher(std::string base_url, CurlFetcherOptions options = {});

    std::string get(const std::string& path, std::uint64_t max_bytes) override;
    void stream_from(const std::string& path, std::uint64_t offset, std::uint64_t max_bytes,
                     const ByteSink& sink) override;

    // Takes a successful answer's blocks in order; appends tells that the answer is the rest from the
    // offset asked for (206), not the whole object.
    using BlockSink = std::function<void(std::string_view block, bool appends)>;

private:
    // One GET of path from offset (a download's time-out and buffers, or a get's), each block of a
    // successful answer handed to sink; returns the status. The sink's exception reaches the caller.
    long receive(const std::string& path, std::uint64_t offset, std::uint64_t max_bytes, bool download,
                 const BlockSink& sink);

    CurlFetcherOptions options_;
};

} // namespace gu::patch
