#include "agent/wmitests/wmitests.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>

#include "agent/wmitests/definitions.h"
#include "agent/wmitests/threshold.h"
#include "base/twlog.h"
#include "test/support/log_capture.h"
#include "test/wmitests/fuzz_support.h"

namespace tw {
namespace {

const char kStamp[] = "Tue Dec 08 03:20:31 UTC 2026";

// Stands in for WMI and the status channel: answers queries from a table and
// records every hand-off in order.
struct Fake {
    std::map<std::string, std::string> answers;  // query -> result; others fail
    std::vector<std::string> queries;
    std::vector<std::string> calls;  // "page:", "perf:" or "send:" and the message

    WmiTestEnv env(char mode = 'P') {
        WmiTestEnv e;
        e.mode = mode;
        e.compName = "HOST";
        e.realcompName = "host.example.org";
        e.query = [this](const std::string& q, size_t capacity) {
            EXPECT_EQ(capacity, 20480u);
            queries.push_back(q);
            auto it = answers.find(q);
            if (it == answers.end())
                return WmiQueryAnswer{false,
                                      "Can't handle the query: define one query object only."};
            return WmiQueryAnswer{true, it->second};
        };
        e.datestamp = [] { return std::string(kStamp); };
        e.page = [this](const std::string& m) { calls.push_back("page:" + m); };
        e.perf = [this](std::string& m) {
            calls.push_back("perf:" + m);
            m += "\n<xml>\n</xml>";
        };
        e.send = [this](const std::string& m) { calls.push_back("send:" + m); };
        return e;
    }

    std::vector<std::string> sent() const {
        std::vector<std::string> out;
        for (const std::string& c : calls)
            if (c.rfind("send:", 0) == 0) out.push_back(c.substr(5));
        return out;
    }
};

std::string poolrow(int n) {
    return splitdefinitions(defaultwmipool()).at(n - 1);
}

// Runs f with the diagnostic log open on a file of this test's own (tests
// run side by side) and answers what it wrote, as on disk.
template <typename F>
std::string logged(F f) {
    testing::LogCapture capture;
    f();
    DiagLog::instance().close();
    return capture.raw();
}
std::string ondisk(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

TEST(WmiTests, ProcessorCountRowSendsRedWithThePanicLevelLine) {
    Fake fake;
    fake.answers["select NumberOfProcessors from Win32_ComputerSystem"] = "2";
    EXPECT_EQ(runwmitest(poolrow(6), fake.env()), WmiTestOutcome::Sent);
    const std::string message =
        "status HOST.NumberOfProcessors red Tue Dec 08 03:20:31 UTC 2026 [host.example.org]\r\n"
        "\r\n"
        "&red NumberOfProcessors has reached the PANIC level ( 0 )\r\n"
        "\r\n"
        "Query: select NumberOfProcessors from Win32_ComputerSystem\r\n"
        "NumberOfProcessors: 2";
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"page:" + message, "send:" + message}));
}

TEST(WmiTests, AllSixPoolRowsMadeActive) {
    Fake fake;
    fake.answers["select ChassisBootupState from Win32_ComputerSystem"] = "3";
    fake.answers["select PowerSupplyState from Win32_ComputerSystem"] = "4";
    fake.answers["select status from Win32_BaseBoard"] = "OK";
    fake.answers["select status from Win32_Battery"] = "";  // no battery
    fake.answers["select status from Win32_MotherboardDevice"] = "OK;Pred Fail";
    fake.answers["select NumberOfProcessors from Win32_ComputerSystem"] = "8";
    wmitests(defaultwmipool(), fake.env());
    ASSERT_EQ(fake.queries.size(), 6u);
    std::vector<std::string> sent = fake.sent();
    ASSERT_EQ(sent.size(), 6u);
    const std::string head = std::string(" ") + kStamp + " [host.example.org]\r\n\r\n";
    const std::string tail = "Query: select ";
    EXPECT_EQ(sent[0], "status HOST.ChassisBootupState green" + head + tail +
                           "ChassisBootupState from Win32_ComputerSystem\r\nChassisBootupState: 3");
    EXPECT_EQ(sent[1], "status HOST.PowerSupplyState yellow" + head +
                           "&yellow PowerSupplyState has reached the WARNING level ( 4 )\r\n\r\n" +
                           tail +
                           "PowerSupplyState from Win32_ComputerSystem\r\nPowerSupplyState: 4");
    EXPECT_EQ(sent[2], "status HOST.BaseboardStatus green" + head + tail +
                           "status from Win32_BaseBoard\r\nstatus: OK");
    EXPECT_EQ(sent[3], "status HOST.BatteryStatus green" + head + tail +
                           "status from Win32_Battery\r\nstatus: ");
    EXPECT_EQ(sent[4], "status HOST.MotherBoardStatus red" + head +
                           "&red status has reached the PANIC level ( Error;Pred Fail )\r\n\r\n" +
                           tail + "status from Win32_MotherboardDevice\r\nstatus: OK;Pred Fail");
    EXPECT_EQ(sent[5].substr(0, 36), "status HOST.NumberOfProcessors red T");
}

