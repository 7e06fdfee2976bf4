#pragma once
// What the HTTP fetchers (WinHTTP in the launcher, libcurl elsewhere) share: store paths below one base URL,
// resume by Range, and the wording of their failures, which callers and logs rely on being the same.

#include "patch/fetcher.hpp"
#include "patch/store_url.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

namespace gu::patch {

// How many bytes a body may bring so that the object stays within max_bytes: all of it when the answer is
// the whole object, what is left past offset when it is the rest from offset (append).
inline std::uint64_t download_body_limit(std::uint64_t max_bytes, std::uint64_t offset, bool append) {
    if (!append) {
        return max_bytes;
    }
    return offset < max_bytes ? max_bytes - offset : 0;
}

// Hands a stream's sink the body from offset on: a source that ignored the range (answered 200, not 206,
// appends false) sends the object from its start, and its first offset bytes are dropped.
class RangeStream {
public:
    RangeStream(std::uint64_t offset, const ByteSink& sink) : to_drop_(offset), sink_(sink) {}

    void operator()(std::string_view block, bool appends) {
        if (!appends) {
            const std::uint64_t dropped = std::min<std::uint64_t>(to_drop_, block.size());
            to_drop_ -= dropped;
            block.remove_prefix(static_cast<std::size_t>(dropped));
        }
        if (!block.empty()) {
            sink_(block);
        }
    }

private:
    std::uint64_t to_drop_;
    const ByteSink& sink_;
};

// The string a get's body is received into. A chunk object's limit is its known size: reserved at once
// (up to a few MiB), its body is never moved while it grows, which for thousands of chunks on several
// threads cost more than receiving them.
inline std::string empty_body(std::uint64_t max_bytes) {
    constexpr std::uint64_t kMostReserved = 4 * 1024 * 1024;
    std::string body;
    body.reserve(static_cast<std::size_t>(std::min(max_bytes, kMostReserved)));
    return body;
}

class UrlFetcher : public Fetcher {
public:
    // "<what> (0x%08X) <url>", cut to 191 characters so a long URL cannot flood a log line.
    static std::string transport_message(const char* what, unsigned long code, const std::string& url) {
        char buffer[192];
        std::snprintf(buffer, sizeof buffer, "%s (0x%08lX) %s", what, code, url.c_str());
        return buffer;
    }

    static std::string status_message(long status, const std::string& url) {
        return "HTTP " + std::to_string(status) + " " + url;
    }

protected:
    explicit UrlFetcher(std::string base_url) : base_url_(store_base_url(std::move(base_url))) {}

    std::string resolve_url(const std::string& path) const { return resolve_store_url(base_url_, path); }

private:
    std::string base_url_;
};

} // namespace gu::patch
