// The machine as a whole: processors from /proc/cpuinfo, the computer and
// the operating system, memory from /proc/meminfo, and the system counters
// from /proc/uptime and /proc/loadavg.
#include <dirent.h>
#include <sys/utsname.h>

#include <cstdlib>
#include <map>
#include <vector>

#include "platform/posix/linux_sources.h"
#include "platform/posix/live_wmi.h"

namespace tw::platform::livewmi {

namespace {

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

std::optional<std::vector<linuxsrc::CpuSocket>> sockets(Context& c, std::string& err) {
    auto text = readFile(c.proc("cpuinfo"));
    if (!text) {
        err = "cannot read " + c.proc("cpuinfo");
        return std::nullopt;
    }
    auto s = linuxsrc::parseCpuinfo(*text);
    if (s.empty()) {
        // No processor entries at all: count what the kernel has online.
        long n = sysconf(_SC_NPROCESSORS_ONLN);
        linuxsrc::CpuSocket one;
        one.logical = n > 0 ? static_cast<int>(n) : 1;
        s.push_back(one);
    }
    return s;
}

std::optional<std::map<std::string, uint64_t>> meminfo(Context& c, std::string& err) {
    auto text = readFile(c.proc("meminfo"));
    if (!text) {
        err = "cannot read " + c.proc("meminfo");
        return std::nullopt;
    }
    auto m = linuxsrc::parseMeminfo(*text);
    if (!m.count("MemTotal")) {
        err = c.proc("meminfo") + " has no MemTotal";
        return std::nullopt;
    }
    return m;
}

uint64_t availableKb(std::map<std::string, uint64_t>& m) {
    return m.count("MemAvailable") ? m["MemAvailable"] : m["MemFree"] + m["Cached"] + m["Buffers"];
}

// The processes now running: the numeric entries of /proc. Listing /proc is
// costly on a busy host, so it is only done for a query that shows the count.
int countProcesses(const Context& c) {
    int n = 0;
    if (DIR* d = opendir(c.roots.proc.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] >= '1' && e->d_name[0] <= '9') ++n;
        closedir(d);
    }
    return n;
}

}  // namespace

// ---- Win32_Processor ----------------------------------------------------------

static std::optional<WmiTable> buildProcessor(const LiveClass& cls, Context& c, std::string& err) {
    auto s = sockets(c, err);
    if (!s) return std::nullopt;
    Machine m = machine();
    WmiTable t = cls.table();
    int i = 0;
    for (const auto& k : *s) {
        WmiRowValues& r = t.addRow();
        t.set(r, "DeviceID", str("CPU" + std::to_string(i++)));
        t.set(r, "Name", str(k.model));
        t.set(r, "Manufacturer", str(k.vendor));
        t.set(r, "NumberOfCores", i32(k.cores));
        t.set(r, "NumberOfLogicalProcessors", i32(k.logical));
        t.set(r, "MaxClockSpeed", i32(static_cast<int64_t>(k.mhz)));
        t.set(r, "CurrentClockSpeed", i32(static_cast<int64_t>(k.mhz)));
        t.set(r, "AddressWidth", i32(m.addressWidth));
        t.set(r, "Architecture", i32(m.architecture));
        t.set(r, "Status", str("OK"));
    }
    return t;
}

LiveClass processorClass() {
    return liveClass(
        "Win32_Processor",
        {"DeviceID", "Name", "Manufacturer", "NumberOfCores", "NumberOfLogicalProcessors",
         "MaxClockSpeed", "CurrentClockSpeed", "AddressWidth", "Architecture", "Status"},
        ignoringQuery(buildProcessor));
}

// ---- Win32_ComputerSystem -------------------------------------------------------

