#include "platform/posix/posix_sockets.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace tw::platform {

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
        if (!inet_ntop(AF_INET, &sin->sin_addr, buf, sizeof buf)) return {};
        return buf;
    }
    if (sa->sa_family == AF_INET6) {
        auto* sin6 = reinterpret_cast<const sockaddr_in6*>(sa);
        if (!inet_ntop(AF_INET6, &sin6->sin6_addr, buf, sizeof buf)) return {};
        std::string text = buf;
        if (sin6->sin6_scope_id) {
            text += '%';
            text += std::to_string(sin6->sin6_scope_id);
        }
        return text;
    }
    return {};
}

class PosixSockets final : public Sockets {
  public:
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
        int rc = getaddrinfo(host.c_str(), service.c_str(), &h, &list);
        if (rc != 0) {
            // EAI_SYSTEM carries its cause in errno; keep it so the text names it.
            result.error = rc == EAI_SYSTEM ? (errno ? errno : rc) : rc;
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
        // Resolver codes are negative on Linux; a positive code is an errno
        // that EAI_SYSTEM reported.
        std::string text = code > 0 ? std::strerror(code) : gai_strerror(code);
        for (char& c : text)
            if (c == '\r' || c == '\n') c = ' ';
        if (text.size() > 1024) text.resize(1024);
        return text;
    }

    SocketHandle open(AddressFamily family, int& error) override {
        int fd = ::socket(toSystemFamily(family), SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
        if (fd < 0) {
            error = errno;
            return kInvalidSocket;
        }
        error = 0;
        return fd;
    }

    int connect(SocketHandle s, const SocketAddress& to) override {
        if (to.raw.empty()) return EINVAL;
        int fd = static_cast<int>(s);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(to.raw.data()),
                      static_cast<socklen_t>(to.raw.size())) == 0)
            return 0;
        if (errno != EINTR) return errno;
        // A signal interrupted the call; the connection attempt goes on, so
        // wait for its outcome.
        pollfd p{fd, POLLOUT, 0};
        while (::poll(&p, 1, -1) < 0) {
            if (errno != EINTR) return errno;
        }
        int err = 0;
        socklen_t len = sizeof err;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
        return err;
    }

    long send(SocketHandle s, std::string_view data, int timeoutMs, int& error) override {
        int fd = static_cast<int>(s);
        error = 0;
        if (timeoutMs > 0) {
            timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
            setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        }
        size_t sent = 0;
        while (sent < data.size()) {
            ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            error = n < 0 ? errno : EPIPE;
            break;
        }
        if (sent == 0 && !data.empty()) return -1;
        return static_cast<long>(sent);
    }

    void shutdown(SocketHandle s) override { ::shutdown(static_cast<int>(s), SHUT_RDWR); }

    void close(SocketHandle s) override { ::close(static_cast<int>(s)); }
};

}  // namespace

std::unique_ptr<Sockets> makePosixSockets() {
    return std::make_unique<PosixSockets>();
}

}  // namespace tw::platform
