#include "support/http_test_server.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kyrtest {
namespace {

// The few socket calls that differ between Winsock and POSIX.
#ifdef _WIN32
using Socket = SOCKET;
const Socket kBadSocket = INVALID_SOCKET;
void closeSocket(Socket s) { closesocket(s); }
bool waitReadable(Socket s, int ms) {
    WSAPOLLFD fd{s, POLLRDNORM, 0};
    return WSAPoll(&fd, 1, ms) > 0;
}
struct SocketLibrary {
    SocketLibrary() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};
void ensureSocketLibrary() { static SocketLibrary library; }
#else
using Socket = int;
const Socket kBadSocket = -1;
void closeSocket(Socket s) { ::close(s); }
bool waitReadable(Socket s, int ms) {
    pollfd fd{s, POLLIN, 0};
    return ::poll(&fd, 1, ms) > 0;
}
void ensureSocketLibrary() {}
#endif

// A client that hangs up mid-body must not end the test process with SIGPIPE.
#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

bool sendAll(Socket s, const char* data, std::size_t size) {
    while (size > 0) {
        const int chunk = static_cast<int>(size > 65536 ? 65536 : size);
        const int sent = static_cast<int>(::send(s, data, chunk, kSendFlags));
        if (sent <= 0) {
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool readRequest(Socket s, HttpRequest& request) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (!waitReadable(s, 10000)) {
            return false;
        }
        const int got = static_cast<int>(::recv(s, buffer, sizeof buffer, 0));
        if (got <= 0) {
            return false;
        }
        head.append(buffer, static_cast<std::size_t>(got));
    }
    std::size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const std::size_t firstBlank = requestLine.find(' ');
    const std::size_t secondBlank = requestLine.find(' ', firstBlank + 1);
    if (firstBlank == std::string::npos || secondBlank == std::string::npos) {
        return false;
    }
    request.method = requestLine.substr(0, firstBlank);
    request.target = requestLine.substr(firstBlank + 1, secondBlank - firstBlank - 1);
    std::size_t pos = lineEnd + 2;
    while (true) {
        lineEnd = head.find("\r\n", pos);
        if (lineEnd == pos || lineEnd == std::string::npos) {
            break;
        }
        const std::string line = head.substr(pos, lineEnd - pos);
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::size_t valueStart = colon + 1;
            while (valueStart < line.size() && line[valueStart] == ' ') {
                ++valueStart;
            }
            request.headers[lowerCase(line.substr(0, colon))] = line.substr(valueStart);
        }
        pos = lineEnd + 2;
    }
    return true;
}

// The body as it goes on the wire: as it is, or as one chunk and the last chunk.
std::string wireBody(const HttpResponse& response) {
    if (!response.chunked) {
        return response.body;
    }
    std::ostringstream chunk;
    chunk << std::hex << response.body.size() << "\r\n" << response.body << "\r\n0\r\n\r\n";
    return chunk.str();
}

// Sleeps in short slices so that a stopping server is never held up by a long stall.
void stall(int ms, const std::atomic<bool>& stopping) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stopping && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void sendResponse(Socket s, const HttpResponse& response, const std::atomic<bool>& stopping) {
    const std::string body = wireBody(response);
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " Status\r\n"; // clients ignore the reason phrase
    head +=
        response.chunked ? "Transfer-Encoding: chunked\r\n" : "Content-Length: " + std::to_string(body.size()) + "\r\n";
    head += "Connection: close\r\n";
    for (const auto& [name, value] : response.headers) {
        head += name + ": " + value + "\r\n";
    }
    head += "\r\n";
    const std::size_t bodyBytes = body.size() < response.cutAfter ? body.size() : response.cutAfter;
    if (response.stallMs > 0) {
        if (!sendAll(s, head.data(), head.size())) {
            return;
        }
        const std::size_t pieces = response.pieces > 1 ? static_cast<std::size_t>(response.pieces) : 1;
        for (std::size_t piece = 0; piece < pieces; ++piece) {
            stall(response.stallMs, stopping);
            const std::size_t from = bodyBytes * piece / pieces;
            if (!sendAll(s, body.data() + from, bodyBytes * (piece + 1) / pieces - from)) {
                return;
            }
        }
        return;
    }
    // One send for head and body: separate small writes meet Nagle and delayed ACKs (40 ms each).
    head.append(body, 0, bodyBytes);
    sendAll(s, head.data(), head.size());
}

} // namespace

long long requestedRangeStart(const HttpRequest& request) {
    const auto it = request.headers.find("range");
    if (it == request.headers.end()) {
        return -1;
    }
    const std::string& value = it->second;
    const std::string prefix = "bytes=";
    if (value.compare(0, prefix.size(), prefix) != 0 || value.empty() || value.back() != '-') {
        return -1;
    }
    const std::string digits = value.substr(prefix.size(), value.size() - prefix.size() - 1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) {
        return -1;
    }
    return std::stoll(digits);
}

HttpResponse serveObject(const HttpRequest& request, const std::string& body, bool honourRange) {
    HttpResponse response;
    const long long start = honourRange ? requestedRangeStart(request) : -1;
    if (start < 0) {
        response.body = body;
        return response;
    }
    const auto size = static_cast<long long>(body.size());
    if (start >= size) {
        response.status = 416;
        response.headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
        return response;
    }
    response.status = 206;
    response.body = body.substr(static_cast<std::size_t>(start));
    response.headers.emplace_back("Content-Range",
                                  "bytes " + std::to_string(start) + "-" + std::to_string(size - 1) + "/" +
                                      std::to_string(size));
    return response;
}

HttpTestServer::HttpTestServer(Handler handler) : handler_(std::move(handler)) {
    ensureSocketLibrary();
    const Socket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == kBadSocket) {
        throw std::runtime_error("test server: socket failed");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(s, 64) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closeSocket(s);
        throw std::runtime_error("test server: cannot listen on 127.0.0.1");
    }
    listener_ = static_cast<std::intptr_t>(s);
    port_ = ntohs(address.sin_port);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
    stopping_ = true;
    acceptThread_.join();
    closeSocket(static_cast<Socket>(listener_));
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& worker : workers) {
        worker.join();
    }
}

std::string HttpTestServer::baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

std::vector<HttpRequest> HttpTestServer::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void HttpTestServer::acceptLoop() {
    const auto listener = static_cast<Socket>(listener_);
    while (!stopping_) {
        if (!waitReadable(listener, 10)) {
            continue;
        }
        const Socket client = ::accept(listener, nullptr, nullptr);
        if (client == kBadSocket) {
            continue;
        }
        ++connections_;
        std::lock_guard<std::mutex> lock(mutex_);
        workers_.emplace_back([this, client] { serve(static_cast<std::intptr_t>(client)); });
    }
}

void HttpTestServer::serve(std::intptr_t handle) {
    const auto client = static_cast<Socket>(handle);
    HttpRequest request;
    if (readRequest(client, request)) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
        }
        const HttpResponse response = handler_(request);
        if (response.sendHeaders) {
            sendResponse(client, response, stopping_);
        } else {
            stall(response.stallMs, stopping_);
        }
    }
    closeSocket(client);
}

} // namespace kyrtest
