#include "agent/tests/disk.h"

#include <gtest/gtest.h>

#include "platform/ascii.h"
#include "test/support/builtin_tests.h"
#include "test/support/log_capture.h"

namespace tw {
namespace {

using testing::BuiltinHarness;
using testing::kStamp;

// C: 100 GiB with 5 GiB free (95 %), E: 200 GiB with 4 GiB free (98 %), a
// CD-ROM, a network drive and a RAM disk.
const std::string kDrives = R"({"Win32_LogicalDisk": [
    {"Name": "C:", "DriveType": 3, "Size": "107374182400", "FreeSpace": "5368709120",
     "VolumeName": "System", "Description": "Local Fixed Disk"},
    {"Name": "D:", "DriveType": 5, "Size": "0", "FreeSpace": "0", "VolumeName": "CD"},
    {"Name": "E:", "DriveType": 3, "Size": "214748364800", "FreeSpace": "4294967296",
     "VolumeName": "Data"},
    {"Name": "R:", "DriveType": 6, "Size": "1073741824", "FreeSpace": "0", "VolumeName": "Ram"},
    {"Name": "Z:", "DriveType": 4, "Size": "1073741824", "FreeSpace": "0", "VolumeName": "Share"}
]})";

const std::string kHead = "\r\nFilesystem   1K-blocks     Used    Avail Capacity  Mounted\r\n";
const std::string kRowC =
    "C             104857600 99614720  5242880    95%    /FIXED/C (System)\r\n";
const std::string kRowE =
    "E             209715200 205520896  4194304    98%    /FIXED/E (Data)\r\n";

std::string run(BuiltinHarness& h, const std::string& disklist) {
    h.cfg.disklist = toUpper(disklist);
    disktest(h.context(disksettings(h.cfg)));
    return h.report();
}

TEST(DiskReport, PercentageAndAbsoluteEntriesOfTheExample) {
    BuiltinHarness h(kDrives);
    EXPECT_EQ(run(h, "C:80:90 E:10G:5G:Y"),
              std::string("status web1.disk red ") + kStamp +
                  " [web1.corp.lan]\r\n\r\n"
                  "&red /FIXED/C/ ( 95%) has reached the PANIC level ( 90%)\r\n"
                  "&red /FIXED/E/ (4.000G) is below the PANIC level (5G)\r\n" +
                  kHead + kRowC + kRowE);
    // Paged first, then sent; no performance data outside mode T.
    ASSERT_EQ(h.calls.size(), 2u);
    EXPECT_EQ(h.calls[0], "page:" + h.report());
}

TEST(DiskReport, EmptyListWatchesFixedDrivesAgainstTheDiskPairOnly) {
    // A drive of type 0 with a size gets a row, never a line.
    std::string fixture = kDrives;
    fixture.insert(fixture.rfind(']'),
                   R"(, {"Name": "Y:", "DriveType": 0, "Size": "1073741824", "FreeSpace": "0",
                        "VolumeName": "Odd"})");
    BuiltinHarness h(fixture);
    h.cfg.thresholds.diskYellow = 90;
    h.cfg.thresholds.diskRed = 96;
    EXPECT_EQ(run(h, ""), std::string("status web1.disk red ") + kStamp +
                              " [web1.corp.lan]\r\n\r\n"
                              "&yellow /FIXED/C/ ( 95%) has reached the WARNING level ( 90%)\r\n"
                              "&red /FIXED/E/ ( 98%) has reached the PANIC level ( 96%)\r\n" +
                              kHead + kRowC + kRowE +
                              "Y              1048576  1048576        0   100%    /??"
                              "?/Y (Odd)\r\n");
}

TEST(DiskReport, ExactlyAtTheRedPercentageIsRed) {
    BuiltinHarness h(kDrives);
    EXPECT_NE(run(h, "C:50:95").find("&red /FIXED/C/ ( 95%) has reached the PANIC level ( 95%)"),
              std::string::npos);
}

