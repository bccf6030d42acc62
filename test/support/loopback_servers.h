// Loopback servers that misbehave at the TCP level, for the tests of bounded
// connects and sends (POSIX only).
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace tw::testing {

// A listener on a free loopback port with the given backlog.
inline int loopbackListener(int backlog, sockaddr_in& sa) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sa = sockaddr_in{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    listen(fd, backlog);
    socklen_t len = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    return fd;
}

// A server whose SYNs go unanswered: a listener whose one-entry backlog is
// already taken by a connection nobody accepts.
struct FullBacklog {
    FullBacklog() {
        sockaddr_in sa;
        fd = loopbackListener(0, sa);
        port = ntohs(sa.sin_port);
        filler = socket(AF_INET, SOCK_STREAM, 0);
        connect(filler, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    }
    ~FullBacklog() {
        close(filler);
        close(fd);
    }
    int fd, filler;
    uint16_t port;
};

}  // namespace tw::testing
