#include "platform/posix/remote_wmi_provider.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>

#include "platform/posix/posix_launcher.h"
#include "platform/posix/wmi_bridge.h"

extern char** environ;

namespace tw::platform {

namespace {

using bridge::Answer;

int64_t nowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string duration(int ms) {
    if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
    return std::to_string(ms) + " ms";
}

// A line for a message: at most 80 bytes, control characters shown as '?'.
std::string excerpt(std::string_view line) {
    std::string s(line.substr(0, 80));
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20) c = '?';
    return line.size() > 80 ? s + "..." : s;
}

// The bridge command of one connection and the protocol stream with it.
// Callers hold mu for every call (recursive: an enumerator that a call
// gives up on releases its stream under the same lock).
class Channel {
  public:
    std::recursive_mutex mu;
    bridge::AnswerReader reader;

    Channel(std::string host, RemoteWmiLimits limits) : host_(std::move(host)), limits_(limits) {}
    ~Channel() { close(); }

    const RemoteWmiLimits& limits() const { return limits_; }
    bool broken() const { return broken_; }
    const std::string& error() const { return error_; }

    bool start(const std::vector<std::string>& words) {
        int sv[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
            return fail(std::string("cannot make a socket pair: ") + std::strerror(errno));
        int ep[2];
        if (pipe2(ep, O_CLOEXEC) != 0) {
            ::close(sv[0]);
            ::close(sv[1]);
            return fail(std::string("cannot make a pipe: ") + std::strerror(errno));
        }
        posix_spawn_file_actions_t fa;
        posix_spawnattr_t attr;
        posix_spawn_file_actions_init(&fa);
        posix_spawnattr_init(&attr);
        posix_spawn_file_actions_adddup2(&fa, sv[1], 0);
        posix_spawn_file_actions_adddup2(&fa, sv[1], 1);
        posix_spawn_file_actions_adddup2(&fa, ep[1], 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
        posix_spawn_file_actions_addclosefrom_np(&fa, 3);
#endif
        // Ordinary signal handling (the agent ignores SIGPIPE), and a process
        // group of its own so that ending the connection ends all of it.
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD}) sigaddset(&defaults, s);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setpgroup(&attr, 0);
        posix_spawnattr_setflags(&attr,
                                 static_cast<short>(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                    POSIX_SPAWN_SETPGROUP));
        std::vector<char*> argv;
        for (const auto& w : words) argv.push_back(const_cast<char*>(w.c_str()));
        argv.push_back(nullptr);
        pid_t pid = -1;
        int rc = posix_spawnp(&pid, argv[0], &fa, &attr, argv.data(), environ);
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&fa);
        ::close(sv[1]);
        ::close(ep[1]);
        if (rc != 0) {
            ::close(sv[0]);
            ::close(ep[0]);
            return fail("cannot start " + words[0] + ": " + std::strerror(rc));
        }
        pid_ = pid;
        sock_ = sv[0];
        err_ = ep[0];
        fcntl(sock_, F_SETFL, fcntl(sock_, F_GETFL) | O_NONBLOCK);
        fcntl(err_, F_SETFL, fcntl(err_, F_GETFL) | O_NONBLOCK);
        return true;
    }

