// The live provider: answers ROOT\CIMV2 from this Linux host, with WMI's
// class and property names and its type mapping (uint64 and datetime as
// strings, 32-bit integers, booleans). Each class is read afresh on every
// query; a class whose source is missing on the host fails its queries or
// answers no object. Slow sources are bounded: systemctl runs under a time
// limit, the journal read stops at a row and time limit, statvfs on a
// network file system gives up after a few seconds.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/fixture_wmi_provider.h"
#include "platform/posix/linux_sources.h"
#include "platform/posix/run_command.h"
#include "platform/posix/wmi_providers.h"
#include "platform/stdregprov.h"
#include "platform/wmi_datetime.h"
#include "platform/wmi_table.h"
#include "platform/wql.h"

#ifdef TW_HAVE_SYSTEMD
#include <systemd/sd-journal.h>
#endif

namespace tw::platform {

namespace {

using namespace linuxsrc;

constexpr int kSystemctlMs = 10000;
constexpr int kStatvfsMs = 3000;
constexpr size_t kJournalRows = 20480;
constexpr int kJournalMs = 10000;
constexpr int64_t kFiletimeEpoch = 116444736000000000LL;  // 1601 -> 1970 in 100 ns

std::string upperName(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

WmiValue str(std::string s) {
    return WmiValue::string(std::move(s));
}
WmiValue num(uint64_t v) {
    return WmiValue::string(std::to_string(v));
}
WmiValue i32(int64_t v) {
    return WmiValue::int32(static_cast<int32_t>(v));
}
WmiValue boolean(bool v) {
    return WmiValue::boolean(v);
}

// Whole small file; nullopt when it cannot be opened.
std::optional<std::string> readFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string out;
    char buf[8192];
    while (true) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
        if (out.size() > (64u << 20)) break;
    }
    ::close(fd);
    return out;
}

std::string firstLine(const std::optional<std::string>& s) {
    if (!s) return {};
    std::string l = s->substr(0, s->find('\n'));
    while (!l.empty() && (l.back() == '\r' || l.back() == ' ')) l.pop_back();
    return l;
}

int64_t realtime100ns() {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 10000000 + ts.tv_nsec / 100 + kFiletimeEpoch;
}

struct Context {
    LiveWmiRoots roots;
    Clock& clock;
    HostInfo& host;
    long ticks = sysconf(_SC_CLK_TCK) > 0 ? sysconf(_SC_CLK_TCK) : 100;
    long pageSize = sysconf(_SC_PAGESIZE) > 0 ? sysconf(_SC_PAGESIZE) : 4096;

    std::string proc(const std::string& rest) const { return roots.proc + "/" + rest; }
    std::string sys(const std::string& rest) const { return roots.sys + "/" + rest; }
    std::string computerName() const { return host.computerName().value_or(""); }

