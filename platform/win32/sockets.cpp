// TCP client sockets on Windows: Windows Sockets 1.1 start-up, resolution
// with getaddrinfo, FormatMessage for the resolver's error texts, and one
// blocking stream connection per message.
#include <algorithm>
#include <string>

#include "platform/win32/win32.h"

namespace tw::platform::win32 {

namespace {

int toSystemFamily(AddressFamily f) {
    switch (f) {
        case AddressFamily::IPv4:
            return AF_INET;
        case AddressFamily::IPv6:
            return AF_INET6;
        default:
            return AF_UNSPEC;
    }
}

AddressFamily fromSystemFamily(int f) {
    if (f == AF_INET) return AddressFamily::IPv4;
    if (f == AF_INET6) return AddressFamily::IPv6;
    return AddressFamily::Other;
}

std::string addressText(const sockaddr* sa) {
    char buf[INET6_ADDRSTRLEN + 16] = {};
    if (sa->sa_family == AF_INET) {
        auto* sin = reinterpret_cast<const sockaddr_in*>(sa);
        if (!inet_ntop(AF_INET, const_cast<in_addr*>(&sin->sin_addr), buf, sizeof buf)) return {};
        return buf;
    }
    if (sa->sa_family == AF_INET6) {
        auto* sin6 = reinterpret_cast<const sockaddr_in6*>(sa);
        if (!inet_ntop(AF_INET6, const_cast<in6_addr*>(&sin6->sin6_addr), buf, sizeof buf))
            return {};
        std::string text = buf;
        if (sin6->sin6_scope_id) {
            text += '%';
            text += std::to_string(sin6->sin6_scope_id);
        }
        return text;
    }
    return {};
}

class Win32Sockets final : public Sockets {
  public:
    bool start() override {
        WSADATA data;
        return WSAStartup(MAKEWORD(1, 1), &data) == 0;
    }

    void stop() override { WSACleanup(); }

    ResolveResult resolve(const std::string& host, uint16_t port,
                          const ResolveHints& hints) override {
        addrinfo h{};
        h.ai_family = toSystemFamily(hints.family);
        h.ai_socktype = SOCK_STREAM;
        h.ai_protocol = IPPROTO_TCP;
        h.ai_flags = AI_NUMERICSERV | (hints.numericHost ? AI_NUMERICHOST : 0);
        std::string service = std::to_string(port);
        addrinfo* list = nullptr;
        ResolveResult result;
        // getaddrinfo answers a Windows Sockets error code itself.
        int rc = getaddrinfo(host.c_str(), service.c_str(), &h, &list);
        if (rc != 0) {
            result.error = rc;
            return result;
        }
        for (addrinfo* a = list; a; a = a->ai_next) {
            SocketAddress addr;
            addr.family = fromSystemFamily(a->ai_family);
            if (a->ai_addr && a->ai_addrlen > 0) {
                addr.text = addressText(a->ai_addr);
                auto* p = reinterpret_cast<const unsigned char*>(a->ai_addr);
                addr.raw.assign(p, p + a->ai_addrlen);
            }
            result.addresses.push_back(std::move(addr));
        }
        freeaddrinfo(list);
        return result;
    }

    std::string resolverErrorText(int code) override {
        // gai_strerror is not safe across threads on Windows; the system
        // message table has the same texts.
        std::string text = systemErrorText(static_cast<DWORD>(code));
        if (text.empty()) text = "error " + std::to_string(code);
        for (char& c : text)
            if (c == '\r' || c == '\n') c = ' ';
        if (text.size() > 1024) text.resize(1024);
        return text;
    }

    SocketHandle open(AddressFamily family, int& error) override {
        SOCKET s = ::socket(toSystemFamily(family), SOCK_STREAM, IPPROTO_TCP);
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
