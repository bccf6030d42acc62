#include "platform/posix/run_command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace tw::platform {

namespace {
long long nowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
}  // namespace

CommandResult runCommand(const std::vector<std::string>& argv, int timeoutMs) {
    CommandResult r;
    if (argv.empty()) return r;
    int pipefd[2];
    if (pipe2(pipefd, O_CLOEXEC) != 0) return r;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, pipefd[1], 1);
    posix_spawn_file_actions_adddup2(&fa, pipefd[1], 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(pipefd[1]);
    if (rc != 0) {
        ::close(pipefd[0]);
        return r;
    }
    r.started = true;
    const long long deadline = nowMs() + timeoutMs;
    char buf[4096];
    while (true) {
        long long left = deadline - nowMs();
        if (left <= 0) {
            r.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        pollfd p{pipefd[0], POLLIN, 0};
        int pr = poll(&p, 1, static_cast<int>(left));
        if (pr < 0) continue;
        if (pr == 0) continue;
        ssize_t n = ::read(pipefd[0], buf, sizeof buf);
        if (n <= 0) break;
        if (r.output.size() < (1u << 20)) r.output.append(buf, static_cast<size_t>(n));
    }
    ::close(pipefd[0]);
    int st = 0;
    while (waitpid(pid, &st, 0) < 0) {
    }
    if (!r.timedOut && WIFEXITED(st)) r.status = WEXITSTATUS(st);
    return r;
}

}  // namespace tw::platform
