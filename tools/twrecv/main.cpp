// twrecv: a stand-in display/pager server. Listens on TCP (IPv4 and IPv6),
// takes each connection until the peer closes, and prints, stores or counts
// the messages that arrive.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <list>
#include <string>
#include <vector>

#include "tools/twrecv/receiver.h"
#include "tools/twrecv/sysnet.h"

namespace {

using tw::recv::Message;
using tw::recv::Options;

namespace sys = tw::recv::sys;
using sys::Sock;

// Each open connection may hold up to a 1 MiB message; at the limit the
// slowest connection makes room for a newcomer, so that peers trickling
// bytes cannot keep good senders out.
constexpr size_t kMaxConnections = 256;
// Unfinished messages of all connections together; beyond it the connection
// holding the most is closed.
constexpr size_t kPendingLimit = 64 * 1024 * 1024;

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

int64_t monoMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
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

Sock listenOn(const sockaddr* sa, socklen_t len, int& error) {
    Sock fd = sys::openStream(sa->sa_family);
    if (fd == sys::kNoSock) {
        error = sys::lastError();
        return sys::kNoSock;
    }
    sys::reuseAddress(fd);
    int one = 1;
    if (sa->sa_family == AF_INET6)
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&one), sizeof one);
    if (bind(fd, sa, len) != 0 || listen(fd, SOMAXCONN) != 0) {
        error = sys::lastError();
        sys::closeSock(fd);
        return sys::kNoSock;
    }
    return fd;
}

uint16_t boundPort(Sock fd) {
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
        e.len = static_cast<socklen_t>(a->ai_addrlen);
        out.push_back(e);
    }
    freeaddrinfo(res);
    return out;
}

// Binds every endpoint on one port. Port 0 takes a free port from the first
// endpoint; when another family already uses that number, tries again. An
// endpoint that this host has but that cannot be bound fails the whole.
std::vector<Sock> openListeners(const Options& o, uint16_t& port, std::string& error) {
    std::vector<Endpoint> eps = endpoints(o, error);
    if (eps.empty()) {
        if (error.empty()) error = "no address to listen on";
        return {};
    }
    for (int attempt = 0; attempt < 20; ++attempt) {
        std::vector<Sock> fds;
        uint16_t want = o.port;
        bool retry = false;
        std::string lastError;
        for (Endpoint& e : eps) {
            setPort(e.addr, want);
            int err = 0;
            Sock fd = listenOn(reinterpret_cast<sockaddr*>(&e.addr), e.len, err);
            if (fd == sys::kNoSock) {
                // A family (or address) this host lacks is skipped; a taken
                // port after a free pick means another round. Anything else
                // is an error: listening on fewer families than asked would
                // leave senders to the others talking to someone else.
                lastError = sys::errorText(err);
                if (sys::notOnThisHost(err)) continue;
                if (o.port == 0 && !fds.empty() && sys::addressInUse(err)) {
                    retry = true;
                    break;
                }
                for (Sock open : fds) sys::closeSock(open);
                error = "cannot listen on port " + std::to_string(want) + " for " +
                        (e.addr.ss_family == AF_INET6 ? "IPv6" : "IPv4") + ": " + lastError;
                return {};
            }
            if (want == 0) want = boundPort(fd);
            fds.push_back(fd);
        }
        if (retry) {
            for (Sock fd : fds) sys::closeSock(fd);
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
    Sock fd;
    std::string peer;
    tw::recv::Assembler assembler;
    int64_t lastActivity;
    int64_t opened;        // when it was accepted
    int64_t messageStart;  // when its current message began
};

std::vector<tw::recv::ConnectionLoad> loads(const std::list<Connection>& conns) {
    std::vector<tw::recv::ConnectionLoad> out;
    for (const Connection& c : conns) out.push_back({c.opened, c.assembler.totalBytes()});
    return out;
}

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
            int fd = sys::createNewFile(path);
            if (fd < 0 && errno == EEXIST) continue;
            if (fd < 0) {
                std::fprintf(stderr, "twrecv: cannot write %s: %s\n", path.c_str(),
                             std::strerror(errno));
                return;
            }
            size_t done = 0;
            while (done < m.text.size()) {
                long n = sys::writeFile(fd, m.text.data() + done, m.text.size() - done);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    std::fprintf(stderr, "twrecv: cannot write %s: %s\n", path.c_str(),
                                 std::strerror(errno));
                    break;
                }
                done += static_cast<size_t>(n);
            }
            sys::closeFile(fd);
            return;
        }
    }

    const Options& o_;
    uint64_t received_ = 0;
    uint64_t fileSeq_ = 0;
};

