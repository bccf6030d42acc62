#include "agent/tests/cpu.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>

#include "agent/core/builtins.h"
#include "agent/core/config.h"
#include "agent/tests/reporttext.h"
#include "agent/wmi/wmi.h"
#include "platform/ascii.h"
#include "test/support/fake_sockets.h"
#include "test/support/report_recorder.h"
#include "test/wmi/wmi_test_support.h"

namespace tw {
namespace {

using testing::FixturePlatform;
using testing::LogCapture;
using testing::ReportRecorder;

using Rows = std::vector<ProcessSample>;

// Ten seconds (in 100-ns units) between the two snapshots.
const Rows kPrevious = {{"Idle", 0, 0, 1e9},
                        {"System", 4, 1e6, 1e9},
                        {"app", 100, 2e6, 1e9},
                        {"db", 200, 0, 1e9},
                        {"_Total", 0, 0, 1e9}};
// On two processors: System 1 %, app 65 %, db 10 %.
const Rows kCurrent = {{"Idle", 0, 5e7, 1.1e9},
                       {"System", 4, 3e6, 1.1e9},
                       {"app", 100, 1.32e8, 1.1e9},
                       {"db", 200, 2e7, 1.1e9},
                       {"_Total", 0, 9e9, 1.1e9}};

const int64_t kNow = 1796700031;
const char* const kOneUser = R"({"Win32_ComputerSystem": [{"Name": "WEB1"}]})";

MemoryInfo eightGigabytes(int64_t uptime = 90000) {
    MemoryInfo m;
    m.boottime = kNow - uptime;
    m.physTotal = 8388608;
    m.physFree = 2097152;
    m.commitTotal = 4194304;
    m.commitFree = 1048576;
    m.virtualTotal = 2097152;
    m.virtualFree = 1047552;
    return m;
}

const std::string kStats =
    "Memory Statistics\r\n"
    "Total Physical memory:           8589934592 bytes (8.00GB)\r\n"
    "Available Physical memory:       2147483648 bytes (2.00GB)\r\n"
    "Total PageFile size:             4294967296 bytes (4.00GB)\r\n"
    "Available PageFile size:         1073741824 bytes (1.00GB)\r\n"
    "Total Virtual memory size:       2147483648 bytes (2.00GB)\r\n"
    "Available Virtual memory size:   1072693248 bytes (1024.00MB)";

const std::string kActive =
    "\r\n\r\nMost active processes\r\n"
    "65.00%\tapp (0x64 [100])\r\n"
    "10.00%\tdb (0xc8 [200])\r\n"
    "01.00%\tSystem (0x4 [4])\r\n";

Config config(const std::string& tests, const std::string& defaults = "") {
    Config c;
    c.modes.parse(tests);
    c.thresholds = parsedefaults(defaults);
    c.host.compName = "web1";
    c.host.realcompName = "web1.corp.lan";
    return c;
}

struct CpuRun {
    explicit CpuRun(const std::string& fixture = kOneUser) : f(fixture), session(f.p) {
        EXPECT_TRUE(session.open());
    }
    // The sent report, "" when none.
    std::string run(const Config& cfg, const MemoryInfo& m, const Rows* current = &kCurrent,
                    const Rows& previous = kPrevious, int numcpu = 2) {
        lines.clear();
        rec = ReportRecorder();
        const CpuSettings s = cpusettings(cfg);
        const Delivery d = rec.delivery();
        cputest({s, session, clock, d}, CpuInput{previous, current, m, kNow, numcpu}, lines);
        return rec.sent().empty() ? std::string() : rec.sent().back();
    }
    FixturePlatform f;
    WmiSession session;
    testing::ManualClock clock{testing::kFixedNow};
    ReportRecorder rec;
    LineArray lines;
};

std::string head(const std::string& colour, const std::string& up, int load) {
    return "status web1.cpu " + colour + " Tue Dec 08 03:20:31 UTC 2026 [web1.corp.lan] up: " + up +
           ", 1 users, 3 procs, load=" + std::to_string(load) + "%, PhysicalMem: 8GB(75%)\r\n\r\n";
}

TEST(CpuReport, EightGigabytesLoadOfTwoSnapshotsAndTheActiveProcessesInModeP) {
    CpuRun r;
    EXPECT_EQ(r.run(config("cpu:P"), eightGigabytes()),
              head("green", "1 days", 76) + "\r\n\r\n" + kStats + kActive);
    EXPECT_EQ(r.rec.order(), (std::vector<std::string>{"page", "send"}));
    // The share lines stay for the procs test, in ascending order.
    EXPECT_EQ(r.lines, (LineArray{"01.00%\tSystem (0x4 [4])\r\n", "10.00%\tdb (0xc8 [200])\r\n",
                                  "65.00%\tapp (0x64 [100])\r\n"}));
}

TEST(CpuReport, ModeTCarriesTheLoadDocumentOnTheSentTextOnly) {
    CpuRun r;
    const std::string plain = head("yellow", "1 days", 76) + "\r\n\r\n" + kStats + kActive;
    EXPECT_EQ(r.run(config("cpu:T", "CPU:70:90"), eightGigabytes()),
              plain +
                  "\n<xml>\n<?xml version=\"1.0\" ?>\n<twperfdata>\n<form> 5.01 </form>\n"
                  "<comm>\n<hname>\nweb1</hname>\n<loc>\n</loc>\n<sname>\ncpu</sname>\n"
                  "<logcol>\nyellow</logcol>\n</comm>\n"
                  "<inst>\n<iname> cpu </iname>\n<icol>\nyellow</icol>\n"
                  "<obj>\n<iobj>\nload%</iobj>\n<val>\n76</val>\n</obj>\n</inst>\n"
                  "</twperfdata>\n</xml>");
    EXPECT_EQ(r.rec.paged(), (std::vector<std::string>{plain}));
}

TEST(CpuReport, ModeGAndOtherLettersAreGreenButKeepTheUptimeLine) {
    CpuRun r;
    Config cfg = config("cpu:G", "CPU:10:20");
    cfg.cpurebootmins = 60;
    cfg.cpurebootcolor = "R";
    const std::string expected = head("green", "0:59", 76) +
                                 "&red Machine recently rebooted\r\n\r\n\r\n\r\n" + kStats +
                                 kActive;
    EXPECT_EQ(r.run(cfg, eightGigabytes(3599)), expected);
    cfg.modes.parse("cpu:Q");
    EXPECT_EQ(r.run(cfg, eightGigabytes(3599)), expected);
}

TEST(CpuReport, LoadThresholdsReplaceTheUptimeColour) {
    CpuRun r;
    Config cfg = config("cpu:P", "CPU:70:90");
    cfg.cpurebootmins = 60;
    cfg.cpurebootcolor = "Red";
    // Reboot colour red, load between yellow and red: yellow.
    EXPECT_EQ(r.run(cfg, eightGigabytes(3599)),
              head("yellow", "0:59", 76) + "&red Machine recently rebooted\r\n\r\n\r\n\r\n" +
                  kStats + kActive);
    cfg.thresholds = parsedefaults("CPU:50:76");
    EXPECT_EQ(r.run(cfg, eightGigabytes(3599)).rfind("status web1.cpu red ", 0), 0u);
    cfg.thresholds = parsedefaults("");
    EXPECT_EQ(r.run(cfg, eightGigabytes(3599)).rfind("status web1.cpu red ", 0), 0u)
        << "below the load thresholds the reboot colour holds";
}

TEST(CpuReport, RebootAndUpDaysRulesWithTheirBoundaries) {
    CpuRun r;
    Config cfg = config("cpu:P");
    cfg.cpurebootmins = 60;
    cfg.cpurebootcolor = "G";
    EXPECT_EQ(r.run(cfg, eightGigabytes(3600)),
              head("green", "1:00", 76) + "\r\n\r\n" + kStats + kActive)
        << "at 60 minutes the reboot rule no longer fires";
    cfg.cpurebootcolor = "";
    EXPECT_EQ(r.run(cfg, eightGigabytes(0)),
              head("yellow", "0:00", 76) +
                  "&yellow Machine recently rebooted (invalid color in configuration, using "
                  "default)\r\n\r\n\r\n\r\n" +
                  kStats + kActive);

    cfg.cpurebootmins = 0;
    cfg.cpuupdays = 1;
    cfg.cpuupdayscolor = "Y";
    EXPECT_EQ(r.run(cfg, eightGigabytes(86400)),
              head("green", "1 days", 76) + "\r\n\r\n" + kStats + kActive);
    EXPECT_EQ(r.run(cfg, eightGigabytes(3 * 86400 + 5)),
              head("yellow", "3 days", 76) + "&yellow Machine has been up 3 days\r\n\r\n\r\n\r\n" +
                  kStats + kActive);
    cfg.cpuupdayscolor = "Blue";
    EXPECT_NE(r.run(cfg, eightGigabytes(3 * 86400))
                  .find("&yellow Machine has been up 3 days (invalid color in configuration, using "
                        "default)\r\n\r\n"),
              std::string::npos);
    // A boot time after the test time counts as just booted, not as negative hours.
    cfg.cpuupdays = 999;
    EXPECT_EQ(r.run(cfg, eightGigabytes(-7200)),
              head("green", "0:00", 76) + "\r\n\r\n" + kStats + kActive);
}

TEST(CpuReport, UnknownBootTimeFallsBackToTheSystemCounterAndUsersCanFail) {
    MemoryInfo m = eightGigabytes();
    m.boottime = 0;
    CpuRun up(R"({"Win32_ComputerSystem": [{"Name": "A"}, {"Name": "B"}],
                  "Win32_PerfFormattedData_PerfOS_System": [{"SystemUpTime": "7260"}]})");
    EXPECT_EQ(
        up.run(config("cpu:P"), m)
            .rfind("status web1.cpu green Tue Dec 08 03:20:31 UTC 2026 [web1.corp.lan] up: 2:01, 2 "
                   "users, 3 procs, load=76%, ",
                   0),
        0u);

