#include "platform/posix/linux_sources.h"

#include <cstdint>
#include <cstdlib>
#include <set>

namespace tw::platform::linuxsrc {

namespace {

// Splits at runs of blanks and tabs.
// Splits at blanks and tabs, keeping at most `limit` fields: a cycle splits
// every process's stat line and needs only its first fields.
std::vector<std::string_view> fields(std::string_view line, size_t limit = SIZE_MAX) {
    std::vector<std::string_view> out;
    if (limit != SIZE_MAX) out.reserve(limit);
    size_t i = 0;
    while (i < line.size() && out.size() < limit) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        size_t b = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > b) out.push_back(line.substr(b, i - b));
    }
    return out;
}

template <class F>
void forEachLine(std::string_view text, F f) {
    size_t i = 0;
    while (i < text.size()) {
        size_t e = text.find('\n', i);
        if (e == std::string_view::npos) e = text.size();
        std::string_view line = text.substr(i, e - i);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        f(line);
        i = e + 1;
    }
}

bool toU64(std::string_view s, uint64_t& out) {
    if (s.empty()) return false;
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        uint64_t d = static_cast<uint64_t>(c - '0');
        // A number the kernel cannot have written is a damaged line, not a
        // value to wrap around.
        if (v > (UINT64_MAX - d) / 10) return false;
        v = v * 10 + d;
    }
    out = v;
    return true;
}