    // Sends one request (its fields after the id, each beginning with a
    // comma); answers its id, 0 when it could not be sent (error() or
    // *callError says why).
    int64_t send(const std::string& fields, std::string* callError) {
        if (broken_) return 0;
        const int64_t id = ++lastId_;
        std::string line = "{\"id\":" + std::to_string(id) + fields + "}\n";
        if (line.size() > bridge::kMaxLine) {
            *callError = "the request is longer than the bridge allows (" +
                         std::to_string(bridge::kMaxLine) + " bytes)";
            return 0;
        }
        const int64_t deadline = nowMs() + limits_.requestMs;
        size_t sent = 0;
        while (sent < line.size()) {
            ssize_t n = ::send(sock_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                // The command no longer reads; what it wrote before it
                // ended (a reason, a banner) is still to be read.
                break;
            }
            // While the command cannot take more, take in what it says, so
            // that neither side waits for the other.
            const int64_t left = deadline - nowMs();
            if (left <= 0) {
                fail("the bridge command does not read its requests (waited " +
                     duration(limits_.requestMs) + ")");
                return 0;
            }
            pollfd p{sock_, POLLOUT | POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(std::min<int64_t>(left, INT_MAX))) > 0 &&
                (p.revents & (POLLIN | POLLHUP)) && !receive())
                return 0;
        }
        return id;
    }

    enum class Wait { Line, Timeout, Broken };

    // The next answer line of request id, waiting until deadline (monotonic
    // ms). Lines of other open streams are kept for them.
    Wait await(int64_t id, int64_t deadline, std::string& line) {
        if (broken_) return Wait::Broken;
        if (auto it = streams_.find(id); it != streams_.end() && !it->second.empty()) {
            line = std::move(it->second.front());
            it->second.pop_front();
            return Wait::Line;
        }
        while (true) {
            std::string_view l;
            while (nextLine(l)) {
                auto lineId = idOf(l);
                if (!lineId) {
                    fail("the bridge command wrote something that is not the bridge protocol: \"" +
                         excerpt(l) + "\"");
                    return Wait::Broken;
                }
                if (*lineId == id) {
                    line.assign(l);
                    return Wait::Line;
                }
                if (auto it = streams_.find(*lineId); it != streams_.end()) {
                    it->second.emplace_back(l);
                } else if (abandoned_.count(*lineId)) {
                    if (!bridge::quickMore(l)) abandoned_.erase(*lineId);
                } else {
                    fail("the bridge command answered request " + std::to_string(*lineId) +
                         ", which was not asked");
                    return Wait::Broken;
                }
            }
            if (broken_) return Wait::Broken;
            const int64_t left = deadline - nowMs();
            if (left <= 0) return Wait::Timeout;
            pollfd p[2] = {{sock_, POLLIN, 0}, {err_, POLLIN, 0}};
            int n = poll(p, err_ >= 0 ? 2 : 1, static_cast<int>(std::min<int64_t>(left, INT_MAX)));
            if (n < 0 && errno != EINTR) {
                fail(std::string("poll: ") + std::strerror(errno));
                return Wait::Broken;
            }
            if (n <= 0) continue;
            if (err_ >= 0 && p[1].revents) readErrors();
            if (p[0].revents && !receive()) return Wait::Broken;
        }
    }

    void openStream(int64_t id) {
        streams_[id];
    }
    void finishStream(int64_t id) {
        streams_.erase(id);
    }
    // The stream's reader is gone before its last batch: skip what still comes.
    void dropStream(int64_t id) {
        auto it = streams_.find(id);
        if (it == streams_.end()) return;
        bool ended = false;
        for (const auto& l : it->second) ended = ended || !bridge::quickMore(l);
        streams_.erase(it);
        if (!ended) abandoned_.insert(id);
    }

    // Ends the command at once and keeps the reason for every later call.
    bool fail(const std::string& why) {
        if (!broken_) {
            broken_ = true;
            error_ = "remote WMI on " + host_ + ": " + why;
        }
        endCommand(true);
        return false;
    }

    // The connection is closed: end of input tells the command to finish.
    void close() {
        if (sock_ >= 0) shutdown(sock_, SHUT_WR);
        endCommand(false);
        broken_ = true;
        if (error_.empty()) error_ = "remote WMI on " + host_ + ": the connection is closed";
    }

  private:
    // Reads what the command wrote; false when it ended (the channel is
    // broken then).
    bool receive() {
        if (head_ > 0 && head_ >= buf_.size() / 2) {
            buf_.erase(0, head_);
            scan_ -= head_;
            head_ = 0;
        }
        if (!chunk_) chunk_ = std::make_unique<char[]>(kChunk);
        ssize_t n = ::read(sock_, chunk_.get(), kChunk);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return true;
        if (n <= 0) {
            commandEnded();
            return false;
        }
        buf_.append(chunk_.get(), static_cast<size_t>(n));
        if (buf_.size() - head_ > bridge::kMaxLine + 64 &&
            buf_.find('\n', scan_) == std::string::npos) {
            fail("the bridge command wrote a line longer than " + std::to_string(bridge::kMaxLine) +
                 " bytes");
            return false;
        }
        return true;
    }

    bool nextLine(std::string_view& line) {
        size_t nl = buf_.find('\n', scan_);
        if (nl == std::string::npos) {
            scan_ = buf_.size();
            return false;
        }
        size_t end = nl;
        if (end > head_ && buf_[end - 1] == '\r') --end;
        line = std::string_view(buf_).substr(head_, end - head_);
        head_ = scan_ = nl + 1;
        return true;
    }

    std::optional<int64_t> idOf(std::string_view line) {
        if (auto id = bridge::quickId(line)) return id;
        std::string why;
        if (auto a = reader.read(line, &why)) return a->id;
        return std::nullopt;
    }

    void readErrors() {
        char chunk[4096];
        while (true) {
            ssize_t n = ::read(err_, chunk, sizeof chunk);
            if (n > 0) {
                errTail_.append(chunk, static_cast<size_t>(n));
                if (errTail_.size() > 4096) errTail_.erase(0, errTail_.size() - 4096);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n == 0) {
                ::close(err_);
                err_ = -1;
            }
            return;
        }
    }

    // The command closed its output: it has ended or is ending.
    void commandEnded() {
        endCommand(false);
        std::string why = "the bridge command ended";
        if (!status_.empty()) why += " (" + status_ + ")";
        std::string said = errTail_;
        while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
        if (size_t nl = said.rfind('\n'); nl != std::string::npos) said.erase(0, nl + 1);
        if (!said.empty()) why += ": " + said;
        fail(why);
    }

    // Waits up to closeMs for the command to end by itself (unless kill is
    // set), then kills its process group and reaps it.
    void endCommand(bool kill) {
        if (pid_ > 0) {
            bool exited = false;
            const int64_t deadline = nowMs() + (kill ? 0 : limits_.closeMs);
            while (true) {
                siginfo_t info{};
                int r = waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT);
                if (r == 0 && info.si_pid == pid_) {
                    exited = true;
                    break;
                }
                if (r < 0 && errno != EINTR) break;
                if (nowMs() >= deadline) break;
                timespec ts{0, 5 * 1000 * 1000};
                nanosleep(&ts, nullptr);
            }
            // The leader is not reaped yet, so the group id is still ours.
            ::kill(-pid_, SIGKILL);
            int status = 0;
            pid_t r;
            do {
                r = waitpid(pid_, &status, 0);
            } while (r < 0 && errno == EINTR);
            if (r == pid_) {
                if (!exited)
                    status_ = "killed";
                else if (WIFEXITED(status))
                    status_ = "exit status " + std::to_string(WEXITSTATUS(status));
                else if (WIFSIGNALED(status))
                    status_ = "signal " + std::to_string(WTERMSIG(status));
            }
            pid_ = -1;
        }
        if (err_ >= 0) {
            readErrors();
            if (err_ >= 0) ::close(err_);
            err_ = -1;
        }
        if (sock_ >= 0) ::close(sock_);
        sock_ = -1;
    }

    std::string host_;
    RemoteWmiLimits limits_;
    pid_t pid_ = -1;
    int sock_ = -1, err_ = -1;
    bool broken_ = false;
    std::string error_, status_, errTail_;
    int64_t lastId_ = 0;
    static constexpr size_t kChunk = 256 * 1024;
    std::unique_ptr<char[]> chunk_;
    std::string buf_;  // what the command wrote; lines begin at head_
    size_t head_ = 0, scan_ = 0;
    std::map<int64_t, std::deque<std::string>> streams_;
    std::set<int64_t> abandoned_;
};

