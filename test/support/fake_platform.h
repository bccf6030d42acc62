// Fakes of the platform services for logic tests: an in-memory settings store
// (the real text format underneath), a recording event log, a fixed host, a
// manual clock (test/support/manual_clock.h), a system with a settable
// environment, a service dispatcher and a service manager; and FakePlatform,
// the one place that builds a Platform of fakes.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/wmi/regfile.h"
#include "test/support/fake_directory.h"
#include "test/support/fake_launcher.h"
#include "test/support/fake_sockets.h"
#include "test/support/manual_clock.h"
#include "test/support/memory_files.h"
#include "test/support/memory_settings_store.h"
#include "test/support/switch_wmi_provider.h"
#include "test/support/temp_dir.h"

namespace tw::testing {

struct RecordedEvent {
    std::string source;
    platform::EventType type;
    uint32_t identifier;
    std::vector<std::string> texts;
};

class RecordingEventLog : public platform::EventLog {
  public:
    bool report(const std::string& source, platform::EventType type, uint32_t identifier,
                const std::vector<std::string>& texts) override {
        std::lock_guard<std::mutex> g(mu);
        events.push_back({source, type, identifier, texts});
        return true;
    }
    std::mutex mu;
    std::vector<RecordedEvent> events;
};

class FakeHostInfo : public platform::HostInfo {
  public:
    std::optional<std::string> hostName() override { return name; }
    std::optional<platform::HostEntry> resolve(const std::string& n) override {
        resolvedName = n;
        return entry;
    }
    std::optional<std::string> computerName() override { return computer; }

    std::optional<std::string> name = std::string("web1");
    std::optional<platform::HostEntry> entry = platform::HostEntry{"web1.corp.lan", "10.1.2.3"};
    std::optional<std::string> computer = std::string("WEB1");
    std::string resolvedName;
};

class FakeSystem : public platform::System {
  public:
    uint32_t lastErrorCode() override { return lastError; }
    std::string errorText(uint32_t code) override { return "error " + std::to_string(code); }
    std::optional<std::string> programPath() override { return std::string("/opt/twnt/twnt"); }
    std::optional<std::string> getenv(const std::string& name) override {
        auto it = env.find(name);
        if (it == env.end()) return std::nullopt;
        return it->second;
    }
    std::string tempFallback(int index) override { return fallbacks[index ? 1 : 0]; }
    char pathSeparator() override { return '/'; }
    std::unique_ptr<platform::CycleMutex> createCycleMutex(const std::string&) override;
    // A plain file, unless the path is refused with its reason.
    std::FILE* createPrivateFile(const std::string& path, std::string& why) override;
    void releaseConsole() override {}
    bool stopRequested() override { return stop; }
    void requestStop() override { stop = true; }
    [[noreturn]] void exitProcess(int status) override;

    std::map<std::string, std::string> env;
    std::string fallbacks[2] = {"/nonexistent-a", "/nonexistent-b"};
    std::map<std::string, std::string> refusedFiles;  // path -> why
    uint32_t lastError = 0;
    bool stop = false;
};

class FakeDispatcher : public platform::ServiceDispatcher {
  public:
    bool run(const std::function<void()>& serviceMain) override {
        if (!underManager) return false;
        serviceMain();
        return true;
    }
    bool registerHandler(const std::function<void(uint32_t)>& h) override {
        handler = h;
        return registerOk;
    }
    bool setStatus(const platform::ServiceStatus& s) override {
        statuses.push_back(s);
        return failState != s.state;
    }

    bool underManager = true;
    bool registerOk = true;
    platform::ServiceState failState = static_cast<platform::ServiceState>(0);
    std::function<void(uint32_t)> handler;
    std::vector<platform::ServiceStatus> statuses;
};

// A service manager that keeps one service in memory.
class FakeServiceManager : public platform::ServiceManager {
  public:
    bool openManager(bool) override { return check(managerOk, 1722, "no manager"); }
    bool createService(const platform::ServiceDefinition& d) override {
        if (exists) return check(false, 1073, "The specified service already exists.");
        exists = true;
        def = d;
        return true;
    }
    bool openService(const std::string&) override { return check(exists, 1060, "does not exist"); }
    bool changeService(const std::string& path, const std::string& display) override {
        if (!exists) return check(false, 1060, "does not exist");
        def.binaryPath = path;
        def.displayName = display;
        return true;
    }
    bool deleteService() override {
        deleted = exists;
        exists = false;
        return deleted;
    }
    bool startService() override {
        state = platform::ServiceState::Running;
        ++starts;
        return true;
    }
    bool stopService() override {
        if (state == platform::ServiceState::Stopped) return check(false, 1062, "not started");
        state = platform::ServiceState::StopPending;
        pendingQueries = 2;
        ++stops;
        return true;
    }
    std::optional<platform::ServiceState> queryState() override {
        if (!queryOk) return std::nullopt;
        if (state == platform::ServiceState::StopPending && pendingQueries-- <= 0)
            state = platform::ServiceState::Stopped;
        return state;
    }
    void closeAll() override {}
    platform::SystemError lastError() override { return error; }

    bool check(bool ok, uint32_t code, const char* text) {
        if (!ok) error = {code, text};
        return ok;
    }

    bool managerOk = true, exists = false, deleted = false, queryOk = true;
    platform::ServiceState state = platform::ServiceState::Stopped;
    int pendingQueries = 0, starts = 0, stops = 0;
    platform::ServiceDefinition def;
    platform::SystemError error;
};

// The services a test brings itself; each one left null is the fake of
// FakePlatform.
struct Replacements {
    platform::SettingsStore* settings = nullptr;
    platform::Clock* clock = nullptr;
    platform::System* system = nullptr;
    platform::Sockets* sockets = nullptr;
    platform::WmiProvider* wmi = nullptr;
    platform::Directory* directory = nullptr;
    platform::Launcher* launcher = nullptr;
    platform::FileWriter* files = nullptr;
};

// Every fake together, and the Platform over them (p): settings in memory,
// a recording event log, the host WEB1, the manual clock (a sleep that
// reports a stop raises the system's stop request), a dispatcher and a
// service manager in memory, sockets, a launcher and a work-file directory
// that record, files in memory and the real cipher library. WMI is the
// fixture provider over a JSON text in a temporary directory (on this
// clock, settings and host) behind failure switches; without a text every
// connection is refused.
struct FakePlatform {
    explicit FakePlatform(const Replacements& r = {}) : FakePlatform(std::nullopt, r) {}
    explicit FakePlatform(std::optional<std::string> wmiFixture, const Replacements& r = {});
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    // The fixture file; rewriting it changes what WMI answers.
    std::string fixturePath() const { return dir.file("wmi.json"); }
    // This platform with some services replaced by the test's own.
    platform::Platform with(const Replacements& r);

    TempDir dir;
    MemorySettingsStore settings;
    RecordingEventLog events;
    FakeHostInfo host;
    ManualClock clock;
    FakeSystem system;
    FakeDispatcher dispatcher;
    FakeServiceManager services;
    FakeSockets sockets;
    std::unique_ptr<platform::WmiProvider> fixture;
    SwitchWmiProvider wmi;
    FakeLauncher launcher;
    FakeDirectory directory;
    MemoryFiles files;
    platform::Platform p;
};

}  // namespace tw::testing
