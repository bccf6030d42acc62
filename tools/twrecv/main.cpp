// twrecv: a stand-in display/pager server. Listens on TCP (IPv4 and IPv6),
// takes each connection until the peer closes, and prints, stores or counts
// the messages that arrive.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <list>
#include <string>
#include <vector>

#include "tools/twrecv/receiver.h"

namespace {

using tw::recv::Message;
using tw::recv::Options;

volatile sig_atomic_t g_stop = 0;
void onSignal(int) {
    g_stop = 1;
}

// Each open connection may hold up to a 1 MiB message; this bounds memory.
constexpr size_t kMaxConnections = 256;

int64_t nowMs() {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int64_t monoMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string peerText(const sockaddr_storage& ss) {
    char host[INET6_ADDRSTRLEN] = "?";
    if (ss.ss_family == AF_INET) {
        auto* sin = reinterpret_cast<const sockaddr_in*>(&ss);
        inet_ntop(AF_INET, &sin->sin_addr, host, sizeof host);
        return std::string(host) + ":" + std::to_string(ntohs(sin->sin_port));
    }
    if (ss.ss_family == AF_INET6) {
        auto* sin6 = reinterpret_cast<const sockaddr_in6*>(&ss);
        if (IN6_IS_ADDR_V4MAPPED(&sin6->sin6_addr)) {
            inet_ntop(AF_INET, &sin6->sin6_addr.s6_addr[12], host, sizeof host);
            return std::string(host) + ":" + std::to_string(ntohs(sin6->sin6_port));
        }
        inet_ntop(AF_INET6, &sin6->sin6_addr, host, sizeof host);
        std::string text = "[";
        text += host;
        text += "]:";
        text += std::to_string(ntohs(sin6->sin6_port));
        return text;
    }
    return "?";
}

int listenOn(const sockaddr* sa, socklen_t len, int& error) {
    int fd = socket(sa->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (sa->sa_family == AF_INET6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    if (bind(fd, sa, len) != 0 || listen(fd, SOMAXCONN) != 0) {
        error = errno;
        close(fd);
        return -1;
    }
    return fd;
}

uint16_t boundPort(int fd) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return 0;
    if (ss.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
    return ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port);
}

void setPort(sockaddr_storage& ss, uint16_t port) {
    if (ss.ss_family == AF_INET)
        reinterpret_cast<sockaddr_in*>(&ss)->sin_port = htons(port);
    else
        reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port = htons(port);
}

struct Endpoint {
    sockaddr_storage addr{};
    socklen_t len = 0;
};

std::vector<Endpoint> endpoints(const Options& o, std::string& error) {
    std::vector<Endpoint> out;
    if (o.bind.empty()) {
        Endpoint v4, v6;
        auto* sin = reinterpret_cast<sockaddr_in*>(&v4.addr);
        sin->sin_family = AF_INET;
        sin->sin_addr.s_addr = htonl(INADDR_ANY);
        v4.len = sizeof(sockaddr_in);
        auto* sin6 = reinterpret_cast<sockaddr_in6*>(&v6.addr);
        sin6->sin6_family = AF_INET6;
        sin6->sin6_addr = in6addr_any;
        v6.len = sizeof(sockaddr_in6);
        out = {v4, v6};
        return out;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* res = nullptr;
    int rc = getaddrinfo(o.bind.c_str(), nullptr, &hints, &res);
    if (rc != 0) {
        error = "cannot resolve --bind " + o.bind + ": " + gai_strerror(rc);
        return out;
    }
    for (addrinfo* a = res; a; a = a->ai_next) {
        if (a->ai_family != AF_INET && a->ai_family != AF_INET6) continue;
        Endpoint e;
        std::memcpy(&e.addr, a->ai_addr, a->ai_addrlen);
        e.len = a->ai_addrlen;
        out.push_back(e);
    }
    freeaddrinfo(res);
    return out;
}

// Binds every endpoint on one port. Port 0 takes a free port from the first
// endpoint; when another family already uses that number, tries again.
std::vector<int> openListeners(const Options& o, uint16_t& port, std::string& error) {
    std::vector<Endpoint> eps = endpoints(o, error);
    if (eps.empty()) {
        if (error.empty()) error = "no address to listen on";
        return {};
    }
    for (int attempt = 0; attempt < 20; ++attempt) {
        std::vector<int> fds;
        uint16_t want = o.port;
        bool retry = false;
        std::string lastError;
        for (Endpoint& e : eps) {
            setPort(e.addr, want);
            int err = 0;
            int fd = listenOn(reinterpret_cast<sockaddr*>(&e.addr), e.len, err);
            if (fd < 0) {
                // A family this host lacks is skipped; a taken port after a
                // free pick means another round.
                if (o.port == 0 && !fds.empty() && err == EADDRINUSE) retry = true;
                lastError = std::strerror(err);
                continue;
            }
            if (want == 0) want = boundPort(fd);
            fds.push_back(fd);
        }
        if (retry) {
            for (int fd : fds) close(fd);
            continue;
        }
        if (fds.empty()) {
            error = "cannot listen on port " + std::to_string(o.port) + ": " + lastError;
            return {};
        }
        port = want;
        return fds;
    }
    error = "no free port found";
    return {};
}

struct Connection {
    int fd;
    std::string peer;
    tw::recv::Assembler assembler;
    int64_t lastActivity;
};

class Output {
  public:
    explicit Output(const Options& o) : o_(o) {}

    // Answers false when --count is reached.
    bool emit(const Message& m, const std::string& peer) {
        ++received_;
        std::string time = tw::recv::isotime(nowMs());
        if (!o_.quiet) {
            std::string s =
                o_.json ? tw::recv::formatjson(m, peer, time) : tw::recv::formattext(m, peer, time);
            std::fwrite(s.data(), 1, s.size(), stdout);
            std::fflush(stdout);
        }
        if (!o_.outDir.empty() && m.error.empty()) writeFile(m);
        return o_.count == 0 || received_ < o_.count;
    }

    uint64_t received() const { return received_; }

  private:
    void writeFile(const Message& m) {
        for (int tries = 0; tries < 1000; ++tries) {
            char name[32];
            std::snprintf(name, sizeof name, "/msg-%06llu.txt",
                          static_cast<unsigned long long>(++fileSeq_));
            std::string path = o_.outDir + name;
            int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd < 0 && errno == EEXIST) continue;
            if (fd < 0) {
                std::fprintf(stderr, "twrecv: cannot write %s: %s\n", path.c_str(),
                             std::strerror(errno));
                return;
            }
            size_t done = 0;
            while (done < m.text.size()) {
                ssize_t n = write(fd, m.text.data() + done, m.text.size() - done);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    std::fprintf(stderr, "twrecv: cannot write %s: %s\n", path.c_str(),
                                 std::strerror(errno));
                    break;
                }
                done += static_cast<size_t>(n);
            }
            close(fd);
            return;
        }
    }

    const Options& o_;
    uint64_t received_ = 0;
    uint64_t fileSeq_ = 0;
};

int run(const Options& o) {
    if (!o.outDir.empty()) {
        struct stat st;
        if (stat(o.outDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            std::fprintf(stderr, "twrecv: --out %s is not a directory\n", o.outDir.c_str());
            return 1;
        }
    }
    uint16_t port = 0;
    std::string error;
    std::vector<int> listeners = openListeners(o, port, error);
    if (listeners.empty()) {
        std::fprintf(stderr, "twrecv: %s\n", error.c_str());
        return 1;
    }
    std::printf("twrecv: listening on port %u\n", static_cast<unsigned>(port));
    std::fflush(stdout);

    Output output(o);
    std::list<Connection> conns;
    std::vector<Message> msgs;
    std::vector<char> buf(64 * 1024);
    bool done = false;
    bool acceptPaused = false;  // out of descriptors: wait for a connection to end

    auto deliver = [&](Connection& c) {
        for (const Message& m : msgs) {
            if (!done && !output.emit(m, c.peer)) done = true;
        }
        msgs.clear();
    };

    while (!g_stop && !done) {
        std::vector<pollfd> pfds;
        bool accepting = conns.size() < kMaxConnections && !acceptPaused;
        if (accepting)
            for (int fd : listeners) pfds.push_back({fd, POLLIN, 0});
        size_t firstConn = pfds.size();
        for (Connection& c : conns) pfds.push_back({c.fd, POLLIN, 0});
        int timeout = acceptPaused && conns.empty() ? 100 : 1000;
        int r = poll(pfds.data(), pfds.size(), timeout);
        if (acceptPaused && conns.empty()) acceptPaused = false;
        if (r < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "twrecv: poll: %s\n", std::strerror(errno));
            break;
        }
        int64_t now = monoMs();

        // Connections first, so that finished ones make room.
        auto it = conns.begin();
        for (size_t i = firstConn; i < pfds.size() && !done; ++i, ++it) {
            Connection& c = *it;
            if (!(pfds[i].revents & (POLLIN | POLLERR | POLLHUP))) {
                if (now - c.lastActivity > static_cast<int64_t>(o.idleSeconds) * 1000) {
                    std::fprintf(stderr, "twrecv: %s silent for %d s; closed\n", c.peer.c_str(),
                                 o.idleSeconds);
                    c.assembler.finish(msgs);
                    deliver(c);
                    close(c.fd);
                    c.fd = -1;
                }
                continue;
            }
            c.lastActivity = now;
            // Read what is there now; a busy peer must not starve the others.
            for (int rounds = 0; rounds < 16; ++rounds) {
                ssize_t n = recv(c.fd, buf.data(), buf.size(), 0);
                if (n > 0) {
                    c.assembler.feed(std::string_view(buf.data(), static_cast<size_t>(n)), msgs);
                    deliver(c);
                    if (done) break;
                    continue;
                }
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
                if (n < 0 && errno == EINTR) continue;
                if (n < 0)
                    std::fprintf(stderr, "twrecv: %s: %s\n", c.peer.c_str(), std::strerror(errno));
                if (c.assembler.totalBytes() == 0)
                    std::fprintf(stderr, "twrecv: %s closed without sending\n", c.peer.c_str());
                c.assembler.finish(msgs);
                deliver(c);
                close(c.fd);
                c.fd = -1;
                break;
            }
        }
        conns.remove_if([](const Connection& c) { return c.fd < 0; });
        if (done) break;

        for (size_t i = 0; i < firstConn; ++i) {
            if (!(pfds[i].revents & POLLIN)) continue;
            while (conns.size() < kMaxConnections) {
                sockaddr_storage ss{};
                socklen_t len = sizeof ss;
                int fd = accept4(pfds[i].fd, reinterpret_cast<sockaddr*>(&ss), &len,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd < 0) {
                    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                        std::fprintf(stderr, "twrecv: accept: %s; waiting\n", std::strerror(errno));
                        acceptPaused = true;
                    }
                    break;
                }
                conns.push_back({fd, peerText(ss), tw::recv::Assembler(o.key), now});
            }
        }
    }

    for (Connection& c : conns) {
        // Stopped by a signal: what a connection holds still counts.
        if (!done && g_stop) {
            c.assembler.finish(msgs);
            deliver(c);
        }
        close(c.fd);
    }
    for (int fd : listeners) close(fd);
    std::fprintf(stderr, "twrecv: %llu message(s) received\n",
                 static_cast<unsigned long long>(output.received()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    std::optional<Options> o = tw::recv::parseoptions(args, error);
    if (!o) {
        std::fprintf(stderr, "twrecv: %s\n%s", error.c_str(), tw::recv::kUsage);
        return 2;
    }
    if (o->help) {
        std::fputs(tw::recv::kUsage, stdout);
        return 0;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return run(*o);
}