// The agent asks this class for its name and for the memory size each
// cycle; the sources of what a query cannot show are neither read nor
// required.
static std::optional<WmiTable> buildComputerSystem(const LiveClass& cls, Context& c,
                                                   const WqlQuery& q, std::string& err) {
    std::optional<std::map<std::string, uint64_t>> m;
    if (wqlReads(q, "TotalPhysicalMemory") && !(m = meminfo(c, err))) return std::nullopt;
    std::optional<std::vector<linuxsrc::CpuSocket>> s;
    if ((wqlReads(q, "NumberOfProcessors") || wqlReads(q, "NumberOfLogicalProcessors")) &&
        !(s = sockets(c, err)))
        return std::nullopt;
    int logical = 0;
    if (s)
        for (const auto& k : *s) logical += k.logical;
    auto dmi = [&](const char* property, const char* file) {
        return str(firstLineIfShown(q, property, c.sys(file)));
    };
    const std::string name = c.computerName();
    WmiTable t = cls.table();
    WmiRowValues& r = t.addRow();
    t.set(r, "Name", str(name));
    t.set(r, "Caption", str(name));
    t.set(r, "TotalPhysicalMemory", num(m ? (*m)["MemTotal"] * 1024 : 0));
    t.set(r, "NumberOfProcessors", i32(s ? static_cast<int64_t>(s->size()) : 0));
    t.set(r, "NumberOfLogicalProcessors", i32(logical));
    t.set(r, "SystemType", str(machine().systemType));
    t.set(r, "ChassisBootupState", i32(3));
    t.set(r, "PowerSupplyState", i32(3));
    t.set(r, "ThermalState", i32(3));
    t.set(r, "Manufacturer", dmi("Manufacturer", "class/dmi/id/sys_vendor"));
    t.set(r, "Model", dmi("Model", "class/dmi/id/product_name"));
    t.set(r, "Status", str("OK"));
    return t;
}

LiveClass computerSystemClass() {
    return liveClass("Win32_ComputerSystem",
                     {"Name", "Caption", "TotalPhysicalMemory", "NumberOfProcessors",
                      "NumberOfLogicalProcessors", "SystemType", "ChassisBootupState",
                      "PowerSupplyState", "ThermalState", "Manufacturer", "Model", "Status"},
                     buildComputerSystem);
}

// ---- Win32_OperatingSystem ----------------------------------------------------

static std::optional<WmiTable> buildOperatingSystem(const LiveClass& cls, Context& c,
                                                    const WqlQuery& q, std::string& err) {
    auto m = meminfo(c, err);
    auto stat = readFile(c.proc("stat"));
    if (!m) return std::nullopt;
    if (!stat) {
        err = "cannot read " + c.proc("stat");
        return std::nullopt;
    }
    linuxsrc::SystemStat ss = linuxsrc::parseSystemStat(*stat);
    const uint64_t total = (*m)["MemTotal"], avail = availableKb(*m);
    const uint64_t swapTotal = (*m)["SwapTotal"], swapFree = (*m)["SwapFree"];
    std::string ostype = firstLineIfShown(q, "Caption", c.proc("sys/kernel/ostype"));
    std::string release = firstLineIfShown(q, "Version", c.proc("sys/kernel/osrelease"));
    WmiTable t = cls.table();
    WmiRowValues& r = t.addRow();
    t.set(r, "Caption", str(ostype.empty() ? "Linux" : ostype));
    t.set(r, "Version", str(release));
    t.set(r, "CSName", str(c.computerName()));
    t.set(r, "OSArchitecture", str(std::to_string(machine().addressWidth) + "-bit"));
    t.set(r, "LastBootUpTime", ss.btime > 0 ? str(c.dateText(ss.btime)) : WmiValue::null());
    t.set(r, "LocalDateTime", str(c.dateText(c.clock.now())));
    t.set(r, "TotalVisibleMemorySize", num(total));
    t.set(r, "FreePhysicalMemory", num(avail));
    t.set(r, "TotalVirtualMemorySize", num(total + swapTotal));
    t.set(r, "FreeVirtualMemory", num(avail + swapFree));
    t.set(r, "SizeStoredInPagingFiles", num(swapTotal));
    t.set(r, "FreeSpaceInPagingFiles", num(swapFree));
    t.set(r, "NumberOfProcesses", i32(wqlReads(q, "NumberOfProcesses") ? countProcesses(c) : 0));
    t.set(r, "Status", str("OK"));
    return t;
}

