#include "agent/tests/cpu.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string_view>
#include <unordered_map>

#include "base/builtintests.h"
#include "base/datestamp.h"
#include "base/text.h"
#include "base/twlog.h"
#include "agent/tests/reporttext.h"
#include "agent/wmi/fetch.h"
#include "platform/ascii.h"
#include "platform/clock.h"

namespace tw {

namespace {

// The previous snapshot, indexed by process id and name. For each pair it
// keeps, in snapshot order, only the rows whose timestamp is lower than
// every earlier row's of the pair: the first row with a timestamp not
// greater than t is always one of them, and their timestamps fall, so a
// binary search finds it. Rows whose timestamp is not a number never match
// and are left out.
class PreviousIndex {
  public:
    explicit PreviousIndex(const std::vector<ProcessSample>& previous) : rows_(previous) {
        for (size_t i = 0; i < previous.size(); ++i) {
            const ProcessSample& p = previous[i];
            if (p.pid == 0 || std::isnan(p.timestamp)) continue;  // never looked up
            std::vector<uint32_t>& lows = index_[Key{p.pid, p.name}];
            if (lows.empty() || p.timestamp < previous[lows.back()].timestamp)
                lows.push_back(static_cast<uint32_t>(i));
        }
    }

    // The first previous row with the same id and name and a timestamp not
    // greater than the current row's.
    const ProcessSample* match(const ProcessSample& cur) const {
        auto it = index_.find(Key{cur.pid, cur.name});
        if (it == index_.end()) return nullptr;
        const std::vector<uint32_t>& lows = it->second;
        auto pos = std::partition_point(lows.begin(), lows.end(), [&](uint32_t r) {
            return rows_[r].timestamp > cur.timestamp;
        });
        if (pos == lows.end() || !(rows_[*pos].timestamp <= cur.timestamp)) return nullptr;
        return &rows_[*pos];
    }

