// Fakes of the platform services for logic tests: an in-memory settings store
// (the real text format underneath), a recording event log, a fixed host, a
// manual clock (test/support/manual_clock.h), and a system with a settable
// environment.
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
#include "test/support/manual_clock.h"
#include "test/support/memory_settings_store.h"

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

// All fakes together, wired into a Platform.
struct FakePlatform {
    FakePlatform();
    MemorySettingsStore settings;
    RecordingEventLog events;
    FakeHostInfo host;
    ManualClock clock;
    FakeSystem system;
    FakeDispatcher dispatcher;
    platform::Platform p;
};

// A fresh temporary directory, removed with everything in it when destroyed.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

std::string readFile(const std::string& path);
// Runs a shell command; answers its standard output.
std::string commandOutput(const std::string& command);
void writeFile(const std::string& path, const std::string& content);

}  // namespace tw::testing
