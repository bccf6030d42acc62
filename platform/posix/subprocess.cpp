#include "platform/posix/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

extern char** environ;

namespace tw::platform {

namespace {

// How often a bounded wait looks whether the child has ended.
constexpr int64_t kPollStepMs = 2;

void pause(int64_t deadline) {
    const int64_t ms = std::clamp<int64_t>(deadline - nowMs(), 0, kPollStepMs);
    timespec ts{0, static_cast<long>(ms * 1000 * 1000)};
    nanosleep(&ts, nullptr);
}

int pollMs(int64_t deadline) {
    return static_cast<int>(std::clamp<int64_t>(deadline - nowMs(), 0, INT_MAX));
}

// The spawn's descriptor plan and attributes, destroyed on every path.
struct SpawnSetup {
    posix_spawn_file_actions_t fa;
    posix_spawnattr_t attr;
    int error = 0;

    SpawnSetup() {
        if ((error = posix_spawn_file_actions_init(&fa)) != 0) return;
        if ((error = posix_spawnattr_init(&attr)) != 0) posix_spawn_file_actions_destroy(&fa);
    }
    ~SpawnSetup() {
        if (error != 0) return;
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&fa);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

Child::~Child() {
    if (running()) kill();
}

int Child::start(const SpawnPlan& plan) {
    if (running() || plan.argv.empty()) return EINVAL;
    SpawnSetup s;
    if (s.error != 0) return s.error;
    for (int i = 0; i < 3; ++i) {
        const int from = plan.stdio[static_cast<size_t>(i)];
        if (from == kStdNull)
            posix_spawn_file_actions_addopen(&s.fa, i, "/dev/null", i == 0 ? O_RDONLY : O_WRONLY,
                                             0);
        else if (from >= 0)
            posix_spawn_file_actions_adddup2(&s.fa, from, i);
    }
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // The agent's log, sockets and settings file are not the child's.
    posix_spawn_file_actions_addclosefrom_np(&s.fa, 3);
#endif
    // Ordinary signal handling, and a process group of its own: a Ctrl-C
    // meant for the agent's console spares it, and ending it ends all of it.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD}) sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&s.attr, &none);
    posix_spawnattr_setsigdefault(&s.attr, &defaults);
    posix_spawnattr_setpgroup(&s.attr, 0);
    posix_spawnattr_setflags(
        &s.attr,
        static_cast<short>(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP));
    std::vector<char*> argv;
    argv.reserve(plan.argv.size() + 1);
    for (const auto& a : plan.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> env;
    if (plan.env) {
        env.reserve(plan.env->size() + 1);
        for (const auto& e : *plan.env) env.push_back(const_cast<char*>(e.c_str()));
        env.push_back(nullptr);
    }
    char* const* envp = plan.env ? env.data() : environ;
    pid_t pid = -1;
    const int rc = plan.searchPath ? posix_spawnp(&pid, argv[0], &s.fa, &s.attr, argv.data(), envp)
                                   : posix_spawn(&pid, argv[0], &s.fa, &s.attr, argv.data(), envp);
    if (rc != 0) return rc;
    pid_ = pid;
    return 0;
}

void Child::signal(int sig) {
    if (running()) ::kill(pid_, sig);
}

std::optional<int> Child::wait(int64_t deadline) {
    while (running()) {
        int status = 0;
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            pid_ = -1;
            return status;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            pid_ = -1;
            return kNoStatus;
        }
        if (nowMs() >= deadline) return std::nullopt;
        pause(deadline);
    }
    return kNoStatus;
}

bool Child::ended(int64_t deadline) {
    while (running()) {
        siginfo_t info{};
        const int r = waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT);
        if (r == 0 && info.si_pid == pid_) return true;
        if (r < 0 && errno != EINTR) return true;
        if (nowMs() >= deadline) return false;
        pause(deadline);
    }
    return true;
}

int Child::kill() {
    if (!running()) return kNoStatus;
    // While the child is not reaped its process group id cannot be reused.
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    int status = 0;
    pid_t r;
    do {
        r = waitpid(pid_, &status, 0);
    } while (r < 0 && errno == EINTR);
    pid_ = -1;
    return r < 0 ? kNoStatus : status;
}

pid_t Child::release() {
    const pid_t pid = pid_;
    pid_ = -1;
    return pid;
}

ReadState readSome(int fd, int64_t deadline, std::string& out, size_t maxBytes) {
    char buf[65536];
    while (true) {
        pollfd p{fd, POLLIN, 0};
        const int n = poll(&p, 1, pollMs(deadline));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ReadState::Failed;
        if (n == 0) {
            if (nowMs() < deadline) continue;
            return ReadState::Timeout;
        }
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (got < 0) return ReadState::Failed;
        if (got == 0) return ReadState::End;
        if (out.size() < maxBytes)
            out.append(buf, std::min(static_cast<size_t>(got), maxBytes - out.size()));
        return ReadState::Data;
    }
}

ReadState readAll(int fd, int64_t deadline, std::string& out, size_t maxBytes) {
    ReadState s;
    while ((s = readSome(fd, deadline, out, maxBytes)) == ReadState::Data) {
    }
    return s;
}

std::optional<CommandResult> runCommand(const std::vector<std::string>& argv, int timeoutMs,
                                        size_t maxBytes) {
    if (argv.empty()) return std::nullopt;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    SpawnPlan plan;
    plan.argv = argv;
    plan.searchPath = true;
    plan.stdio = {kStdNull, fds[1], kStdNull};
    Child child;
    const int rc = child.start(plan);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return std::nullopt;
    }
    CommandResult r;
    const int64_t deadline = nowMs() + timeoutMs;
    const ReadState end = readAll(fds[0], deadline, r.out, maxBytes);
    ::close(fds[0]);
    // After the end of its output the program is ending: it is waited for
    // within what is left of the bound, then killed.
    std::optional<int> status;
    if (end != ReadState::Timeout) status = child.wait(deadline);
    if (!status) {
        r.timedOut = true;
        child.kill();
    }
    r.exitStatus =
        (status && *status != kNoStatus && WIFEXITED(*status)) ? WEXITSTATUS(*status) : -1;
    return r;
}

}  // namespace tw::platform