LiveClass operatingSystemClass() {
    return liveClass("Win32_OperatingSystem",
                     {"Caption", "Version", "CSName", "OSArchitecture", "LastBootUpTime",
                      "LocalDateTime", "TotalVisibleMemorySize", "FreePhysicalMemory",
                      "TotalVirtualMemorySize", "FreeVirtualMemory", "SizeStoredInPagingFiles",
                      "FreeSpaceInPagingFiles", "NumberOfProcesses", "Status"},
                     buildOperatingSystem);
}

// ---- Win32_PerfFormattedData_PerfOS_Memory --------------------------------------

static std::optional<WmiTable> buildPerfMemory(const LiveClass& cls, Context& c, std::string& err) {
    auto m = meminfo(c, err);
    if (!m) return std::nullopt;
    const uint64_t avail = availableKb(*m);
    const uint64_t limit = (*m)["CommitLimit"] * 1024, committed = (*m)["Committed_AS"] * 1024;
    WmiTable t = cls.table();
    WmiRowValues& r = t.addRow();
    t.set(r, "AvailableBytes", num(avail * 1024));
    t.set(r, "AvailableKBytes", num(avail));
    t.set(r, "AvailableMBytes", num(avail / 1024));
    t.set(r, "CommitLimit", num(limit));
    t.set(r, "CommittedBytes", num(committed));
    t.set(r, "PercentCommittedBytesInUse",
          i32(limit ? static_cast<int64_t>(committed * 100 / limit) : 0));
    return t;
}

LiveClass perfMemoryClass() {
    return liveClass("Win32_PerfFormattedData_PerfOS_Memory",
                     {"AvailableBytes", "AvailableKBytes", "AvailableMBytes", "CommitLimit",
                      "CommittedBytes", "PercentCommittedBytesInUse"},
                     ignoringQuery(buildPerfMemory));
}

// ---- Win32_PerfFormattedData_PerfOS_System --------------------------------------

static std::optional<WmiTable> buildPerfSystem(const LiveClass& cls, Context& c, const WqlQuery& q,
                                               std::string& err) {
    auto up = readFile(c.proc("uptime"));
    auto secs = up ? linuxsrc::parseUptime(*up) : std::nullopt;
    if (!secs) {
        err = "cannot read " + c.proc("uptime");
        return std::nullopt;
    }
    int threads = 0, queue = 0;
    // loadavg: "0.00 0.01 0.05 2/345 6789": running/all scheduling entities.
    std::string load = firstLine(readFile(c.proc("loadavg")));
    size_t slash = load.find('/');
    if (slash != std::string::npos) {
        size_t b = load.rfind(' ', slash);
        queue = std::atoi(load.substr(b == std::string::npos ? 0 : b + 1).c_str());
        threads = std::atoi(load.substr(slash + 1).c_str());
    }
    WmiTable t = cls.table();
    WmiRowValues& r = t.addRow();
    t.set(r, "SystemUpTime", num(static_cast<uint64_t>(*secs)));
    t.set(r, "Processes", i32(wqlReads(q, "Processes") ? countProcesses(c) : 0));
    t.set(r, "Threads", i32(threads));
    t.set(r, "ProcessorQueueLength", i32(queue));
    return t;
}

LiveClass perfSystemClass() {
    return liveClass("Win32_PerfFormattedData_PerfOS_System",
                     {"SystemUpTime", "Processes", "Threads", "ProcessorQueueLength"},
                     buildPerfSystem);
}

}  // namespace tw::platform::livewmi
