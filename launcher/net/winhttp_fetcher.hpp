#pragma once
// The launcher's transport to the patch store: WinHTTP, one root handle, connection and GET request per
// call, relative to one store base URL. No retries here; failover, retries and integrity checks are the
// callers'. Windows only.

#include "patch/fetcher.hpp"

#include <cstdint>
#include <string>

namespace launcher {

class WinHttpFetcher : public gu::patch::Fetcher {
public:
    // An empty base becomes "/"; a base not ending in "/" gets one.
    explicit WinHttpFetcher(std::string base_url);

    std::string get(const std::string& path, std::uint64_t max_bytes) override;
    void download(const std::string& path, const std::string& dest_file) override;
    bool supports_resume() override { return true; }
    void download_from(const std::string& path, const std::string& dest_file, std::uint64_t offset) override;

    const std::string& base_url() const { return base_url_; }
    // A path holding "://" is an absolute URL and used unchanged; any other is appended to the base.
    std::string resolve_url(const std::string& path) const;

private:
    std::string base_url_;
};

} // namespace launcher
