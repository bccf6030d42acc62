#include "agent/core/builtins.h"

#include <string_view>

#include "agent/core/agent.h"
#include "base/builtintests.h"
#include "base/datestamp.h"
#include "agent/perfdata/perfdata.h"
#include "agent/wmi/wmi.h"

namespace tw {

namespace {

// The mode letter of the test word and the host names every report shows.
template <class S>
S commonsettings(const Config& cfg, std::string_view word) {
    S s;
    s.mode = cfg.testmode(word);
    s.compName = cfg.host.compName;
    s.realcompName = cfg.host.realcompName;
    return s;
}

template <class S>
TestContext<S> context(Agent& a, const S& settings, const Delivery& d) {
    return {settings, a.wmi, a.p.clock, d};
}

// The administrator's WMI-defined tests, after the built-in ones.
void runwmitestsstep(Agent& a, const Delivery& d) {
    WmiTestEnv env = wmitestenv(a.cfg, a.p.clock);
    env.query = [&a](const std::string& q, size_t capacity) {
        WmiQueryAnswer answer;
        answer.ok = wmiquery(a.wmi, q, answer.text, capacity);
        return answer;
    };
    env.page = d.page;
    env.perf = [](std::string& m) { perfwmitest(m); };
    env.send = d.send;
    wmitests(a.cfg.wmitests, env);
}

}  // namespace

CpuSettings cpusettings(const Config& cfg) {
    auto s = commonsettings<CpuSettings>(cfg, kCpuTest.word);
    s.yellow = cfg.thresholds.cpuYellow;
    s.red = cfg.thresholds.cpuRed;
    s.rebootmins = cfg.cpurebootmins;
    s.rebootcolor = cfg.cpurebootcolor;
    s.updays = cfg.cpuupdays;
    s.updayscolor = cfg.cpuupdayscolor;
    return s;
}

MemSettings memsettings(const Config& cfg) {
    auto s = commonsettings<MemSettings>(cfg, kMemTest.word);
    s.memlevels = cfg.memlevels;
    return s;
}

ProcsSettings procssettings(const Config& cfg) {
    auto s = commonsettings<ProcsSettings>(cfg, kProcsTest.word);
    s.procs = cfg.procs;
    return s;
}

DiskSettings disksettings(const Config& cfg) {
    auto s = commonsettings<DiskSettings>(cfg, kDiskTest.word);
    s.disklist = cfg.disklist;
    s.yellow = cfg.thresholds.diskYellow;
    s.red = cfg.thresholds.diskRed;
    return s;
}

MsgsSettings msgssettings(const Config& cfg) {
    auto s = commonsettings<MsgsSettings>(cfg, kMsgsTest.word);
    s.msglevels = cfg.msglevels;
    s.ignoremsgs = cfg.ignoremsgs;
    return s;
}

SvcsSettings svcssettings(const Config& cfg) {
    auto s = commonsettings<SvcsSettings>(cfg, kSvcsTest.word);
    s.services = cfg.services;
    return s;
}

PagefileSettings pagefilesettings(const Config& cfg) {
    auto s = commonsettings<PagefileSettings>(cfg, kPagefileTest.word);
    s.yellow = cfg.thresholds.pagefileYellow;
    s.red = cfg.thresholds.pagefileRed;
    return s;
}

NetprotlSettings netprotlsettings(const Config& cfg) {
    auto s = commonsettings<NetprotlSettings>(cfg, kNetprotlTest.word);
    // The test's word has been written both ways; either one disables it.
    if (cfg.testmode("netprol") == 'D') s.mode = 'D';
    return s;
}

NetdataSettings netdatasettings(const Config& cfg) {
    auto s = commonsettings<NetdataSettings>(cfg, kNetdataTest.word);
    s.limits = cfg.interfaceLimits;
    return s;
}

WmiTestEnv wmitestenv(const Config& cfg, platform::Clock& clock) {
    WmiTestEnv env;
    env.mode = cfg.testmode(kWmiTest.word);
    env.compName = cfg.host.compName;
    env.realcompName = cfg.host.realcompName;
    env.datestamp = [&clock] { return datestamp(clock); };
    return env;
}

StatusChannel statuschannel(Agent& a) {
    StatusChannel ch = statuschannel(a.cfg, &a.p.sockets, &a.p.clock);
    ch.crypto = a.p.crypto;
    ch.stopping = [&a] {
        return a.serviceFlag.load() != 0 || a.aux.stopRequested() || a.p.system.stopRequested();
    };
    ch.dead = &a.deadDestinations;
    ch.cycle = a.sequence;
    ch.dry = a.drysink;
    return ch;
}

Delivery reportdelivery(const StatusChannel& channel, const std::string& twdisplay) {
    return {[channel, twdisplay](const std::string& m) { twsend(channel, twdisplay, m); },
            [channel](const std::string& m) { twpage(channel, channel.twpage, m); }};
}

Snapshot runsnapshottests(Agent& a, int64_t testTime, const Delivery& d) {
    Snapshot current = wmiprocinfo(a.wmi);
    std::optional<MemoryInfo> memory = wmimemoryinfo(a.wmi);
    LineArray lines;  // at most one share line per row
    if (current) lines.reserve(current->size() + 1);

    if (a.prevprocs && current && memory && !current->empty() && a.numcpu >= 1)
        cputest(context(a, cpusettings(a.cfg), d),
                CpuInput{*a.prevprocs, &*current, *memory, testTime, a.numcpu}, lines);
    if (memory) memtest(context(a, memsettings(a.cfg), d), &*memory);
    memory.reset();
    if (current) procstest(context(a, procssettings(a.cfg), d), &*current, &lines);
    return current;
}

void handoversnapshot(Agent& a, Snapshot current) {
    if (current && !current->empty()) a.prevprocs = std::move(current);
}

bool firstsamples(Agent& a) {
    bool taken = false;
    if (a.cfg.testmode(kCpuTest.word) != 'D') {
        Snapshot first = wmiprocinfo(a.wmi);
        taken = first && !first->empty();
        handoversnapshot(a, std::move(first));
    }
    const NetdataSettings net = netdatasettings(a.cfg);
    if (net.mode != 'D' && !net.limits.empty()) {
        // Its first run only keeps the counters; nothing is reported.
        netdatatest(context(a, net, Delivery{}), a.netdata);
        taken = taken || a.netdata.previous.has_value();
    }
    return taken;
}

void runtests(Agent& a, int64_t testTime) {
    const Delivery d = reportdelivery(statuschannel(a), a.cfg.twdisplay);
    Snapshot snapshot = runsnapshottests(a, testTime, d);  // cpu, mem, procs
    // A stop skips the tests still to come: their reports could not be sent.
    if (!a.stopping()) disktest(context(a, disksettings(a.cfg), d));
    if (!a.stopping()) msgstest(context(a, msgssettings(a.cfg), d));
    handoversnapshot(a, std::move(snapshot));
    if (!a.stopping()) svcstest(context(a, svcssettings(a.cfg), d), a.dryservices);
    if (!a.stopping()) pagefiletest(context(a, pagefilesettings(a.cfg), d));
    if (!a.stopping()) netprotltest(context(a, netprotlsettings(a.cfg), d));
    if (!a.stopping()) netdatatest(context(a, netdatasettings(a.cfg), d), a.netdata);
    if (!a.stopping()) runwmitestsstep(a, d);
}

}  // namespace tw
