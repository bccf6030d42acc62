// This host's services on Linux: the registry file, the event file or
// syslog, the resolver, the clock with a stop pipe that signals write to, and
// systemd as the service manager.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>

#include "platform/platform.h"
#include "platform/posix/file_settings_store.h"
#include "platform/posix/posix_directory.h"
#include "platform/posix/posix_launcher.h"
#include "platform/posix/systemd_service_manager.h"
#include "platform/posix/posix_sockets.h"
#include "platform/posix/remote_wmi_provider.h"
#include "platform/posix/wmi_providers.h"

namespace tw::platform {

namespace {

// ---- stop requests: a self-pipe that the signal handler writes to ----------

std::atomic<bool> g_stop{false};
int g_stopPipe[2] = {-1, -1};

void onStopSignal(int) {
    g_stop.store(true);
    if (g_stopPipe[1] >= 0) {
        char c = 1;
        ssize_t r = ::write(g_stopPipe[1], &c, 1);
        (void)r;
    }
}

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

// ---- event log --------------------------------------------------------------

class PosixEventLog final : public EventLog {
  public:
    bool report(const std::string& source, EventType type, uint32_t identifier,
                const std::vector<std::string>& texts) override {
        std::string joined;
        for (size_t i = 0; i < texts.size(); ++i) {
            if (i) joined += '\t';
            joined += texts[i];
        }
        const char* typeWord = type == EventType::Error     ? "error"
                               : type == EventType::Warning ? "warning"
                                                            : "information";
        const char* file = std::getenv("TWNT_EVENTLOG");
        if (file && *file) {
            time_t now = time(nullptr);
            struct tm tm;
            localtime_r(&now, &tm);
            char stamp[64];
            strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S%z", &tm);
            std::string line = std::string(stamp) + "\t" + source + "\t" + typeWord + "\t" +
                               std::to_string(identifier) + "\t" + joined + "\n";
            std::lock_guard<std::mutex> g(mu_);
            int fd = ::open(file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0) return false;
            ssize_t n = ::write(fd, line.data(), line.size());
            ::close(fd);
            return n == static_cast<ssize_t>(line.size());
        }
        int prio = type == EventType::Error     ? LOG_ERR
                   : type == EventType::Warning ? LOG_WARNING
                                                : LOG_INFO;
        std::lock_guard<std::mutex> g(mu_);
        openlog(source.c_str(), LOG_PID, LOG_DAEMON);
        syslog(prio, "%s (event %u)", joined.c_str(), identifier);
        closelog();
        return true;
    }

  private:
    std::mutex mu_;
};

// ---- host identity ----------------------------------------------------------

class PosixHostInfo final : public HostInfo {
  public:
    std::optional<std::string> hostName() override {
        char buf[256] = {};
        if (gethostname(buf, sizeof buf - 1) != 0) return std::nullopt;
        return std::string(buf);
    }

    std::optional<HostEntry> resolve(const std::string& name) override {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_CANONNAME;
        addrinfo* res = nullptr;
        if (getaddrinfo(name.c_str(), nullptr, &hints, &res) != 0 || !res) return std::nullopt;
        HostEntry e;
        e.officialName = res->ai_canonname ? res->ai_canonname : name;
        for (addrinfo* a = res; a; a = a->ai_next) {
            if (a->ai_family != AF_INET) continue;
            char buf[INET_ADDRSTRLEN];
            auto* sin = reinterpret_cast<sockaddr_in*>(a->ai_addr);
            if (inet_ntop(AF_INET, &sin->sin_addr, buf, sizeof buf)) {
                e.firstIPv4 = buf;
                break;
            }
        }
        freeaddrinfo(res);
        return e;
    }

    std::optional<std::string> computerName() override {
        auto h = hostName();
        if (!h) return std::nullopt;
        std::string n = h->substr(0, h->find('.'));
        for (char& c : n)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (n.size() > 15) n.resize(15);
        return n;
    }
};

// ---- clock --------------------------------------------------------------------

class PosixClock final : public Clock {
  public:
    int64_t now() override { return static_cast<int64_t>(time(nullptr)); }

    int64_t monotonicMs() override {
        timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    }

    LocalTime localTime(int64_t t) override {
        LocalTime lt;
        time_t tt = static_cast<time_t>(t);
        localtime_r(&tt, &lt.tm);
        lt.utcOffsetSeconds = lt.tm.tm_gmtoff;
        lt.zoneName = lt.tm.tm_zone ? lt.tm.tm_zone : "";
        return lt;
    }

    std::optional<int64_t> fromLocalTime(const std::tm& tm) override {
        std::tm copy = tm;
        time_t t = mktime(&copy);
        if (t == static_cast<time_t>(-1) && !(copy.tm_year == 69 && copy.tm_mday == 31))
            return std::nullopt;
        return static_cast<int64_t>(t);
    }

    bool sleepSeconds(int64_t seconds) override { return sleepMs(seconds * 1000); }

