#include "agent/tests/procs.h"

#include <gtest/gtest.h>

#include "agent/core/builtins.h"
#include "agent/core/config.h"
#include "agent/wmi/wmi.h"
#include "test/support/fake_platform.h"
#include "test/support/fake_sockets.h"
#include "test/support/report_recorder.h"

namespace tw {
namespace {

using testing::LogCapture;
using testing::ReportRecorder;

const std::vector<ProcessSample> kSnapshot = {
    {"Idle", 0, 0, 0},       {"System", 4, 0, 0},  {"svchost", 800, 0, 0}, {"SVCHOST", 804, 0, 0},
    {"notepad", 1200, 0, 0}, {"java", 1300, 0, 0}, {"java", 1301, 0, 0},   {"_Total", 0, 0, 0}};

// As the cpu test leaves them: ascending.
const LineArray kLines = {"05.00%\tjava (0x515 [1301])\r\n", "60.00%\tjava (0x514 [1300])\r\n",
                          "85.00%\tnotepad (0x4b0 [1200])\r\n"};

const std::string kHead = "status web1.procs ";
const std::string kStamp = " Tue Dec 08 03:20:31 UTC 2026 [web1.corp.lan] ";

struct ProcsRun {
    std::string run(const std::string& tests, const std::string& procs,
                    const std::vector<ProcessSample>* snapshot = &kSnapshot,
                    const LineArray* lines = &kLines) {
        Config cfg;
        cfg.modes.parse(tests);
        cfg.procs = procs;
        cfg.host.compName = "web1";
        cfg.host.realcompName = "web1.corp.lan";
        rec = ReportRecorder();
        testing::ManualClock clock{testing::kFixedNow};
        testing::FakePlatform none;
        WmiSession session(none.p);
        const ProcsSettings s = procssettings(cfg);
        const Delivery d = rec.delivery();
        procstest({s, session, clock, d}, snapshot, lines);
        return rec.sent().empty() ? std::string() : rec.sent().back();
    }
    ReportRecorder rec;
};

const std::string kMixed = "svchost:2 notepad:CI50-80 java:CC50-100 mail:0 ftp:1:y Excel";

TEST(ProcsReport, CountsSharesAndPageFlagInModeP) {
    ProcsRun r;
    const std::string expected = kHead + "red" + kStamp + "Some processes are in error\r\n\r\n" +
                                 "&green svchost OK\r\n"
                                 "&red notepad 85.00% \r\n"
                                 "&yellow java 65.00C% \r\n"
                                 "&green mail OK\r\n"
                                 "&red ftp DOWN \r\n"
                                 "&yellow Excel DOWN \r\n";
    EXPECT_EQ(r.run("procs:P", kMixed), expected);
    EXPECT_EQ(r.rec.order(), (std::vector<std::string>{"send", "page"}));
    EXPECT_EQ(r.rec.paged(), r.rec.sent());
    // Mode T adds no performance data to this test.
    EXPECT_EQ(r.run("procs:T", kMixed), expected);
}

TEST(ProcsReport, ModeGMarksEveryLineGreenAndTheLastItemSetsTheSummary) {
    ProcsRun r;
    EXPECT_EQ(r.run("procs:G", kMixed), kHead + "green" + kStamp +
                                            "Some processes are in error\r\n\r\n"
                                            "&green svchost OK\r\n"
                                            "&green notepad 85.00% \r\n"
                                            "&green java 65.00C% \r\n"
                                            "&green mail OK\r\n"
                                            "&green ftp DOWN \r\n"
                                            "&green Excel DOWN \r\n");
    EXPECT_EQ(r.run("procs:G", "ftp:y svchost:2"), kHead + "green" + kStamp +
                                                       "All processes are OK\r\n\r\n"
                                                       "&green ftp DOWN \r\n"
                                                       "&green svchost OK\r\n");
}

TEST(ProcsReport, EmptyProcsHasNothingToCheck) {
    ProcsRun r;
    EXPECT_EQ(r.run("", ""), kHead + "green" + kStamp + "No processes to check\r\n\r\n");
    EXPECT_EQ(r.run("", "   "), kHead + "green" + kStamp + "No processes to check\r\n\r\n");
}

TEST(ProcsReport, TooFewRunningForbiddenRunningAndTheShareLevels) {
    ProcsRun r;
    EXPECT_EQ(r.run("", "notepad:2"),
              kHead + "yellow" + kStamp +
                  "Some processes are in error\r\n\r\n&yellow notepad LESS THAN 2 \r\n");
    EXPECT_EQ(r.run("", "notepad:2:Yes"),
              kHead + "red" + kStamp +
                  "Some processes are in error\r\n\r\n&red notepad LESS THAN 2 \r\n");
    EXPECT_EQ(
        r.run("", "java:0"),
        kHead + "yellow" + kStamp + "Some processes are in error\r\n\r\n&yellow java RUNNING \r\n");
    EXPECT_EQ(
        r.run("", "java:CI50-80"),
        kHead + "yellow" + kStamp + "Some processes are in error\r\n\r\n&yellow java 60.00% \r\n");
    // A red share level turns the line red even without the page flag; the
    // missing instances are still the reason given.
    EXPECT_EQ(r.run("", "notepad:3:CI50"),
              kHead + "red" + kStamp +
                  "Some processes are in error\r\n\r\n&red notepad LESS THAN 3 \r\n");
    // Names match without regard to case, so both svchost rows count.
    EXPECT_EQ(r.run("", "SvcHost:2"),
              kHead + "green" + kStamp + "All processes are OK\r\n\r\n&green SvcHost OK\r\n");
    EXPECT_EQ(r.run("", "svchost:3"),
              kHead + "yellow" + kStamp +
                  "Some processes are in error\r\n\r\n&yellow svchost LESS THAN 3 \r\n");
}

TEST(ProcsReport, SummedLevelsNeedTwoInstancesAndNoLinesMeanNoShareLevels) {
    ProcsRun r;
    EXPECT_EQ(r.run("", "notepad:CC10"),
              kHead + "green" + kStamp + "All processes are OK\r\n\r\n&green notepad OK\r\n");
    EXPECT_EQ(r.run("", "java:CC60-65"),
              kHead + "red" + kStamp + "Some processes are in error\r\n\r\n&red java 65.00C% \r\n");
    LineArray none;
    EXPECT_EQ(r.run("", "notepad:CI1:CC1", &kSnapshot, &none),
              kHead + "green" + kStamp + "All processes are OK\r\n\r\n&green notepad OK\r\n");
    EXPECT_EQ(r.run("", "notepad:CI1:CC1", &kSnapshot, nullptr),
              kHead + "green" + kStamp + "All processes are OK\r\n\r\n&green notepad OK\r\n");
}

TEST(ProcsReport, NoSnapshotOrDisabledSendsNothing) {
    ProcsRun r;
    LogCapture log;
    EXPECT_EQ(r.run("procs:P", kMixed, nullptr), "");
    EXPECT_EQ(r.run("procs:D", kMixed), "");
    EXPECT_TRUE(r.rec.order().empty());
    EXPECT_EQ(log.text(),
              "\r\nEntering procs service\r\nnumprocs: 0\r\n"
              "Aborting PROCS check as the procs array is undefined\r\n"
              "procs test disabled.\r\n");
}

TEST(ProcsReport, ItemLogLines) {
    ProcsRun r;
    LogCapture log;
    r.run("", "mail:0:Y");
    const std::string text = log.text();
    EXPECT_NE(text.find("\r\nProcname: <mail>\r\nIs mail running ? \r\n"
                        "Page if mail is running ? YES\r\n"
                        "Page if mail has more than 0 instances running ? YES\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("procsline: <&green mail OK\r\n> RealcompName: <web1.corp.lan>\r\n"
                        "Process list in registry: <mail:0:Y>\r\nLeaving procs service\r\n"),
              std::string::npos)
        << text;
}

TEST(ProcsReport, AHugeProcsListIsCutAtAWholeLineWithinTheMessageLimit) {
    ProcsRun r;
    std::string procs;
    for (int i = 0; i < 1000; ++i) procs += std::string(90, 'p') + std::to_string(1000 + i) + ":1 ";
    const std::string text = r.run("", procs);
    EXPECT_LE(text.size(), kStatusMessageMax);
    EXPECT_GT(text.size(), kStatusMessageMax - 200);
    EXPECT_EQ(text.substr(text.size() - 8), " DOWN \r\n");
    EXPECT_EQ(text.rfind(kHead + "yellow", 0), 0u);
}

TEST(ProcsParse, ItemsNamesAndOptions) {
    auto items = parseprocs("notepad:2:Y explorer:CI50-80   svchost");
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].name, "notepad");
    EXPECT_EQ(items[0].count, 2);
    EXPECT_TRUE(items[0].page);
    EXPECT_EQ(items[1].name, "explorer");
    EXPECT_EQ(items[1].count, 1);
    EXPECT_FALSE(items[1].page);
    EXPECT_EQ(items[1].ciYellow, 50);
    EXPECT_EQ(items[1].ciRed, 80);
    EXPECT_EQ(items[1].ccYellow, 100);
    EXPECT_EQ(items[2].name, "svchost");

