// TCP client sockets on Windows: Windows Sockets 1.1 start-up, resolution
// with getaddrinfo, FormatMessage for the resolver's error texts, and one
// blocking stream connection per message.
#include <algorithm>
#include <string>

#include "platform/resolver.h"
#include "platform/win32/win32.h"

namespace tw::platform::win32 {

namespace {

class Win32Sockets final : public Sockets {
  public:
    bool start() override {
        WSADATA data;
        return WSAStartup(MAKEWORD(1, 1), &data) == 0;
    }

    void stop() override { WSACleanup(); }

    // getaddrinfo answers a Windows Sockets error code itself.
    ResolveResult resolve(const std::string& host, uint16_t port,
                          const ResolveHints& hints) override {
        return resolveStream(host, port, hints);
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
        error = 0;
        return static_cast<SocketHandle>(s);
    }

    int connect(SocketHandle s, const SocketAddress& to) override {
        if (to.raw.empty()) return WSAEINVAL;
        if (::connect(static_cast<SOCKET>(s), reinterpret_cast<const sockaddr*>(to.raw.data()),
                      static_cast<int>(to.raw.size())) == 0)
            return 0;
        return WSAGetLastError();
    }

    long send(SocketHandle s, std::string_view data, int timeoutMs, int& error) override {
        SOCKET sock = static_cast<SOCKET>(s);
        error = 0;
        if (timeoutMs > 0) {
            DWORD ms = static_cast<DWORD>(timeoutMs);
            setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms),
                       sizeof ms);
        }
        size_t sent = 0;
        while (sent < data.size()) {
            size_t chunk = std::min<size_t>(data.size() - sent, 1 << 30);
            int n = ::send(sock, data.data() + sent, static_cast<int>(chunk), 0);
            if (n > 0) {
                sent += static_cast<size_t>(n);
                continue;
            }
            error = n < 0 ? WSAGetLastError() : WSAECONNRESET;
            break;
        }
        if (sent == 0 && !data.empty()) return -1;
        return static_cast<long>(sent);
    }

    void shutdown(SocketHandle s) override { ::shutdown(static_cast<SOCKET>(s), SD_BOTH); }

    void close(SocketHandle s) override { ::closesocket(static_cast<SOCKET>(s)); }
};

}  // namespace

std::unique_ptr<Sockets> makeSockets() {
    return std::make_unique<Win32Sockets>();
}

}  // namespace tw::platform::win32
