#include "platform/posix/systemd_service_manager.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/subprocess.h"

namespace tw::platform {

namespace {

// The Windows codes of the equivalent failures, so that messages read alike
// on both platforms.
constexpr uint32_t kErrAccessDenied = 5;
constexpr uint32_t kErrServiceDoesNotExist = 1060;
constexpr uint32_t kErrServiceExists = 1073;
constexpr uint32_t kErrServiceNotActive = 1062;
constexpr uint32_t kErrNoManager = 1722;

constexpr int kSystemctlTimeoutMs = 30000;

std::string shellQuote(const std::string& s) {
    // systemd's own quoting: double quotes with backslash escapes.
    if (s.find_first_of(" \t\"'\\$%") == std::string::npos && !s.empty()) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out.push_back('\\');
        if (c == '%') {
            out += "%%";
            continue;
        }
        out.push_back(c);
    }
    return out + "\"";
}

class SystemdServiceManager final : public ServiceManager {
  public:
    bool openManager(bool) override {
        const char* dir = std::getenv("TWNT_UNIT_DIR");
        offline_ = dir && *dir;
        unitDir_ = offline_ ? dir : "/etc/systemd/system";
        if (offline_) {
            struct stat st;
            if (stat(unitDir_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
                return fail(2, unitDir_ + ": " + std::strerror(errno));
            }
            return true;
        }
        struct stat st;
        if (stat("/run/systemd/system", &st) != 0) {
            return fail(kErrNoManager, "The service manager (systemd) is not running.");
        }
        return true;
    }

    bool createService(const ServiceDefinition& def) override {
        std::string path = unitPath(def.name);
        if (access(path.c_str(), F_OK) == 0)
            return fail(kErrServiceExists, "The specified service already exists.");
        if (!writeUnit(path, def)) return false;
        name_ = def.name;
        def_ = def;
        if (offline_) {
            // What "systemctl enable" would do: the wants link of the target.
            std::string wants = unitDir_ + "/multi-user.target.wants";
            mkdir(wants.c_str(), 0755);
            std::string link = wants + "/" + def.name + ".service";
            unlink(link.c_str());
            if (symlink(path.c_str(), link.c_str()) != 0) {
                // The unit is written; a missing link only means no autostart.
            }
            return true;
        }
        systemctl({"daemon-reload"});
        auto r = systemctl({"enable", def.name + ".service"});
        if (r.status != 0) return fail(kErrAccessDenied, firstLine(r.output));
        return true;
    }

    bool openService(const std::string& name) override {
        if (access(unitPath(name).c_str(), F_OK) != 0)
            return fail(kErrServiceDoesNotExist,
                        "The specified service does not exist as an installed service.");
        name_ = name;
        return true;
    }

    bool changeService(const std::string& binaryPath, const std::string& displayName) override {
        if (name_.empty())
            return fail(kErrServiceDoesNotExist,
                        "The specified service does not exist as an installed service.");
        ServiceDefinition def{name_, displayName, binaryPath};
        if (!writeUnit(unitPath(name_), def)) return false;
        if (!offline_) systemctl({"daemon-reload"});
        return true;
    }

    bool deleteService() override {
        if (name_.empty())
            return fail(kErrServiceDoesNotExist,
                        "The specified service does not exist as an installed service.");
        if (offline_) {
            unlink((unitDir_ + "/multi-user.target.wants/" + name_ + ".service").c_str());
        } else {
            systemctl({"disable", name_ + ".service"});
        }
        if (unlink(unitPath(name_).c_str()) != 0)
            return fail(errno == EACCES ? kErrAccessDenied : kErrServiceDoesNotExist,
                        std::strerror(errno));
        if (!offline_) systemctl({"daemon-reload"});
        return true;
    }

    bool startService() override {
        if (offline_) return fail(kErrNoManager, "The service manager (systemd) is not running.");
        auto r = systemctl({"start", "--no-block", name_ + ".service"});
        if (r.status != 0) return fail(kErrAccessDenied, firstLine(r.output));
        return true;
    }

    bool stopService() override {
        if (offline_) return fail(kErrNoManager, "The service manager (systemd) is not running.");
        auto state = queryState();
        if (state && *state == ServiceState::Stopped)
            return fail(kErrServiceNotActive, "The service has not been started.");
        auto r = systemctl({"stop", "--no-block", name_ + ".service"});
        if (r.status != 0) return fail(kErrAccessDenied, firstLine(r.output));
        return true;
    }

    std::optional<ServiceState> queryState() override {
        if (offline_) {
            fail(kErrNoManager, "The service manager (systemd) is not running.");
            return std::nullopt;
        }
        auto r = systemctl({"show", "-p", "ActiveState", "--value", name_ + ".service"});
        if (r.status != 0) {
            fail(kErrServiceDoesNotExist, firstLine(r.output));
            return std::nullopt;
        }
        std::string s = firstLine(r.output);
        if (s == "active" || s == "reloading") return ServiceState::Running;
        if (s == "activating") return ServiceState::StartPending;
        if (s == "deactivating") return ServiceState::StopPending;
        return ServiceState::Stopped;
    }

    void closeAll() override { name_.clear(); }

    SystemError lastError() override { return error_; }

  private:
    bool fail(uint32_t code, std::string message) {
        error_ = {code, std::move(message)};
        return false;
    }

    static std::string firstLine(const std::string& s) {
        std::string line = s.substr(0, s.find('\n'));
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        return line;
    }

    struct Ran {
        int status = -1;
        std::string output;
    };

    Ran systemctl(std::vector<std::string> args) {
        args.insert(args.begin(), "systemctl");
        auto r = runCommand(args, kSystemctlTimeoutMs);
        if (!r) return {-1, "systemctl could not be started"};
        if (r->timedOut) return {-1, "systemctl did not answer in time"};
        Ran ran{r->exitStatus, r->out};
        if (ran.status != 0 && ran.output.empty()) ran.output = "systemctl " + args[1] + " failed";
        return ran;
    }

    std::string unitPath(const std::string& name) const {
        return unitDir_ + "/" + name + ".service";
    }

    bool writeUnit(const std::string& path, const ServiceDefinition& def) {
        std::string tmp = path + ".tmp";
        const std::string text = unitFileText(def);
        std::FILE* out = std::fopen(tmp.c_str(), "wb");
        if (!out) return fail(kErrAccessDenied, tmp + ": " + std::strerror(errno));
        const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
        const int saved = errno;
        if (std::fclose(out) != 0 || !written) {
            const int err = written ? errno : saved;
            unlink(tmp.c_str());
            return fail(kErrAccessDenied, tmp + ": " + std::strerror(err));
        }
        chmod(tmp.c_str(), 0644);
        if (rename(tmp.c_str(), path.c_str()) != 0) {
            unlink(tmp.c_str());
            return fail(kErrAccessDenied, path + ": " + std::strerror(errno));
        }
        return true;
    }

    bool offline_ = false;
    std::string unitDir_ = "/etc/systemd/system";
    std::string name_;
    ServiceDefinition def_;
    SystemError error_;
};

}  // namespace

std::string unitFileText(const ServiceDefinition& def) {
    return "[Unit]\n"
           "Description=" +
           def.displayName +
           "\n"
           "After=network-online.target\n"
           "Wants=network-online.target\n"
           "\n"
           "[Service]\n"
           "Type=simple\n"
           "ExecStart=" +
           shellQuote(def.binaryPath) +
           "\n"
           // An agent that ends with a failure (a fatal settings error, a
           // crash) is started again after a pause, as administrators expect
           // of an agent; a stop ends it for good.
           "Restart=on-failure\n"
           "RestartSec=60\n"
           "KillMode=process\n"
           // The sandbox: what the agent and the administrator's external
           // programs (run as root) need stays open -- the file system (/usr,
           // /boot and /etc read-only), devices, /tmp (TW.LOG), the network,
           // the service manager, the journal and dmesg, mounts, 32-bit
           // programs; closed are the kernel's settings and modules, new
           // privileges, realtime scheduling, namespaces, setting the clock,
           // reboot and a few rare capabilities and system calls. A denied
           // call fails; it does not kill the program.
           "NoNewPrivileges=yes\n"
           "ProtectSystem=full\n"
           "ProtectKernelTunables=yes\n"
           "ProtectKernelModules=yes\n"
           "ProtectControlGroups=yes\n"
           "ProtectHostname=yes\n"
           "RestrictRealtime=yes\n"
           "RestrictSUIDSGID=yes\n"
           "RestrictNamespaces=yes\n"
           "LockPersonality=yes\n"
           "UMask=0027\n"
           "CapabilityBoundingSet=~CAP_SYS_BOOT CAP_SYS_MODULE CAP_SYS_TIME CAP_SYS_PACCT "
           "CAP_LINUX_IMMUTABLE CAP_BLOCK_SUSPEND CAP_LEASE CAP_SYS_TTY_CONFIG CAP_MKNOD "
           "CAP_MAC_ADMIN CAP_MAC_OVERRIDE CAP_WAKE_ALARM\n"
           "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6 AF_NETLINK AF_PACKET\n"
           "SystemCallFilter=~@cpu-emulation @debug @module @obsolete @raw-io @reboot @swap\n"
           "SystemCallErrorNumber=EPERM\n"
           "\n"
           "[Install]\n"
           "WantedBy=multi-user.target\n";
}

std::unique_ptr<ServiceManager> makeSystemdServiceManager() {
    return std::make_unique<SystemdServiceManager>();
}

}  // namespace tw::platform