    std::string dateText(int64_t utc) {
        long off = clock.localTime(utc).utcOffsetSeconds;
        return formatWmiDateTime(wmiDateTimeAt(utc, static_cast<int>(off / 60)));
    }
};

using Builder = std::function<std::optional<WmiTable>(Context&, const WqlQuery&, std::string&)>;

struct ClassDef {
    std::shared_ptr<WmiClassShape> shape;
    Builder build;
};

WmiTable tableOf(const ClassDef& def) {
    return WmiTable{def.shape, {}};
}

// ---- processes ------------------------------------------------------------

std::vector<ProcStat> scanProcesses(const Context& c) {
    std::vector<ProcStat> out;
    DIR* d = opendir(c.roots.proc.c_str());
    if (!d) return out;
    std::string path = c.roots.proc + "/";
    const size_t base = path.size();
    char buf[4096];
    while (dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (n[0] < '1' || n[0] > '9') continue;
        bool digits = true;
        for (const char* q = n; *q; ++q)
            if (*q < '0' || *q > '9') digits = false;
        if (!digits) continue;
        path.resize(base);
        path += n;
        path += "/stat";
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;  // the process ended meanwhile
        ssize_t got = ::read(fd, buf, sizeof buf);
        ::close(fd);
        if (got <= 0) continue;
        if (auto p = parseProcStat(std::string_view(buf, static_cast<size_t>(got))))
            out.push_back(std::move(*p));
    }
    closedir(d);
    std::sort(out.begin(), out.end(),
              [](const ProcStat& a, const ProcStat& b) { return a.pid < b.pid; });
    return out;
}

std::optional<WmiTable> buildPerfProc(const ClassDef& def, Context& c, std::string& err) {
    auto stat = readFile(c.proc("stat"));
    if (!stat) {
        err = "cannot read " + c.proc("stat");
        return std::nullopt;
    }
    SystemStat ss = parseSystemStat(*stat);
    const auto procs = scanProcesses(c);
    const std::string stamp = std::to_string(realtime100ns());
    const uint64_t per = 10000000ULL / static_cast<uint64_t>(c.ticks);
    WmiTable t = tableOf(def);
    t.rows.reserve(procs.size() + 2);
    auto row = [&](std::string name, int pid, int ppid, uint64_t user, uint64_t sys, uint64_t ws,
                   int threads) {
        t.rows.push_back({str(std::move(name)), i32(pid), i32(ppid), num(user + sys), num(user),
                          num(sys), str(stamp), str("10000000"), num(ws), i32(threads)});
    };
    uint64_t totalUser = 0, totalSys = 0, totalWs = 0;
    int totalThreads = 0;
    row("Idle", 0, 0, 0, ss.idleTicks * per, 0, 0);
    for (const auto& p : procs) {
        const uint64_t ws = static_cast<uint64_t>(std::max<int64_t>(p.rssPages, 0)) * c.pageSize;
        row(p.comm, p.pid, p.ppid, p.utime * per, p.stime * per, ws, p.threads);
        totalUser += p.utime * per;
        totalSys += p.stime * per;
        totalWs += ws;
        totalThreads += p.threads;
    }
    row("_Total", 0, 0, totalUser, totalSys + ss.idleTicks * per, totalWs, totalThreads);
    return t;
}

std::optional<WmiTable> buildProcess(const ClassDef& def, Context& c, std::string&) {
    WmiTable t = tableOf(def);
    for (const auto& p : scanProcesses(c)) {
        const uint64_t per = 10000000ULL / static_cast<uint64_t>(c.ticks);
        const uint64_t ws = static_cast<uint64_t>(std::max<int64_t>(p.rssPages, 0)) * c.pageSize;
        t.rows.push_back({str(p.comm), str(p.comm), i32(p.pid), str(std::to_string(p.pid)),
                          i32(p.ppid), num(ws), i32(p.threads), num(p.utime * per),
                          num(p.stime * per)});
    }
    return t;
}

// ---- processor, computer, operating system, memory -------------------------

struct Machine {
    std::string systemType;
    int architecture = 9;
    int addressWidth = 64;
};

Machine machine() {
    Machine m;
    utsname u{};
    std::string arch = uname(&u) == 0 ? u.machine : "";
    if (arch == "x86_64")
        m = {"x64-based PC", 9, 64};
    else if (arch == "aarch64" || arch == "arm64")
        m = {"ARM64-based PC", 12, 64};
    else if (arch.rfind("arm", 0) == 0)
        m = {"ARM-based PC", 5, 32};
    else if (arch.size() == 4 && arch[0] == 'i' && arch.substr(2) == "86")
        m = {"X86-based PC", 0, 32};
    else
        m = {arch + "-based PC", 9, static_cast<int>(sizeof(void*) * 8)};
    return m;
}

std::optional<std::vector<CpuSocket>> sockets(Context& c, std::string& err) {
    auto text = readFile(c.proc("cpuinfo"));
    if (!text) {
        err = "cannot read " + c.proc("cpuinfo");
        return std::nullopt;
    }
    auto s = parseCpuinfo(*text);
    if (s.empty()) {
        // No processor entries at all: count what the kernel has online.
        long n = sysconf(_SC_NPROCESSORS_ONLN);
        CpuSocket one;
        one.logical = n > 0 ? static_cast<int>(n) : 1;
        s.push_back(one);
    }
    return s;
}

std::optional<WmiTable> buildProcessor(const ClassDef& def, Context& c, std::string& err) {
    auto s = sockets(c, err);
    if (!s) return std::nullopt;
    Machine m = machine();
    WmiTable t = tableOf(def);
    int i = 0;
    for (const auto& k : *s) {
        t.rows.push_back({str("CPU" + std::to_string(i++)), str(k.model), str(k.vendor),
                          i32(k.cores), i32(k.logical), i32(static_cast<int64_t>(k.mhz)),
                          i32(static_cast<int64_t>(k.mhz)), i32(m.addressWidth),
                          i32(m.architecture), str("OK")});
    }
    return t;
}

std::optional<std::map<std::string, uint64_t>> meminfo(Context& c, std::string& err) {
    auto text = readFile(c.proc("meminfo"));
    if (!text) {
        err = "cannot read " + c.proc("meminfo");
        return std::nullopt;
    }
    auto m = parseMeminfo(*text);
    if (!m.count("MemTotal")) {
        err = c.proc("meminfo") + " has no MemTotal";
        return std::nullopt;
    }
    return m;
}

uint64_t availableKb(std::map<std::string, uint64_t>& m) {
    return m.count("MemAvailable") ? m["MemAvailable"] : m["MemFree"] + m["Cached"] + m["Buffers"];
}

std::optional<WmiTable> buildComputerSystem(const ClassDef& def, Context& c, std::string& err) {
    auto m = meminfo(c, err);
    auto s = sockets(c, err);
    if (!m || !s) return std::nullopt;
    int logical = 0;
    for (const auto& k : *s) logical += k.logical;
    const std::string name = c.computerName();
    WmiTable t = tableOf(def);
    t.rows.push_back({str(name), str(name), num((*m)["MemTotal"] * 1024),
                      i32(static_cast<int64_t>(s->size())), i32(logical), str(machine().systemType),
                      i32(3), i32(3), i32(3),
                      str(firstLine(readFile(c.sys("class/dmi/id/sys_vendor")))),
                      str(firstLine(readFile(c.sys("class/dmi/id/product_name")))), str("OK")});
    return t;
}

std::optional<WmiTable> buildOperatingSystem(const ClassDef& def, Context& c, std::string& err) {
    auto m = meminfo(c, err);
    auto stat = readFile(c.proc("stat"));
    if (!m) return std::nullopt;
    if (!stat) {
        err = "cannot read " + c.proc("stat");
        return std::nullopt;
    }
    SystemStat ss = parseSystemStat(*stat);
    const uint64_t total = (*m)["MemTotal"], avail = availableKb(*m);
    const uint64_t swapTotal = (*m)["SwapTotal"], swapFree = (*m)["SwapFree"];
    std::string ostype = firstLine(readFile(c.proc("sys/kernel/ostype")));
    std::string release = firstLine(readFile(c.proc("sys/kernel/osrelease")));
    int nprocs = 0;
    if (DIR* d = opendir(c.roots.proc.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] >= '1' && e->d_name[0] <= '9') ++nprocs;
        closedir(d);
    }
    WmiTable t = tableOf(def);
    WmiRowValues& r = t.addRow();
    t.set(r, "Caption", str(ostype.empty() ? "Linux" : ostype));
    t.set(r, "Version", str(release));
    t.set(r, "CSName", str(c.computerName()));
    t.set(r, "OSArchitecture", str(std::to_string(machine().addressWidth) + "-bit"));
    if (ss.btime > 0)
        t.set(r, "LastBootUpTime", str(c.dateText(ss.btime)));
    else
        t.set(r, "LastBootUpTime", WmiValue::null());
    t.set(r, "LocalDateTime", str(c.dateText(c.clock.now())));
    t.set(r, "TotalVisibleMemorySize", num(total));
    t.set(r, "FreePhysicalMemory", num(avail));
    t.set(r, "TotalVirtualMemorySize", num(total + swapTotal));
    t.set(r, "FreeVirtualMemory", num(avail + swapFree));
    t.set(r, "SizeStoredInPagingFiles", num(swapTotal));
    t.set(r, "FreeSpaceInPagingFiles", num(swapFree));
    t.set(r, "NumberOfProcesses", i32(nprocs));
    t.set(r, "Status", str("OK"));
    return t;
}

