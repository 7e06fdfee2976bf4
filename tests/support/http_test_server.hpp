#pragma once
// A scriptable HTTP/1.1 server on 127.0.0.1 for transport tests: every response is chosen by a handler,
// and can be cut short, stalled or made to ignore Range, so clients meet the faults of a hostile network.
// Builds natively and for Windows (the WinHTTP fetcher is tested under Wine with the same server).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kyrtest {

struct HttpRequest {
    std::string method;
    std::string target;                        // as sent, e.g. "/v1/chunks/ab/abcd.zst"
    std::map<std::string, std::string> headers; // names lower-cased
};

struct HttpResponse {
    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    std::size_t cutAfter = static_cast<std::size_t>(-1); // close the connection after this many body bytes
    // Wait this long before sending the body, or before each piece of it; the server's end cuts the wait
    // short, so a stall may outlast any client.
    int stallMs = 0;
    int pieces = 1; // the body goes out in this many pieces, each after a stall
    bool sendHeaders = true; // false: close after reading the request (and stallMs) without an answer
    bool chunked = false; // the body as one chunk of chunked encoding, with no Content-Length
};

// The usual answer for a stored object: 200 with the whole body, or, for "Range: bytes=N-", 206 with the
// rest, 416 when N is at or past the end. With honourRange false a Range header is ignored (always 200).
HttpResponse serveObject(const HttpRequest& request, const std::string& body, bool honourRange = true);

// Returns the value of "Range: bytes=N-", or -1 when the request has none (or one in another form).
long long requestedRangeStart(const HttpRequest& request);

class HttpTestServer {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    explicit HttpTestServer(Handler handler);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    std::uint16_t port() const { return port_; }
    std::string baseUrl() const; // "http://127.0.0.1:PORT/"
    std::vector<HttpRequest> requests() const;
    // Connections accepted so far, including those that never sent a request (a TCP connect probe).
    int connections() const { return connections_; }

private:
    void acceptLoop();
    void serve(std::intptr_t client);

    Handler handler_;
    std::intptr_t listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::thread acceptThread_;
    mutable std::mutex mutex_;
    std::vector<std::thread> workers_;
    std::vector<HttpRequest> requests_;
};

} // namespace kyrtest