    CpuRun none(R"({"Win32_PerfFormattedData_PerfOS_System": [{"SystemUpTime": 7260}]})");
    LogCapture log;
    EXPECT_EQ(
        none.run(config("cpu:P"), m)
            .rfind("status web1.cpu green Tue Dec 08 03:20:31 UTC 2026 [web1.corp.lan] up: 0:00, 0 "
                   "users, 3 procs, load=76%, ",
                   0),
        0u);
    EXPECT_NE(log.text().find(
                  "LastBootUpTime is 0, try get it from Win32_PerfFormattedData_PerfOS_System \r\n"
                  "in wmigetsystemuptime\n"
                  "can't get sysuptime from Win32_PerfFormattedData_PerfOS_System \r\n"),
              std::string::npos)
        << log.text();
}

TEST(CpuReport, NoReportWithoutSnapshotOrWithTwoRowsOrWhenDisabled) {
    CpuRun r;
    LogCapture log;
    EXPECT_EQ(r.run(config("cpu:P"), eightGigabytes(), nullptr), "");
    EXPECT_NE(log.text().find("Aborting CPU check as the procs array is undefined\r\n"),
              std::string::npos);
    Rows two(kCurrent.begin(), kCurrent.begin() + 2);
    for (const Rows& rows : {Rows{}, Rows(1, kCurrent[1]), two}) {
        EXPECT_EQ(r.run(config("cpu:P"), eightGigabytes(), &rows), "");
        EXPECT_TRUE(r.rec.order().empty());
    }
    EXPECT_NE(log.text().find("Aborting CPU check as the zero procs\r\n"), std::string::npos);
    EXPECT_EQ(r.run(config("cpu:D"), eightGigabytes()), "");
    EXPECT_NE(log.text().find("cpu test disabled.\r\n"), std::string::npos);
}

TEST(CpuReport, NothingMatchedMeansNoActiveListAndAZeroPhysicalTotalNoNan) {
    CpuRun r;
    MemoryInfo m;
    m.boottime = kNow - 60;
    const Rows previous = {{"other", 7, 0, 1}};
    std::string text = r.run(config("cpu:P"), m, &kCurrent, previous);
    EXPECT_EQ(
        text,
        "status web1.cpu green Tue Dec 08 03:20:31 UTC 2026 [web1.corp.lan] up: 0:01, 1 users, "
        "3 procs, load=0%, PhysicalMem: 1MB(0%)\r\n\r\n\r\n\r\n"
        "Memory Statistics\r\n"
        "Total Physical memory:                    0 bytes (1.00MB)\r\n"
        "Available Physical memory:                0 bytes (1.00MB)\r\n"
        "Total PageFile size:                      0 bytes (1.00MB)\r\n"
        "Available PageFile size:                  0 bytes (1.00MB)\r\n"
        "Total Virtual memory size:                0 bytes (1.00MB)\r\n"
        "Available Virtual memory size:            0 bytes (1.00MB)");
}

TEST(CpuReport, TenLargestSharesLargestFirstInTextOrder) {
    Rows previous, current;
    // Shares 1..12 % on one processor, then one process at 100 %.
    for (int i = 1; i <= 13; ++i) {
        const double share = i == 13 ? 100 : i;
        previous.push_back({"p" + std::to_string(i), i, 0, 0});
        current.push_back({"p" + std::to_string(i), i, share * 1e4, 1e6});
    }
    current.push_back({"_Total", 0, 0, 1e6});
    CpuRun r;
    std::string text = r.run(config("cpu:P"), eightGigabytes(), &current, previous, 1);
    // As text 100.00% sorts between 10.00% and 11.00%.
    EXPECT_NE(
        text.find("Most active processes\r\n"
                  "12.00%\tp12 (0xc [12])\r\n11.00%\tp11 (0xb [11])\r\n100.00%\tp13 (0xd [13])\r\n"
                  "10.00%\tp10 (0xa [10])\r\n09.00%\tp9 (0x9 [9])\r\n08.00%\tp8 (0x8 [8])\r\n"
                  "07.00%\tp7 (0x7 [7])\r\n06.00%\tp6 (0x6 [6])\r\n05.00%\tp5 (0x5 [5])\r\n"
                  "04.00%\tp4 (0x4 [4])\r\n"),
        std::string::npos)
        << text;
    EXPECT_EQ(text.find("03.00%"), std::string::npos);
    EXPECT_NE(text.find("load=178%"), std::string::npos);
    EXPECT_EQ(r.lines.size(), 13u);
}

TEST(CpuLoad, MatchesByIdAndNameTogetherAndNeverALaterTimestamp) {
    const Rows previous = {{"svc", 10, 0, 100},
                           {"svc", 11, 0, 100},
                           {"old", 12, 0, 100},
                           {"late", 13, 0, 500},
                           {"Idle", 0, 0, 100}};
    const Rows current = {{"svc", 10, 10, 200},   // 10 %
                          {"svc", 11, 20, 200},   // 20 %: same name, other id
                          {"new", 12, 90, 200},   // id reused by another program
                          {"late", 13, 90, 200},  // counters reset: previous timestamp greater
                          {"Idle", 0, 90, 200},   // id 0 is never examined
                          {"svc", 10, 99, 300}};  // the last row is never examined
    LineArray lines;
    EXPECT_DOUBLE_EQ(cpuload(previous, current, 1, lines), 30);
    EXPECT_EQ(lines, (LineArray{"10.00%\tsvc (0xa [10])\r\n", "20.00%\tsvc (0xb [11])\r\n"}));
}

TEST(CpuLoad, FirstMatchInPreviousOrderAmongRowsOfOneProcess) {
    const Rows previous = {{"a", 5, 0, 50}, {"a", 5, 10, 40}, {"a", 5, 20, 30}, {"a", 5, 0, 60}};
    LineArray lines;
    // Timestamp 55: the row at 50 comes first. 45: the one at 40. 35: the one at 30.
    EXPECT_DOUBLE_EQ(cpuload(previous, {{"a", 5, 50, 55}, {"_Total", 0, 0, 0}}, 1, lines), 1000);
    EXPECT_DOUBLE_EQ(cpuload(previous, {{"a", 5, 60, 45}, {"_Total", 0, 0, 0}}, 1, lines), 1000);
    EXPECT_DOUBLE_EQ(cpuload(previous, {{"a", 5, 70, 35}, {"_Total", 0, 0, 0}}, 1, lines), 1000);
    EXPECT_DOUBLE_EQ(cpuload(previous, {{"a", 5, 70, 25}, {"_Total", 0, 0, 0}}, 1, lines), 0);
}

TEST(CpuLoad, BackwardCountersAndStandingTimestampsAddNothingNorNan) {
    const Rows previous = {{"back", 1, 500, 100}, {"still", 2, 0, 100}, {"nan", 3, 0, 100}};
    const Rows current = {{"back", 1, 100, 200},
                          {"still", 2, 50, 100},
                          {"nan", 3, std::nan(""), 200},
                          {"_Total", 0, 0, 0}};
    LineArray lines;
    EXPECT_EQ(cpuload(previous, current, 1, lines), 0);
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(cpuload({}, {}, 1, lines), 0);
    EXPECT_EQ(cpuload(previous, {{"back", 1, 900, 200}}, 0, lines), 0)
        << "a single row is the last";
    EXPECT_EQ(cpuload(previous, {{"back", 1, 900, 200}, {"x", 0, 0, 0}}, 0, lines), 400)
        << "a processor count below 1 counts as 1";
}

// The rule as written, searched row by row, to hold the index to it.
double byScan(const Rows& previous, const Rows& current, LineArray& lines) {
    double sum = 0;
    for (size_t i = 0; i + 1 < current.size(); ++i) {
        const ProcessSample& c = current[i];
        if (c.pid == 0) continue;
        for (const ProcessSample& p : previous) {
            if (p.pid != c.pid || p.name != c.name || p.timestamp > c.timestamp) continue;
            if (c.timestamp > p.timestamp && c.cputime >= p.cputime) {
                double share = (c.cputime - p.cputime) * 100 / (c.timestamp - p.timestamp);
                sum += share;
                lines.push_back(strformat("%05.2f%%\t%s (0x%x [%d])\r\n", share, c.name.c_str(),
                                          static_cast<unsigned>(c.pid), c.pid));
            }
            break;
        }
    }
    return sum;
}

TEST(CpuLoad, IndexAgreesWithARowByRowSearchOnRandomSnapshots) {
    std::mt19937 rng(7);
    auto pick = [&](int n) { return static_cast<int>(rng() % n); };
    const char* names[] = {"a", "b", "A", "svc"};
    size_t matched = 0;
    for (int round = 0; round < 200; ++round) {
        Rows previous, current;
        int np = pick(40), nc = pick(40);
        for (int i = 0; i < np; ++i)
            previous.push_back({names[pick(4)], pick(6), double(pick(50)), double(pick(20))});
        for (int i = 0; i < nc; ++i)
            current.push_back({names[pick(4)], pick(6), double(pick(80)), double(pick(30))});
        LineArray got, want;
        double sum = cpuload(previous, current, 1, got);
        double expected = byScan(previous, current, want);
        std::stable_sort(want.begin(), want.end(), [](const std::string& x, const std::string& y) {
            return toLower(x) < toLower(y);
        });
        ASSERT_DOUBLE_EQ(sum, expected) << "round " << round;
        ASSERT_EQ(got, want) << "round " << round;
        matched += want.size();
    }
    EXPECT_GT(matched, 300u) << "the rounds must exercise matches";
}

TEST(CpuFigures, LoadRoundsHalfUpWithinTheIntRange) {
    EXPECT_EQ(loadpercent(34.5), 35);
    EXPECT_EQ(loadpercent(34.49), 34);
    EXPECT_EQ(loadpercent(1e300), INT_MAX);
    EXPECT_EQ(loadpercent(std::nan("")), 0);
    EXPECT_EQ(loadpercent(-0.5), 0);
    EXPECT_EQ(loadpercent(-0.51), -1);
    EXPECT_EQ(loadpercent(-1e300), INT_MIN);
    EXPECT_EQ(loadpercent(2147483646.5), INT_MAX);
    EXPECT_EQ(loadpercent(-2147483648.6), INT_MIN);
    EXPECT_EQ(loadpercent(-2147483647.4), -2147483647);
}

// The whole part is taken without the maths library; it must agree with it.
TEST(CpuFigures, WholePartAgreesWithTruncIncludingSignAndEnds) {
    for (double v : {0.0, -0.0, 0.3, -0.3, 999.99, -1000.5, 4503599627370495.5, 4503599627370496.0,
                     -9007199254740993.0, 1e300, -1e-300, HUGE_VAL, -HUGE_VAL}) {
        EXPECT_EQ(wholepart(v), std::trunc(v)) << v;
        EXPECT_EQ(std::signbit(wholepart(v)), std::signbit(std::trunc(v))) << v;
    }
    EXPECT_TRUE(std::isnan(wholepart(std::nan(""))));
}

TEST(CpuFetches, UsersAreComputerSystemRowsAndUptimeMustBeAText) {
    FixturePlatform f(R"({"Win32_ComputerSystem": [{"Name": "A"}, {"Name": "B"}, {"Name": "C"}],
                          "Win32_PerfFormattedData_PerfOS_System": [{"SystemUpTime": "86500"}]})");
    WmiSession s(f.p);
    ASSERT_TRUE(s.open());
    EXPECT_EQ(wminumusers(s), 3);
    EXPECT_EQ(wmigetsystemuptime(s), 86500);

    FixturePlatform g(R"({"Win32_PerfFormattedData_PerfOS_System": [{"SystemUpTime": 86500}]})");
    WmiSession s2(g.p);
    ASSERT_TRUE(s2.open());
    EXPECT_EQ(wminumusers(s2), std::nullopt);
    EXPECT_EQ(wmigetsystemuptime(s2), 0) << "an integer is not the text the counter comes as";

    FixturePlatform h(R"({"Win32_PerfFormattedData_PerfOS_System": []})");
    WmiSession s3(h.p);
    ASSERT_TRUE(s3.open());
    EXPECT_EQ(wmigetsystemuptime(s3), 0);
}

}  // namespace
}  // namespace tw