std::optional<WmiTable> buildPerfMemory(const ClassDef& def, Context& c, std::string& err) {
    auto m = meminfo(c, err);
    if (!m) return std::nullopt;
    const uint64_t avail = availableKb(*m);
    const uint64_t limit = (*m)["CommitLimit"] * 1024, committed = (*m)["Committed_AS"] * 1024;
    WmiTable t = tableOf(def);
    t.rows.push_back({num(avail * 1024), num(avail), num(avail / 1024), num(limit), num(committed),
                      i32(limit ? static_cast<int64_t>(committed * 100 / limit) : 0)});
    return t;
}

std::optional<WmiTable> buildPerfSystem(const ClassDef& def, Context& c, std::string& err) {
    auto up = readFile(c.proc("uptime"));
    auto secs = up ? parseUptime(*up) : std::nullopt;
    if (!secs) {
        err = "cannot read " + c.proc("uptime");
        return std::nullopt;
    }
    int processes = 0, threads = 0, queue = 0;
    // loadavg: "0.00 0.01 0.05 2/345 6789": running/all scheduling entities.
    std::string load = firstLine(readFile(c.proc("loadavg")));
    size_t slash = load.find('/');
    if (slash != std::string::npos) {
        size_t b = load.rfind(' ', slash);
        queue = std::atoi(load.substr(b == std::string::npos ? 0 : b + 1).c_str());
        threads = std::atoi(load.substr(slash + 1).c_str());
    }
    if (DIR* d = opendir(c.roots.proc.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] >= '1' && e->d_name[0] <= '9') ++processes;
        closedir(d);
    }
    WmiTable t = tableOf(def);
    t.rows.push_back({num(static_cast<uint64_t>(*secs)), i32(processes), i32(threads), i32(queue)});
    return t;
}

// ---- disks ----------------------------------------------------------------------

struct Fs {
    uint64_t size = 0, free = 0;
};

// statvfs, bounded: a dead network server must not hold the cycle. A call
// that overruns is left to finish on its own thread.
std::optional<Fs> boundedStatvfs(const std::string& path, bool bounded) {
    auto work = [](const std::string& p) -> std::optional<Fs> {
        struct statvfs v {};
        if (statvfs(p.c_str(), &v) != 0) return std::nullopt;
        return Fs{static_cast<uint64_t>(v.f_blocks) * v.f_frsize,
                  static_cast<uint64_t>(v.f_bavail) * v.f_frsize};
    };
    if (!bounded) return work(path);
    struct Shared {
        std::mutex mu;
        std::condition_variable cv;
        bool done = false;
        std::optional<Fs> result;
    };
    auto sh = std::make_shared<Shared>();
    std::thread([sh, path, work] {
        auto r = work(path);
        std::lock_guard<std::mutex> g(sh->mu);
        sh->result = r;
        sh->done = true;
        sh->cv.notify_all();
    }).detach();
    std::unique_lock<std::mutex> g(sh->mu);
    if (!sh->cv.wait_for(g, std::chrono::milliseconds(kStatvfsMs), [&] { return sh->done; }))
        return std::nullopt;
    return sh->result;
}

const char* driveDescription(int type) {
    switch (type) {
        case 2:
            return "Removable Disk";
        case 3:
            return "Local Fixed Disk";
        case 4:
            return "Network Connection";
        case 5:
            return "CD-ROM Disc";
        case 6:
            return "RAM Disk";
        default:
            return "";
    }
}

