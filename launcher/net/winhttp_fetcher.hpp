#pragma once
// The launcher's transport to the patch store: WinHTTP, one root handle, connection and GET request per
// call, relative to one store base URL. No retries here; failover, retries and integrity checks are the
// callers'. Windows only.

#include "patch/url_fetcher.hpp"

#include <cstdint>
#include <string>

namespace launcher {

class WinHttpFetcher : public gu::patch::UrlFetcher {
public:
    explicit WinHttpFetcher(std::string base_url);

    std::string get(const std::string& path, std::uint64_t max_bytes) override;
    void download(const std::string& path, const std::string& dest_file) override;
    void download_from(const std::string& path, const std::string& dest_file, std::uint64_t offset) override;
};

} // namespace launcher