    bool sleepMs(int64_t ms) override {
        installStopPipe();
        int64_t end = monotonicMs() + ms;
        while (true) {
            if (g_stop.load()) return false;
            int64_t left = end - monotonicMs();
            if (left <= 0) return true;
            pollfd p{g_stopPipe[0], POLLIN, 0};
            int r = poll(&p, g_stopPipe[0] >= 0 ? 1 : 0,
                         static_cast<int>(std::min<int64_t>(left, 1000)));
            if (r > 0) {
                char buf[16];
                while (::read(g_stopPipe[0], buf, sizeof buf) > 0) {
                }
            }
        }
    }
};

// ---- process services -----------------------------------------------------------

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
    void releaseConsole() override {}
    bool stopRequested() override { return g_stop.load(); }
    void requestStop() override { onStopSignal(0); }
    [[noreturn]] void exitProcess(int status) override {
        std::fflush(nullptr);
        _exit(status);
    }
};

// ---- service dispatcher: systemd ------------------------------------------------

class SystemdDispatcher final : public ServiceDispatcher {
  public:
    bool run(const std::function<void()>& serviceMain) override {
        // systemd gives every service an invocation id and is its parent; without
        // them nobody manages this process and the dispatcher cannot start, as on
        // Windows outside the service control manager.
        const char* inv = std::getenv("INVOCATION_ID");
        if (!inv || !*inv || getppid() != 1) {
            errno = ENOTSUP;
            return false;
        }
        std::thread main([this, serviceMain] {
            serviceMain();
            mainDone_.store(true);
        });
        // This thread is the dispatcher's: it waits for a stop request and
        // hands it to the control handler.
        PosixClock clock;
        while (!g_stop.load() && !mainDone_.load()) clock.sleepMs(200);
        if (!mainDone_.load() && handler_) handler_(kServiceControlStop);
        // The service reported itself stopped: give the cycle a moment to leave
        // its loop, then end the process as the service manager would.
        for (int i = 0; i < 30 && !mainDone_.load(); ++i) {
            struct timespec ts {
                0, 100 * 1000 * 1000
            };
            nanosleep(&ts, nullptr);
        }
        if (mainDone_.load()) {
            main.join();
            return true;
        }
        std::fflush(nullptr);
        _exit(0);
    }

    bool registerHandler(const std::function<void(uint32_t)>& handler) override {
        handler_ = handler;
        return true;
    }

    bool setStatus(const ServiceStatus& status) override {
        lastState_.store(status.state);
        notify(status.state);
        return true;
    }

  private:
    void notify(ServiceState state) {
        const char* sock = std::getenv("NOTIFY_SOCKET");
        if (!sock || !*sock) return;
        const char* msg = state == ServiceState::Running ? "READY=1"
                          : state == ServiceState::StopPending || state == ServiceState::Stopped
                              ? "STOPPING=1"
                              : nullptr;
        if (!msg) return;
        int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return;
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::string path = sock;
        if (path[0] == '@') path[0] = '\0';
        if (path.size() >= sizeof addr.sun_path) {
            ::close(fd);
            return;
        }
        std::memcpy(addr.sun_path, path.data(), path.size());
        socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
        sendto(fd, msg, std::strlen(msg), 0, reinterpret_cast<sockaddr*>(&addr), len);
        ::close(fd);
    }

    std::function<void(uint32_t)> handler_;
    std::atomic<ServiceState> lastState_{ServiceState::Stopped};
    std::atomic<bool> mainDone_{false};
};

class PosixHostPlatform final : public HostPlatform {
  public:
    PosixHostPlatform()
        : settings_(makeFileSettingsStore(defaultRegistryPath())),
          services_(makeSystemdServiceManager()),
          sockets_(makePosixSockets()),
          launcher_(makePosixLauncher()),
          directory_(makePosixDirectory()) {
        installStopPipe();
        struct sigaction sa {};
        sa.sa_handler = onStopSignal;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);
        signal(SIGPIPE, SIG_IGN);
        p_.settings = settings_.get();
        p_.events = &events_;
        p_.host = &host_;
        p_.clock = &clock_;
        p_.system = &system_;
        p_.dispatcher = &dispatcher_;
        p_.services = services_.get();
        p_.sockets = sockets_.get();
        // TWNT_WMI_FIXTURE answers every WMI query from a JSON file (tests,
        // demonstrations); otherwise this host answers for itself.
        const char* fixture = std::getenv("TWNT_WMI_FIXTURE");
        // Other machines are reached through their twwmi.
        wmi_ = makeMachineWmiProvider(fixture && *fixture
                                          ? makeFixtureWmiProvider(fixture, clock_, *settings_)
                                          : makeLiveWmiProvider(clock_, *settings_),
                                      makeRemoteWmiProvider());
        p_.wmi = wmi_.get();
        p_.launcher = launcher_.get();
        p_.directory = directory_.get();
    }
    Platform& get() override { return p_; }

  private:
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<ServiceManager> services_;
    std::unique_ptr<Sockets> sockets_;
    std::unique_ptr<Launcher> launcher_;
    std::unique_ptr<Directory> directory_;
    PosixEventLog events_;
    PosixHostInfo host_;
    PosixClock clock_;
    PosixSystem system_;
    SystemdDispatcher dispatcher_;
    std::unique_ptr<WmiProvider> wmi_;
    Platform p_;
};

}  // namespace

std::unique_ptr<HostPlatform> makeHostPlatform() {
    return std::make_unique<PosixHostPlatform>();
}

}  // namespace tw::platform
