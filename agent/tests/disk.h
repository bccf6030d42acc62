// The disk test: the logical drives as a disk-free table, with yellow or
// red lines for drives whose used share has reached a percentage threshold
// or whose free space has fallen below an absolute one, and for drives
// named in DiskList that are missing. Test word "disk".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "agent/tests/framework.h"

namespace tw {

class WmiSession;

// One row of Win32_LogicalDisk.
struct DiskSample {
    std::string name;  // "C:"; at most 99 characters
    int type = 0;      // DriveType
    double size = 0;   // bytes
    double free = 0;   // bytes
    std::string volume;
    std::string description;
};

// Rows filled at most by the drive fetch.
inline constexpr size_t kMaxDiskSamples = 1023;

// "SELECT * FROM Win32_LogicalDisk"; nullopt when the query fails.
std::optional<std::vector<DiskSample>> wmidisk(WmiSession& session);
// The drive fetch repeated (100 attempts, 5 s apart) until it gives a row.
std::optional<std::vector<DiskSample>> wmidiskretry(WmiSession& session);

// "REMOVABLE", "FIXED", "REMOTE", "CDROM", "RAMDISK" or "???".
std::string_view drivetypeword(int type);

// A drive's thresholds as its DiskList entry gives them. A percentage entry
// compares the used share with yellow and red; an absolute entry compares
// the free kilobytes, and keeps the numbers and unit letters as written for
// its lines.
struct DiskThresholds {
    bool absolute = false;
    double yellow = 0, red = 0;  // percent, or kilobytes when absolute
    int yellowNumber = 0, redNumber = 0;
    char yellowUnit = 0, redUnit = 0;
};

// The entry that starts at `at` in the (upper-cased) DiskList, where the
// drive's two-character name stands; diskDefaults gives the red threshold
// an entry leaves out.
DiskThresholds parsediskentry(std::string_view disklist, size_t at, int defaultRed);

// Free kilobytes as the alarm lines show them: "512K", "300.000M", "4.000G".
std::string freespacetext(double freeKb);

// The drive letters of DiskList that stand at its start or after white
// space, each once, in order.
std::string disklistletters(std::string_view disklist);

// The colour a missing drive is reported in: yellow when its entry ends in
// ":Y" after digits only, red otherwise (unit letters stop the step-over).
Colour missingdrivecolour(std::string_view disklist, size_t letterAt);

struct DiskSettings : TestSettings {
    std::string disklist;       // DiskList, upper-cased
    int yellow = 90, red = 95;  // the DISK pair of Defaults
};

// Runs the test: fetch, report, page, performance data in mode T, send.
void disktest(const TestContext<DiskSettings>& t);

}  // namespace tw
