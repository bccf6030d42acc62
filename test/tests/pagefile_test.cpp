#include "agent/tests/pagefile.h"

#include <gtest/gtest.h>

#include "test/support/builtin_tests.h"
#include "test/support/log_capture.h"

namespace tw {
namespace {

using testing::BuiltinHarness;
using testing::kStamp;

const std::string kFiles = R"({"Win32_PageFileUsage": [
    {"Name": "C:\\pagefile.sys", "AllocatedBaseSize": 1024, "CurrentUsage": 880, "PeakUsage": 900},
    {"Name": "D:\\a very long path\\pagefile.sys", "AllocatedBaseSize": 2048,
     "CurrentUsage": 1950, "PeakUsage": 2000},
    {"Name": "E:\\new.sys", "AllocatedBaseSize": 0, "CurrentUsage": 5, "PeakUsage": 7}
]})";

const std::string kHead =
    "\r\nName                Allocated(MB)    Current(MB)     Peak(MB)    Usage\r\n";
const std::string kRows =
    "C:\\pagefile.sys         1024            880            900        85%\n"
    "D:\\a very long path\\    2048           1950           2000        95%\n"
    "                           0              0              0         0%\n";

std::string run(BuiltinHarness& h) {
    pagefiletest(h.context(pagefilesettings(h.cfg)));
    return h.report();
}

TEST(PagefileReport, IntegerUsageAgainstThePagefilePair) {
    BuiltinHarness h(kFiles);
    // 880 * 100 / 1024 is 85 by integer division: the yellow level exactly.
    EXPECT_EQ(run(h), std::string("status web1.pagefile red ") + kStamp +
                          " [web1.corp.lan]\r\n\r\n"
                          "&yellow /C:\\pagefile.sys/ (85%) has reached the WARNING level (85%)\r\n"
                          "&red /D:\\a very long path\\pagefile.sys/ (95%) has reached the PANIC "
                          "level (95%)\r\n" +
                          kHead + kRows);
    ASSERT_EQ(h.calls.size(), 2u);
    EXPECT_EQ(h.calls[1], "page:" + h.report()) << "sent, then paged";
}

TEST(PagefileReport, AlwaysGreenAndNoPagingFile) {
    BuiltinHarness g(kFiles, "pagefile:G");
    EXPECT_EQ(run(g), std::string("status web1.pagefile green ") + kStamp +
                          " [web1.corp.lan]\r\n\r\n" + kHead + kRows);
    BuiltinHarness none(R"({"Win32_PageFileUsage": []})");
    EXPECT_EQ(run(none), std::string("status web1.pagefile green ") + kStamp +
                             " [web1.corp.lan]\r\n\r\n" + kHead);
}

TEST(PagefileReport, OwnThresholdsAndHugeUsageDoNotWrap) {
    BuiltinHarness h(R"({"Win32_PageFileUsage": [
        {"Name": "big", "AllocatedBaseSize": 2000000000, "CurrentUsage": 1990000000,
         "PeakUsage": 1990000000}]})");
    h.cfg.thresholds.pagefileYellow = 50;
    h.cfg.thresholds.pagefileRed = 100;
    EXPECT_NE(run(h).find("&yellow /big/ (99%) has reached the WARNING level (50%)\r\n"),
              std::string::npos);
}

TEST(PagefileReport, DisabledAndUnavailable) {
    BuiltinHarness h(R"({})");
    testing::LogCapture log;
    run(h);
    EXPECT_TRUE(h.calls.empty());
    const std::string text = log.text();
    EXPECT_EQ(text.rfind("\r\nEntering twpagefileusage service\r\nin wmipagefileusage\n", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 31), "Leaving pagefileusage service\r\n");
    BuiltinHarness d(kFiles, "pagefile:D");
    run(d);
    EXPECT_TRUE(d.calls.empty());
}

}  // namespace
}  // namespace tw