TEST(DiskReport, MissingDrivesByTheirEntriesNeverAOrB) {
    // Only C (50 % used) is present.
    BuiltinHarness h(R"({"Win32_LogicalDisk": [
        {"Name": "C:", "DriveType": 3, "Size": "21474836480", "FreeSpace": "10737418240",
         "VolumeName": "System"}]})");
    testing::LogCapture log;
    // "C:" alone: yellow threshold 0, red from the DISK pair.
    EXPECT_EQ(run(h, "a: b:80:90 C: d:90:95:y E:10G:5G:Y"),
              std::string("status web1.disk red ") + kStamp +
                  " [web1.corp.lan]\r\n\r\n"
                  "&yellow /FIXED/C/ ( 50%) has reached the WARNING level (  0%)\r\n"
                  "&yellow D drive not found\r\n"
                  "&red E drive not found\r\n" +
                  kHead +
                  "C             20971520 10485760 10485760    50%    /FIXED/C (System)\r\n");
    const std::string text = log.text();
    for (const char* line :
         {"\r\nEntering disk service\r\n", "\r\nDisk exception list: A: B:80:90 C: D:90:95:Y",
          "in wmidisk\n", "size=1 leave wmidisk\n", "C: is of FIXED type\r\n",
          "\tyellow:   0   red:  95\r\n", "\tC drive needs to be checked\r\n",
          "Drives in disk list: <ABCDE>\r\n", "Drives found: <C>\r\n",
          "Drives not found from disk list: <ABDE>\r\n", "Leaving disk service\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
}

TEST(DiskReport, YellowMissingDriveLeavesAnEarlierRedRed) {
    BuiltinHarness h(kDrives);
    const std::string r = run(h, "C:10:20 Q:90:95:Y");
    EXPECT_EQ(r.rfind("status web1.disk red ", 0), 0u) << r;
    EXPECT_NE(r.find("&yellow Q drive not found\r\n"), std::string::npos);
}

TEST(DiskReport, AlwaysGreenListsTheTableWithoutFindings) {
    BuiltinHarness h(kDrives, "disk:G");
    EXPECT_EQ(run(h, "C:80:90 E:10G:5G:Y Q:1:2"), std::string("status web1.disk green ") + kStamp +
                                                      " [web1.corp.lan]\r\n\r\n" + kHead + kRowC +
                                                      kRowE);
}

TEST(DiskReport, TrendModeSendsThePerformanceDataButDoesNotPageIt) {
    BuiltinHarness h(kDrives, "disk:t");
    run(h, "C:80:90");
    ASSERT_EQ(h.calls.size(), 2u);
    const std::string page = h.calls[0].substr(5);
    std::string withDoc = page;
    ASSERT_TRUE(perfdisk(withDoc));
    EXPECT_EQ(h.calls[1], "send:" + withDoc);
    EXPECT_NE(withDoc.find("<iname> C </iname>\n<icol>\nred</icol>"), std::string::npos);
}

TEST(DiskReport, DisabledAndUnavailableGiveNoReport) {
    {
        BuiltinHarness h(kDrives, "disk:d");
        testing::LogCapture log;
        run(h, "");
        EXPECT_TRUE(h.calls.empty());
        EXPECT_EQ(log.text(), "disk test disabled.\r\n");
    }
    // No Win32_LogicalDisk at all: 100 attempts, 5 s apart, then nothing.
    BuiltinHarness h(R"({})");
    const int64_t before = h.clock.now();
    run(h, "");
    EXPECT_TRUE(h.calls.empty());
    EXPECT_EQ(h.clock.now() - before, 99 * 5);
}

TEST(DiskReport, ThousandDrivesStayWithinOneStatusMessage) {
    std::string fixture = R"({"Win32_LogicalDisk": [)";
    for (int i = 0; i < 1100; ++i)
        fixture += std::string(i ? "," : "") + R"({"Name": "C:", "DriveType": 3, "Size": "1024",)" +
                   R"( "FreeSpace": "0", "VolumeName": ")" + std::string(40, 'v') + "\"}";
    fixture += "]}";
    BuiltinHarness h(fixture);
    const std::string r = run(h, "");
    EXPECT_LE(r.size(), kStatusMessageMax);
    EXPECT_EQ(r.substr(r.size() - 7), "\r\n...\r\n");
    EXPECT_EQ(r.rfind("status web1.disk red ", 0), 0u);
}