int run(const Options& o) {
    if (!o.outDir.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(o.outDir, ec)) {
            std::fprintf(stderr, "twrecv: --out %s is not a directory\n", o.outDir.c_str());
            return 1;
        }
    }
    uint16_t port = 0;
    std::string error;
    std::vector<Sock> listeners = openListeners(o, port, error);
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

    auto closeConn = [&](Connection& c, const char* why, bool keepMessage) {
        std::fprintf(stderr, "twrecv: %s %s; closed\n", c.peer.c_str(), why);
        if (keepMessage) {
            c.assembler.finish(msgs);
            deliver(c);
        }
        sys::closeSock(c.fd);
        c.fd = sys::kNoSock;
    };

    while (!sys::stopRequested() && !done) {
        std::vector<pollfd> pfds;
        // At the limit a newcomer is taken only when a connection can make room.
        bool accepting = !acceptPaused && (conns.size() < kMaxConnections ||
                                           tw::recv::slowestconnection(loads(conns), monoMs()) !=
                                               static_cast<size_t>(-1));
        if (accepting)
            for (Sock fd : listeners) pfds.push_back({fd, POLLIN, 0});
        size_t firstConn = pfds.size();
        for (Connection& c : conns) pfds.push_back({c.fd, POLLIN, 0});
        int timeout = acceptPaused && conns.empty() ? 100 : 1000;
        int r = sys::pollSocks(pfds.data(), pfds.size(), timeout);
        if (acceptPaused && conns.empty()) acceptPaused = false;
        if (r < 0) {
            int err = sys::lastError();
            if (sys::interrupted(err)) continue;
            std::fprintf(stderr, "twrecv: poll: %s\n", sys::errorText(err).c_str());
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
                    sys::closeSock(c.fd);
                    c.fd = sys::kNoSock;
                }
                continue;
            }
            c.lastActivity = now;
            // Read what is there now; a busy peer must not starve the others.
            for (int rounds = 0; rounds < 16; ++rounds) {
                sys::IoSize n = recv(c.fd, buf.data(), static_cast<int>(buf.size()), 0);
                if (n > 0) {
                    c.assembler.feed(std::string_view(buf.data(), static_cast<size_t>(n)), msgs);
                    // A completed message starts the next one's deadline.
                    if (!msgs.empty()) c.messageStart = now;
                    deliver(c);
                    if (done) break;
                    continue;
                }
                int err = n < 0 ? sys::lastError() : 0;
                if (n < 0 && sys::wouldBlock(err)) break;
                if (n < 0 && sys::interrupted(err)) continue;
                if (n < 0)
                    std::fprintf(stderr, "twrecv: %s: %s\n", c.peer.c_str(),
                                 sys::errorText(err).c_str());
                if (c.assembler.totalBytes() == 0)
                    std::fprintf(stderr, "twrecv: %s closed without sending\n", c.peer.c_str());
                c.assembler.finish(msgs);
                deliver(c);
                sys::closeSock(c.fd);
                c.fd = sys::kNoSock;
                break;
            }
        }
        // One message may take so long, however busy its sender looks.
        const int64_t deadlineMs = static_cast<int64_t>(o.deadlineSeconds) * 1000;
        size_t pending = 0;
        for (Connection& c : conns) {
            if (done || c.fd == sys::kNoSock) continue;
            if (now - c.messageStart > deadlineMs) {
                std::string why =
                    "took more than " + std::to_string(o.deadlineSeconds) + " s for one message";
                closeConn(c, why.c_str(), true);
                continue;
            }
            pending += c.assembler.pendingBytes();
        }
        while (!done && pending > kPendingLimit) {
            Connection* most = nullptr;
            for (Connection& c : conns)
                if (c.fd != sys::kNoSock &&
                    (!most || c.assembler.pendingBytes() > most->assembler.pendingBytes()))
                    most = &c;
            if (!most) break;
            pending -= most->assembler.pendingBytes();
            closeConn(*most, "holds too much unfinished data", true);
        }
        conns.remove_if([](const Connection& c) { return c.fd == sys::kNoSock; });
        if (done) break;

        for (size_t i = 0; i < firstConn; ++i) {
            if (!(pfds[i].revents & POLLIN)) continue;
            while (true) {
                if (conns.size() >= kMaxConnections) {
                    auto all = loads(conns);
                    size_t victim = tw::recv::slowestconnection(all, now);
                    if (victim == static_cast<size_t>(-1)) break;
                    auto it = std::next(conns.begin(), static_cast<long>(victim));
                    std::string why = "was the slowest of " + std::to_string(conns.size()) +
                                      " connections (" + std::to_string(all[victim].bytes) +
                                      " bytes) and made room for a newcomer";
                    closeConn(*it, why.c_str(), false);
                    conns.erase(it);
                }
                sockaddr_storage ss{};
                socklen_t len = sizeof ss;
                Sock fd = sys::acceptStream(pfds[i].fd, reinterpret_cast<sockaddr*>(&ss), &len);
                if (fd == sys::kNoSock) {
                    int err = sys::lastError();
                    if (sys::outOfDescriptors(err)) {
                        std::fprintf(stderr, "twrecv: accept: %s; waiting\n",
                                     sys::errorText(err).c_str());
                        acceptPaused = true;
                    }
                    break;
                }
                conns.push_back({fd, peerText(ss), tw::recv::Assembler(o.key), now, now, now});
            }
        }
    }

    for (Connection& c : conns) {
        // Stopped by a signal: what a connection holds still counts.
        if (!done && sys::stopRequested()) {
            c.assembler.finish(msgs);
            deliver(c);
        }
        sys::closeSock(c.fd);
    }
    for (Sock fd : listeners) sys::closeSock(fd);
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
    sys::catchStop();
    if (!sys::startup()) {
        std::fprintf(stderr, "twrecv: the socket layer cannot start: %s\n",
                     sys::errorText(sys::lastError()).c_str());
        return 1;
    }
    return run(*o);
}
