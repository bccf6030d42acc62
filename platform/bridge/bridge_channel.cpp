#include "platform/bridge/bridge_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace tw::platform::bridge {

std::string duration(int ms) {
    if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
    return std::to_string(ms) + " ms";
}

std::string excerpt(std::string_view line) {
    std::string s(line.substr(0, 80));
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20) c = '?';
    return line.size() > 80 ? s + "..." : s;
}

bool Channel::start(const std::vector<std::string>& words) {
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
        return fail(std::string("cannot make a socket pair: ") + std::strerror(errno));
    int ep[2];
    if (pipe2(ep, O_CLOEXEC) != 0) {
        ::close(sv[0]);
        ::close(sv[1]);
        return fail(std::string("cannot make a pipe: ") + std::strerror(errno));
    }
    SpawnPlan plan;
    plan.argv = words;
    plan.searchPath = true;
    plan.stdio = {sv[1], sv[1], ep[1]};
    const int rc = child_.start(plan);
    ::close(sv[1]);
    ::close(ep[1]);
    if (rc != 0) {
        ::close(sv[0]);
        ::close(ep[0]);
        return fail("cannot start " + words[0] + ": " + std::strerror(rc));
    }
    sock_ = sv[0];
    err_ = ep[0];
    fcntl(sock_, F_SETFL, fcntl(sock_, F_GETFL) | O_NONBLOCK);
    fcntl(err_, F_SETFL, fcntl(err_, F_GETFL) | O_NONBLOCK);
    return true;
}

int64_t Channel::send(const std::string& fields, std::string* callError) {
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

Channel::Wait Channel::await(int64_t id, int64_t deadline, std::string& line) {
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

void Channel::dropStream(int64_t id) {
    auto it = streams_.find(id);
    if (it == streams_.end()) return;
    bool ended = false;
    for (const auto& l : it->second) ended = ended || !bridge::quickMore(l);
    streams_.erase(it);
    if (!ended) abandoned_.insert(id);
}

bool Channel::fail(const std::string& why) {
    if (!broken_) {
        broken_ = true;
        error_ = "remote WMI on " + host_ + ": " + why;
    }
    endCommand(true);
    return false;
}

void Channel::close() {
    if (sock_ >= 0) shutdown(sock_, SHUT_WR);
    endCommand(false);
    broken_ = true;
    if (error_.empty()) error_ = "remote WMI on " + host_ + ": the connection is closed";
}

bool Channel::receive() {
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

bool Channel::nextLine(std::string_view& line) {
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

std::optional<int64_t> Channel::idOf(std::string_view line) {
    if (auto id = bridge::quickId(line)) return id;
    std::string why;
    if (auto a = reader.read(line, &why)) return a->id;
    return std::nullopt;
}

void Channel::readErrors() {
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

void Channel::commandEnded() {
    endCommand(false);
    std::string why = "the bridge command ended";
    if (!status_.empty()) why += " (" + status_ + ")";
    std::string said = errTail_;
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
    if (size_t nl = said.rfind('\n'); nl != std::string::npos) said.erase(0, nl + 1);
    if (!said.empty()) why += ": " + said;
    fail(why);
}

void Channel::endCommand(bool kill) {
    if (child_.running()) {
        const bool exited = child_.ended(nowMs() + (kill ? 0 : limits_.closeMs));
        const int status = child_.kill();
        if (status != kNoStatus) {
            if (!exited)
                status_ = "killed";
            else if (WIFEXITED(status))
                status_ = "exit status " + std::to_string(WEXITSTATUS(status));
            else if (WIFSIGNALED(status))
                status_ = "signal " + std::to_string(WTERMSIG(status));
        }
    }
    if (err_ >= 0) {
        readErrors();
        if (err_ >= 0) ::close(err_);
        err_ = -1;
    }
    if (sock_ >= 0) ::close(sock_);
    sock_ = -1;
}

}  // namespace tw::platform::bridge