// Waits for the one answer of a request within the request limit.
std::optional<Answer> awaitAnswer(Channel& ch, int64_t id, const std::string& what,
                                  std::string* error) {
    std::string line;
    const int limit = ch.limits().requestMs;
    switch (ch.await(id, nowMs() + limit, line)) {
        case Channel::Wait::Line:
            break;
        case Channel::Wait::Timeout:
            ch.fail("no answer within " + duration(limit) + " to " + what);
            *error = ch.error();
            return std::nullopt;
        case Channel::Wait::Broken:
            *error = ch.error();
            return std::nullopt;
    }
    std::string why;
    auto a = ch.reader.read(line, &why);
    if (!a) {
        ch.fail("the answer to " + what + " is not the bridge protocol (" + why + "): \"" +
                excerpt(line) + "\"");
        *error = ch.error();
        return std::nullopt;
    }
    if (!a->ok) *error = a->error.empty() ? "the remote provider refused " + what : a->error;
    return a;
}

class RemoteEnumerator final : public WmiEnumerator {
  public:
    RemoteEnumerator(std::shared_ptr<Channel> ch, int64_t id, std::string wql)
        : ch_(std::move(ch)), id_(id), wql_(std::move(wql)) {
        ch_->openStream(id_);
    }

    ~RemoteEnumerator() override {
        std::lock_guard<std::recursive_mutex> g(ch_->mu);
        if (!done_ && !failed_) ch_->dropStream(id_);
    }

