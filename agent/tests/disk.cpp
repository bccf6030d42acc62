#include "agent/tests/disk.h"

#include <cstdint>

#include "base/builtintests.h"
#include "base/datestamp.h"
#include "base/twlog.h"
#include "agent/tests/reporttext.h"
#include "agent/wmi/fetch.h"

namespace tw {

namespace {

bool isdigitchar(char c) {
    return c >= '0' && c <= '9';
}

// Decimal digits from p on, saturating at the 32-bit limit; p moves past them.
int digitsat(std::string_view s, size_t& p) {
    int64_t v = 0;
    while (p < s.size() && isdigitchar(s[p])) {
        if (v <= INT32_MAX) v = v * 10 + (s[p] - '0');
        ++p;
    }
    return v > INT32_MAX ? INT32_MAX : static_cast<int>(v);
}

bool isunit(char c) {
    return c == 'K' || c == 'M' || c == 'G';
}

double kilobytes(int number, char unit) {
    switch (unit) {
        case 'G':
            return number * 1048576.0;
        case 'M':
            return number * 1024.0;
        default:
            return number;
    }
}

// A drive's letter as the table and the lines show it; a drive that came
// without a name shows '?'.
char letterof(const DiskSample& d) {
    return d.name.empty() ? '?' : d.name[0];
}

}  // namespace

std::optional<std::vector<DiskSample>> wmidisk(WmiSession& session) {
    static const FetchDef def{"SELECT * FROM Win32_LogicalDisk", kMaxDiskSamples, "in wmidisk\n",
                              "size=%d leave wmidisk\n"};
    return fetchrecords<DiskSample>(session, def, [](const WmiRow& row, DiskSample& d) {
        d.name = row.text("Name");
        d.type = row.int32("DriveType");
        d.size = row.number("Size");
        d.free = row.number("FreeSpace");
        d.volume = row.text("VolumeName");
        d.description = row.text("Description");
    });
}

std::optional<std::vector<DiskSample>> wmidiskretry(WmiSession& session) {
    return fetchwithretry<DiskSample>(session, [&session] { return wmidisk(session); });
}

std::string_view drivetypeword(int type) {
    switch (type) {
        case 2:
            return "REMOVABLE";
        case 3:
            return "FIXED";
        case 4:
            return "REMOTE";
        case 5:
            return "CDROM";
        case 6:
            return "RAMDISK";
        default:
            return "???";
    }
}

DiskThresholds parsediskentry(std::string_view disklist, size_t at, int defaultRed) {
    DiskThresholds t;
    size_t p = at + 2;  // past the letter and its colon
    t.yellowNumber = digitsat(disklist, p);
    if (p < disklist.size() && isunit(disklist[p])) t.yellowUnit = disklist[p++];
    bool hasRed = false;
    if (p < disklist.size() && disklist[p] == ':') {
        ++p;
        hasRed = true;
        t.redNumber = digitsat(disklist, p);
        if (p < disklist.size() && isunit(disklist[p])) t.redUnit = disklist[p++];
    }
    t.absolute = t.yellowUnit && t.redUnit;
    if (t.absolute) {
        t.yellow = kilobytes(t.yellowNumber, t.yellowUnit);
        t.red = kilobytes(t.redNumber, t.redUnit);
    } else {
        // A unit letter on one threshold only is stepped over: percentages.
        t.yellow = t.yellowNumber;
        t.red = hasRed ? t.redNumber : defaultRed;
    }
    return t;
}

std::string freespacetext(double freeKb) {
    if (freeKb < 1024) return strformat("%.0fK", freeKb);
    if (freeKb < 1048576) return strformat("%.3fM", freeKb / 1024);
    return strformat("%.3fG", freeKb / 1048576);
}

std::string disklistletters(std::string_view disklist) {
    std::string letters;
    for (size_t i = 0; i < disklist.size(); ++i) {
        const char c = disklist[i];
        if (c < 'A' || c > 'Z') continue;
        if (i > 0 && !iswhite(disklist[i - 1])) continue;
        // Each letter once: a drive named twice is still one drive, and the
        // text stays within the 26 letters however long DiskList is.
        if (letters.find(c) == std::string::npos) letters.push_back(c);
    }
    return letters;
}

Colour missingdrivecolour(std::string_view disklist, size_t letterAt) {
    size_t p = letterAt + 1;
    auto skip = [&](bool (*pred)(char)) {
        while (p < disklist.size() && pred(disklist[p])) ++p;
    };
    auto colon = [](char c) { return c == ':'; };
    skip(colon);
    skip(isdigitchar);
    skip(colon);
    skip(isdigitchar);
    skip(colon);
    return p < disklist.size() && disklist[p] == 'Y' ? Colour::Yellow : Colour::Red;
}

void disktest(const TestContext<DiskSettings>& t) {
    const DiskSettings& s = t.settings;
    const char mode = s.mode;
    if (testdisabled(mode, kDiskTest.word)) return;
    const std::string& disklist = s.disklist;
    logentering("disk service");
    twlog("\r\nDisk exception list: %s\r\n", disklist.c_str());

    Colour colour = Colour::Green;
    std::string body = realnamehead(s.realcompName);
    std::string table = "\r\nFilesystem   1K-blocks     Used    Avail Capacity  Mounted\r\n";

    auto drives = wmidiskretry(t.wmi);
    if (!drives) return;

    const int diskYellow = s.yellow;
    const int diskRed = s.red;
    std::string found;
    for (const DiskSample& drive : *drives) {
        const char letter = letterof(drive);
        if (!drive.name.empty() && found.find(letter) == std::string::npos) found.push_back(letter);
        const std::string_view typeword = drivetypeword(drive.type);
        bool watched = drive.type == 3 && disklist.empty();
        twlog("%s is of %.*s type\r\n", drive.name.c_str(), static_cast<int>(typeword.size()),
              typeword.data());

        DiskThresholds lv;
        lv.yellow = diskYellow;
        lv.red = diskRed;
        // A drive without a name occurs nowhere in DiskList.
        const size_t at = drive.name.empty() ? std::string::npos : disklist.find(drive.name);
        if (at != std::string::npos) {
            watched = true;
            if (drive.name.size() > 1 && drive.name[1] == ':')
                lv = parsediskentry(disklist, at, diskRed);
        }
        if (!watched && !(drive.type == 0 && drive.size != 0)) continue;

        const double size = drive.size / 1024;
        const double free = drive.free / 1024;
        const double used = size - free;
        const double share = size > 0 ? used * 100 / size : 0;
        twlog("\tDiskList is   <%s>}\r\n", disklist.c_str());
        if (lv.absolute)
            twlog("\tyellow: %f   red: %f\r\n", lv.yellow, lv.red);
        else
            twlog("\tyellow: %3.0f   red: %3.0f\r\n", lv.yellow, lv.red);
        twlog("\ttotal: %12.0f   avail: %12.0f  used: %12.0f   %%%3.0f\r\n", size, free, used,
              share);

        std::optional<Colour> finding;
        if (watched && evaluates(mode)) {
            twlog("\t%c drive needs to be checked\r\n", letter);
            const bool red = lv.absolute ? free <= lv.red : share >= lv.red;
            const bool yellow = lv.absolute ? free <= lv.yellow : share >= lv.yellow;
            if (red)
                finding = Colour::Red;
            else if (yellow)
                finding = Colour::Yellow;
            if (finding) raise(colour, *finding);
        }

        table += strformat("%c             %8.0f %8.0f %8.0f   %3.0f%%    /%.*s/%c (%s)\r\n",
                           letter, size, used, free, share, static_cast<int>(typeword.size()),
                           typeword.data(), letter, drive.volume.c_str());

        if (!finding) continue;
        const bool red = *finding == Colour::Red;
        if (lv.absolute) {
            body += strformat(red ? "&red /%.*s/%c/ (%s) is below the PANIC level (%d%c)\r\n"
                                  : "&yellow /%.*s/%c/ (%s) is below the WARNING level (%d%c)\r\n",
                              static_cast<int>(typeword.size()), typeword.data(), letter,
                              freespacetext(free).c_str(), red ? lv.redNumber : lv.yellowNumber,
                              red ? lv.redUnit : lv.yellowUnit);
        } else {
            body += strformat(
                red ? "&red /%.*s/%c/ (%3.0f%%) has reached the PANIC level (%3.0f%%)\r\n"
                    : "&yellow /%.*s/%c/ (%3.0f%%) has reached the WARNING level (%3.0f%%)\r\n",
                static_cast<int>(typeword.size()), typeword.data(), letter, share,
                red ? lv.red : lv.yellow);
        }
    }

    // Drives that DiskList names but the machine does not have.
    const std::string listed = disklistletters(disklist);
    twlog("Drives in disk list: <%s>\r\n", listed.c_str());
    twlog("Drives found: <%s>\r\n", found.c_str());
    std::string missing;
    for (char c : listed)
        if (found.find(c) == std::string::npos) missing.push_back(c);
    twlog("Drives not found from disk list: <%s>\r\n", missing.c_str());
    if (evaluates(mode)) {
        for (char c : missing) {
            const char name[3] = {c, ':', 0};
            const size_t at = disklist.find(name);
            // A and B are floppy letters: never reported missing.
            if (at == std::string::npos || c < 'C') continue;
            const Colour miss = missingdrivecolour(disklist, at);
            raise(colour, miss);
            body += strformat("%s%c drive not found\r\n", marker(miss).c_str(), c);
        }
    }

    body += table;
    std::string report =
        statusmessage(s.compName, kDiskTest.word, colourword(colour), datestamp(t.clock), body);
    fitreport(report);
    pageperfsend(t.delivery, report, trend(mode), perfdisk);
    logleaving("disk service");
}

}  // namespace tw