TEST(DiskEntry, ThresholdKindsUnitsAndMalformedEntries) {
    auto at = [](const std::string& list) { return parsediskentry(list, 0, 95); };
    DiskThresholds t = at("E:10G:5G:Y");
    EXPECT_TRUE(t.absolute);
    EXPECT_EQ(t.yellow, 10485760);
    EXPECT_EQ(t.red, 5242880);
    EXPECT_EQ(t.redNumber, 5);
    EXPECT_EQ(t.redUnit, 'G');
    t = at("E:10K:3M");
    EXPECT_TRUE(t.absolute);
    EXPECT_EQ(t.yellow, 10);
    EXPECT_EQ(t.red, 3072);
    // A unit on one threshold only: both are percentages.
    t = at("E:80G:90");
    EXPECT_FALSE(t.absolute);
    EXPECT_EQ(t.yellow, 80);
    EXPECT_EQ(t.red, 90);
    t = at("E:10G");
    EXPECT_FALSE(t.absolute);
    EXPECT_EQ(t.red, 95) << "no red field keeps the DISK red value";
    // Unreadable numbers become 0; nothing reads past the text.
    for (const char* bad : {"E:", "E:ABC", "E::", "E:X:Y:Z", "E:-5:-7"}) {
        t = at(bad);
        EXPECT_EQ(t.yellow, 0) << bad;
    }
    EXPECT_EQ(at("E::").red, 0);
    t = at("E:99999999999999G:1K");
    EXPECT_EQ(t.yellowNumber, 2147483647) << "saturates instead of overflowing";
    EXPECT_TRUE(t.absolute);
    const std::string longest(511, '9');
    t = parsediskentry("C:" + longest, 0, 95);
    EXPECT_EQ(t.yellowNumber, 2147483647);
}

TEST(DiskEntry, FreeSpaceTextsLettersAndMissingColours) {
    EXPECT_EQ(freespacetext(512), "512K");
    EXPECT_EQ(freespacetext(1023), "1023K");
    EXPECT_EQ(freespacetext(1024), "1.000M");
    EXPECT_EQ(freespacetext(307200), "300.000M");
    EXPECT_EQ(freespacetext(4194304), "4.000G");

    EXPECT_EQ(disklistletters("C:80:90 E:10G:5G:Y"), "CE");
    EXPECT_EQ(disklistletters("C:1 D:2\tC:3 9:1 XE:1"), "CDX") << "each letter once";
    std::string many;
    for (int i = 0; i < 120; ++i) many += std::string(1, static_cast<char>('A' + i % 26)) + ": ";
    EXPECT_EQ(disklistletters(many), "ABCDEFGHIJKLMNOPQRSTUVWXYZ") << "more than 31 words";

    EXPECT_EQ(missingdrivecolour("D:90:95:Y", 0), Colour::Yellow);
    EXPECT_EQ(missingdrivecolour("D:Y", 0), Colour::Yellow);
    EXPECT_EQ(missingdrivecolour("D:90:95", 0), Colour::Red);
    EXPECT_EQ(missingdrivecolour("E:10G:5G:Y", 0), Colour::Red);
    EXPECT_EQ(missingdrivecolour("D:", 0), Colour::Red);
    EXPECT_EQ(missingdrivecolour("C:1 D:9:9:Y", 4), Colour::Yellow);
}

}  // namespace
}  // namespace tw