bool toI64(std::string_view s, int64_t& out) {
    bool neg = !s.empty() && s[0] == '-';
    uint64_t v;
    if (!toU64(neg ? s.substr(1) : s, v)) return false;
    constexpr uint64_t kMax = static_cast<uint64_t>(INT64_MAX);
    if (v > kMax + (neg ? 1 : 0)) return false;
    out = neg ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
    return true;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string unescapeMount(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '7' &&
            s[i + 2] >= '0' && s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
            out +=
                static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool startsWith(std::string_view s, std::string_view p) {
    return s.substr(0, p.size()) == p;
}

}  // namespace

std::optional<ProcStat> parseProcStat(std::string_view text) {
    // "pid (comm) state ppid ..."; comm may hold blanks and parentheses, so
    // it ends at the last ')'.
    size_t open = text.find('(');
    size_t close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return std::nullopt;
    ProcStat p;
    int64_t pid;
    if (!toI64(trim(text.substr(0, open)), pid)) return std::nullopt;
    p.pid = static_cast<int>(pid);
    p.comm = std::string(text.substr(open + 1, close - open - 1));
    auto f = fields(text.substr(close + 1), 22);
    // f[0] is field 3 (state); utime and stime are fields 14 and 15.
    if (f.size() < 22 || f[0].size() != 1) return std::nullopt;
    p.state = f[0][0];
    int64_t v;
    if (!toI64(f[1], v)) return std::nullopt;
    p.ppid = static_cast<int>(v);
    if (!toU64(f[11], p.utime) || !toU64(f[12], p.stime)) return std::nullopt;
    if (toI64(f[17], v)) p.threads = static_cast<int>(v);
    toU64(f[19], p.startTicks);
    toI64(f[21], p.rssPages);
    return p;
}

std::map<std::string, uint64_t> parseMeminfo(std::string_view text) {
    std::map<std::string, uint64_t> out;
    forEachLine(text, [&](std::string_view line) {
        size_t colon = line.find(':');
        if (colon == std::string_view::npos) return;
        auto f = fields(line.substr(colon + 1));
        uint64_t v;
        if (f.empty() || !toU64(f[0], v)) return;
        out[std::string(line.substr(0, colon))] = v;
    });
    return out;
}

std::vector<CpuSocket> parseCpuinfo(std::string_view text) {
    struct Proc {
        int physical = 0;
        int core = -1;
        int cpuCores = 0;
        std::string model, vendor;
        double mhz = 0;
    };
    std::vector<Proc> procs;
    bool inProc = false;
    forEachLine(text, [&](std::string_view line) {
        size_t colon = line.find(':');
        if (colon == std::string_view::npos) return;
        std::string_view key = trim(line.substr(0, colon));
        std::string_view val = trim(line.substr(colon + 1));
        if (key == "processor") {
            uint64_t n;
            if (!toU64(val, n)) return;  // "Processor : ARMv7..." on some boards
            procs.emplace_back();
            inProc = true;
            return;
        }
        if (!inProc) return;
        Proc& p = procs.back();
        int64_t n;
        if (key == "physical id" && toI64(val, n))
            p.physical = static_cast<int>(n);
        else if (key == "core id" && toI64(val, n))
            p.core = static_cast<int>(n);
        else if (key == "cpu cores" && toI64(val, n))
            p.cpuCores = static_cast<int>(n);
        else if (key == "model name")
            p.model = std::string(val);
        else if (key == "vendor_id")
            p.vendor = std::string(val);
        else if (key == "cpu MHz")
            p.mhz = std::strtod(std::string(val).c_str(), nullptr);
    });
    std::map<int, CpuSocket> sockets;
    std::map<int, std::set<int>> coreIds;
    std::map<int, int> cpuCores;
    for (const auto& p : procs) {
        CpuSocket& s = sockets[p.physical];
        s.physicalId = p.physical;
        ++s.logical;
        if (s.model.empty()) s.model = p.model;
        if (s.vendor.empty()) s.vendor = p.vendor;
        if (s.mhz == 0) s.mhz = p.mhz;
        if (p.core >= 0) coreIds[p.physical].insert(p.core);
        if (p.cpuCores > cpuCores[p.physical]) cpuCores[p.physical] = p.cpuCores;
    }
    std::vector<CpuSocket> out;
    for (auto& [id, s] : sockets) {
        s.cores = coreIds.count(id) ? static_cast<int>(coreIds[id].size()) : cpuCores[id];
        out.push_back(s);
    }
    return out;
}

SystemStat parseSystemStat(std::string_view text) {
    SystemStat st;
    int running = 0, blocked = 0;
    forEachLine(text, [&](std::string_view line) {
        auto f = fields(line);
        if (f.empty()) return;
        if (f[0] == "cpu" && f.size() >= 5) {
            uint64_t v, total = 0;
            for (size_t i = 1; i < f.size(); ++i) {
                if (!toU64(f[i], v)) return;
                // guest columns are already counted in user and nice
                if (i <= 8) total += v;
                if (i == 4 || i == 5) st.idleTicks += v;
            }
            st.totalTicks = total;
            st.valid = true;
        } else if (f[0] == "btime" && f.size() >= 2) {
            toI64(f[1], st.btime);
        } else if (f[0] == "procs_running" && f.size() >= 2) {
            running = std::atoi(std::string(f[1]).c_str());
        } else if (f[0] == "procs_blocked" && f.size() >= 2) {
            blocked = std::atoi(std::string(f[1]).c_str());
        }
    });
    st.processes = running + blocked;
    return st;
}

std::optional<double> parseUptime(std::string_view text) {
    auto f = fields(text.substr(0, text.find('\n')));
    if (f.empty()) return std::nullopt;
    std::string s(f[0]);
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (end == s.c_str() || *end != '\0' || v < 0) return std::nullopt;
    return v;
}

std::vector<MountEntry> parseMounts(std::string_view text) {
    std::vector<MountEntry> out;
    forEachLine(text, [&](std::string_view line) {
        auto f = fields(line);
        if (f.size() < 4) return;
        out.push_back(
            {unescapeMount(f[0]), unescapeMount(f[1]), std::string(f[2]), std::string(f[3])});
    });
    return out;
}

std::vector<SwapEntry> parseSwaps(std::string_view text) {
    std::vector<SwapEntry> out;
    bool header = true;
    forEachLine(text, [&](std::string_view line) {
        if (header) {
            header = false;
            if (startsWith(line, "Filename")) return;
        }
        auto f = fields(line);
        SwapEntry e;
        if (f.size() < 4 || !toU64(f[2], e.sizeKb) || !toU64(f[3], e.usedKb)) return;
        e.name = unescapeMount(f[0]);
        e.type = std::string(f[1]);
        out.push_back(std::move(e));
    });
    return out;
}

std::vector<NetDevEntry> parseNetDev(std::string_view text) {
    std::vector<NetDevEntry> out;
    forEachLine(text, [&](std::string_view line) {
        size_t colon = line.find(':');
        if (colon == std::string_view::npos || line.find('|') != std::string_view::npos) return;
        auto f = fields(line.substr(colon + 1));
        NetDevEntry e;
        if (f.size() < 10 || !toU64(f[0], e.rxBytes) || !toU64(f[1], e.rxPackets) ||
            !toU64(f[8], e.txBytes) || !toU64(f[9], e.txPackets))
            return;
        e.name = std::string(trim(line.substr(0, colon)));
        if (e.name.empty()) return;
        out.push_back(std::move(e));
    });
    return out;
}

std::vector<std::string> parseNetProtocols(std::string_view text) {
    std::vector<std::string> out;
    bool header = true;
    forEachLine(text, [&](std::string_view line) {
        auto f = fields(line);
        if (f.empty()) return;
        if (header) {
            header = false;
            if (f[0] == "protocol") return;
        }
        // A protocol line has its size and socket count as numbers.
        uint64_t v;
        if (f.size() < 3 || !toU64(f[1], v)) return;
        out.emplace_back(f[0]);
    });
    return out;
}

std::vector<UnitEntry> parseListUnits(std::string_view text) {
    std::vector<UnitEntry> out;
    forEachLine(text, [&](std::string_view line) {
        line = trim(line);
        // A failed unit may be marked with a leading bullet.
        if (startsWith(line, "\xe2\x97\x8f"))
            line = trim(line.substr(3));
        else if (startsWith(line, "* "))
            line = trim(line.substr(2));
        auto f = fields(line);
        if (f.size() < 4) return;
        UnitEntry u{std::string(f[0]), std::string(f[1]), std::string(f[2]), std::string(f[3]), {}};
        if (u.unit.size() < 9 || u.unit.substr(u.unit.size() - 8) != ".service") return;
        // The description is the rest of the line after the fourth field.
        size_t pos = static_cast<size_t>(f[3].data() - line.data()) + f[3].size();
        u.description = std::string(trim(line.substr(pos)));
        out.push_back(std::move(u));
    });
    return out;
}

std::vector<UnitFileEntry> parseListUnitFiles(std::string_view text) {
    std::vector<UnitFileEntry> out;
    forEachLine(text, [&](std::string_view line) {
        auto f = fields(line);
        if (f.size() < 2) return;
        std::string unit(f[0]);
        if (unit.size() < 9 || unit.substr(unit.size() - 8) != ".service") return;
        out.push_back({std::move(unit), std::string(f[1])});
    });
    return out;
}

std::map<std::string, std::string> parseKeyValues(std::string_view text) {
    std::map<std::string, std::string> out;
    forEachLine(text, [&](std::string_view line) {
        size_t eq = line.find('=');
        if (eq == std::string_view::npos || eq == 0) return;
        out.emplace(std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)));
    });
    return out;
}