TEST(WmiTests, LogLinesOfACycle) {
    Fake fake;
    fake.answers["select a from b"] = "1";
    const std::string setting =
        "|#off Numerical 4:5 noperf \"select a from b\" \"\"|n Number 4:5|n Numerical 4 noperf"
        "|n String 4:5:6|n Numerical 4:5 noperf \"select a from b\" \"%color%\"";
    std::string log = logged([&] { wmitests(setting, fake.env()); });
    EXPECT_EQ(log,
              ondisk("\r\nEntering wmitests service\r\n"
                     "process WMI test: #off Numerical 4:5 noperf \"select a from b\" \"\"\r\n"
                     "process WMI test: n Number 4:5\r\n"
                     "unknown data type: Number\r\n"
                     "process WMI test: n Numerical 4 noperf\r\n"
                     "The threshold format is not correct\r\n"
                     "threshold not correct: 4\r\n"
                     "process WMI test: n String 4:5:6\r\n"
                     "The threshold format is not correct\r\n"
                     "threshold not correct: 4:5:6\r\n"
                     "process WMI test: n Numerical 4:5 noperf \"select a from b\" \"%color%\"\r\n"
                     "Leaving wmitests service\r\n"));
    EXPECT_EQ(fake.queries, std::vector<std::string>{"select a from b"});
    EXPECT_EQ(fake.sent().size(), 1u);
}

TEST(WmiTests, ModeDLogsOnlyThatTheTestsAreDisabled) {
    Fake fake;
    std::string log = logged([&] { wmitests(defaultwmipool(), fake.env('D')); });
    EXPECT_EQ(log, ondisk("\r\nEntering wmitests service\r\nwmi test disabled.\r\n"));
    EXPECT_TRUE(fake.queries.empty());
    EXPECT_TRUE(fake.calls.empty());

    // An empty setting runs nothing in any other mode either.
    wmitests("", fake.env('T'));
    EXPECT_TRUE(fake.calls.empty());
}

TEST(WmiTests, PerformanceDataOnlyInModeTWithPerfBetweenPageAndSend) {
    const std::string perfRow = "n Numerical 4:5 PERF \"select a from b\" \"v=%value%\"";
    const std::string noperfRow = "n Numerical 4:5 noperf \"select a from b\" \"v=%value%\"";
    const std::string message =
        std::string("status HOST.n green ") + kStamp + " [host.example.org]\r\n\r\nv=1";
    for (char mode : {'P', 'T'})
        for (const std::string& row : {perfRow, noperfRow}) {
            Fake fake;
            fake.answers["select a from b"] = "1";
            runwmitest(row, fake.env(mode));
            if (mode == 'T' && row == perfRow) {
                EXPECT_EQ(fake.calls,
                          (std::vector<std::string>{"page:" + message, "perf:" + message,
                                                    "send:" + message + "\n<xml>\n</xml>"}));
            } else {
                EXPECT_EQ(fake.calls,
                          (std::vector<std::string>{"page:" + message, "send:" + message}))
                    << mode << row;
            }
        }
}

