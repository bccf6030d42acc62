#include "platform/posix/posix_sockets.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/posix/monotonic.h"
#include "platform/resolver.h"

namespace tw::platform {

namespace {

// Waits until the socket is ready for events: 0, ETIMEDOUT after the
// bound's time, EINTR once a stop is requested, or poll's own error.
int waitready(int fd, short events, const WaitBound& bound) {
    const int64_t end = nowMs() + bound.timeoutMs;
    while (true) {
        if (bound.stopRequested()) return EINTR;
        int step = kStopPollMs;
        if (bound.timeoutMs > 0) {
            int64_t left = end - nowMs();
            if (left <= 0) return ETIMEDOUT;
            step = static_cast<int>(std::min<int64_t>(left, kStopPollMs));
        }
        pollfd p{fd, events, 0};
        int r = ::poll(&p, 1, step);
        if (r > 0) return 0;
        if (r < 0 && errno != EINTR) return errno;
    }
}

// EAI_SYSTEM carries its cause in errno (of the thread that resolved); keep
// it so the text names it.
ResolveResult resolvenow(const std::string& host, uint16_t port, const ResolveHints& hints) {
    ResolveResult result = resolveStream(host, port, hints);
    if (result.error == EAI_SYSTEM) result.error = errno ? errno : EAI_SYSTEM;
    return result;
}

class PosixSockets final : public Sockets {
  public:
    // A numeric host needs no name service and is answered here.
    ResolveResult resolve(const std::string& host, uint16_t port, const ResolveHints& hints,
                          const WaitBound& bound) override {
        if (hints.numericHost) return resolvenow(host, port, hints);
        return resolveWithin([host, port, hints] { return resolvenow(host, port, hints); }, bound,
                             EAI_AGAIN);
    }

    std::string resolverErrorText(int code) override {
        // Resolver codes are negative on Linux; a positive code is an errno
        // that EAI_SYSTEM reported.
        std::string text = code > 0 ? std::strerror(code) : gai_strerror(code);
        return oneLineErrorText(std::move(text));
    }

    // Non-blocking: connect and send wait through poll, within their bounds.
    SocketHandle open(AddressFamily family, int& error) override {
        int fd = ::socket(systemAddressFamily(family), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK,
                          IPPROTO_TCP);
        if (fd < 0) {
            error = errno;
            return kInvalidSocket;
        }
        error = 0;
        return fd;
    }

    int connect(SocketHandle s, const SocketAddress& to, const WaitBound& bound) override {
        if (to.raw.empty()) return EINVAL;
        int fd = static_cast<int>(s);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(to.raw.data()),
                      static_cast<socklen_t>(to.raw.size())) == 0)
            return 0;
        // The attempt goes on (also after a signal); wait for its outcome.
        if (errno != EINPROGRESS && errno != EINTR) return errno;
        if (int w = waitready(fd, POLLOUT, bound)) return w;
        int err = 0;
        socklen_t len = sizeof err;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
        return err;
    }

    long send(SocketHandle s, std::string_view data, const WaitBound& bound, int& error) override {
        int fd = static_cast<int>(s);
        error = 0;
        size_t sent = 0;
        while (sent < data.size()) {
            ssize_t n =
                ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                sent += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            // The peer's window is full: wait, within the bound, for room.
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if ((error = waitready(fd, POLLOUT, bound)) != 0) break;
                continue;
            }
            error = n < 0 ? errno : EPIPE;
            break;
        }
        if (sent == 0 && !data.empty()) return -1;
        return static_cast<long>(sent);
    }

    bool isTimeout(int code) override { return code == ETIMEDOUT; }

    void shutdown(SocketHandle s) override { ::shutdown(static_cast<int>(s), SHUT_RDWR); }

    void close(SocketHandle s) override { ::close(static_cast<int>(s)); }

    SocketHandle listen(const SocketAddress& at, uint16_t port, int& error) override {
        sockaddr_storage ss{};
        if (!listenAddress(at, port, ss)) {
            error = EAFNOSUPPORT;
            return kInvalidSocket;
        }
        int fd = ::socket(ss.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            error = errno;
            return kInvalidSocket;
        }
        // A restart takes the port back at once; another program cannot
        // take it while we listen (Linux binds no two listeners to it).
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (ss.ss_family == AF_INET6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&ss),
                   static_cast<socklen_t>(at.raw.size())) != 0 ||
            ::listen(fd, SOMAXCONN) != 0) {
            error = errno;
            ::close(fd);
            return kInvalidSocket;
        }
        error = 0;
        return fd;
    }

    uint16_t boundPort(SocketHandle listener) override {
        sockaddr_storage ss{};
        socklen_t len = sizeof ss;
        if (getsockname(static_cast<int>(listener), reinterpret_cast<sockaddr*>(&ss), &len) != 0)
            return 0;
        return peerAddress(reinterpret_cast<const sockaddr*>(&ss), len).port;
    }

    SocketHandle accept(SocketHandle listener, SocketAddress& peer, int& error) override {
        sockaddr_storage ss{};
        socklen_t len = sizeof ss;
        int fd = ::accept4(static_cast<int>(listener), reinterpret_cast<sockaddr*>(&ss), &len,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            error = errno;
            return kInvalidSocket;
        }
        error = 0;
        peer = peerAddress(reinterpret_cast<const sockaddr*>(&ss), len);
        return fd;
    }

    int waitReadable(const std::vector<SocketHandle>& sockets, int timeoutMs,
                     std::vector<bool>& ready, int& error) override {
        std::vector<pollfd> fds;
        fds.reserve(sockets.size());
        for (SocketHandle s : sockets) fds.push_back({static_cast<int>(s), POLLIN, 0});
        int r = ::poll(fds.data(), fds.size(), timeoutMs);
        ready.assign(sockets.size(), false);
        if (r < 0) {
            error = errno;
            return -1;
        }
        error = 0;
        for (size_t i = 0; i < fds.size(); ++i)
            ready[i] = (fds[i].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
        return r;
    }

    long receive(SocketHandle s, char* buffer, size_t size, int& error) override {
        ssize_t n = ::recv(static_cast<int>(s), buffer, size, 0);
        error = n < 0 ? errno : 0;
        return static_cast<long>(n);
    }

    SocketError classify(int code) override {
        switch (code) {
            case EAGAIN:
#if EWOULDBLOCK != EAGAIN
            case EWOULDBLOCK:
#endif
                return SocketError::WouldBlock;
            case EINTR:
                return SocketError::Interrupted;
            case EADDRINUSE:
                return SocketError::AddressInUse;
            case EAFNOSUPPORT:
            case EPFNOSUPPORT:
            case EADDRNOTAVAIL:
                return SocketError::NotOnThisHost;
            case EMFILE:
            case ENFILE:
            case ENOBUFS:
            case ENOMEM:
                return SocketError::OutOfDescriptors;
            default:
                return SocketError::Other;
        }
    }

    std::string errorText(int code) override {
        return oneLineErrorText(std::strerror(code));
    }
};

}  // namespace

std::unique_ptr<Sockets> makePosixSockets() {
    return std::make_unique<PosixSockets>();
}

std::unique_ptr<Sockets> makeServerSockets() {
    return makePosixSockets();
}

}  // namespace tw::platform
