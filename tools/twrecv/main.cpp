// twrecv: a stand-in display/pager server. Listens on TCP (IPv4 and IPv6),
// takes each connection until the peer closes, and prints, stores or counts
// the messages that arrive.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/sockets.h"
#include "platform/system.h"
#include "tools/twrecv/listeners.h"
#include "tools/twrecv/receiver.h"

namespace {

using tw::platform::kInvalidSocket;
using tw::platform::SocketError;
using tw::platform::SocketHandle;
using tw::recv::Message;
using tw::recv::Options;

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

struct Connection {
    SocketHandle fd;
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
    Output(const Options& o, tw::platform::FileWriter& files) : o_(o), files_(files) {}

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
        using NewFile = tw::platform::FileWriter::NewFile;
        for (int tries = 0; tries < 1000; ++tries) {
            char name[32];
            std::snprintf(name, sizeof name, "/msg-%06llu.txt",
                          static_cast<unsigned long long>(++fileSeq_));
            std::string path = o_.outDir + name;
            std::string why;
            NewFile made = files_.createNew(path, m.text, why);
            if (made == NewFile::Exists) continue;
            if (made == NewFile::Failed)
                std::fprintf(stderr, "twrecv: cannot write %s: %s\n", path.c_str(), why.c_str());
            return;
        }
    }

    const Options& o_;
    tw::platform::FileWriter& files_;
    uint64_t received_ = 0;
    uint64_t fileSeq_ = 0;
};

int run(const Options& o, tw::platform::Sockets& net, tw::platform::System& system,
        tw::platform::FileWriter& files) {
    if (!o.outDir.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(o.outDir, ec)) {
            std::fprintf(stderr, "twrecv: --out %s is not a directory\n", o.outDir.c_str());
            return 1;
        }
    }
    uint16_t port = 0;
    std::string error;
    std::vector<SocketHandle> listeners = tw::recv::openlisteners(net, o, port, error);
    if (listeners.empty()) {
        std::fprintf(stderr, "twrecv: %s\n", error.c_str());
        return 1;
    }
    std::printf("twrecv: listening on port %u\n", static_cast<unsigned>(port));
    std::fflush(stdout);

    Output output(o, files);
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
        net.close(c.fd);
        c.fd = kInvalidSocket;
    };

    std::vector<SocketHandle> waitOn;
    std::vector<bool> ready;
    while (!system.stopRequested() && !done) {
        waitOn.clear();
        // At the limit a newcomer is taken only when a connection can make room.
        bool accepting = !acceptPaused && (conns.size() < kMaxConnections ||
                                           tw::recv::slowestconnection(loads(conns), monoMs()) !=
                                               static_cast<size_t>(-1));
        if (accepting) waitOn = listeners;
        size_t firstConn = waitOn.size();
        for (Connection& c : conns) waitOn.push_back(c.fd);
        int timeout = acceptPaused && conns.empty() ? 100 : 1000;
        int err = 0;
        int r = net.waitReadable(waitOn, timeout, ready, err);
        if (acceptPaused && conns.empty()) acceptPaused = false;
        if (r < 0) {
            if (net.classify(err) == SocketError::Interrupted) continue;
            std::fprintf(stderr, "twrecv: poll: %s\n", net.errorText(err).c_str());
            break;
        }
        int64_t now = monoMs();

        // Connections first, so that finished ones make room.
        auto it = conns.begin();
        for (size_t i = firstConn; i < waitOn.size() && !done; ++i, ++it) {
            Connection& c = *it;
            if (!ready[i]) {
                if (now - c.lastActivity > static_cast<int64_t>(o.idleSeconds) * 1000) {
                    std::fprintf(stderr, "twrecv: %s silent for %d s; closed\n", c.peer.c_str(),
                                 o.idleSeconds);
                    c.assembler.finish(msgs);
                    deliver(c);
                    net.close(c.fd);
                    c.fd = kInvalidSocket;
                }
                continue;
            }
            c.lastActivity = now;
            // Read what is there now; a busy peer must not starve the others.
            for (int rounds = 0; rounds < 16; ++rounds) {
                long n = net.receive(c.fd, buf.data(), buf.size(), err);
                if (n > 0) {
                    c.assembler.feed(std::string_view(buf.data(), static_cast<size_t>(n)), msgs);
                    // A completed message starts the next one's deadline.
                    if (!msgs.empty()) c.messageStart = now;
                    deliver(c);
                    if (done) break;
                    continue;
                }
                const SocketError kind = n < 0 ? net.classify(err) : SocketError::Other;
                if (kind == SocketError::WouldBlock) break;
                if (kind == SocketError::Interrupted) continue;
                if (n < 0)
                    std::fprintf(stderr, "twrecv: %s: %s\n", c.peer.c_str(),
                                 net.errorText(err).c_str());
                if (c.assembler.totalBytes() == 0)
                    std::fprintf(stderr, "twrecv: %s closed without sending\n", c.peer.c_str());
                c.assembler.finish(msgs);
                deliver(c);
                net.close(c.fd);
                c.fd = kInvalidSocket;
                break;
            }
        }
        // One message may take so long, however busy its sender looks.
        const int64_t deadlineMs = static_cast<int64_t>(o.deadlineSeconds) * 1000;
        size_t pending = 0;
        for (Connection& c : conns) {
            if (done || c.fd == kInvalidSocket) continue;
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
                if (c.fd != kInvalidSocket &&
                    (!most || c.assembler.pendingBytes() > most->assembler.pendingBytes()))
                    most = &c;
            if (!most) break;
            pending -= most->assembler.pendingBytes();
            closeConn(*most, "holds too much unfinished data", true);
        }
        conns.remove_if([](const Connection& c) { return c.fd == kInvalidSocket; });
        if (done) break;

        for (size_t i = 0; i < firstConn; ++i) {
            if (!ready[i]) continue;
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
                tw::platform::SocketAddress peer;
                SocketHandle fd = net.accept(waitOn[i], peer, err);
                if (fd == kInvalidSocket) {
                    if (net.classify(err) == SocketError::OutOfDescriptors) {
                        std::fprintf(stderr, "twrecv: accept: %s; waiting\n",
                                     net.errorText(err).c_str());
                        acceptPaused = true;
                    }
                    break;
                }
                conns.push_back(
                    {fd, tw::recv::peertext(peer), tw::recv::Assembler(o.key), now, now, now});
            }
        }
    }

    for (Connection& c : conns) {
        // Stopped by a signal: what a connection holds still counts.
        if (!done && system.stopRequested()) {
            c.assembler.finish(msgs);
            deliver(c);
        }
        net.close(c.fd);
    }
    for (SocketHandle fd : listeners) net.close(fd);
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
    std::unique_ptr<tw::platform::System> system = tw::platform::makeHostSystem();
    std::unique_ptr<tw::platform::Sockets> net = tw::platform::makeServerSockets();
    if (!net->start()) {
        std::fprintf(stderr, "twrecv: the socket layer cannot start: %s\n",
                     net->errorText(static_cast<int>(system->lastErrorCode())).c_str());
        return 1;
    }
    std::unique_ptr<tw::platform::FileWriter> files = tw::platform::makeHostFileWriter();
    int status = run(*o, *net, *system, *files);
    net->stop();
    return status;
}
