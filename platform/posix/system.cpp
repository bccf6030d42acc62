// Process-level services on Linux: errno and strerror, the program's path
// from /proc/self/exe, the environment, a process-local cycle mutex, and the
// stop request that signals raise (their handlers set in makeHostSystem).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/posix/posix.h"
#include "platform/posix/private_file.h"

namespace tw::platform::posix {

namespace {

std::atomic<bool> g_stop{false};
int g_stopPipe[2] = {-1, -1};

}  // namespace

void installStopPipe() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (pipe(g_stopPipe) == 0) {
            for (int fd : g_stopPipe) {
                int flags = fcntl(fd, F_GETFD);
                if (flags >= 0) fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
                int fl = fcntl(fd, F_GETFL);
                if (fl >= 0) fcntl(fd, F_SETFL, fl | O_NONBLOCK);
            }
        }
    });
}

void raiseStop() {
    g_stop.store(true);
    if (g_stopPipe[1] >= 0) {
        char c = 1;
        ssize_t r = ::write(g_stopPipe[1], &c, 1);
        (void)r;
    }
}

bool stopRaised() {
    return g_stop.load();
}

void waitForStop(int64_t ms) {
    // Without a stop pipe only the flag tells: look at it every second.
    if (g_stopPipe[0] < 0) {
        poll(nullptr, 0, static_cast<int>(std::min<int64_t>(ms, 1000)));
        return;
    }
    // A stop is for good: the pipe is left readable, so that every thread
    // asleep on it wakes, not only the first.
    pollfd p{g_stopPipe[0], POLLIN, 0};
    poll(&p, 1, static_cast<int>(std::min<int64_t>(ms, 3600 * 1000)));
}

namespace {

class StdCycleMutex final : public CycleMutex {
  public:
    StdCycleMutex() { mu_.lock(); }
    void lock() override { mu_.lock(); }
    void unlock() override { mu_.unlock(); }

  private:
    std::mutex mu_;
};

class PosixSystem final : public System {
  public:
    uint32_t lastErrorCode() override { return static_cast<uint32_t>(errno); }
    std::string errorText(uint32_t code) override {
        return code ? std::strerror(static_cast<int>(code)) : "";
    }
    std::optional<std::string> programPath() override {
        char buf[4096];
        ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n <= 0) return std::nullopt;
        return std::string(buf, static_cast<size_t>(n));
    }
    std::optional<std::string> getenv(const std::string& name) override {
        const char* v = std::getenv(name.c_str());
        if (!v) return std::nullopt;
        return std::string(v);
    }
    std::string tempFallback(int index) override { return index == 0 ? "/tmp" : "/var/tmp"; }
    char pathSeparator() override { return '/'; }
    std::unique_ptr<CycleMutex> createCycleMutex(const std::string&) override {
        return std::make_unique<StdCycleMutex>();
    }
    std::FILE* createPrivateFile(const std::string& path, std::string& why) override {
        return platform::createPrivateFile(path, why);
    }
    void releaseConsole() override {}
    bool stopRequested() override { return stopRaised(); }
    void requestStop() override { raiseStop(); }
    [[noreturn]] void exitProcess(int status) override {
        std::fflush(nullptr);
        _exit(status);
    }
};

}  // namespace

std::unique_ptr<System> makeSystem() {
    return std::make_unique<PosixSystem>();
}

namespace {

void onStopSignal(int) {
    raiseStop();
}

}  // namespace

}  // namespace tw::platform::posix

namespace tw::platform {

std::unique_ptr<System> makeHostSystem() {
    posix::installStopPipe();
    struct sigaction sa {};
    sa.sa_handler = posix::onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return posix::makeSystem();
}

}  // namespace tw::platform