std::optional<WmiTable> buildLogicalDisk(const ClassDef& def, Context& c, std::string& err) {
    const std::string mountsPath = c.roots.mounts.empty() ? c.proc("self/mounts") : c.roots.mounts;
    auto text = readFile(mountsPath);
    if (!text) {
        err = "cannot read " + mountsPath;
        return std::nullopt;
    }
    auto mounts = parseMounts(*text);
    // "/" first as C:, then the mount table's order; a file system mounted
    // again elsewhere (bind mounts) and mounts over files are not drives.
    std::stable_partition(mounts.begin(), mounts.end(),
                          [](const MountEntry& m) { return m.target == "/"; });
    WmiTable t = tableOf(def);
    std::set<dev_t> seen;
    std::set<std::string> targets;
    char letter = 'C';
    for (const auto& m : mounts) {
        if (letter > 'Z') break;
        bool removable = false;
        std::string dev = blockDeviceOf(m.source);
        if (!dev.empty()) {
            std::string flag = firstLine(readFile(c.sys("class/block/" + dev + "/removable")));
            if (flag.empty())
                flag = firstLine(readFile(c.sys("class/block/" + dev + "/../removable")));
            removable = flag == "1";
        }
        int type = driveTypeOf(m, removable);
        if (m.target == "/" && type == 0) type = 3;  // the root is a disk whatever backs it
        if (type == 0 || targets.count(m.target)) continue;
        struct stat st {};
        if (stat(m.target.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        if (type != 4 && !seen.insert(st.st_dev).second) continue;
        auto fs = boundedStatvfs(m.target, type == 4);
        if (!fs) continue;
        targets.insert(m.target);
        const std::string name = std::string(1, letter++) + ":";
        WmiRowValues& r = t.addRow();
        t.set(r, "DeviceID", str(name));
        t.set(r, "Name", str(name));
        t.set(r, "Caption", str(name));
        t.set(r, "Description", str(driveDescription(type)));
        t.set(r, "DriveType", i32(type));
        t.set(r, "FileSystem", str(m.fstype));
        t.set(r, "FreeSpace", num(fs->free));
        t.set(r, "Size", num(fs->size));
        t.set(r, "VolumeName", str(m.target));
        t.set(r, "ProviderName", type == 4 ? str(m.source) : WmiValue::null());
    }
    return t;
}

// ---- paging files, network ----------------------------------------------------------

std::optional<WmiTable> buildPageFile(const ClassDef& def, Context& c, std::string& err) {
    auto text = readFile(c.proc("swaps"));
    if (!text) {
        err = "cannot read " + c.proc("swaps");
        return std::nullopt;
    }
    WmiTable t = tableOf(def);
    for (const auto& s : parseSwaps(*text)) {
        t.rows.push_back(
            {str(s.name), str(s.name), str(s.name), i32(static_cast<int64_t>(s.sizeKb / 1024)),
             i32(static_cast<int64_t>(s.usedKb / 1024)), i32(static_cast<int64_t>(s.usedKb / 1024)),
             boolean(false), WmiValue::null(), WmiValue::null()});
    }
    return t;
}

struct ProtocolTraits {
    bool connectionless, delivery, sequencing, message, broadcast;
    int addr, maxMessage;
};

ProtocolTraits traitsOf(const std::string& name) {
    const std::string n = upperName(name);
    const bool v6 = n.find("V6") != std::string::npos;
    const int addr = v6 ? 28 : 16;
    if (n.rfind("TCP", 0) == 0 || n.rfind("MPTCP", 0) == 0)
        return {false, true, true, false, false, addr, 0};
    if (n.rfind("SCTP", 0) == 0) return {false, true, true, true, false, addr, 0};
    if (n.rfind("UDP", 0) == 0) return {true, false, false, true, !v6, addr, 65507};
    if (n.rfind("RAW", 0) == 0 || n.rfind("PING", 0) == 0)
        return {true, false, false, true, !v6, addr, 65507};
    if (n == "UNIX") return {false, true, true, false, false, 110, 0};
    if (n == "PACKET") return {true, false, false, true, true, 20, 65535};
    if (n == "NETLINK") return {true, false, true, true, true, 12, 0};
    return {true, false, false, true, false, 0, 0};
}

std::optional<WmiTable> buildNetworkProtocol(const ClassDef& def, Context& c, std::string& err) {
    auto text = readFile(c.proc("net/protocols"));
    if (!text) {
        err = "cannot read " + c.proc("net/protocols");
        return std::nullopt;
    }
    WmiTable t = tableOf(def);
    for (const auto& p : parseNetProtocols(*text)) {
        ProtocolTraits tr = traitsOf(p);
        t.rows.push_back({str(p), str(p), str("Linux kernel protocol " + p), str("OK"),
                          boolean(tr.connectionless), boolean(tr.delivery), boolean(tr.sequencing),
                          boolean(tr.message), boolean(false), boolean(tr.broadcast),
                          boolean(false), boolean(false), boolean(false), i32(tr.addr),
                          i32(tr.addr), i32(tr.maxMessage), WmiValue::null()});
    }
    return t;
}

std::optional<WmiTable> buildNetInterface(const ClassDef& def, Context& c, std::string& err) {
    auto text = readFile(c.proc("net/dev"));
    if (!text) {
        err = "cannot read " + c.proc("net/dev");
        return std::nullopt;
    }
    const std::string stamp = std::to_string(realtime100ns());
    WmiTable t = tableOf(def);
    for (const auto& d : parseNetDev(*text)) {
        long long mbps =
            std::atoll(firstLine(readFile(c.sys("class/net/" + d.name + "/speed"))).c_str());
        uint64_t bw = mbps > 0 ? static_cast<uint64_t>(mbps) * 1000000ULL : 0;
        t.rows.push_back({str(d.name), num(d.rxBytes), num(d.txBytes), num(d.rxBytes + d.txBytes),
                          num(d.rxPackets), num(d.txPackets), num(d.rxPackets + d.txPackets),
                          num(bw), str(stamp), str("10000000")});
    }
    return t;
}

// ---- hardware from /sys -----------------------------------------------------------

std::optional<WmiTable> buildBaseBoard(const ClassDef& def, Context& c, std::string&) {
    WmiTable t = tableOf(def);
    auto product = readFile(c.sys("class/dmi/id/board_name"));
    if (!product) return t;
    t.rows.push_back({str("Base Board"), str("Base Board"),
                      str(firstLine(readFile(c.sys("class/dmi/id/board_vendor")))),
                      str(firstLine(product)),
                      str(firstLine(readFile(c.sys("class/dmi/id/board_version")))),
                      str(firstLine(readFile(c.sys("class/dmi/id/board_serial")))), str("OK"),
                      str("Base Board")});
    return t;
}

std::optional<WmiTable> buildMotherboard(const ClassDef& def, Context& c, std::string&) {
    WmiTable t = tableOf(def);
    if (!readFile(c.sys("class/dmi/id/board_name"))) return t;
    struct stat st {};
    const bool pci = stat(c.sys("bus/pci").c_str(), &st) == 0;
    t.rows.push_back({str("Motherboard"), str("Motherboard"), str("Motherboard"), str("OK"),
                      pci ? str("PCI") : WmiValue::null()});
    return t;
}

std::optional<WmiTable> buildBattery(const ClassDef& def, Context& c, std::string&) {
    WmiTable t = tableOf(def);
    const std::string dir = c.sys("class/power_supply");
    DIR* d = opendir(dir.c_str());
    if (!d) return t;
    std::vector<std::string> names;
    while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const auto& n : names) {
        const std::string base = dir + "/" + n + "/";
        if (firstLine(readFile(base + "type")) != "Battery") continue;
        const std::string status = firstLine(readFile(base + "status"));
        const std::string health = firstLine(readFile(base + "health"));
        int batteryStatus = 2;  // on mains, not discharging
        if (status == "Discharging")
            batteryStatus = 1;
        else if (status == "Charging")
            batteryStatus = 6;
        else if (status == "Full")
            batteryStatus = 3;
        std::string wmiStatus = "OK";
        if (health == "Dead" || health == "Unspecified failure")
            wmiStatus = "Error";
        else if (health == "Overheat" || health == "Over voltage" || health == "Cold")
            wmiStatus = "Degraded";
        std::string model = firstLine(readFile(base + "model_name"));
        std::string cap = firstLine(readFile(base + "capacity"));
        t.rows.push_back({str(model.empty() ? n : model), str(n), str("Internal Battery"),
                          str(wmiStatus), i32(batteryStatus),
                          cap.empty() ? WmiValue::null() : i32(std::atoi(cap.c_str()))});
    }
    return t;
}

// ---- services (systemd) ----------------------------------------------------------------

std::string stateOf(const std::string& active) {
    if (active == "active") return "Running";
    if (active == "activating" || active == "reloading") return "Start Pending";
    if (active == "deactivating") return "Stop Pending";
    return "Stopped";
}

std::string startModeOf(const std::string& fileState) {
    if (fileState == "enabled" || fileState == "enabled-runtime" || fileState == "alias")
        return "Auto";
    if (fileState == "disabled" || fileState == "masked" || fileState == "masked-runtime")
        return "Disabled";
    return "Manual";
}

std::string serviceName(const std::string& unit) {
    return unit.substr(0, unit.size() - 8);
}

void addService(WmiTable& t, const std::string& name, const std::string& description,
                const std::string& active, const std::string& fileState) {
    const std::string state = stateOf(active);
    WmiRowValues& r = t.addRow();
    t.set(r, "Name", str(name));
    t.set(r, "DisplayName", str(description.empty() ? name : description));
    t.set(r, "Caption", str(description.empty() ? name : description));
    t.set(r, "Description", str(description));
    t.set(r, "State", str(state));
    t.set(r, "Started", boolean(state == "Running"));
    t.set(r, "StartMode", str(startModeOf(fileState)));
    t.set(r, "Status", str(active == "failed" ? "Degraded" : "OK"));
    t.set(r, "ServiceType", str("Own Process"));
}

std::optional<WmiTable> buildService(const ClassDef& def, Context& c, std::string& err) {
    if (c.roots.systemctl.empty()) {
        err = "no service manager";
        return std::nullopt;
    }
    auto units = runCommand({c.roots.systemctl, "list-units", "--type=service", "--all", "--plain",
                             "--no-legend", "--no-pager"},
                            kSystemctlMs);
    if (!units || units->exitStatus != 0) {
        err = "systemctl list-units failed (is systemd running?)";
        return std::nullopt;
    }
    auto files = runCommand(
        {c.roots.systemctl, "list-unit-files", "--type=service", "--no-legend", "--no-pager"},
        kSystemctlMs);
    std::map<std::string, std::string> fileState;
    if (files && files->exitStatus == 0)
        for (const auto& f : parseListUnitFiles(files->out)) fileState[f.unit] = f.state;
    WmiTable t = tableOf(def);
    std::set<std::string> listed;
    for (const auto& u : parseListUnits(units->out)) {
        if (u.load == "not-found" || !listed.insert(u.unit).second) continue;
        addService(t, serviceName(u.unit), u.description, u.active, fileState[u.unit]);
    }
    // Installed but never loaded (disabled, not started since boot): stopped.
    for (const auto& [unit, state] : fileState) {
        if (listed.count(unit) || unit.find('@') != std::string::npos) continue;
        addService(t, serviceName(unit), {}, "inactive", state);
    }
    return t;
}

// A unit name that systemctl must not take for an option or a pattern.
bool plainUnitName(const std::string& n) {
    if (n.empty() || n.size() > 200 || n[0] == '-') return false;
    for (char ch : n)
        if (!(std::isalnum(static_cast<unsigned char>(ch)) || ch == '-' || ch == '_' || ch == '.' ||
              ch == '@' || ch == ':' || ch == '\\'))
            return false;
    return true;
}

// ---- event log (systemd journal) --------------------------------------------------------

std::optional<WmiTable> buildNTLogEvent(const ClassDef& def, Context& c, const WqlQuery& q,
                                        std::string& err) {
#ifdef TW_HAVE_SYSTEMD
    if (!c.roots.journal) {
        err = "no journal";
        return std::nullopt;
    }
    sd_journal* j = nullptr;
    if (sd_journal_open(&j, SD_JOURNAL_LOCAL_ONLY) < 0) {
        err = "the systemd journal cannot be opened";
        return std::nullopt;
    }
    WmiTable t = tableOf(def);
    auto bw = wqlLowerTimeBound(q, "TimeWritten");
    auto bg = wqlLowerTimeBound(q, "TimeGenerated");
    std::optional<int64_t> bound = bw;
    if (bg && (!bound || *bg > *bound)) bound = bg;
    bool ok;
    if (bound) {
        ok = sd_journal_seek_realtime_usec(
                 j, static_cast<uint64_t>(std::max<int64_t>(*bound, 0)) * 1000000) >= 0;
    } else {
        // Without a time condition: the newest records, up to the row limit.
        ok = sd_journal_seek_tail(j) >= 0;
        if (ok) sd_journal_previous_skip(j, kJournalRows);
        if (ok) sd_journal_previous(j);
    }
    static const char* kFields[] = {"MESSAGE",         "PRIORITY",
                                    "SYSLOG_FACILITY", "SYSLOG_IDENTIFIER",
                                    "_COMM",           "_TRANSPORT",
                                    "_SYSTEMD_UNIT",   "_SYSTEMD_USER_UNIT",
                                    "_HOSTNAME",       "_SOURCE_REALTIME_TIMESTAMP"};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kJournalMs);
    int32_t record = 0;
    while (ok && t.rows.size() < kJournalRows && sd_journal_next(j) > 0) {
        if (std::chrono::steady_clock::now() > deadline) break;
        std::map<std::string, std::string> fields;
        for (const char* f : kFields) {
            const void* data = nullptr;
            size_t len = 0;
            if (sd_journal_get_data(j, f, &data, &len) >= 0) {
                const size_t skip = std::strlen(f) + 1;
                if (len >= skip)
                    fields[f] = std::string(static_cast<const char*>(data) + skip, len - skip);
            }
        }
        uint64_t rt = 0;
        sd_journal_get_realtime_usec(j, &rt);
        JournalEvent e = mapJournalRecord(fields, static_cast<int64_t>(rt));
        ++record;
        static const char* kTypeWords[] = {"", "Error", "Warning", "Information"};
        t.rows.push_back({str(e.logFile), i32(e.eventType), str(kTypeWords[e.eventType]),
                          str(e.source), i32(0), i32(0), str(e.message),
                          str(c.dateText(e.generatedUs / 1000000)),
                          str(c.dateText(e.writtenUs / 1000000)), str(e.computer), i32(record)});
    }
    sd_journal_close(j);
    return t;
#else
    (void)def;
    (void)c;
    (void)q;
    err = "this build has no journal support";
    return std::nullopt;
#endif
}

