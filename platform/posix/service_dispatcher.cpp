// The service dispatcher on Linux: systemd starts the agent as a service
// (it is the parent and gives an invocation id); a stop request (SIGTERM)
// goes to the control handler, and state changes go to NOTIFY_SOCKET.
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/posix/posix.h"

namespace tw::platform::posix {

namespace {

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
        auto clock = makeClock();
        while (!stopRaised() && !mainDone_.load()) clock->sleepMs(200);
        // A stop request goes to the control handler even when the cycle,
        // woken by the same signal, has already left: the handler reports the
        // service stopped and logs it.
        if (stopRaised() && handler_) handler_(kServiceControlStop);
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

}  // namespace

std::unique_ptr<ServiceDispatcher> makeServiceDispatcher() {
    return std::make_unique<SystemdDispatcher>();
}

}  // namespace tw::platform::posix
