#include "platform/posix/run_command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

extern char** environ;

namespace tw::platform {

namespace {

int64_t nowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

std::optional<CommandResult> runCommand(const std::vector<std::string>& argv, int timeoutMs,
                                        size_t maxBytes) {
    if (argv.empty()) return std::nullopt;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0].c_str(), &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return std::nullopt;
    }
    CommandResult r;
    const int64_t deadline = nowMs() + timeoutMs;
    char buf[65536];
    while (true) {
        int64_t left = deadline - nowMs();
        if (left <= 0) {
            r.timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        int n = poll(&p, 1, static_cast<int>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) continue;
        ssize_t got = ::read(fds[0], buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        if (r.out.size() < maxBytes)
            r.out.append(buf, std::min(static_cast<size_t>(got), maxBytes - r.out.size()));
    }
    ::close(fds[0]);
    if (r.timedOut) kill(pid, SIGKILL);
    int status = 0;
    // After EOF the program is ending; wait for it within what is left of
    // the bound, then kill it.
    while (true) {
        pid_t w = waitpid(pid, &status, r.timedOut ? 0 : WNOHANG);
        if (w == pid) break;
        if (w < 0 && errno != EINTR) break;
        if (w == 0) {
            if (nowMs() >= deadline) {
                r.timedOut = true;
                kill(pid, SIGKILL);
                continue;
            }
            struct timespec ts {
                0, 2 * 1000 * 1000
            };
            nanosleep(&ts, nullptr);
        }
    }
    r.exitStatus = (!r.timedOut && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace tw::platform
