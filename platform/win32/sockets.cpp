// TCP client sockets on Windows: Windows Sockets 1.1 start-up, resolution
// with getaddrinfo (on a helper thread, within its bound), FormatMessage for
// the resolver's error texts, and one non-blocking stream connection per
// message whose connect and send wait within their bounds.
#include <algorithm>
#include <functional>
#include <string>

#include "platform/resolver.h"
#include "platform/win32/win32.h"

namespace tw::platform::win32 {

namespace {

// Waits until the socket can be written to (or has failed): 0, WSAETIMEDOUT
// after the bound's time, WSAEINTR once a stop is requested, or select's own
// error. select rather than WSAPoll: older WSAPoll never reports a refused
// connection.
int waitwritable(SOCKET s, const WaitBound& bound) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(bound.timeoutMs);
    while (true) {
        if (bound.stopRequested()) return WSAEINTR;
        int step = kStopPollMs;
        if (bound.timeoutMs > 0) {
            ULONGLONG now = GetTickCount64();
            if (now >= end) return WSAETIMEDOUT;
            step = static_cast<int>(std::min<ULONGLONG>(end - now, kStopPollMs));
        }
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval tv{step / 1000, (step % 1000) * 1000};
        int r = select(0, nullptr, &writable, &failed, &tv);
        if (r > 0) return 0;
        if (r < 0) return WSAGetLastError();
    }
}

class Win32Sockets final : public Sockets {
  public:
    bool start() override {
        WSADATA data;
        return WSAStartup(MAKEWORD(1, 1), &data) == 0;
    }

    void stop() override { WSACleanup(); }

    // getaddrinfo answers a Windows Sockets error code itself. A numeric
    // host needs no name service and is answered here.
    ResolveResult resolve(const std::string& host, uint16_t port, const ResolveHints& hints,
                          const WaitBound& bound) override {
        if (hints.numericHost) return resolveStream(host, port, hints);
        return resolveWithin([host, port, hints] { return resolveStream(host, port, hints); },
                             bound, WSATRY_AGAIN);
    }

    std::string resolverErrorText(int code) override {
        // gai_strerror is not safe across threads on Windows; the system
        // message table has the same texts.
        std::string text = systemErrorText(static_cast<DWORD>(code));
        if (text.empty()) text = "error " + std::to_string(code);
        return oneLineErrorText(std::move(text));
    }

    SocketHandle open(AddressFamily family, int& error) override {
        SOCKET s = ::socket(systemAddressFamily(family), SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) {
            error = WSAGetLastError();
            return kInvalidSocket;
        }
        // Not handed down to the external programs the agent starts.
        SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
        // Non-blocking: connect and send wait through select, within their bounds.
        u_long one = 1;
        ioctlsocket(s, FIONBIO, &one);
        error = 0;
        return static_cast<SocketHandle>(s);
    }

    int connect(SocketHandle s, const SocketAddress& to, const WaitBound& bound) override {
        if (to.raw.empty()) return WSAEINVAL;
        SOCKET sock = static_cast<SOCKET>(s);
        if (::connect(sock, reinterpret_cast<const sockaddr*>(to.raw.data()),
                      static_cast<int>(to.raw.size())) == 0)
            return 0;
        int err = WSAGetLastError();
        if (err != WSAEWOULDBLOCK && err != WSAEINPROGRESS) return err;
        if (int w = waitwritable(sock, bound)) return w;
        int soerr = 0;
        int len = sizeof soerr;
        if (getsockopt(sock, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soerr), &len) != 0)
            return WSAGetLastError();
        return soerr;
    }

    long send(SocketHandle s, std::string_view data, const WaitBound& bound, int& error) override {
        SOCKET sock = static_cast<SOCKET>(s);
        error = 0;
        size_t sent = 0;
        while (sent < data.size()) {
            size_t chunk = std::min<size_t>(data.size() - sent, 1 << 30);
            int n = ::send(sock, data.data() + sent, static_cast<int>(chunk), 0);
            if (n > 0) {
                sent += static_cast<size_t>(n);
                continue;
            }
            error = n < 0 ? WSAGetLastError() : WSAECONNRESET;
            // The peer's window is full: wait, within the bound, for room.
            if (error == WSAEWOULDBLOCK) {
                if ((error = waitwritable(sock, bound)) != 0) break;
                continue;
            }
            break;
        }
        if (sent == 0 && !data.empty()) return -1;
        return static_cast<long>(sent);
    }

    bool isTimeout(int code) override { return code == WSAETIMEDOUT; }

    void shutdown(SocketHandle s) override { ::shutdown(static_cast<SOCKET>(s), SD_BOTH); }

    void close(SocketHandle s) override { ::closesocket(static_cast<SOCKET>(s)); }
};

}  // namespace

std::unique_ptr<Sockets> makeSockets() {
    return std::make_unique<Win32Sockets>();
}

}  // namespace tw::platform::win32
