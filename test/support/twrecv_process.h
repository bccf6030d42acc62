// Runs the built twrecv receiver as a child process for end-to-end tests:
// starts it on a free port, waits (bounded) for its listening line, and
// collects its standard output until it exits. The child is killed when the
// object goes away.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/subprocess.h"

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
        if (pipe2(out, O_CLOEXEC) != 0) return false;
        platform::SpawnPlan plan;
        plan.argv = std::move(args);
        plan.stdio = {platform::kStdInherit, out[1],
                      discardErrors ? platform::kStdNull : platform::kStdInherit};
        const int rc = child_.start(plan);
        close(out[1]);
        if (rc != 0) {
            close(out[0]);
            return false;
        }
        fd_ = out[0];
        // The first line: "twrecv: listening on port N".
        const int64_t end = platform::nowMs() + waitMs;
        while (output_.find('\n') == std::string::npos) {
            if (!readSome(end)) return false;
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
        const int64_t end = platform::nowMs() + waitMs;
        while (fd_ >= 0 && readSome(end)) {
        }
        return reap(end);
    }

    // Asks the child to stop (SIGTERM) and collects the rest of its output.
    int stop(int waitMs = 10000) {
        child_.signal(SIGTERM);
        return wait(waitMs);
    }

    // The child, if it still runs, is killed and reaped with child_.
    ~TwrecvProcess() {
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
    // One read; false at end of output, on error or when time is up.
    bool readSome(int64_t end) {
        if (fd_ < 0) return false;
        const auto got = platform::readSome(fd_, end, output_, SIZE_MAX);
        if (got == platform::ReadState::Data) return true;
        if (got != platform::ReadState::Timeout) {
            close(fd_);
            fd_ = -1;
        }
        return false;
    }

    // The exit status, -1 when it had to be killed.
    int reap(int64_t end) {
        if (!child_.running()) return -1;
        const auto status = child_.wait(end);
        if (!status) {
            child_.kill();
            return -1;
        }
        return (*status != platform::kNoStatus && WIFEXITED(*status)) ? WEXITSTATUS(*status) : -1;
    }

    platform::Child child_;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::string output_;
};

}  // namespace tw::testing
