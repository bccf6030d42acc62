// Processes from /proc/<pid>/stat: the raw performance counters of every
// process (with Idle and _Total as Windows lists them) and Win32_Process.
#include <dirent.h>
#include <fcntl.h>

#include <algorithm>
#include <vector>

#include "platform/posix/linux_sources.h"
#include "platform/posix/live_wmi.h"

namespace tw::platform::livewmi {

namespace {

using linuxsrc::ProcStat;

std::vector<ProcStat> scanProcesses(const Context& c) {
    std::vector<ProcStat> out;
    DIR* d = opendir(c.roots.proc.c_str());
    if (!d) return out;
    // Each stat file is opened relative to the listed directory: the busiest
    // part of a cycle on a host with many processes.
    const int dfd = dirfd(d);
    std::string path;
    char buf[4096];
    while (dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (n[0] < '1' || n[0] > '9') continue;
        bool digits = true;
        for (const char* q = n; *q; ++q)
            if (*q < '0' || *q > '9') digits = false;
        if (!digits) continue;
        path = n;
        path += "/stat";
        int fd = ::openat(dfd, path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;  // the process ended meanwhile
        ssize_t got = ::read(fd, buf, sizeof buf);
        ::close(fd);
        if (got <= 0) continue;
        if (auto p = linuxsrc::parseProcStat(std::string_view(buf, static_cast<size_t>(got))))
            out.push_back(std::move(*p));
    }
    closedir(d);
    std::sort(out.begin(), out.end(),
              [](const ProcStat& a, const ProcStat& b) { return a.pid < b.pid; });
    return out;
}

uint64_t workingSet(const Context& c, const ProcStat& p) {
    return static_cast<uint64_t>(std::max<int64_t>(p.rssPages, 0)) * c.pageSize;
}

}  // namespace

static std::optional<WmiTable> buildPerfProcess(const LiveClass& cls, Context& c,
                                                std::string& err) {
    auto stat = readFile(c.proc("stat"));
    if (!stat) {
        err = "cannot read " + c.proc("stat");
        return std::nullopt;
    }
    linuxsrc::SystemStat ss = linuxsrc::parseSystemStat(*stat);
    const auto procs = scanProcesses(c);
    const std::string stamp = std::to_string(c.sys100ns());
    const uint64_t per = 10000000ULL / static_cast<uint64_t>(c.ticks);
    WmiTable t = cls.table();
    t.rows.reserve(procs.size() + 2);
    auto row = [&](std::string name, int pid, int ppid, uint64_t user, uint64_t sys, uint64_t ws,
                   int threads) {
        WmiRowValues& r = t.addRow();
        t.set(r, "Name", str(std::move(name)));
        t.set(r, "IDProcess", i32(pid));
        t.set(r, "CreatingProcessID", i32(ppid));
        t.set(r, "PercentProcessorTime", num(user + sys));
        t.set(r, "PercentUserTime", num(user));
        t.set(r, "PercentPrivilegedTime", num(sys));
        t.set(r, "Timestamp_Sys100NS", str(stamp));
        t.set(r, "Frequency_Sys100NS", str("10000000"));
        t.set(r, "WorkingSet", num(ws));
        t.set(r, "ThreadCount", i32(threads));
    };
    uint64_t totalUser = 0, totalSys = 0, totalWs = 0;
    int totalThreads = 0;
    row("Idle", 0, 0, 0, ss.idleTicks * per, 0, 0);
    for (const auto& p : procs) {
        const uint64_t ws = workingSet(c, p);
        row(p.comm, p.pid, p.ppid, p.utime * per, p.stime * per, ws, p.threads);
        totalUser += p.utime * per;
        totalSys += p.stime * per;
        totalWs += ws;
        totalThreads += p.threads;
    }
    row("_Total", 0, 0, totalUser, totalSys + ss.idleTicks * per, totalWs, totalThreads);
    return t;
}

LiveClass perfProcessClass() {
    return liveClass("Win32_PerfRawData_PerfProc_Process",
                     {"Name", "IDProcess", "CreatingProcessID", "PercentProcessorTime",
                      "PercentUserTime", "PercentPrivilegedTime", "Timestamp_Sys100NS",
                      "Frequency_Sys100NS", "WorkingSet", "ThreadCount"},
                     ignoringQuery(buildPerfProcess));
}

static std::optional<WmiTable> buildProcess(const LiveClass& cls, Context& c, std::string&) {
    WmiTable t = cls.table();
    const uint64_t per = 10000000ULL / static_cast<uint64_t>(c.ticks);
    for (const auto& p : scanProcesses(c)) {
        WmiRowValues& r = t.addRow();
        t.set(r, "Name", str(p.comm));
        t.set(r, "Caption", str(p.comm));
        t.set(r, "ProcessId", i32(p.pid));
        t.set(r, "Handle", str(std::to_string(p.pid)));
        t.set(r, "ParentProcessId", i32(p.ppid));
        t.set(r, "WorkingSetSize", num(workingSet(c, p)));
        t.set(r, "ThreadCount", i32(p.threads));
        t.set(r, "UserModeTime", num(p.utime * per));
        t.set(r, "KernelModeTime", num(p.stime * per));
    }
    return t;
}

LiveClass processClass() {
    return liveClass("Win32_Process",
                     {"Name", "Caption", "ProcessId", "Handle", "ParentProcessId", "WorkingSetSize",
                      "ThreadCount", "UserModeTime", "KernelModeTime"},
                     ignoringQuery(buildProcess));
}

}  // namespace tw::platform::livewmi