// ---- the classes ----------------------------------------------------------------

std::vector<ClassDef> makeClasses() {
    std::vector<ClassDef> defs;
    auto add = [&](const char* name, std::initializer_list<const char*> cols, auto fn) {
        auto shape = std::make_shared<WmiClassShape>(name);
        for (const char* col : cols) shape->add(col);
        ClassDef d{shape, {}};
        d.build = [fn, shape](Context& c, const WqlQuery& q, std::string& err) {
            ClassDef self{shape, {}};
            return fn(self, c, q, err);
        };
        defs.push_back(std::move(d));
    };
    auto simple = [](auto f) {
        return [f](const ClassDef& d, Context& c, const WqlQuery&, std::string& e) {
            return f(d, c, e);
        };
    };
    add("Win32_PerfRawData_PerfProc_Process",
        {"Name", "IDProcess", "CreatingProcessID", "PercentProcessorTime", "PercentUserTime",
         "PercentPrivilegedTime", "Timestamp_Sys100NS", "Frequency_Sys100NS", "WorkingSet",
         "ThreadCount"},
        simple(buildPerfProc));
    add("Win32_Process",
        {"Name", "Caption", "ProcessId", "Handle", "ParentProcessId", "WorkingSetSize",
         "ThreadCount", "UserModeTime", "KernelModeTime"},
        simple(buildProcess));
    add("Win32_Processor",
        {"DeviceID", "Name", "Manufacturer", "NumberOfCores", "NumberOfLogicalProcessors",
         "MaxClockSpeed", "CurrentClockSpeed", "AddressWidth", "Architecture", "Status"},
        simple(buildProcessor));
    add("Win32_ComputerSystem",
        {"Name", "Caption", "TotalPhysicalMemory", "NumberOfProcessors",
         "NumberOfLogicalProcessors", "SystemType", "ChassisBootupState", "PowerSupplyState",
         "ThermalState", "Manufacturer", "Model", "Status"},
        simple(buildComputerSystem));
    add("Win32_OperatingSystem",
        {"Caption", "Version", "CSName", "OSArchitecture", "LastBootUpTime", "LocalDateTime",
         "TotalVisibleMemorySize", "FreePhysicalMemory", "TotalVirtualMemorySize",
         "FreeVirtualMemory", "SizeStoredInPagingFiles", "FreeSpaceInPagingFiles",
         "NumberOfProcesses", "Status"},
        simple(buildOperatingSystem));
    add("Win32_PerfFormattedData_PerfOS_Memory",
        {"AvailableBytes", "AvailableKBytes", "AvailableMBytes", "CommitLimit", "CommittedBytes",
         "PercentCommittedBytesInUse"},
        simple(buildPerfMemory));
    add("Win32_PerfFormattedData_PerfOS_System",
        {"SystemUpTime", "Processes", "Threads", "ProcessorQueueLength"}, simple(buildPerfSystem));
    add("Win32_LogicalDisk",
        {"DeviceID", "Name", "Caption", "Description", "DriveType", "FileSystem", "FreeSpace",
         "Size", "VolumeName", "ProviderName"},
        simple(buildLogicalDisk));
    add("Win32_Service",
        {"Name", "DisplayName", "Caption", "Description", "State", "Started", "StartMode", "Status",
         "ServiceType"},
        simple(buildService));
    add("Win32_NTLogEvent",
        {"LogFile", "EventType", "Type", "SourceName", "EventIdentifier", "EventCode", "Message",
         "TimeGenerated", "TimeWritten", "ComputerName", "RecordNumber"},
        buildNTLogEvent);
    add("Win32_PageFileUsage",
        {"Name", "Caption", "Description", "AllocatedBaseSize", "CurrentUsage", "PeakUsage",
         "TempPageFile", "InstallDate", "Status"},
        simple(buildPageFile));
    add("Win32_NetworkProtocol",
        {"Name", "Caption", "Description", "Status", "ConnectionlessService", "GuaranteesDelivery",
         "GuaranteesSequencing", "MessageOriented", "PseudoStreamOriented", "SupportsBroadcasting",
         "SupportsConnectData", "SupportsDisconnectData", "SupportsEncryption",
         "MaximumAddressSize", "MinimumAddressSize", "MaximumMessageSize", "InstallDate"},
        simple(buildNetworkProtocol));
    add("Win32_PerfRawData_Tcpip_NetworkInterface",
        {"Name", "BytesReceivedPerSec", "BytesSentPerSec", "BytesTotalPerSec",
         "PacketsReceivedPerSec", "PacketsSentPerSec", "PacketsPerSec", "CurrentBandwidth",
         "Timestamp_Sys100NS", "Frequency_Sys100NS"},
        simple(buildNetInterface));
    add("Win32_BaseBoard",
        {"Name", "Caption", "Manufacturer", "Product", "Version", "SerialNumber", "Status", "Tag"},
        simple(buildBaseBoard));
    add("Win32_Battery",
        {"Name", "DeviceID", "Caption", "Status", "BatteryStatus", "EstimatedChargeRemaining"},
        simple(buildBattery));
    add("Win32_MotherboardDevice", {"Name", "DeviceID", "Caption", "Status", "PrimaryBusType"},
        simple(buildMotherboard));
    return defs;
}

