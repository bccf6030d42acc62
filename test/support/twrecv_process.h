// Runs the built twrecv receiver as a child process for end-to-end tests:
// starts it on a free port, waits (bounded) for its listening line, and
// collects its standard output until it exits. The child is killed when the
// object goes away.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace tw::testing {

class TwrecvProcess {
  public:
    // Starts twrecv with --port 0 and the extra arguments; false when it did
    // not report a port within the time. Its standard error is discarded
    // when it is not wanted (a benchmark's summary lines).
    bool start(const std::vector<std::string>& extra, int waitMs = 10000,
               bool discardErrors = false) {
        std::vector<std::string> args = {TW_BINARY_DIR "/twrecv", "--port", "0"};
        args.insert(args.end(), extra.begin(), extra.end());
        int out[2];
        if (pipe(out) != 0) return false;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        posix_spawn_file_actions_addclose(&fa, out[1]);
        if (discardErrors) posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int rc = posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        close(out[1]);
        if (rc != 0) {
            close(out[0]);
            pid_ = -1;
            return false;
        }
        fd_ = out[0];
        // The first line: "twrecv: listening on port N".
        int64_t end = nowMs() + waitMs;
        while (output_.find('\n') == std::string::npos) {
            if (!readSome(static_cast<int>(end - nowMs()))) return false;
        }
        std::string first = output_.substr(0, output_.find('\n'));
        std::string prefix = "twrecv: listening on port ";
        if (first.rfind(prefix, 0) != 0) return false;
        port_ = static_cast<uint16_t>(std::stoi(first.substr(prefix.size())));
        output_.erase(0, first.size() + 1);
        return port_ != 0;
    }

    // Reads until the child exits (or the time is up, then kills it).
    // Answers the exit status, -1 when it had to be killed.
    int wait(int waitMs = 10000) {
        int64_t end = nowMs() + waitMs;
        while (fd_ >= 0 && readSome(static_cast<int>(end - nowMs()))) {
        }
        return reap(end);
    }

    // Asks the child to stop (SIGTERM) and collects the rest of its output.
    int stop(int waitMs = 10000) {
        if (pid_ > 0) kill(pid_, SIGTERM);
        return wait(waitMs);
    }

    ~TwrecvProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0) close(fd_);
    }

    uint16_t port() const { return port_; }
    const std::string& output() const { return output_; }

    // The output lines, without their line ends.
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        size_t start = 0;
        while (start < output_.size()) {
            size_t nl = output_.find('\n', start);
            if (nl == std::string::npos) nl = output_.size();
            out.push_back(output_.substr(start, nl - start));
            start = nl + 1;
        }
        return out;
    }

  private:
    static int64_t nowMs() {
        timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    }

    // One read; false at end of output, on error or when time is up.
    bool readSome(int waitMs) {
        if (fd_ < 0 || waitMs <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, waitMs) <= 0) return false;
        char buf[65536];
        ssize_t n = read(fd_, buf, sizeof buf);
        if (n <= 0) {
            close(fd_);
            fd_ = -1;
            return false;
        }
        output_.append(buf, static_cast<size_t>(n));
        return true;
    }

    int reap(int64_t end) {
        if (pid_ <= 0) return -1;
        int status = 0;
        while (true) {
            pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) break;
            if (r < 0 || nowMs() > end) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                pid_ = -1;
                return -1;
            }
            struct timespec ts {
                0, 1000 * 1000
            };
            nanosleep(&ts, nullptr);
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::string output_;
};

}  // namespace tw::testing
