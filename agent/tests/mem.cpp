#include "agent/tests/mem.h"

#include <cmath>

#include "base/builtintests.h"
#include "base/datestamp.h"
#include "base/text.h"
#include "base/twlog.h"
#include "agent/tests/reporttext.h"
#include "agent/wmi/fetch.h"
#include "platform/clock.h"

namespace tw {

namespace {

// A figure that is there: a number as text (64-bit sizes arrive so) or a
// 32-bit integer; a null or missing property is not.
bool present(const WmiRow& row, std::string_view property) {
    auto v = row.value(property);
    return v && (v->type == platform::WmiType::String || v->type == platform::WmiType::Int32);
}

// WorkingSetSize / 1024 summed over the processes; 0 when the query fails.
double wmigetdetailedmeminfo(WmiSession& s) {
    twlog("in wmigetdetailedmeminfo\n");
    double total = 0;
    if (auto e = s.execquery("SELECT Name, WorkingSetSize FROM Win32_Process")) {
        twlog("Detailed meminfo obtained.\n");
        eachobject(*e, [&](const WmiRow& row) {
            double kb = row.number("WorkingSetSize") / 1024;
            twlog("%s %f\n", row.text("Name").c_str(), kb);
            total += kb;
        });
    }
    twlog("total usage: %f \n", total);
    return total;
}

// The commit charge from the memory counters, replacing the paging-file
// figures when the query answers a row.
void wmicommitinfo(WmiSession& s, MemoryInfo& m) {
    twlog("in wmicommitinfo\n");
    if (auto e = s.execquery(
            "SELECT CommittedBytes,CommitLimit FROM Win32_PerfFormattedData_PerfOS_Memory")) {
        twlog("commit info obtained\n");
        bool first = true;
        eachobject(*e, [&](const WmiRow& row) {
            if (!first) return;
            first = false;
            const double committed = row.number("CommittedBytes") / 1024;
            m.commitFree = committed;
            m.commitTotal = 0;
            if (present(row, "CommitLimit")) {
                m.commitTotal = row.number("CommitLimit") / 1024;
                m.commitFree = m.commitTotal - committed;
            }
        });
    }
    twlog("leave wmicommitinfo\n");
}

// Used share in percent; 0 when the total is 0 (or the figures are not
// numbers), and such a share never raises the colour.
std::optional<double> usedshare(double free, double total) {
    if (!(total > 0)) return std::nullopt;
    double share = (1 - free / total) * 100;
    if (!std::isfinite(share)) return std::nullopt;
    return share;
}

// A figure after a memory-level word: digits (after blanks and an optional
// sign) are needed; nothing otherwise.
std::optional<int> levelnumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
    return decimalNumber(text);
}

void takelevels(std::string_view text, std::string_view word, int& warn, int& panic) {
    size_t at = text.find(word);
    if (at == std::string_view::npos) return;
    std::string_view rest = text.substr(at + word.size());
    if (auto w = levelnumber(rest); w && *w >= 0) warn = *w;
    size_t colon = rest.find(':');
    if (colon == std::string_view::npos) return;
    if (auto p = levelnumber(rest.substr(colon + 1)); p && *p >= 0) panic = *p;
}

}  // namespace

double wmitotalphymem(WmiSession& session) {
    twlog("in wmitotalphymem\n");
    double total = 0;
    if (auto e = session.execquery("SELECT TotalPhysicalMemory  FROM Win32_ComputerSystem"))
        eachobject(*e, [&](const WmiRow& row) { total += row.number("TotalPhysicalMemory"); });
    twlog("leave wmitotalphymem\n");
    return total / 1024;
}

std::optional<MemoryInfo> wmimemoryinfo(WmiSession& session) {
    twlog("in wmimemoryinfo\n");
    auto e = session.execquery(
        "SELECT LastBootUpTime,TotalVisibleMemorySize,TotalVirtualMemorySize,"
        "SizeStoredInPagingFiles,FreePhysicalMemory,FreeVirtualMemory,FreeSpaceInPagingFiles  "
        "FROM Win32_OperatingSystem");
    if (!e) return std::nullopt;
    twlog("memory info obtained\n");
    MemoryInfo m;
    bool first = true;
    eachobject(*e, [&](const WmiRow& row) {
        if (!first) return;
        first = false;
        m.boottime = row.datetime("LastBootUpTime");
        m.commitTotal = row.number("SizeStoredInPagingFiles");
        m.virtualTotal = row.number("TotalVirtualMemorySize");
        m.visibleTotal = row.number("TotalVisibleMemorySize");
        m.physFree = row.number("FreePhysicalMemory");
        m.commitFree = row.number("FreeSpaceInPagingFiles");
        m.virtualFree = row.number("FreeVirtualMemory");
    });

    // The computer-system figure is sometimes missing right after boot.
    m.physTotal = wmitotalphymem(session);
    for (int retry = 0; retry < 5 && m.physTotal < 1 && session.isOpen(); ++retry) {
        if (!session.clock().sleepMs(3000)) break;
        m.physTotal = wmitotalphymem(session);
    }

    if (m.physFree < 0 || m.physFree > m.physTotal) {
        twlog("Free phy mem obtained from Win32_OperatingSystem is wrong: %f\n", m.physFree);
        m.physFree = m.physTotal - wmigetdetailedmeminfo(session);
        if (m.physFree < 0) {
            twlog("Free phy mem obtained from wmigetdetailedmeminfo is wrong: %f\n", m.physFree);
            m.physFree = m.physTotal * 0.99;
        }
    }

    wmicommitinfo(session, m);
    twlog("capacity: %f Free phy mem: %f\n", m.physTotal, m.physFree);
    twlog("leave wmimemoryinfo\n");
    return m;
}