class LiveConnection final : public WmiConnection {
  public:
    LiveConnection(Clock& clock, HostInfo& host, LiveWmiRoots roots)
        : ctx_{std::move(roots), clock, host}, classes_(makeClasses()) {}

    std::unique_ptr<WmiEnumerator> query(std::string_view wql) override {
        WqlError perr;
        auto q = parseWql(wql, &perr);
        if (!q) {
            error_ =
                "invalid query at position " + std::to_string(perr.position) + ": " + perr.what;
            return nullptr;
        }
        if (isMetaClass(q->className)) {
            std::vector<std::shared_ptr<const WmiClassShape>> shapes;
            for (const auto& c : classes_) shapes.push_back(c.shape);
            return selectMetaClass(*q, shapes);
        }
        const ClassDef* def = find(q->className);
        if (!def) {
            error_ = "class " + q->className + " is not served on this host";
            return nullptr;
        }
        std::string err;
        auto table = def->build(ctx_, *q, err);
        if (!table) {
            error_ = q->className + ": " + err;
            return nullptr;
        }
        return selectFromTable(*q, std::move(*table));
    }

    std::unique_ptr<WmiObject> getObject(std::string_view path) override {
        if (const ClassDef* def = find(path)) return makeClassObject(def->shape);
        auto name = servicePath(path);
        if (!name) {
            error_ = "no object " + std::string(path);
            return nullptr;
        }
        auto show = runCommand(
            {ctx_.roots.systemctl, "show", "-p", "Id", "-p", "Description", "-p", "ActiveState",
             "-p", "LoadState", "-p", "UnitFileState", "--", *name + ".service"},
            kSystemctlMs);
        if (!show || show->exitStatus != 0) {
            error_ = "systemctl show failed for " + *name;
            return nullptr;
        }
        auto kv = parseKeyValues(show->out);
        if (kv["LoadState"] != "loaded") {
            error_ = "no service " + *name;
            return nullptr;
        }
        WmiTable t{find("Win32_Service")->shape, {}};
        addService(t, *name, kv["Description"], kv["ActiveState"], kv["UnitFileState"]);
        return makeTableObject(t.shape, std::move(t.rows[0]));
    }