TEST(WmiTests, PlaceholdersAreFilledInTheirOrderAndEverywhere) {
    Fake fake;
    fake.answers["select Load from X"] = "85";
    runwmitest(
        "n Numerical 10:20::80:90 noperf \"select Load from X\" "
        "\"%color%/%color% &value=%value% [%thresholds%] W %warningthreshold% P "
        "%panicthreshold% (&query)\"",
        fake.env());
    ASSERT_EQ(fake.sent().size(), 1u);
    EXPECT_EQ(fake.sent()[0].substr(fake.sent()[0].find("&yellow")),
              "&yellow Load has reached the WARNING level ( [10.000000,20.000000] "
              "[80.000000,90.000000] )\r\n\r\n"
              "yellow/yellow Load=85 [10:20::80:90] W [10.000000,20.000000] [80.000000,90.000000] "
              "P (,10.000000] [90.000000,) (select Load from X)");

    // "NA" has no thresholds to show; a format without placeholders goes as written.
    fake.calls.clear();
    runwmitest(
        "n String na noperf \"select Load from X\" \"<%warningthreshold%|%panicthreshold%>\"",
        fake.env());
    runwmitest("n String na noperf \"select Load from X\" \"plain text\r\n\"", fake.env());
    ASSERT_EQ(fake.sent().size(), 2u);
    EXPECT_EQ(fake.sent()[0],
              std::string("status HOST.n green ") + kStamp + " [host.example.org]\r\n\r\n<|>");
    EXPECT_EQ(fake.sent()[1], std::string("status HOST.n green ") + kStamp +
                                  " [host.example.org]\r\n\r\nplain text\r\n");
}

TEST(WmiTests, FailedQuerySendsNothingAndTheNextDefinitionStillRuns) {
    Fake fake;
    fake.answers["select a from b"] = "0";
    wmitests(
        "two Numerical 4:5 noperf \"select Name,State from Win32_Service\" \"\""
        "|one Numerical 4:5 noperf \"select a from b\" \"\"",
        fake.env());
    EXPECT_EQ(fake.queries.size(), 2u);
    ASSERT_EQ(fake.sent().size(), 1u);
    EXPECT_EQ(fake.sent()[0], std::string("status HOST.one green ") + kStamp +
                                  " [host.example.org]\r\n\r\n"
                                  "\r\nQuery: select a from b\r\na: 0\r\n");
    EXPECT_EQ(runwmitest("x Numerical 4:5 noperf \"select z from y\" \"\"", fake.env()),
              WmiTestOutcome::QueryFailed);
}

TEST(WmiTests, ModesOtherThanPAndTSendGreenButStillValidateTheThreshold) {
    for (char mode : {'G', 'X'}) {
        Fake fake;
        fake.answers["select NumberOfProcessors from Win32_ComputerSystem"] = "2";
        runwmitest(poolrow(6), fake.env(mode));
        ASSERT_EQ(fake.sent().size(), 1u);
        EXPECT_EQ(fake.sent()[0].substr(0, 37), "status HOST.NumberOfProcessors green ");
        EXPECT_EQ(fake.sent()[0].find("&red"), std::string::npos);
        EXPECT_EQ(runwmitest("n Numerical 5: noperf \"select NumberOfProcessors from "
                             "Win32_ComputerSystem\" \"\"",
                             fake.env(mode)),
                  WmiTestOutcome::BadThreshold);
    }
}

TEST(WmiTests, OverlongMessageIsCutInItsBodyAndPerfDocumentIsNeverCutInTheMiddle) {
    Fake fake;
    fake.answers["select a from b"] = std::string(17050, '7');
    // A body of 51150 characters fits its own limit but not beside the header.
    runwmitest("n Numerical 1:2 perf \"select a from b\" \"%value%%value%%value%\"", fake.env('T'));
    ASSERT_EQ(fake.sent().size(), 1u);
    const std::string m = fake.sent()[0];
    EXPECT_EQ(m.substr(0, 15), "status HOST.n r");
    EXPECT_NE(m.find("&red a has reached the PANIC level ( 2 )\r\n\r\n777"), std::string::npos);
    EXPECT_EQ(m.size(), 51199u);
    EXPECT_EQ(m.find("<xml>"), std::string::npos);  // no room left for the document
    EXPECT_EQ(fake.calls[1].substr(0, 5), "perf:");

    // An answer longer than the query capacity is cut to it.
    fake = Fake();
    fake.answers["select a from b"] = std::string(30000, '1');
    runwmitest("n String NA noperf \"select a from b\" \"%value%\"", fake.env());
    ASSERT_EQ(fake.sent().size(), 1u);
    EXPECT_EQ(fake.sent()[0].size() - fake.sent()[0].find("111"), 20479u);
}