JournalEvent mapJournalRecord(const std::map<std::string, std::string>& fields,
                              int64_t realtimeUs) {
    auto get = [&](const char* k) -> const std::string* {
        auto it = fields.find(k);
        return it == fields.end() ? nullptr : &it->second;
    };
    JournalEvent e;
    int facility = -1;
    if (auto f = get("SYSLOG_FACILITY")) facility = std::atoi(f->c_str());
    const std::string* transport = get("_TRANSPORT");
    const std::string* unit = get("_SYSTEMD_UNIT");
    const bool userUnit = get("_SYSTEMD_USER_UNIT") != nullptr;
    const bool sessionScope = unit && startsWith(*unit, "session-");
    if (facility == 4 || facility == 10)
        e.logFile = "Security";  // auth, authpriv
    else if ((transport && *transport == "kernel") || facility == 0)
        e.logFile = "System";
    else if (facility == 3 || (unit && !userUnit && !sessionScope && !startsWith(*unit, "user@")))
        e.logFile = "System";  // daemon facility or a system service
    else
        e.logFile = "Application";

    int prio = 6;
    if (auto p = get("PRIORITY")) prio = std::atoi(p->c_str());
    e.eventType = prio <= 3 ? 1 : (prio == 4 ? 2 : 3);

    if (auto s = get("SYSLOG_IDENTIFIER"))
        e.source = *s;
    else if (auto c = get("_COMM"))
        e.source = *c;
    else if (transport && *transport == "kernel")
        e.source = "kernel";
    if (auto m = get("MESSAGE")) e.message = *m;
    if (auto h = get("_HOSTNAME")) e.computer = *h;
    e.writtenUs = realtimeUs;
    e.generatedUs = realtimeUs;
    if (auto s = get("_SOURCE_REALTIME_TIMESTAMP")) {
        int64_t v;
        if (toI64(*s, v) && v > 0) e.generatedUs = v;
    }
    return e;
}

int driveTypeOf(const MountEntry& m, bool removable) {
    static const std::set<std::string> kNetwork = {
        "nfs", "nfs4",   "cifs",      "smb3",       "smbfs",          "ncpfs",
        "afs", "ceph",   "glusterfs", "fuse.sshfs", "fuse.glusterfs", "fuse.cephfs",
        "9p",  "lustre", "gpfs",      "ocfs2"};
    if (kNetwork.count(m.fstype)) return 4;
    if (!startsWith(m.source, "/dev/")) return 0;
    if (m.fstype == "iso9660" || m.fstype == "udf" || startsWith(m.source, "/dev/sr") ||
        startsWith(m.source, "/dev/cdrom"))
        return 5;
    if (startsWith(m.source, "/dev/ram") || startsWith(m.source, "/dev/zram")) return 6;
    if (removable) return 2;
    return 3;
}

std::string blockDeviceOf(std::string_view source) {
    if (!startsWith(source, "/dev/")) return {};
    size_t slash = source.rfind('/');
    return std::string(source.substr(slash + 1));
}

}  // namespace tw::platform::linuxsrc