    std::unique_ptr<WmiObject> execMethod(std::string_view path, std::string_view method,
                                          const WmiObject*) override {
        auto name = servicePath(path);
        const std::string m = upperName(method);
        if (!name || (m != "STARTSERVICE" && m != "STOPSERVICE")) {
            error_ = "no method " + std::string(method) + " on " + std::string(path);
            return nullptr;
        }
        // Queued, not awaited, as the service manager's start and stop
        // return once the request is accepted.
        auto r = runCommand({ctx_.roots.systemctl, "--no-block",
                             m == "STARTSERVICE" ? "start" : "stop", "--", *name + ".service"},
                            kSystemctlMs);
        if (!r || r->timedOut) {
            error_ = "systemctl could not be run for " + *name;
            return nullptr;
        }
        auto out = std::make_unique<WmiPropertyBag>();
        // Win32_Service return codes: 0 done, 2 access denied, 8 unknown failure.
        const int code = r->exitStatus == 0 ? 0 : (r->exitStatus == 4 ? 2 : 8);
        out->set("ReturnValue", WmiValue::int32(code));
        return out;
    }

    std::string lastError() const override { return error_; }

  private:
    const ClassDef* find(std::string_view cls) const {
        const std::string u = upperName(cls);
        for (const auto& c : classes_)
            if (upperName(c.shape->name()) == u) return &c;
        return nullptr;
    }

