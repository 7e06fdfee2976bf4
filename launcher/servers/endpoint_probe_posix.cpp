#include "launcher/servers/endpoint_probe.hpp"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace launcher {
namespace {

class SocketHandle {
public:
    SocketHandle() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {}
    ~SocketHandle() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;

    int fd() const { return fd_; }

private:
    int fd_;
};

// poll rather than select: a descriptor number above FD_SETSIZE cannot overrun it.
bool connectedWithin(int fd, int timeoutMs) {
    pollfd watch{fd, POLLOUT, 0};
    int ready;
    do {
        ready = ::poll(&watch, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0 || (watch.revents & POLLOUT) == 0) {
        return false;
    }
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

} // namespace

int connectCheckedMs(const std::string& ip, int port) {
    SocketHandle socket;
    if (socket.fd() < 0) {
        return kProbeFailed;
    }
    const int flags = ::fcntl(socket.fd(), F_GETFL, 0);
    if (flags < 0 || ::fcntl(socket.fd(), F_SETFL, flags | O_NONBLOCK) != 0) {
        return kProbeFailed;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = ::inet_addr(ip.c_str());
    if (address.sin_addr.s_addr == INADDR_NONE) {
        return kProbeFailed;
    }
    const auto start = std::chrono::steady_clock::now();
    if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return 0;
    }
    if (errno != EINPROGRESS || !connectedWithin(socket.fd(), kProbeTimeoutMs)) {
        return kProbeFailed;
    }
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    return elapsed < kMaxLatencyMs ? static_cast<int>(elapsed) : kMaxLatencyMs;
}

} // namespace launcher
