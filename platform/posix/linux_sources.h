// Parsers of the Linux sources behind the live WMI provider. Each takes the
// raw text of one source (a /proc file, a command's output, a journal
// record) and answers rows; a text that cannot be read answers nullopt or
// skips the lines it cannot read. Readers live in the provider; these are
// pure and tested on recorded samples.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::platform::linuxsrc {

// /proc/<pid>/stat
struct ProcStat {
    int pid = 0;
    std::string comm;
    char state = '?';
    int ppid = 0;
    uint64_t utime = 0, stime = 0;  // clock ticks
    int threads = 0;
    int64_t rssPages = 0;
    uint64_t startTicks = 0;  // since boot
};
std::optional<ProcStat> parseProcStat(std::string_view text);

// /proc/meminfo: name -> value in kB (as written, without the unit).
std::map<std::string, uint64_t> parseMeminfo(std::string_view text);

// /proc/cpuinfo, grouped by physical package.
struct CpuSocket {
    int physicalId = 0;
    int logical = 0;  // processor entries
    int cores = 0;    // distinct core ids (or "cpu cores"), 0 when unknown
    std::string model, vendor;
    double mhz = 0;
};
std::vector<CpuSocket> parseCpuinfo(std::string_view text);

// /proc/stat: boot time and the summed idle time.
struct SystemStat {
    int64_t btime = 0;        // seconds since 1970, 0 when absent
    uint64_t idleTicks = 0;   // idle + iowait over all processors
    uint64_t totalTicks = 0;  // every column of the "cpu" line
    int processes = 0;        // procs_running + procs_blocked
    bool valid = false;       // a "cpu" line was found
};
SystemStat parseSystemStat(std::string_view text);

// /proc/uptime: seconds since boot.
std::optional<double> parseUptime(std::string_view text);

// /proc/self/mounts (octal escapes decoded).
struct MountEntry {
    std::string source, target, fstype, options;
};
std::vector<MountEntry> parseMounts(std::string_view text);

// /proc/swaps; sizes in kB.
struct SwapEntry {
    std::string name, type;
    uint64_t sizeKb = 0, usedKb = 0;
};
std::vector<SwapEntry> parseSwaps(std::string_view text);

// /proc/net/dev
struct NetDevEntry {
    std::string name;
    uint64_t rxBytes = 0, rxPackets = 0, txBytes = 0, txPackets = 0;
};
std::vector<NetDevEntry> parseNetDev(std::string_view text);

// /proc/net/protocols: the protocol names in file order.
std::vector<std::string> parseNetProtocols(std::string_view text);

// `systemctl list-units --type=service --all --plain --no-legend --no-pager`
struct UnitEntry {
    std::string unit, load, active, sub, description;
};
std::vector<UnitEntry> parseListUnits(std::string_view text);

// `systemctl list-unit-files --type=service --no-legend --no-pager`
struct UnitFileEntry {
    std::string unit, state;
};
std::vector<UnitFileEntry> parseListUnitFiles(std::string_view text);

// `systemctl show -p ... unit` and other "Key=Value" lines.
std::map<std::string, std::string> parseKeyValues(std::string_view text);

// One journal record (field name -> value) as an event-log entry.
struct JournalEvent {
    std::string logFile;  // "System", "Security" or "Application"
    int eventType = 3;    // 1 error, 2 warning, 3 information
    std::string source, message, computer;
    int64_t generatedUs = 0, writtenUs = 0;  // microseconds since 1970
};
// realtimeUs: the record's own realtime stamp (when the journal wrote it).
JournalEvent mapJournalRecord(const std::map<std::string, std::string>& fields, int64_t realtimeUs);

// Win32_LogicalDisk's DriveType for a mount: 3 local, 4 network, 2
// removable, 5 optical, 6 RAM-backed; 0 for a mount that is not a disk
// (pseudo and virtual file systems). removable: the block device's
// "removable" flag from /sys.
int driveTypeOf(const MountEntry& m, bool removable);

// The kernel device name of a /dev source ("/dev/sda1" -> "sda1"), for
// /sys/class/block look-ups; empty for other sources.
std::string blockDeviceOf(std::string_view source);

}  // namespace tw::platform::linuxsrc
