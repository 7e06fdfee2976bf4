#pragma once
// The launcher's transport to the patch store: WinHTTP, one root handle, connection and GET request per
// call, relative to one store base URL. No retries here; failover, retries and integrity checks are the
// callers'. Windows only.
//
// Time-outs: 15 s each to resolve, connect and send; 120 s for the answer and each wait for data of a get;
// idle_timeout_ms (the DownloaderConfig's) for the answer and each wait for data of a download, so a stalled
// transfer fails while a slow one that keeps moving is never cut.
//
// The proxy is the player's: found by Windows 8.1 and later, else the fixed proxy of the current user's
// Internet Options, else the machine-wide WinHTTP setting. TLS 1.2 is asked for, and 1.3 where the system
// has it. WinHTTP itself is loaded from the system folder only (winhttp_library_win.hpp).

#include "patch/url_fetcher.hpp"

#include <cstdint>
#include <string>

namespace launcher {

class WinHttpFetcher : public gu::patch::UrlFetcher {
public:
    // idle_timeout_ms 0: downloads wait for data without limit.
    explicit WinHttpFetcher(std::string base_url, std::uint32_t idle_timeout_ms = gu::patch::kDefaultIdleTimeoutMs);

    std::string get(const std::string& path, std::uint64_t max_bytes) override;
    void stream_from(const std::string& path, std::uint64_t offset, std::uint64_t max_bytes,
                     const gu::patch::ByteSink& sink) override;

private:
    std::uint32_t idle_timeout_ms_;
};

} // namespace launcher
