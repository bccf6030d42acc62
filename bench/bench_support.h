// What the benchmarks share: a host clock that never sleeps, and starting
// the twrecv of this build as the receiving end.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/clock.h"

extern char** environ;

namespace tw::bench {

// The host's local time; now() is fixed when a time is given. Sleeps return
// at once, so retry loops cost only their work.
class BenchClock final : public platform::Clock {
  public:
    explicit BenchClock(int64_t fixedNow = 0) : fixed_(fixedNow) {}
    int64_t now() override { return fixed_ ? fixed_ : static_cast<int64_t>(time(nullptr)); }
    int64_t monotonicMs() override { return 0; }
    platform::LocalTime localTime(int64_t t) override {
        platform::LocalTime lt;
        time_t tt = static_cast<time_t>(t);
        localtime_r(&tt, &lt.tm);
        lt.utcOffsetSeconds = lt.tm.tm_gmtoff;
        lt.zoneName = lt.tm.tm_zone ? lt.tm.tm_zone : "";
        return lt;
    }
    std::optional<int64_t> fromLocalTime(const std::tm&) override { return std::nullopt; }
    bool sleepSeconds(int64_t) override { return true; }
    bool sleepMs(int64_t) override { return true; }

  private:
    int64_t fixed_;
};

// twrecv beside the running benchmark binary.
inline std::string twrecvPath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string self(buf, n > 0 ? static_cast<size_t>(n) : 0);
    return self.substr(0, self.rfind('/') + 1) + "twrecv";
}

// Starts twrecv --quiet --count n on a free port of 127.0.0.1; answers its
// pid, port and the read end of its standard output.
inline bool startTwrecv(uint64_t n, pid_t& pid, uint16_t& port, int& outFd) {
    std::string path = twrecvPath(), count = std::to_string(n);
    std::vector<std::string> args = {path,        "--port",  "0",       "--bind",
                                     "127.0.0.1", "--quiet", "--count", count};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return false;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    posix_spawn_file_actions_addclose(&fa, out[1]);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    int rc = posix_spawn(&pid, path.c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    if (rc != 0) return false;
    std::string line;
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0 &&
           read(out[0], &c, 1) == 1)
        line += c;
    outFd = out[0];
    size_t at = line.rfind(' ');
    if (at == std::string::npos) return false;
    port = static_cast<uint16_t>(std::atoi(line.c_str() + at + 1));
    return port != 0;
}

}  // namespace tw::bench
