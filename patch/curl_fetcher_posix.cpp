#include "patch/curl_fetcher.hpp"

#include "patch/engine_file.hpp"
#include "patch/errors.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

namespace gu::patch {
namespace {

constexpr const char* kUserAgent = "7qvaldra-launcher/1.0";
constexpr long kMaxRedirects = 10;
// Packs are tens of megabytes: large receive and write buffers cut the system calls per megabyte from
// hundreds to a handful.
constexpr long kReceiveBufferBytes = 512 * 1024;
constexpr std::size_t kFileBufferBytes = 1024 * 1024;

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

// What a sink tells curl after storing a block: the block passes the run's gate first; a cancelled wait
// aborts the transfer (no exception may cross curl).
size_t pass(TransferGate* gate, size_t bytes, bool& cancelled) {
    cancelled = !admit(gate, bytes);
    return cancelled ? 0 : bytes;
}

// Receives a get's body up to its limit; past it the transfer is aborted, so the rest is never read.
struct MemorySink {
    CURL* curl = nullptr;
    TransferGate* gate = nullptr;
    std::uint64_t max_bytes = 0;
    std::string body;
    bool too_large = false;
    bool cancelled = false;

    size_t write(const char* data, size_t bytes) {
        if (responseStatus(curl) >= 400) {
            return bytes; // the error body is dropped; the caller reports the status
        }
        if (bytes > max_bytes - body.size()) {
            too_large = true;
            return 0;
        }
        body.append(data, bytes);
        return pass(gate, bytes, cancelled);
    }

    static size_t callback(char* data, size_t size, size_t count, void* sink) {
        return static_cast<MemorySink*>(sink)->write(data, size * count);
    }
};

// A declared Content-Length above the limit ends the transfer before any of the body is read. 0 would
// mean no limit to curl; the sinks refuse every byte then.
void limitDeclaredSize(CURL* curl, std::uint64_t max_bytes) {
    if (max_bytes != 0) {
        const auto limit = static_cast<curl_off_t>(std::min<std::uint64_t>(max_bytes, INT64_MAX));
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, limit);
    }
}

// Receives a download's body up to its limit. The file is opened only once the status is known and the
// first block is within the limit, so an error answer (416 above all) or a body too long from its first
// block leaves an existing partial file untouched.
struct FileSink {
    CURL* curl = nullptr;
    TransferGate* gate = nullptr;
    bool cancelled = false;
    std::string dest_file;
    std::uint64_t offset = 0;
    std::uint64_t max_bytes = 0;
    std::uint64_t limit = 0; // what the body may bring, once the file mode is known
    std::uint64_t written = 0;
    bool too_large = false;
    // glibc's setvbuf ignores the size unless it is given the buffer: without one a 16 KiB piece of the
    // body costs two write calls.
    std::unique_ptr<char[]> buffer;
    std::FILE* file = nullptr;
    std::optional<LocalWriteError> error;
    bool start_over = false; // the partial was not a plain file: it went, and the object comes again from 0

    ~FileSink() {
        if (file != nullptr) {
            std::fclose(file);
        }
    }

    // Only the rest of the object that was asked for is appended; a server that ignored the range sent all.
    bool appends(long status) const { return offset != 0 && status == 206; }

    bool open(long status) {
        const AppendFile opened = open_download_file(dest_file, appends(status));
        file = opened.file;
        start_over = opened.start_over;
        if (file == nullptr) {
            error.emplace("cannot open " + dest_file);
            return false;
        }
        if (start_over) {
            std::fclose(std::exchange(file, nullptr));
            return false;
        }
        buffer.reset(new char[kFileBufferBytes]);
        std::setvbuf(file, buffer.get(), _IOFBF, kFileBufferBytes);
        return true;
    }

    size_t write(const char* data, size_t bytes) {
        const long status = responseStatus(curl);
        if (status >= 400) {
            return bytes; // the error body is dropped; the caller reports the status
        }
        if (file == nullptr) {
            limit = download_body_limit(max_bytes, offset, appends(status));
        }
        if (bytes > limit - written) {
            too_large = true;
            return 0;
        }
        if (file == nullptr && !open(status)) {
            return 0;
        }
        if (std::fwrite(data, 1, bytes, file) != bytes) {
            error.emplace("disk write failed");
            return 0;
        }
        written += bytes;
        return pass(gate, bytes, cancelled);
    }

    static size_t callback(char* data, size_t size, size_t count, void* sink) {
        return static_cast<FileSink*>(sink)->write(data, size * count);
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

std::string CurlFetcher::get(const std::string& path, std::uint64_t max_bytes) {
    const std::string url = resolve_url(path);
    CURL* curl = threadHandle();
    const HeaderList headers = requestHeaders(0);
    configure(curl, url, options_, options_.get_receive_timeout_ms, headers.get());
    limitDeclaredSize(curl, max_bytes);
    MemorySink sink;
    sink.curl = curl;
    sink.gate = gate();
    sink.max_bytes = max_bytes;
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, MemorySink::callback);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    const CURLcode result = curl_easy_perform(curl);
    if (sink.cancelled) {
        throw FetchError("cancelled");
    }
    const long status = responseStatus(curl);
    if (status >= 400) {
        throw FetchError(status_message(status, url));
    }
    if (sink.too_large || result == CURLE_FILESIZE_EXCEEDED) {
        throw FetchError(size_limit_message(url, max_bytes));
    }
    if (failedBeforeResponse(result, curl)) {
        throw FetchError(transport_message("curl GET failed", result, url));
    }
    return sink.body;
}

void CurlFetcher::download(const std::string& path, const std::string& dest_file, std::uint64_t max_bytes) {
    download_from(path, dest_file, 0, max_bytes);
}

void CurlFetcher::download_from(const std::string& path, const std::string& dest_file, std::uint64_t offset,
                                std::uint64_t max_bytes) {
    const std::string url = resolve_url(path);
    CURL* curl = threadHandle();
    const HeaderList headers = requestHeaders(offset);
    configure(curl, url, options_, options_.idle_timeout_ms, headers.get());
    limitDeclaredSize(curl, max_bytes);
    FileSink sink;
    sink.curl = curl;
    sink.gate = gate();
    sink.dest_file = dest_file;
    sink.offset = offset;
    sink.max_bytes = max_bytes;
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, FileSink::callback);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    const CURLcode result = curl_easy_perform(curl);
    if (sink.start_over) {
        return download_from(path, dest_file, 0, max_bytes); // the rest alone would not fit a new file
    }
    if (sink.error) {
        throw *sink.error;
    }
    if (sink.cancelled) {
        throw FetchError("cancelled");
    }
    const long status = responseStatus(curl);
    if (status >= 400) {
        throw FetchError(status_message(status, url));
    }
    if (sink.too_large || result == CURLE_FILESIZE_EXCEEDED) {
        throw FetchError(size_limit_message(url, max_bytes));
    }
    if (failedBeforeResponse(result, curl)) {
        throw FetchError(transport_message("curl download failed", result, url));
    }
    if (sink.file == nullptr && !sink.open(status)) {
        if (sink.start_over) {
            return download_from(path, dest_file, 0, max_bytes);
        }
        throw *sink.error; // an empty body still creates or truncates the file
    }
    std::FILE* file = sink.file;
    sink.file = nullptr;
    if (std::fclose(file) != 0) {
        throw LocalWriteError("fclose failed " + dest_file);
    }
}

} // namespace gu::patch