    // White space does not end a name, only an option.
    items = parseprocs("my service:0 last one");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].name, "my service");
    EXPECT_EQ(items[0].count, 0);
    EXPECT_EQ(items[1].name, "last one");

    // Empty names are skipped with their options; an empty option is nothing.
    items = parseprocs("  :3 ::Y x: y::7");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].name, "x");
    EXPECT_EQ(items[0].count, 1);
    EXPECT_FALSE(items[0].page);
    EXPECT_EQ(items[1].name, "y");
    EXPECT_EQ(items[1].count, 7);
    EXPECT_TRUE(parseprocs(":::: : ").empty());

    // Unknown options are ignored.
    items = parseprocs("p:Z:-3:%%:C:CX5");
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].count, 1);
    EXPECT_FALSE(items[0].page);
    EXPECT_EQ(items[0].ciRed, 100);
    EXPECT_EQ(items[0].ccRed, 100);
}

TEST(ProcsParse, ShareLevelForms) {
    struct Case {
        const char* text;
        int ciY, ciR, ccY, ccR;
    } cases[] = {
        {"p:CI50", 50, 50, 100, 100},     {"p:CI50-80", 50, 80, 100, 100},
        {"p:CI50-0", 100, 100, 100, 100}, {"p:CI", 100, 100, 100, 100},
        {"p:CIabc", 100, 100, 100, 100},  {"p:CI50-x", 50, 50, 100, 100},
        {"p:CI0", 0, 0, 100, 100},        {"p:Ci20-30", 100, 100, 20, 30},
        {"p:cc20", 100, 100, 20, 20},     {"p:cI40-45:CC60-70", 40, 45, 60, 70},
        {"p:CI-", 100, 100, 100, 100},
    };
    for (const Case& c : cases) {
        auto items = parseprocs(c.text);
        ASSERT_EQ(items.size(), 1u) << c.text;
        EXPECT_EQ(items[0].ciYellow, c.ciY) << c.text;
        EXPECT_EQ(items[0].ciRed, c.ciR) << c.text;
        EXPECT_EQ(items[0].ccYellow, c.ccY) << c.text;
        EXPECT_EQ(items[0].ccRed, c.ccR) << c.text;
    }
}

TEST(ProcsParse, LongNamesAreKeptToTheSnapshotNameLength) {
    for (size_t n : {31u, 32u, 99u})
        EXPECT_EQ(parseprocs(std::string(n, 'n') + ":2")[0].name.size(), n);
    auto items = parseprocs(std::string(100, 'n') + ":2:Y next");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].name, std::string(99, 'n'));
    EXPECT_EQ(items[0].count, 2) << "the options after a cut name still count";
    EXPECT_TRUE(items[0].page);
    EXPECT_EQ(items[1].name, "next");

    // A running process whose name the snapshot cut at 99 characters is found.
    ProcsRun r;
    std::vector<ProcessSample> rows = {{std::string(99, 'n'), 9, 0, 0}};
    EXPECT_EQ(r.run("", std::string(100, 'n'), &rows), kHead + "green" + kStamp +
                                                           "All processes are OK\r\n\r\n&green " +
                                                           std::string(99, 'n') + " OK\r\n");
}

}  // namespace
}  // namespace tw