    // The first batch, or the query's refusal; false when the query fails
    // (lastError() says why). Called with the channel's lock held.
    bool first() { return pull(-1) != WmiNext::Failed; }

    WmiNext next(int timeoutMs, std::unique_ptr<WmiObject>& out) override {
        std::lock_guard<std::recursive_mutex> g(ch_->mu);
        while (pending_.empty()) {
            if (failed_) return WmiNext::Failed;
            if (done_) return WmiNext::End;
            WmiNext r = pull(timeoutMs);
            if (r != WmiNext::Object) return r;
        }
        out = std::move(pending_.front());
        pending_.pop_front();
        return WmiNext::Object;
    }

    std::string lastError() const override { return error_; }

  private:
    // Takes the next batch: Object when one arrived (possibly empty).
    WmiNext pull(int timeoutMs) {
        const int limit = ch_->limits().requestMs;
        if (!limitDeadline_) limitDeadline_ = nowMs() + limit;
        int64_t deadline = limitDeadline_;
        if (timeoutMs >= 0) deadline = std::min(deadline, nowMs() + timeoutMs);
        std::string line;
        switch (ch_->await(id_, deadline, line)) {
            case Channel::Wait::Line:
                break;
            case Channel::Wait::Timeout:
                if (nowMs() < limitDeadline_) return WmiNext::Timeout;
                ch_->fail("no objects within " + duration(limit) + " for " + wql_);
                return failWith(ch_->error());
            case Channel::Wait::Broken:
                return failWith(ch_->error());
        }
        limitDeadline_ = 0;
        std::string why;
        auto a = ch_->reader.read(line, &why);
        if (!a) {
            ch_->fail("an answer to " + wql_ + " is not the bridge protocol (" + why + "): \"" +
                      excerpt(line) + "\"");
            return failWith(ch_->error());
        }
        if (!a->ok) {
            ch_->finishStream(id_);
            return failWith(a->error.empty() ? "the query failed" : a->error);
        }
        for (auto& o : a->objects) pending_.push_back(std::move(o));
        if (!a->more) {
            done_ = true;
            ch_->finishStream(id_);
        }
        return WmiNext::Object;
    }

    WmiNext failWith(std::string why) {
        failed_ = true;
        error_ = std::move(why);
        return WmiNext::Failed;
    }

