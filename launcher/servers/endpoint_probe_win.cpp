#include "launcher/servers/endpoint_probe.hpp"

// winsock2.h before windows.h, which would otherwise pull in the old winsock.h.
#include <winsock2.h>

#include <windows.h>

namespace launcher {
namespace {

// Pairs WSAStartup with WSACleanup and the socket with closesocket on every path.
class WinsockSocket {
public:
    WinsockSocket() {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
        if (started_) {
            socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        }
    }
    ~WinsockSocket() {
        if (socket_ != INVALID_SOCKET) {
            closesocket(socket_);
        }
        if (started_) {
            WSACleanup();
        }
    }
    WinsockSocket(const WinsockSocket&) = delete;
    WinsockSocket& operator=(const WinsockSocket&) = delete;

    SOCKET get() const { return socket_; }

private:
    bool started_ = false;
    SOCKET socket_ = INVALID_SOCKET;
};

bool connectedWithin(SOCKET socket, int timeoutMs) {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    if (select(0, nullptr, &writable, &failed, &timeout) < 1 || !FD_ISSET(socket, &writable)) {
        return false;
    }
    int error = 0;
    int length = sizeof error;
    return getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 && error == 0;
}

} // namespace

int connectCheckedMs(const std::string& ip, int port) {
    WinsockSocket socket;
    if (socket.get() == INVALID_SOCKET) {
        return kProbeFailed;
    }
    u_long nonBlocking = 1;
    if (ioctlsocket(socket.get(), FIONBIO, &nonBlocking) != 0) {
        return kProbeFailed;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = inet_addr(ip.c_str());
    if (address.sin_addr.s_addr == INADDR_NONE) {
        return kProbeFailed;
    }
    const DWORD start = GetTickCount();
    if (connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return 0;
    }
    if (WSAGetLastError() != WSAEWOULDBLOCK || !connectedWithin(socket.get(), kProbeTimeoutMs)) {
        return kProbeFailed;
    }
    const DWORD elapsed = GetTickCount() - start; // unsigned: right across the 49-day wrap
    return elapsed < static_cast<DWORD>(kMaxLatencyMs) ? static_cast<int>(elapsed) : kMaxLatencyMs;
}

} // namespace launcher
