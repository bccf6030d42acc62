#include "platform/posix/posix_sockets.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/resolver.h"

namespace tw::platform {

namespace {

class PosixSockets final : public Sockets {
  public:
    ResolveResult resolve(const std::string& host, uint16_t port,
                          const ResolveHints& hints) override {
        ResolveResult result = resolveStream(host, port, hints);
        // EAI_SYSTEM carries its cause in errno; keep it so the text names it.
        if (result.error == EAI_SYSTEM) result.error = errno ? errno : EAI_SYSTEM;
        return result;
    }

    std::string resolverErrorText(int code) override {
        // Resolver codes are negative on Linux; a positive code is an errno
        // that EAI_SYSTEM reported.
        std::string text = code > 0 ? std::strerror(code) : gai_strerror(code);
        return oneLineErrorText(std::move(text));
    }

    SocketHandle open(AddressFamily family, int& error) override {
        int fd = ::socket(systemAddressFamily(family), SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
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