    std::shared_ptr<Channel> ch_;
    int64_t id_;
    std::string wql_;
    std::deque<std::unique_ptr<WmiObject>> pending_;
    bool done_ = false, failed_ = false;
    std::string error_;
    int64_t limitDeadline_ = 0;
};

std::string field(const char* name, std::string_view text) {
    std::string out = ",\"";
    out += name;
    out += "\":";
    bridge::appendText(out, text);
    return out;
}

class RemoteConnection final : public WmiConnection {
  public:
    explicit RemoteConnection(std::shared_ptr<Channel> ch) : ch_(std::move(ch)) {}
    ~RemoteConnection() override {
        std::lock_guard<std::recursive_mutex> g(ch_->mu);
        ch_->close();
    }

    std::unique_ptr<WmiEnumerator> query(std::string_view wql) override {
        std::lock_guard<std::recursive_mutex> g(ch_->mu);
        int64_t id = ch_->send(",\"op\":\"query\"" + field("wql", wql), &error_);
        if (!id) return failed();
        auto e = std::make_unique<RemoteEnumerator>(ch_, id, std::string(wql));
        if (!e->first()) {
            error_ = e->lastError();
            return nullptr;
        }
        return e;
    }

    std::unique_ptr<WmiObject> getObject(std::string_view path) override {
        return single(",\"op\":\"getObject\"" + field("path", path), "object " + std::string(path));
    }

    std::unique_ptr<WmiObject> execMethod(std::string_view path, std::string_view method,
                                          const WmiObject* in) override {
        std::string req = ",\"op\":\"execMethod\"" + field("path", path) + field("method", method);
        req += ",\"in\":";
        if (in)
            bridge::appendObject(req, *in);
        else
            req += "null";
        return single(req, std::string(method) + " on " + std::string(path));
    }

    std::string lastError() const override { return error_; }

  private:
    std::nullptr_t failed() {
        if (ch_->broken()) error_ = ch_->error();
        return nullptr;
    }

    std::unique_ptr<WmiObject> single(const std::string& request, const std::string& what) {
        std::lock_guard<std::recursive_mutex> g(ch_->mu);
        int64_t id = ch_->send(request, &error_);
        if (!id) return failed();
        auto a = awaitAnswer(*ch_, id, what, &error_);
        if (!a || !a->ok) return nullptr;
        if (a->objects.size() != 1) {
            ch_->fail("the answer to " + what + " carries no object");
            return failed();
        }
        return std::move(a->objects[0]);
    }

    std::shared_ptr<Channel> ch_;
    std::string error_;
};

class RemoteWmiProvider final : public WmiProvider {
  public:
    RemoteWmiProvider(std::string templ, RemoteWmiLimits limits)
        : template_(std::move(templ)), limits_(limits) {}

