#include "agent/core/cycle.h"

#include "agent/core/agent.h"
#include "agent/core/builtins.h"
#include "agent/core/instances.h"
#include "agent/ext/auxthreads.h"
#include "agent/ext/externals.h"
#include "agent/ext/plugin.h"
#include "agent/wmi/procinfo.h"
#include "agent/wmi/wmi.h"
#include "base/events.h"
#include "base/sleeptime.h"
#include "base/text.h"
#include "base/twlog.h"

namespace tw {

namespace {

// StartDelay minutes; answers false when a stop came during the wait.
bool startdelay(Agent& a) {
    int minutes = decimalNumber(a.settings.readsetting("StartDelay"));
    if (minutes <= 0) return true;
    return a.p.clock.sleepSeconds(static_cast<int64_t>(minutes) * 60);
}

// Opens the diagnostic log; when it is refused somewhere (even if a fallback
// folder took it), says so in the event log, once for as long as the reason
// stays the same.
void openlogorsay(Agent& a) {
    std::string failure = openlog(a.settings, a.p.system);
    if (!failure.empty() && failure != a.logFailure)
        logevent(a.p.events, platform::EventType::Warning,
                 "The diagnostic log TW.LOG cannot be opened: " + failure, kEventLogUnopenable);
    a.logFailure = failure;
}

// A hand-edited file that no longer parses: say where, skip this cycle's
// tests and try again at the next one. Nothing is rewritten.
bool settingsreadable(Agent& a, std::string& failure) {
    if (a.p.settings.healthy()) return true;
    std::string why = a.p.settings.lastError();
    twlog("Settings cannot be read: %s\r\n", why.c_str());
    failure = "Settings cannot be read: " + why;
    logevent(a.p.events, platform::EventType::Error, failure, kEventSettingsUnreadable);
    return false;
}

// How long to wait before the settings are read a second time when TWDISPLAY
// is missing: a settings file rewritten in place (an editor that truncates
// and writes, a shell redirection) may have been caught half-way.
constexpr int64_t kSettingsRereadMs = 1000;

// What the plugin and external-program threads work with; the cycle mutex
// must exist.
ExtContext extcontext(Agent& a) {
    return {.threads = a.aux,
            .mutex = *a.cycleMutex,
            .clock = a.p.clock,
            .system = a.p.system,
            .directory = a.p.directory,
            .launcher = a.p.launcher,
            .settings = a.settings,
            .view = [&a] { return pluginview(a.cfg, statuschannel(a)); }};
}

}  // namespace

SettingsLoad loadsettings(Agent& a, const std::function<void(const std::string&)>& onExternals) {
    SettingsLoad out;
    if (!settingsreadable(a, out.why)) {
        out.step = SettingsStep::Unreadable;
        return out;
    }
    auto load = [&] { return loadconfig(a.settings, a.p.host, a.cfg, onExternals); };
    LoadResult r = load();
    if (r.outcome == LoadOutcome::NoDisplay) {
        twlog("\r\nSettings read again in %d ms\r\n", static_cast<int>(kSettingsRereadMs));
        if (!a.p.clock.sleepMs(kSettingsRereadMs)) {
            out.step = SettingsStep::Stopped;
            return out;
        }
        if (!settingsreadable(a, out.why)) {
            out.step = SettingsStep::Unreadable;
            return out;
        }
        r = load();
    }
    if (r.outcome == LoadOutcome::NoDisplay) {
        out.why = "TWDISPLAY not set";
        logevent(a.p.events, platform::EventType::Error, out.why, kEventNoDisplay);
        out.step = SettingsStep::Fatal;
        return out;
    }
    if (r.outcome == LoadOutcome::HostNotResolved) {
        out.why = strformat("gethostbyname(\"%s\") call failed", r.hostName.c_str());
        logevent(a.p.events, platform::EventType::Error, out.why, kEventHostName);
        out.step = SettingsStep::Fatal;
        return out;
    }
    out.step = SettingsStep::Loaded;
    return out;
}

bool computernameok(Agent& a, std::string* why) {
    auto fault = [why](const char* text) {
        twlog("%s\r\n", text);
        if (why) *why = text;
        return false;
    };
    auto cname = a.p.host.computerName();
    if (!cname) return fault("Can't get computer name");
    std::string name = cname->substr(0, 17);
    size_t lead = name.find_first_not_of('\\');
    name.erase(0, lead == std::string::npos ? name.size() : lead);
    if (name.empty()) return fault("Invalid computer name");
    twlog("computer name: %s\r\n", name.c_str());
    return true;
}

namespace {

// What a cycle asks of the loop after it.
enum class CycleEnd { Sleep, LeaveLoop, Fatal };

// One monitoring cycle up to its sleep.
CycleEnd runcycle(Agent& a) {
    openlogorsay(a);
    twlog("Sequence: %d\r\n", a.sequence);

    SettingsLoad r = loadsettings(a, [&a](const std::string& externals) {
        if (!a.externalsLaunched) {
            a.externalsLaunched = true;
            startexternals(extcontext(a), externals);
        }
    });
    if (r.step == SettingsStep::Unreadable) return CycleEnd::Sleep;
    if (r.step == SettingsStep::Stopped) return CycleEnd::LeaveLoop;
    if (r.step == SettingsStep::Fatal) return CycleEnd::Fatal;

    if (a.cfg.keycodeUnusable)
        logevent(a.p.events, platform::EventType::Error,
                 "The KeyCode is longer than 255 characters and cannot be used: no message is "
                 "sent, none goes out in clear",
                 kEventKeyCodeUnusable);

    if (!computernameok(a)) {
        a.serviceFlag.store(1);
        return CycleEnd::LeaveLoop;
    }

    int64_t testTime = a.p.clock.now();
    if (a.numcpu < 1) a.numcpu = wminumcpu(a.wmi).value_or(0);
    twlog("Number of CPUs = %d\r\n", a.numcpu);
    runtests(a, testTime);
    return CycleEnd::Sleep;
}

}  // namespace

int twmain(Agent& a) {
    if (!startdelay(a)) return 0;
    if (!a.p.sockets.start()) {
        logevent(a.p.events, platform::EventType::Error, "WSAStartup() failed", kEventWsaStartup);
        return 1;
    }
    openlogorsay(a);
    if (!startdelay(a)) {
        a.p.sockets.stop();
        return 0;
    }
    a.cycleMutex = a.p.system.createCycleMutex("TWNTMutex");
    // A session that cannot be opened leaves every WMI fetch failing; the
    // cycle goes on and reports what it can.
    wmiinit(a.wmi);
    if (istwntrunning(a.wmi, a.serviceMode)) {
        wmiclose(a.wmi);
        a.cycleMutex->unlock();
        a.p.sockets.stop();
        return 1;
    }
    a.numcpu = wminumcpu(a.wmi).value_or(0);
    startpluginthread(extcontext(a));
    a.sequence = 0;

    int status = 0;
    while (!a.stopping()) {
        const int64_t cycleStart = a.p.clock.now();
        CycleEnd end = runcycle(a);
        if (end == CycleEnd::Fatal) {
            status = 1;
            break;
        }
        if (end == CycleEnd::LeaveLoop) break;
        int64_t sleep = sleeptime(a.p.clock.now() - cycleStart, a.cfg.timer);
        twlog("twmain: Sleeping for %d seconds\r\n", static_cast<int>(sleep));
        a.cycleMutex->unlock();
        a.p.clock.sleepSeconds(sleep);
        twlog("twmain: Sleep has terminated\r\n");
        a.cycleMutex->lock();
        twlog("Sleep has terminated in Main & mutex has been grabbed\r\n");
        ++a.sequence;
        if (a.stopping()) break;
    }
    wmiclose(a.wmi);
    a.cycleMutex->unlock();
    // The plugin and external-program threads end before the agent does.
    a.aux.stopAll();
    a.p.sockets.stop();
    return status;
}

}  // namespace tw