    std::optional<std::string> servicePath(std::string_view path) const {
        const std::string prefix = "WIN32_SERVICE.NAME=";
        if (upperName(path.substr(0, prefix.size())) != prefix) return std::nullopt;
        std::string_view v = path.substr(prefix.size());
        if (v.size() >= 2 && (v.front() == '\'' || v.front() == '"') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        std::string name(v);
        if (ctx_.roots.systemctl.empty() || !plainUnitName(name)) return std::nullopt;
        return name;
    }

    Context ctx_;
    std::vector<ClassDef> classes_;
    std::string error_;
};

class LiveWmiProvider final : public WmiProvider {
  public:
    LiveWmiProvider(Clock& clock, SettingsStore& store, HostInfo& host, LiveWmiRoots roots)
        : clock_(clock), store_(store), host_(host), roots_(std::move(roots)) {}

    WmiConnectResult connect(const std::string& server, const std::string& ns) override {
        WmiConnectResult r;
        if (!isLocalWmiServer(server, &host_)) {
            r.error = "no WMI connection to " + server + " from this host";
            return r;
        }
        const std::string n = upperName(ns);
        if (n == "ROOT\\CIMV2")
            r.connection = std::make_unique<LiveConnection>(clock_, host_, roots_);
        else if (n == "ROOT\\DEFAULT")
            r.connection = makeStdRegProvConnection(store_);
        else
            r.error = "namespace " + ns + " is not served";
        return r;
    }

  private:
    Clock& clock_;
    SettingsStore& store_;
    HostInfo& host_;
    LiveWmiRoots roots_;
};

}  // namespace

std::unique_ptr<WmiProvider> makeLiveWmiProvider(Clock& clock, SettingsStore& store, HostInfo& host,
                                                 LiveWmiRoots roots) {
    return std::make_unique<LiveWmiProvider>(clock, store, host, std::move(roots));
}

std::unique_ptr<WmiProvider> makeHostWmiProvider(Clock& clock, SettingsStore& store,
                                                 HostInfo& host) {
    const char* fixture = std::getenv("TWNT_WMI_FIXTURE");
    if (fixture && *fixture) return makeFixtureWmiProvider(fixture, clock, store, &host);
    return makeLiveWmiProvider(clock, store, host);
}

}  // namespace tw::platform
