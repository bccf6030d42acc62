// The application event log on Linux: one line per entry appended to the
// file that TWNT_EVENTLOG names, else syslog with the source as ident.
#include <fcntl.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "platform/posix/posix.h"

namespace tw::platform::posix {

namespace {

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

}  // namespace

std::unique_ptr<EventLog> makeEventLog() {
    return std::make_unique<PosixEventLog>();
}

}  // namespace tw::platform::posix
