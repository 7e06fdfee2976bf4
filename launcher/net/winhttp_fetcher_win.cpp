#include "launcher/net/winhttp_fetcher.hpp"

#include "launcher/net/winhttp_library_win.hpp"
#include "patch/errors.hpp"

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

namespace launcher {
namespace {

using gu::patch::FetchError;

constexpr wchar_t kUserAgent[] = L"7qvaldra-launcher/1.0";
constexpr int kResolveConnectSendTimeoutMs = 15000;
constexpr DWORD kGetReceiveTimeoutMs = 120000;
constexpr DWORD kHostChars = 256;
constexpr DWORD kPathChars = 2048;
constexpr DWORD kReadBlock = 65536;

// The three handles of one request, closed innermost first whatever path leaves the call.
class Request {
public:
    explicit Request(const WinHttpLibrary* library) : api(library) {}
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;
    ~Request() { close(); }

    void close() {
        for (HINTERNET* handle : {&request, &connection, &root}) {
            if (*handle != nullptr) {
                api->closeHandle(*handle);
                *handle = nullptr;
            }
        }
    }

    const WinHttpLibrary* api; // nullptr when WinHTTP could not be loaded: then no handle is ever opened
    HINTERNET root = nullptr;
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
};

// Empty or invalid UTF-8 gives an empty string, which then fails to crack as a URL.
std::wstring wideFromUtf8(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int chars =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (chars <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(chars), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), chars);
    return wide;
}

// Built without printf: the C runtimes of the two Windows targets disagree on 64-bit conversions.
std::wstring rangeHeader(std::uint64_t offset) {
    const std::string text = "Range: bytes=" + std::to_string(offset) + "-\r\n";
    return std::wstring(text.begin(), text.end());
}

// The fixed proxy of the current user's Internet Options and its bypass list, if one is set. Auto-config
// scripts are not followed there.
bool userProxy(const WinHttpLibrary& api, std::wstring& proxy, std::wstring& bypass) {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
    if (!api.getIeProxyConfigForCurrentUser(&config)) {
        return false;
    }
    const bool found = config.lpszProxy != nullptr && config.lpszProxy[0] != L'\0';
    if (found) {
        proxy = config.lpszProxy;
        bypass = config.lpszProxyBypass != nullptr ? config.lpszProxyBypass : L"";
    }
    for (wchar_t* text : {config.lpszAutoConfigUrl, config.lpszProxy, config.lpszProxyBypass}) {
        if (text != nullptr) {
            GlobalFree(text);
        }
    }
    return found;
}

// The root handle, through the proxy that the player set: Windows 8.1 and later find it themselves
// (automatic access); older systems refuse that access type, and then the user's Internet Options proxy
// is used, or else the machine-wide WinHTTP setting.
HINTERNET openSession(const WinHttpLibrary& api) {
    if (HINTERNET session = api.open(kUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                     WINHTTP_NO_PROXY_BYPASS, 0)) {
        return session;
    }
    std::wstring proxy;
    std::wstring bypass;
    if (userProxy(api, proxy, bypass)) {
        if (HINTERNET session = api.open(kUserAgent, WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.c_str(),
                                         bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : bypass.c_str(), 0)) {
            return session;
        }
    }
    return api.open(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
}

// Windows 7 offers only TLS 1.0 unless asked for more. A system that does not know 1.3 refuses the whole
// set, and gets 1.2 alone; one that knows neither keeps its defaults, and a store that needs more then
// fails the handshake.
void requestCurrentTls(const WinHttpLibrary& api, HINTERNET session) {
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (!api.setOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
        protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
        api.setOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
    }
}

// False with the platform's error code of the failing step; every handle opened so far is closed then.
// receiveTimeoutMs bounds each wait for data, the wait for the response headers included (without the
// second option some WinHTTP versions wait for them without limit); 0 leaves the waits for data unbounded
// and the wait for the headers to the system's default.
bool openRequest(const std::wstring& url, DWORD receiveTimeoutMs, const std::wstring& extraHeaders, Request& out,
                 DWORD& error) {
    wchar_t host[kHostChars] = {};
    wchar_t path[kPathChars] = {};
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = kHostChars;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = kPathChars;
    const auto fail = [&] {
        error = GetLastError(); // read before closing, which may change it
        out.close();
        return false;
    };
    if (out.api == nullptr) {
        return fail();
    }
    const WinHttpLibrary& api = *out.api;
    if (!api.crackUrl(url.c_str(), 0, 0, &parts)) {
        return fail();
    }
    out.root = openSession(api);
    if (out.root == nullptr) {
        return fail();
    }
    requestCurrentTls(api, out.root);
    if (!api.setTimeouts(out.root, kResolveConnectSendTimeoutMs, kResolveConnectSendTimeoutMs,
                         kResolveConnectSendTimeoutMs, static_cast<int>(receiveTimeoutMs))) {
        return fail();
    }
    out.connection = api.connect(out.root, host, parts.nPort, 0);
    if (out.connection == nullptr) {
        return fail();
    }
    const DWORD flags = WINHTTP_FLAG_REFRESH | (parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
    out.request =
        api.openRequest(out.connection, L"GET", path, nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
    if (out.request == nullptr) {
        return fail();
    }
    if (receiveTimeoutMs != 0 && !api.setOption(out.request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &receiveTimeoutMs,
                                                sizeof receiveTimeoutMs)) {
        return fail();
    }
    const wchar_t* headers = extraHeaders.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : extraHeaders.c_str();
    const DWORD headersLength = extraHeaders.empty() ? 0 : static_cast<DWORD>(-1); // -1: NUL-terminated
    if (!api.sendRequest(out.request, headers, headersLength, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
        return fail();
    }
    if (!api.receiveResponse(out.request, nullptr)) {
        return fail();
    }
    return true;
}

// 0 when the status cannot be read.
DWORD responseStatus(const Request& request) {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!request.api->queryHeaders(request.request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                   WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        return 0;
    }
    return status;
}

// The Content-Length of the answer, when it has a valid one.
std::optional<std::uint64_t> declaredLength(const Request& request) {
    wchar_t text[32] = {};
    DWORD size = sizeof text;
    if (!request.api->queryHeaders(request.request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text,
                                   &size, WINHTTP_NO_HEADER_INDEX)) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    const wchar_t* digit = text;
    for (; *digit >= L'0' && *digit <= L'9'; ++digit) {
        const unsigned next = static_cast<unsigned>(*digit - L'0');
        if (value > (UINT64_MAX - next) / 10) {
            return UINT64_MAX; // beyond any limit
        }
        value = value * 10 + next;
    }
    if (digit == text || *digit != L'\0') {
        return std::nullopt;
    }
    return value;
}

// The answer to a GET of url from offset (0: the whole object) whose body may be read: whether it is the
// rest from offset (206) or the whole object, and how many bytes the body may bring within max_bytes.
struct Answer {
    bool appends = false;
    std::uint64_t limit = 0;
};

// Sends the request and checks the answer: a failed request, an error status (416 for an offset past the
// end) or a declared length past the limit is a FetchError before any of the body is read.
// receiveTimeoutMs bounds each wait for data, not the transfer: large packs on slow links still arrive.
Answer openAnswer(Request& request, const std::string& url, DWORD receiveTimeoutMs, const char* what,
                  std::uint64_t offset, std::uint64_t max_bytes) {
    DWORD error = 0;
    if (!openRequest(wideFromUtf8(url), receiveTimeoutMs, offset != 0 ? rangeHeader(offset) : std::wstring(), request,
                     error)) {
        throw FetchError(gu::patch::UrlFetcher::transport_message(what, error, url));
    }
    const DWORD status = responseStatus(request);
    if (status >= 400) {
        throw FetchError(gu::patch::UrlFetcher::status_message(status, url));
    }
    Answer answer;
    answer.appends = offset != 0 && status == 206;
    answer.limit = gu::patch::download_body_limit(max_bytes, offset, answer.appends);
    const std::optional<std::uint64_t> declared = declaredLength(request);
    if (declared && *declared > answer.limit) {
        throw FetchError(gu::patch::size_limit_message(url, max_bytes));
    }
    return answer;
}

// Hands the body to sink block by block, each once it has passed the run's gate; a body that passes limit
// is refused as soon as it does, nothing past the limit handed on. A failing query or read ends the body
// silently: the callers' size and hash checks, and resume, deal with the short result.
void readBody(const Request& request, gu::patch::TransferGate* gate, std::uint64_t limit,
              const std::string& tooLargeMessage, const gu::patch::ByteSink& sink) {
    char block[kReadBlock];
    std::uint64_t received = 0;
    for (;;) {
        DWORD available = 0;
        if (!request.api->queryDataAvailable(request.request, &available) || available == 0) {
            return;
        }
        DWORD read = 0;
        if (!request.api->readData(request.request, block, available < kReadBlock ? available : kReadBlock, &read) ||
            read == 0) {
            return;
        }
        if (read > limit - received) {
            throw FetchError(tooLargeMessage);
        }
        if (!gu::patch::admit(gate, read)) {
            throw FetchError("cancelled");
        }
        sink(std::string_view(block, read));
        received += read;
    }
}

} // namespace

WinHttpFetcher::WinHttpFetcher(std::string base_url, std::uint32_t idle_timeout_ms)
    : UrlFetcher(std::move(base_url)), idle_timeout_ms_(idle_timeout_ms) {}

std::string WinHttpFetcher::get(const std::string& path, std::uint64_t max_bytes) {
    const std::string url = resolve_url(path);
    Request request(winHttpLibrary());
    const Answer answer = openAnswer(request, url, kGetReceiveTimeoutMs, "WinHTTP GET failed", 0, max_bytes);
    std::string body = gu::patch::empty_body(max_bytes);
    readBody(request, gate(), answer.limit, gu::patch::size_limit_message(url, max_bytes),
             [&](std::string_view block) { body.append(block); });
    return body;
}

void WinHttpFetcher::stream_from(const std::string& path, std::uint64_t offset, std::uint64_t max_bytes,
                                 const gu::patch::ByteSink& sink) {
    const std::string url = resolve_url(path);
    Request request(winHttpLibrary());
    const Answer answer = openAnswer(request, url, idle_timeout_ms_, "WinHTTP download failed", offset, max_bytes);
    gu::patch::RangeStream stream(offset, sink);
    readBody(request, gate(), answer.limit, gu::patch::size_limit_message(url, max_bytes),
             [&](std::string_view block) { stream(block, answer.appends); });
}

} // namespace launcher
