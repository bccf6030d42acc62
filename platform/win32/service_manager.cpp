// The service control manager as the agent's commands use it: OpenSCManager,
// CreateService, OpenService, ChangeServiceConfig, DeleteService,
// StartService, ControlService and QueryServiceStatus on the local machine.
#include "platform/win32/win32.h"

namespace tw::platform::win32 {

namespace {

// The manager starts the binary path as a command line: a path with blanks
// ("C:\Program Files\...") must be quoted, or the manager would try
// "C:\Program.exe" first.
constexpr DWORD kRestartDelayMs = 60 * 1000;

std::string commandLineFor(const std::string& path) {
    if (path.find(' ') == std::string::npos || (!path.empty() && path.front() == '"')) return path;
    return "\"" + path + "\"";
}

// After a failure (the agent ends with an error, or dies) the manager
// starts the service again a minute later, every time; the count of
// failures is reset after a day without one.
void restartonfailure(SC_HANDLE svc) {
    SC_ACTION actions[3];
    for (SC_ACTION& a : actions) a = {SC_ACTION_RESTART, kRestartDelayMs};
    SERVICE_FAILURE_ACTIONSA fa{};
    fa.dwResetPeriod = 24 * 60 * 60;
    fa.cActions = 3;
    fa.lpsaActions = actions;
    ChangeServiceConfig2A(svc, SERVICE_CONFIG_FAILURE_ACTIONS, &fa);
    // A non-zero exit status counts as a failure, not only a crash.
    SERVICE_FAILURE_ACTIONS_FLAG flag{TRUE};
    ChangeServiceConfig2A(svc, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag);
}

class Win32ServiceManager final : public ServiceManager {
  public:
    ~Win32ServiceManager() override { closeAll(); }

    bool openManager(bool fullAccess) override {
        closeManager();
        scm_ = OpenSCManagerA(nullptr, nullptr,
                              fullAccess ? SC_MANAGER_ALL_ACCESS : SC_MANAGER_CONNECT);
        return scm_ != nullptr || fail();
    }

    bool createService(const ServiceDefinition& def) override {
        if (!scm_) return fail(ERROR_INVALID_HANDLE);
        closeService();
        std::string path = commandLineFor(def.binaryPath);
        // An empty dependency list is a list with no entry: two NULs.
        static const char kNoDependencies[2] = {'\0', '\0'};
        svc_ = CreateServiceA(scm_, def.name.c_str(), def.displayName.c_str(), SERVICE_ALL_ACCESS,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_IGNORE,
                              path.c_str(), nullptr, nullptr, kNoDependencies, nullptr, nullptr);
        if (!svc_) return fail();
        restartonfailure(svc_);
        return true;
    }

    bool openService(const std::string& name) override {
        if (!scm_) return fail(ERROR_INVALID_HANDLE);
        closeService();
        svc_ = OpenServiceA(scm_, name.c_str(), SERVICE_ALL_ACCESS);
        return svc_ != nullptr || fail();
    }

    bool changeService(const std::string& binaryPath, const std::string& displayName) override {
        if (!svc_) return fail(ERROR_INVALID_HANDLE);
        std::string path = commandLineFor(binaryPath);
        BOOL ok = ChangeServiceConfigA(svc_, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                       SERVICE_NO_CHANGE, path.c_str(), nullptr, nullptr, nullptr,
                                       nullptr, nullptr, displayName.c_str());
        if (!ok) return fail();
        restartonfailure(svc_);
        return true;
    }

    bool deleteService() override {
        if (!svc_) return fail(ERROR_INVALID_HANDLE);
        return DeleteService(svc_) || fail();
    }

    bool startService() override {
        if (!svc_) return fail(ERROR_INVALID_HANDLE);
        return StartServiceA(svc_, 0, nullptr) || fail();
    }

    bool stopService() override {
        if (!svc_) return fail(ERROR_INVALID_HANDLE);
        SERVICE_STATUS st{};
        return ControlService(svc_, SERVICE_CONTROL_STOP, &st) || fail();
    }

    std::optional<ServiceState> queryState() override {
        if (!svc_) {
            fail(ERROR_INVALID_HANDLE);
            return std::nullopt;
        }
        SERVICE_STATUS st{};
        if (!QueryServiceStatus(svc_, &st)) {
            fail();
            return std::nullopt;
        }
        return static_cast<ServiceState>(st.dwCurrentState);
    }

    void closeAll() override {
        closeService();
        closeManager();
    }

    SystemError lastError() override { return {code_, systemErrorText(code_)}; }

  private:
    void closeService() {
        if (svc_) CloseServiceHandle(svc_);
        svc_ = nullptr;
    }
    void closeManager() {
        if (scm_) CloseServiceHandle(scm_);
        scm_ = nullptr;
    }

    // Keeps the failing call's error for lastError(); answers false.
    bool fail(DWORD code = GetLastError()) {
        code_ = code;
        SetLastError(code);
        return false;
    }

    SC_HANDLE scm_ = nullptr;
    SC_HANDLE svc_ = nullptr;
    DWORD code_ = 0;
};

}  // namespace

std::unique_ptr<ServiceManager> makeServiceManager() {
    return std::make_unique<Win32ServiceManager>();
}

}  // namespace tw::platform::win32
