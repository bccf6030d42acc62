// TCP sockets on Windows: Windows Sockets start-up (1.1 for the agent),
// resolution with getaddrinfo (on a helper thread, within its bound),
// FormatMessage for the error texts, one non-blocking stream connection per
// message whose connect and send wait within their bounds, and the display
// server's non-blocking listeners and connections, waited for with WSAPoll.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

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

// Not handed down to the programs the process starts; calls that would
// wait answer WSAEWOULDBLOCK instead.
void makePrivateNonBlocking(SOCKET s) {
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    u_long one = 1;
    ioctlsocket(s, FIONBIO, &one);
}

class Win32Sockets final : public Sockets {
  public:
    explicit Win32Sockets(WORD version) : version_(version) {}

    bool start() override {
        WSADATA data;
        return WSAStartup(version_, &data) == 0;
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
        // Not handed down to the external programs the agent starts;
        // connect and send wait through select, within their bounds.
        makePrivateNonBlocking(s);
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

    SocketHandle listen(const SocketAddress& at, uint16_t port, int& error) override {
        sockaddr_storage ss{};
        if (!listenAddress(at, port, ss)) {
            error = WSAEAFNOSUPPORT;
            return kInvalidSocket;
        }
        SOCKET s = ::socket(ss.ss_family, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) {
            error = WSAGetLastError();
            return kInvalidSocket;
        }
        makePrivateNonBlocking(s);
        // Another program may not take over the port (Windows' SO_REUSEADDR
        // would let it); a restart may reuse it at once there anyway.
        BOOL one = TRUE;
        setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one),
                   sizeof one);
        DWORD v6only = 1;
        if (ss.ss_family == AF_INET6)
            setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&v6only),
                       sizeof v6only);
        if (::bind(s, reinterpret_cast<const sockaddr*>(&ss), static_cast<int>(at.raw.size())) !=
                0 ||
            ::listen(s, SOMAXCONN) != 0) {
            error = WSAGetLastError();
            ::closesocket(s);
            return kInvalidSocket;
        }
        error = 0;
        return static_cast<SocketHandle>(s);
    }

    uint16_t boundPort(SocketHandle listener) override {
        sockaddr_storage ss{};
        int len = sizeof ss;
        if (getsockname(static_cast<SOCKET>(listener), reinterpret_cast<sockaddr*>(&ss), &len) != 0)
            return 0;
        return peerAddress(reinterpret_cast<const sockaddr*>(&ss), static_cast<size_t>(len)).port;
    }

    SocketHandle accept(SocketHandle listener, SocketAddress& peer, int& error) override {
        sockaddr_storage ss{};
        int len = sizeof ss;
        SOCKET s = ::accept(static_cast<SOCKET>(listener), reinterpret_cast<sockaddr*>(&ss), &len);
        if (s == INVALID_SOCKET) {
            error = WSAGetLastError();
            return kInvalidSocket;
        }
        makePrivateNonBlocking(s);
        error = 0;
        peer = peerAddress(reinterpret_cast<const sockaddr*>(&ss), static_cast<size_t>(len));
        return static_cast<SocketHandle>(s);
    }

    int waitReadable(const std::vector<SocketHandle>& sockets, int timeoutMs,
                     std::vector<bool>& ready, int& error) override {
        ready.assign(sockets.size(), false);
        error = 0;
        // WSAPoll refuses an empty set.
        if (sockets.empty()) {
            Sleep(static_cast<DWORD>(std::max(timeoutMs, 0)));
            return 0;
        }
        std::vector<WSAPOLLFD> fds;
        fds.reserve(sockets.size());
        for (SocketHandle s : sockets) fds.push_back({static_cast<SOCKET>(s), POLLIN, 0});
        int r = WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs);
        if (r < 0) {
            error = WSAGetLastError();
            return -1;
        }
        for (size_t i = 0; i < fds.size(); ++i)
            ready[i] = (fds[i].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
        return r;
    }

    long receive(SocketHandle s, char* buffer, size_t size, int& error) override {
        int n = ::recv(static_cast<SOCKET>(s), buffer,
                       static_cast<int>(std::min<size_t>(size, 1 << 30)), 0);
        error = n < 0 ? WSAGetLastError() : 0;
        return n;
    }

    SocketError classify(int code) override {
        switch (code) {
            case WSAEWOULDBLOCK:
                return SocketError::WouldBlock;
            case WSAEINTR:
                return SocketError::Interrupted;
            case WSAEADDRINUSE:
                return SocketError::AddressInUse;
            case WSAEAFNOSUPPORT:
            case WSAEPFNOSUPPORT:
            case WSAEADDRNOTAVAIL:
                return SocketError::NotOnThisHost;
            case WSAEMFILE:
            case WSAENOBUFS:
                return SocketError::OutOfDescriptors;
            default:
                return SocketError::Other;
        }
    }

    std::string errorText(int code) override {
        std::string text = systemErrorText(static_cast<DWORD>(code));
        if (text.empty()) text = "error " + std::to_string(code);
        return oneLineErrorText(std::move(text));
    }

  private:
    WORD version_;
};

}  // namespace

std::unique_ptr<Sockets> makeSockets() {
    return std::make_unique<Win32Sockets>(MAKEWORD(1, 1));
}

}  // namespace tw::platform::win32

namespace tw::platform {

std::unique_ptr<Sockets> makeServerSockets() {
    return std::make_unique<win32::Win32Sockets>(MAKEWORD(2, 2));
}

}  // namespace tw::platform