  private:
    struct Key {
        int32_t pid;
        std::string_view name;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const {
            return std::hash<std::string_view>{}(k.name) * 31u ^
                   std::hash<uint32_t>{}(static_cast<uint32_t>(k.pid));
        }
    };
    const std::vector<ProcessSample>& rows_;
    std::unordered_map<Key, std::vector<uint32_t>, KeyHash> index_;
};

// A kilobyte figure for the log's integer formats.
unsigned long long logfigure(double kb) {
    if (!(kb >= 0)) return 0;
    if (kb >= 18446744073709549568.0) return ULLONG_MAX;
    return static_cast<unsigned long long>(kb);
}

void logmemory(const MemoryInfo& m) {
    const unsigned long long f[6] = {logfigure(m.physTotal),    logfigure(m.physFree),
                                     logfigure(m.commitTotal),  logfigure(m.commitFree),
                                     logfigure(m.virtualTotal), logfigure(m.virtualFree)};
    twlog(
        "\r\nTotalPhys: %llu\r\nAvailPhys: %llu\r\nTotalPageFile: %llu\r\nAvailPageFile: "
        "%llu\r\nTotalVirtual: %llu\r\nAvailVirtual: %llu\r\n\r\n",
        f[0], f[1], f[2], f[3], f[4], f[5]);
    auto x = [&](int i) { return static_cast<unsigned>(f[i] & 0xffffffffu); };
    twlog(
        "\r\nTotalPhys: %11x\r\nAvailPhys: %11x\r\nTotalPageFile: %11x\r\nAvailPageFile: "
        "%11x\r\nTotalVirtual: %11x\r\nAvailVirtual: %11x\r\n\r\n",
        x(0), x(1), x(2), x(3), x(4), x(5));
}

void logprocesses(const char* title, const std::vector<ProcessSample>& rows) {
    twlog("%s", title);
    twlog("%16s\t%12s\t%12s\t%12s\r\n", "PROCESS NAME", "PID", "PercentProcessorTime",
          "Timestamp_Sys100NS");
    for (const ProcessSample& p : rows)
        twlog("%16s\t%12d\t%12.0f\t%12.0f\r\n", p.name.c_str(), p.pid, p.cputime, p.timestamp);
}

// The physical-memory summary, the uptime line and the statistics.
std::string memoryblock(const MemoryInfo& m, const std::string& uptimeLine) {
    auto units = [](double kb) { return inunits(wholemegabytes(kb)); };
    double permille = 0;  // used, in tenths of a percent; 0 without a total
    if (m.physTotal > 0) {
        double p = wholepart(1000 - m.physFree * 1000 / m.physTotal);
        if (std::isfinite(p)) permille = p;
    }
    const MemSize pt = units(m.physTotal), pf = units(m.physFree), ct = units(m.commitTotal),
                  cf = units(m.commitFree), vt = units(m.virtualTotal), vf = units(m.virtualFree);
    return strformat(
        "PhysicalMem: %0.0f%s(%0.0f%%)\r\n\r\n%s\r\n\r\nMemory Statistics\r\n"
        "Total Physical memory:         %12.0f bytes (%0.2f%s)\r\n"
        "Available Physical memory:     %12.0f bytes (%0.2f%s)\r\n"
        "Total PageFile size:           %12.0f bytes (%0.2f%s)\r\n"
        "Available PageFile size:       %12.0f bytes (%0.2f%s)\r\n"
        "Total Virtual memory size:     %12.0f bytes (%0.2f%s)\r\n"
        "Available Virtual memory size: %12.0f bytes (%0.2f%s)",
        pt.value, pt.unit, permille * 0.1, uptimeLine.c_str(), m.physTotal * 1024, pt.value,
        pt.unit, m.physFree * 1024, pf.value, pf.unit, m.commitTotal * 1024, ct.value, ct.unit,
        m.commitFree * 1024, cf.value, cf.unit, m.virtualTotal * 1024, vt.value, vt.unit,
        m.virtualFree * 1024, vf.value, vf.unit);
}

// The reboot or up-days line and its colour; empty when neither rule fires.
std::string uptimeline(const CpuSettings& s, int64_t uptime, Colour& colour) {
    std::string what;
    const std::string* letter;
    if (uptime < static_cast<int64_t>(s.rebootmins) * 60) {
        what = "Machine recently rebooted";
        letter = &s.rebootcolor;
    } else if (static_cast<int64_t>(s.updays) * 86400 < uptime) {
        what = strformat("Machine has been up %d days", static_cast<int>(uptime / 86400));
        letter = &s.updayscolor;
    } else {
        return {};
    }
    auto c = colourletter(*letter);
    colour = c.value_or(Colour::Yellow);
    if (!c) what += " (invalid color in configuration, using default)";
    std::string line = marker(colour);
    line += what;
    line += "\r\n\r\n";
    return line;
}

}  // namespace

std::optional<int> wminumusers(WmiSession& session) {
    twlog("in wminumusers\n");
    auto e = session.execquery("SELECT Name FROM Win32_ComputerSystem");
    if (!e) {
        twlog("leave wminumusers\n");
        return std::nullopt;
    }
    twlog("count number of users\n");
    int users = static_cast<int>(eachobject(*e, [](const WmiRow&) {}));
    twlog("number of users = %d\n", users);
    twlog("leave wminumusers\n");
    return users;
}

int64_t wmigetsystemuptime(WmiSession& session) {
    twlog("in wmigetsystemuptime\n");
    auto e = session.execquery("SELECT SystemUpTime FROM Win32_PerfFormattedData_PerfOS_System");
    if (!e) return 0;
    int64_t up = 0;
    bool first = true;
    eachobject(*e, [&](const WmiRow& row) {
        if (!first) return;
        first = false;
        auto v = row.value("SystemUpTime");
        if (v && v->type == platform::WmiType::String) {
            up = decimalNumber(v->s);
            twlog("SystemUpTime obtained.\n");
        }
    });
    return up;
}

double cpuload(const std::vector<ProcessSample>& previous,
               const std::vector<ProcessSample>& current, int numcpu, LineArray& lines) {
    const double cpus = numcpu < 1 ? 1 : numcpu;
    const PreviousIndex index(previous);
    double sum = 0;
    // The last row (the _Total row) is never examined.
    for (size_t i = 0; i + 1 < current.size(); ++i) {
        const ProcessSample& cur = current[i];
        if (cur.pid == 0) continue;
        const ProcessSample* prev = index.match(cur);
        if (!prev) continue;
        const double elapsed = cur.timestamp - prev->timestamp;
        const double used = cur.cputime - prev->cputime;
        if (!(elapsed > 0) || !(used >= 0)) continue;
        const double share = used * 100 / elapsed / cpus;
        if (!std::isfinite(share)) continue;
        sum += share;
        lines.push_back(strformat("%05.2f%%\t%s (0x%x [%d])\r\n", share, cur.name.c_str(),
                                  static_cast<unsigned>(cur.pid), cur.pid));
    }
    std::stable_sort(lines.begin(), lines.end(), lessNoCase);
    return sum;
}

int loadpercent(double sum) {
    // Rounded half up, i.e. floor(sum + 0.5), in whole numbers.
    if (std::isnan(sum)) return 0;
    const double x = sum + 0.5;
    if (x < static_cast<double>(INT_MIN) + 1) return INT_MIN;
    if (x >= INT_MAX) return INT_MAX;
    const int t = static_cast<int>(x);
    return t > x ? t - 1 : t;
}

std::string uptimetext(int64_t seconds) {
    int64_t days = seconds / 86400;
    if (days != 0) return strformat("%d days", static_cast<int>(days));
    return strformat("%d:%02d", static_cast<int>(seconds / 3600),
                     static_cast<int>(seconds % 3600 / 60));
}

void cputest(const TestContext<CpuSettings>& t, const CpuInput& in, LineArray& lines) {
    const CpuSettings& s = t.settings;
    const char mode = s.mode;
    if (testdisabled(mode, kCpuTest.word)) return;
    logentering("cpu service");
    const int numprocs = in.current ? static_cast<int>(in.current->size()) : 0;
    twlog("oldnumprocs: %d  -  numprocs: %d\r\n", static_cast<int>(in.previous.size()), numprocs);
    twlog("oldprocs: 0x%0x  -  procs: 0x%0x\r\n",
          static_cast<unsigned>(reinterpret_cast<uintptr_t>(in.previous.data())),
          static_cast<unsigned>(
              reinterpret_cast<uintptr_t>(in.current ? in.current->data() : nullptr)));
    if (!in.current) {
        twlog("Aborting CPU check as the procs array is undefined\r\n");
        return;
    }

    Colour uptimeColour = Colour::Green;
    const int users = wminumusers(t.wmi).value_or(0);
    std::string report = "status " + s.compName + ".cpu ";
    const int procs = numprocs - 2;
    if (procs <= 0) {
        twlog("Aborting CPU check as the zero procs\r\n");
        return;
    }

    int64_t uptime = 0;
    if (in.memory.boottime != 0) {
        uptime = in.now - in.memory.boottime;
    } else {
        twlog("LastBootUpTime is 0, try get it from Win32_PerfFormattedData_PerfOS_System \r\n");
        uptime = wmigetsystemuptime(t.wmi);
        if (uptime == 0)
            twlog("can't get sysuptime from Win32_PerfFormattedData_PerfOS_System \r\n");
    }
    // A boot time after the test time (a clock set back) counts as just booted.
    if (uptime < 0) uptime = 0;
    const std::string uptimeLine = uptimeline(s, uptime, uptimeColour);

    if (twlogActive()) logmemory(in.memory);
    const std::string memBlock = memoryblock(in.memory, uptimeLine);

    if (twlogActive()) {
        logprocesses("Previous Process list\r\n", in.previous);
        logprocesses("Current Process list\r\n", *in.current);
    }
    const size_t before = lines.size();
    const int load = loadpercent(cpuload(in.previous, *in.current, in.numcpu, lines));

    Colour colour = Colour::Green;
    if (evaluates(mode)) {
        if (load >= s.red)
            colour = Colour::Red;
        else if (load >= s.yellow)
            colour = Colour::Yellow;
        else
            colour = uptimeColour;  // a load colour replaces the uptime colour
    }

    report += colourword(colour);
    report +=
        strformat(" %s [%s] up: %s, %d users, %d procs, load=%d%%, ", datestamp(t.clock).c_str(),
                  s.realcompName.c_str(), uptimetext(uptime).c_str(), users, procs, load);
    report += memBlock;
    if (lines.size() > before) {
        report += "\r\n\r\nMost active processes\r\n";
        size_t shown = 0;
        for (auto it = lines.rbegin(); it != lines.rend() && shown < 10; ++it, ++shown)
            report += *it;
    }

    pageperfsend(t.delivery, report, trend(mode), perfcpu);
    logleaving("cpu service");
}

}  // namespace tw