// --- Robustness: arbitrary settings run through the whole runner.

TEST(WmiTestsFuzz, ArbitrarySettingsEndInADefinedOutcomeAndWellFormedMessages) {
    fuzz::Gen g(fuzz::seed() + 2);
    const long n = fuzz::iterations();
    const std::vector<std::string> pool = splitdefinitions(defaultwmipool());
    std::map<WmiTestOutcome, long> outcomes;
    auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < n; ++i) {
        // Pool rows with a stretch overwritten by noise, or plain noise.
        std::string def = pool[g.below(pool.size())];
        if (g.chance(80)) {
            size_t at = g.below(def.size()), len = g.below(20);
            def.replace(at, std::min(len, def.size() - at),
                        g.text(std::string_view(" \":;!()[],.0123456789|#NnAaperf%&\0", 34), 12));
        } else {
            def = g.text(std::string_view(" \"|#:;x0", 8), 60);
        }
        const char mode = "PTGDX"[g.below(5)];
        const std::string answer = g.text("0123456789.;-OK PredFailUnknown", 16);
        Fake fake;
        WmiTestEnv env = fake.env(mode);
        env.query = [&](const std::string& q, size_t) {
            fake.queries.push_back(q);
            return WmiQueryAnswer{!g.chance(10), answer};
        };
        for (const std::string& piece : splitdefinitions(def)) {
            const WmiTestOutcome o = runwmitest(piece, env);
            ++outcomes[o];
            const WmiTestDefinition d = readdefinition(piece);
            const auto type = parsedatatype(d.datatype);
            switch (o) {
                case WmiTestOutcome::Empty:
                    ASSERT_TRUE(piece.empty());
                    break;
                case WmiTestOutcome::Comment:
                    ASSERT_EQ(d.name[0], '#');
                    break;
                case WmiTestOutcome::UnknownDataType:
                    ASSERT_FALSE(type.has_value());
                    break;
                case WmiTestOutcome::BadThreshold:
                    ASSERT_FALSE(parsethreshold(*type, d.threshold).valid);
                    break;
                case WmiTestOutcome::QueryFailed:
                case WmiTestOutcome::Sent:
                    ASSERT_TRUE(parsethreshold(*type, d.threshold).valid);
                    break;
            }
            if (o != WmiTestOutcome::Sent) continue;
            const std::string& m = fake.calls.back();
            ASSERT_EQ(m.substr(0, 5), "send:");
            const std::string prefix = "send:status HOST." + d.name + " ";
            ASSERT_EQ(m.substr(0, prefix.size()), prefix);
            const std::string colour =
                m.substr(prefix.size(), m.find(' ', prefix.size()) - prefix.size());
            ASSERT_TRUE(colour == "green" || colour == "yellow" || colour == "red") << colour;
            if (mode != 'P' && mode != 'T') {
                ASSERT_EQ(colour, "green");
            }
            ASSERT_LE(m.size() - 5, 51199u);
        }
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    std::printf(
        "runner fuzz: %ld settings, %lld ms; empty %ld comment %ld datatype %ld "
        "threshold %ld queryfailed %ld sent %ld\n",
        n, static_cast<long long>(ms), outcomes[WmiTestOutcome::Empty],
        outcomes[WmiTestOutcome::Comment], outcomes[WmiTestOutcome::UnknownDataType],
        outcomes[WmiTestOutcome::BadThreshold], outcomes[WmiTestOutcome::QueryFailed],
        outcomes[WmiTestOutcome::Sent]);
    EXPECT_GT(outcomes[WmiTestOutcome::Sent], 0);
    EXPECT_GT(outcomes[WmiTestOutcome::BadThreshold], 0);
}

}  // namespace
}  // namespace tw
