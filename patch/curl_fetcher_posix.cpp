#include "patch/curl_fetcher.hpp"

#include "patch/errors.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <exception>
#include <memory>
#include <string_view>
#include <utility>

namespace gu::patch {
namespace {

constexpr const char* kUserAgent = "7qvaldra-launcher/1.0";
constexpr long kMaxRedirects = 10;
// Packs are tens of megabytes: a large receive buffer cuts the system calls per megabyte from hundreds to
// a handful.
constexpr long kReceiveBufferBytes = 512 * 1024;

struct EasyHandleDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

// One easy handle per thread: reusing it keeps its connection cache, and no handle is ever shared
// between threads, so concurrent calls (the prefetch workers) need no lock.
CURL* threadHandle() {
    static const CURLcode global_init = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)global_init;
    thread_local std::unique_ptr<CURL, EasyHandleDeleter> handle(curl_easy_init());
    if (!handle) {
        throw FetchError("curl: cannot create a transfer handle");
    }
    curl_easy_reset(handle.get());
    return handle.get();
}

long responseStatus(CURL* curl) {
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

HeaderList requestHeaders(std::uint64_t range_start) {
    // Never served from a cache: the equivalent of WINHTTP_FLAG_REFRESH.
    curl_slist* list = curl_slist_append(nullptr, "Cache-Control: no-cache");
    list = curl_slist_append(list, "Pragma: no-cache");
    if (range_start != 0) {
        const std::string range = "Range: bytes=" + std::to_string(range_start) + "-";
        list = curl_slist_append(list, range.c_str());
    }
    return HeaderList(list);
}

void configure(CURL* curl, const std::string& url, const CurlFetcherOptions& options, long receive_timeout_ms,
               curl_slist* headers) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, redirect_protocols(url).c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, options.connect_timeout_ms);
    if (receive_timeout_ms > 0) {
        // WinHTTP's receive time-out bounds each wait for data, not the whole transfer: abort only when
        // nothing at all arrives for that long.
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, (receive_timeout_ms + 999) / 1000);
    }
    if (!options.ca_file.empty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, options.ca_file.c_str());
    }
}

// A declared Content-Length above the limit ends the transfer before any of the body is read. 0 would
// mean no limit to curl; the receiver refuses every byte then.
void limitDeclaredSize(CURL* curl, std::uint64_t max_bytes) {
    if (max_bytes != 0) {
        const auto limit = static_cast<curl_off_t>(std::min<std::uint64_t>(max_bytes, INT64_MAX));
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, limit);
    }
}

// Receives a body up to its limit and hands each block on once it has passed the run's gate. Past the
// limit, on a cancelled wait or when the sink throws, the transfer is aborted; no exception may cross
// curl, so the sink's is kept for the caller.
struct BodyReceiver {
    CURL* curl = nullptr;
    TransferGate* gate = nullptr;
    std::uint64_t offset = 0;
    std::uint64_t max_bytes = 0;
    const CurlFetcher::BlockSink* sink = nullptr;
    std::uint64_t received = 0;
    bool too_large = false;
    bool cancelled = false;
    std::exception_ptr sink_error;

    size_t write(const char* data, size_t bytes) {
        const long status = responseStatus(curl);
        if (status >= 400) {
            return bytes; // the error body is dropped; the caller reports the status
        }
        const bool appends = offset != 0 && status == 206;
        if (bytes > download_body_limit(max_bytes, offset, appends) - received) {
            too_large = true;
            return 0;
        }
        cancelled = !admit(gate, bytes);
        if (cancelled) {
            return 0;
        }
        try {
            (*sink)(std::string_view(data, bytes), appends);
        } catch (...) {
            sink_error = std::current_exception();
            return 0;
        }
        received += bytes;
        return bytes;
    }

    static size_t callback(char* data, size_t size, size_t count, void* receiver) {
        return static_cast<BodyReceiver*>(receiver)->write(data, size * count);
    }
};

// A transfer that failed after the response headers arrived ends the body silently, as a broken
// WinHTTP read does: the callers' size and hash checks, and resume, deal with the short result. A failure
// whose last answer was a redirect never reached the object (its target refused or unreachable).
bool failedBeforeResponse(CURLcode result, CURL* curl) {
    if (result == CURLE_OK) {
        return false;
    }
    const long status = responseStatus(curl);
    return status == 0 || (status >= 300 && status < 400);
}

} // namespace

std::string redirect_protocols(const std::string& url) {
    static const std::string kHttps = "https://";
    const bool https =
        url.size() >= kHttps.size() && std::equal(kHttps.begin(), kHttps.end(), url.begin(), [](char want, char c) {
            return want == std::tolower(static_cast<unsigned char>(c));
        });
    return https ? "https" : "http,https";
}

CurlFetcher::CurlFetcher(std::string base_url, CurlFetcherOptions options)
    : UrlFetcher(std::move(base_url)), options_(std::move(options)) {}

long CurlFetcher::receive(const std::string& path, std::uint64_t offset, std::uint64_t max_bytes, bool download,
                          const BlockSink& sink) {
    const std::string url = resolve_url(path);
    CURL* curl = threadHandle();
    const HeaderList headers = requestHeaders(offset);
    configure(curl, url, options_, download ? options_.idle_timeout_ms : options_.get_receive_timeout_ms,
              headers.get());
    limitDeclaredSize(curl, max_bytes);
    BodyReceiver receiver;
    receiver.curl = curl;
    receiver.gate = gate();
    receiver.offset = offset;
    receiver.max_bytes = max_bytes;
    receiver.sink = &sink;
    if (download) {
        curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, BodyReceiver::callback);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &receiver);
    const CURLcode result = curl_easy_perform(curl);
    if (receiver.sink_error) {
        std::rethrow_exception(receiver.sink_error);
    }
    if (receiver.cancelled) {
        throw FetchError("cancelled");
    }
    const long status = responseStatus(curl);
    if (status >= 400) {
        throw FetchError(status_message(status, url));
    }
    if (receiver.too_large || result == CURLE_FILESIZE_EXCEEDED) {
        throw FetchError(size_limit_message(url, max_bytes));
    }
    if (failedBeforeResponse(result, curl)) {
        throw FetchError(transport_message(download ? "curl download failed" : "curl GET failed", result, url));
    }
    return status;
}

std::string CurlFetcher::get(const std::string& path, std::uint64_t max_bytes) {
    std::string body = empty_body(max_bytes);
    receive(path, 0, max_bytes, false, [&](std::string_view block, bool) { body.append(block); });
    return body;
}

void CurlFetcher::stream_from(const std::string& path, std::uint64_t offset, std::uint64_t max_bytes,
                              const ByteSink& sink) {
    RangeStream stream(offset, sink);
    receive(path, offset, max_bytes, true, [&](std::string_view block, bool appends) { stream(block, appends); });
}

} // namespace gu::patch