    WmiConnectResult connect(const std::string& server, const std::string& ns) override {
        WmiConnectResult r;
        std::string templ = template_;
        if (templ.empty()) {
            const char* env = std::getenv("TWNT_REMOTE_COMMAND");
            templ = env && *env ? env : kDefaultRemoteCommand;
        }
        std::string why;
        auto words = remoteCommandWords(templ, server, &why);
        if (!words) {
            r.error = "remote WMI on " + server + ": " + why;
            return r;
        }
        const std::string host = server.substr(server.find_first_not_of('\\'));
        auto ch = std::make_shared<Channel>(host, limits_);
        std::lock_guard<std::recursive_mutex> g(ch->mu);
        if (!ch->start(*words)) {
            r.error = ch->error();
            return r;
        }
        // Both requests go at once; the hello must come within its limit.
        const int64_t hello = ch->send(
            ",\"op\":\"hello\",\"protocol\":" + std::to_string(bridge::kProtocol), &r.error);
        const int64_t conn =
            hello ? ch->send(",\"op\":\"connect\"" + field("namespace", ns), &r.error) : 0;
        if (!conn) {
            if (r.error.empty()) r.error = ch->error();
            return r;
        }
        std::string line;
        switch (ch->await(hello, nowMs() + limits_.helloMs, line)) {
            case Channel::Wait::Line:
                break;
            case Channel::Wait::Timeout:
                ch->fail("no hello from the bridge command within " + duration(limits_.helloMs));
                [[fallthrough]];
            case Channel::Wait::Broken:
                r.error = ch->error();
                return r;
        }
        auto a = ch->reader.read(line, &why);
        if (!a || !a->ok) {
            ch->fail("the bridge command's hello is not the bridge protocol: \"" + excerpt(line) +
                     "\"");
            r.error = ch->error();
            return r;
        }
        if (a->protocol != bridge::kProtocol) {
            ch->fail("twwmi there speaks bridge protocol " + std::to_string(a->protocol) +
                     ", this program " + std::to_string(bridge::kProtocol));
            r.error = ch->error();
            return r;
        }
        auto c = awaitAnswer(*ch, conn, "the connection to " + ns, &r.error);
        if (!c || !c->ok) return r;
        r.error.clear();
        r.connection = std::make_unique<RemoteConnection>(std::move(ch));
        return r;
    }

  private:
    std::string template_;
    RemoteWmiLimits limits_;
};

class MachineWmiProvider final : public WmiProvider {
  public:
    MachineWmiProvider(std::unique_ptr<WmiProvider> local, std::unique_ptr<WmiProvider> remote,
                       HostInfo& host)
        : local_(std::move(local)), remote_(std::move(remote)), host_(host) {}

    WmiConnectResult connect(const std::string& server, const std::string& ns) override {
        // "\\NAME", as the editor writes this machine's name, is this
        // machine too.
        const size_t name = server.find_first_not_of('\\');
        const std::string bare = name == std::string::npos ? "" : server.substr(name);
        if (isLocalWmiServer(bare, &host_)) return local_->connect(bare, ns);
        return remote_->connect(server, ns);
    }

  private:
    std::unique_ptr<WmiProvider> local_, remote_;
    HostInfo& host_;
};

}  // namespace

std::optional<std::vector<std::string>> remoteCommandWords(std::string_view commandTemplate,
                                                           std::string_view server,
                                                           std::string* error) {
    const size_t start = server.find_first_not_of('\\');
    const std::string_view host =
        start == std::string_view::npos ? std::string_view() : server.substr(start);
    if (host.empty()) {
        *error = "no machine name";
        return std::nullopt;
    }
    if (host.front() == '-') {
        *error = "a machine name may not begin with '-'";
        return std::nullopt;
    }
    for (char c : host)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            *error = "the machine name holds a control character";
            return std::nullopt;
        }
    auto words = splitArguments(commandTemplate);
    if (!words || words->empty()) {
        *error = "the remote command \"" + std::string(commandTemplate) + "\" cannot be used" +
                 (words ? " (it is empty)" : " (a quote is left open)");
        return std::nullopt;
    }
    constexpr std::string_view placeholder = "{host}";
    for (auto& w : *words) {
        for (size_t at = w.find(placeholder); at != std::string::npos;
             at = w.find(placeholder, at + host.size()))
            w.replace(at, placeholder.size(), host);
    }
    return words;
}

std::unique_ptr<WmiProvider> makeRemoteWmiProvider(std::string commandTemplate,
                                                   RemoteWmiLimits limits) {
    return std::make_unique<RemoteWmiProvider>(std::move(commandTemplate), limits);
}

std::unique_ptr<WmiProvider> makeMachineWmiProvider(std::unique_ptr<WmiProvider> local,
                                                    std::unique_ptr<WmiProvider> remote,
                                                    HostInfo& host) {
    return std::make_unique<MachineWmiProvider>(std::move(local), std::move(remote), host);
}

}  // namespace tw::platform
