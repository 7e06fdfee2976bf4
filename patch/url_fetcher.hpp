#pragma once
// What the HTTP fetchers (WinHTTP in the launcher, libcurl elsewhere) share: store paths below one base URL,
// resume by Range, and the wording of their failures, which callers and logs rely on being the same.

#include "patch/fetcher.hpp"
#include "patch/store_url.hpp"

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

namespace gu::patch {

// How many bytes a download's body may bring so that the file stays within max_bytes: all of it when the
// file is rewritten, what is left past offset when the body is appended there.
inline std::uint64_t download_body_limit(std::uint64_t max_bytes, std::uint64_t offset, bool append) {
    if (!append) {
        return max_bytes;
    }
    return offset < max_bytes ? max_bytes - offset : 0;
}

class UrlFetcher : public Fetcher {
public:
    bool supports_resume() override { return true; }

protected:
    explicit UrlFetcher(std::string base_url) : base_url_(store_base_url(std::move(base_url))) {}

    std::string resolve_url(const std::string& path) const { return resolve_store_url(base_url_, path); }

    // "<what> (0x%08X) <url>", cut to 191 characters so a long URL cannot flood a log line.
    static std::string transport_message(const char* what, unsigned long code, const std::string& url) {
        char buffer[192];
        std::snprintf(buffer, sizeof buffer, "%s (0x%08lX) %s", what, code, url.c_str());
        return buffer;
    }

    static std::string status_message(long status, const std::string& url) {
        return "HTTP " + std::to_string(status) + " " + url;
    }

private:
    std::string base_url_;
};

} // namespace gu::patch
