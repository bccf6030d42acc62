// The service control manager as the running agent sees it:
// StartServiceCtrlDispatcher with a one-entry table, the control handler
// registered with RegisterServiceCtrlHandler, and SetServiceStatus.
#include <atomic>
#include <cstdio>
#include <mutex>

#include "platform/win32/win32.h"

namespace tw::platform::win32 {

namespace {

char kServiceName[] = "TallwatchClient";

// The dispatcher calls plain functions; they reach the one dispatcher here.
struct DispatcherState {
    std::mutex mu;
    std::function<void()> serviceMain;
    std::function<void(uint32_t)> handler;
    std::string serviceName = kServiceName;
    SERVICE_STATUS_HANDLE statusHandle = nullptr;
    HANDLE mainDone = nullptr;
};

DispatcherState& state() {
    static DispatcherState* s = new DispatcherState;  // outlives every thread
    return *s;
}

void WINAPI controlTrampoline(DWORD control) {
    std::function<void(uint32_t)> handler;
    {
        std::lock_guard<std::mutex> g(state().mu);
        handler = state().handler;
    }
    if (handler) handler(control);
}

void WINAPI serviceMainTrampoline(DWORD argc, LPSTR* argv) {
    std::function<void()> main;
    {
        std::lock_guard<std::mutex> g(state().mu);
        // The manager hands the service's name as the first argument.
        if (argc > 0 && argv && argv[0]) state().serviceName = argv[0];
        main = state().serviceMain;
    }
    if (main) main();
    SetEvent(state().mainDone);
}

class Win32ServiceDispatcher final : public ServiceDispatcher {
  public:
    bool run(const std::function<void()>& serviceMain) override {
        DispatcherState& s = state();
        {
            std::lock_guard<std::mutex> g(s.mu);
            s.serviceMain = serviceMain;
            if (!s.mainDone) s.mainDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        }
        SERVICE_TABLE_ENTRYA table[] = {{kServiceName, serviceMainTrampoline}, {nullptr, nullptr}};
        if (!StartServiceCtrlDispatcherA(table)) {
            // Outside the service manager (ERROR_FAILED_SERVICE_CONTROLLER_CONNECT):
            // keep the code for the caller's error entry.
            DWORD code = GetLastError();
            std::lock_guard<std::mutex> g(s.mu);
            s.serviceMain = nullptr;
            SetLastError(code);
            return false;
        }
        // The dispatcher returns once the service reported itself stopped. The
        // cycle notices the stop at once (the stop event ends its sleep); give
        // it a moment to finish, then end the process as the manager expects.
        if (WaitForSingleObject(s.mainDone, 3000) != WAIT_OBJECT_0) {
            std::fflush(nullptr);
            ExitProcess(0);
        }
        return true;
    }

    bool registerHandler(const std::function<void(uint32_t)>& handler) override {
        DispatcherState& s = state();
        std::string name;
        {
            std::lock_guard<std::mutex> g(s.mu);
            s.handler = handler;
            name = s.serviceName;
        }
        SERVICE_STATUS_HANDLE h = RegisterServiceCtrlHandlerA(name.c_str(), controlTrampoline);
        std::lock_guard<std::mutex> g(s.mu);
        s.statusHandle = h;
        return h != nullptr;
    }

    bool setStatus(const ServiceStatus& status) override {
        SERVICE_STATUS_HANDLE h;
        {
            std::lock_guard<std::mutex> g(state().mu);
            h = state().statusHandle;
        }
        if (!h) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        SERVICE_STATUS st{};
        st.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        st.dwCurrentState = static_cast<DWORD>(status.state);
        st.dwControlsAccepted = status.controlsAccepted;
        st.dwWin32ExitCode = status.win32ExitCode;
        st.dwServiceSpecificExitCode = status.serviceExitCode;
        st.dwCheckPoint = status.checkpoint;
        st.dwWaitHint = status.waitHint;
        return SetServiceStatus(h, &st) != FALSE;
    }
};

}  // namespace

std::unique_ptr<ServiceDispatcher> makeServiceDispatcher() {
    return std::make_unique<Win32ServiceDispatcher>();
}

}  // namespace tw::platform::win32
