#include "agent/tests/framework.h"

#include <gtest/gtest.h>

#include <vector>

#include "test/support/log_capture.h"
#include "test/support/report_recorder.h"

namespace tw {
namespace {

using testing::LogCapture;

TEST(Colours, RaiseNeverLowersAndConfiguredLetters) {
    Colour c = Colour::Green;
    raise(c, Colour::Yellow);
    raise(c, Colour::Green);
    EXPECT_EQ(colourword(c), "yellow");
    raise(c, Colour::Red);
    raise(c, Colour::Yellow);
    EXPECT_EQ(marker(c), "&red ");
    EXPECT_EQ(colourletter("Yellow"), Colour::Yellow);
    EXPECT_EQ(colourletter("r"), Colour::Red);
    EXPECT_EQ(colourletter("green"), Colour::Green);
    EXPECT_EQ(colourletter("Blue"), std::nullopt);
    EXPECT_EQ(colourletter(""), std::nullopt);
}

TEST(ReportShape, HeadMessageAndRealNameHead) {
    EXPECT_EQ(statushead("WEB01", "cpu", "red"), "status WEB01.cpu red");
    const std::string date = "Tue Dec 08 03:20:31 UTC 2026";
    EXPECT_EQ(statusmessage("web,example,com", "disk", "yellow", date,
                            realnamehead("web.example.com") + "&yellow x\r\n"),
              "status web,example,com.disk yellow Tue Dec 08 03:20:31 UTC 2026 "
              "[web.example.com]\r\n\r\n&yellow x\r\n");
}

TEST(Modes, DisabledEnteringAndLeavingLines) {
    LogCapture log;
    EXPECT_FALSE(testdisabled('P', "cpu"));
    EXPECT_TRUE(testdisabled('D', "network interface"));
    logentering("memory service");
    logleaving("memory service");
    EXPECT_EQ(log.text(),
              "network interface test disabled.\r\n"
              "\r\nEntering memory service\r\n"
              "Leaving memory service\r\n");
}

TEST(HandOff, PageThenPerformanceDataThenSend) {
    const std::string report = "status h.cpu red x load=99%\r\n";
    std::string withDoc = report;
    ASSERT_TRUE(perfcpu(withDoc));

    testing::ReportRecorder r;
    std::string msg = report;
    pageperfsend(r.delivery(), msg, true, perfcpu);
    ASSERT_EQ(r.calls.size(), 2u);
    EXPECT_EQ(r.calls[0], "page:" + report);  // pages never carry the document
    EXPECT_EQ(r.calls[1], "send:" + withDoc);
    EXPECT_EQ(msg, withDoc);

    r.calls.clear();
    msg = report;
    pageperfsend(r.delivery(), msg, false, perfcpu);
    pageperfsend(r.delivery(), msg, true, nullptr);
    EXPECT_EQ(r.calls, (std::vector<std::string>{"page:" + report, "send:" + report,
                                                 "page:" + report, "send:" + report}));
}

TEST(HandOff, SendThenPageAndMissingOperationsAreSkipped) {
    testing::ReportRecorder r;
    sendpage(r.delivery(), "status h.procs green x");
    EXPECT_EQ(r.calls, (std::vector<std::string>{"send:status h.procs green x",
                                                 "page:status h.procs green x"}));
    std::string msg = "status h.mem green x";
    Delivery none;
    sendpage(none, msg);
    pageperfsend(none, msg, true, perfmem);
    EXPECT_EQ(msg.rfind("</xml>"), msg.size() - 6);
}

}  // namespace
}  // namespace tw