double wholemegabytes(double kilobytes) {
    return wholepart(kilobytes / 1024) + 1;
}

MemSize inunits(double megabytes) {
    if (megabytes > 1024) return {megabytes / 1024, "GB"};
    return {megabytes, "MB"};
}

MemLevels parsememlevels(std::string_view text) {
    MemLevels l;
    takelevels(text, "PHYS:", l.physWarn, l.physPanic);
    takelevels(text, "COMMIT:", l.commitWarn, l.commitPanic);
    return l;
}

void memtest(const TestContext<MemSettings>& t, const MemoryInfo* info) {
    const MemSettings& s = t.settings;
    const char mode = s.mode;
    if (testdisabled(mode, kMemTest.word)) return;
    const MemLevels lv = parsememlevels(s.memlevels);
    logentering("memory service");
    twlog("Physical Memory thresholds -  Warn:%d  Panic:%d\r\n", lv.physWarn, lv.physPanic);
    twlog("Total Memory thresholds -  Warn:%d  Panic:%d\r\n", lv.commitWarn, lv.commitPanic);
    if (!info) {
        twlog("Failed to get memory info\r\n");
        logleaving("mem service");
        return;
    }
    const MemoryInfo& m = *info;

    struct Figures {
        double totalKb, freeKb;
        double total, free, used;  // whole megabytes
    };
    auto figures = [](double totalKb, double freeKb) {
        Figures f{totalKb, freeKb, wholemegabytes(totalKb), wholemegabytes(freeKb), 0};
        f.used = f.total - f.free;
        return f;
    };
    const Figures phys = figures(m.physTotal, m.physFree);
    const Figures commit = figures(m.commitTotal, m.commitFree);
    const Figures virt = figures(m.virtualTotal, m.virtualFree);

    const auto physShare = usedshare(m.physFree, m.physTotal);
    const auto commitShare = usedshare(m.commitFree, m.commitTotal);

    Colour colour = Colour::Green;
    std::string physMarker, commitMarker;
    if (alwaysgreen(mode)) {
        physMarker = commitMarker = "&green";
    } else {
        // Warn first, then panic, so a panic level overrides a warn marker.
        if (physShare && *physShare >= lv.physWarn) {
            physMarker = "&yellow";
            raise(colour, Colour::Yellow);
        }
        if (commitShare && *commitShare >= lv.commitWarn) {
            commitMarker = "&yellow";
            raise(colour, Colour::Yellow);
        }
        if (physShare && *physShare >= lv.physPanic) {
            physMarker = "&red";
            raise(colour, Colour::Red);
        }
        if (commitShare && *commitShare >= lv.commitPanic) {
            commitMarker = "&red";
            raise(colour, Colour::Red);
        }
    }

    const MemSize pu = inunits(phys.used), pt = inunits(phys.total);
    const MemSize cu = inunits(commit.used), ct = inunits(commit.total);
    const double ps = physShare.value_or(0), cs = commitShare.value_or(0);
    std::string report = "status " + s.compName + ".mem " + std::string(colourword(colour));
    report += strformat(
        " %s [%s]  Physical: %0.2f%%  Commit: %0.2f%%\r\n\r\n"
        "%s Physical Memory: %0.2f%s/%0.2f%s (%0.2f%%)\r\n"
        "%s Commit Charge: %0.2f%s/%0.2f%s (%0.2f%%)\r\n",
        datestamp(t.clock).c_str(), s.realcompName.c_str(), ps, cs, physMarker.c_str(), pu.value,
        pu.unit, pt.value, pt.unit, ps, commitMarker.c_str(), cu.value, cu.unit, ct.value, ct.unit,
        cs);

    // Used bytes come from the whole-megabyte difference, free and total
    // bytes from the kilobyte figures.
    auto row = [](const char* label, const Figures& f) {
        const MemSize u = inunits(f.used), fr = inunits(f.free), t = inunits(f.total);
        return strformat("%s%12.0f (%0.2f%s) / %12.0f (%0.2f%s) / %12.0f (%0.2f%s)\r\n", label,
                         f.used * 1048576, u.value, u.unit, f.freeKb * 1024, fr.value, fr.unit,
                         f.totalKb * 1024, t.value, t.unit);
    };
    report += "\r\n\r\nMemory Statistics (Used/Available/Total in bytes)\r\n";
    report += row("Physical Memory: ", phys);
    report += row("Commit Charge:   ", commit);
    report += row("Virtual memory:  ", virt);

    pageperfsend(t.delivery, report, trend(mode), perfmem);
    logleaving("mem service");
}

}  // namespace tw
