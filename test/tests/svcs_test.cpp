#include "agent/tests/svcs.h"

#include <gtest/gtest.h>

#include "test/support/builtin_tests.h"
#include "test/support/log_capture.h"

namespace tw {
namespace {

using testing::BuiltinHarness;
using testing::kStamp;

const std::string kServices = R"({"Win32_Service": [
    {"Name": "Spooler", "DisplayName": "Print Spooler", "State": "Running"},
    {"Name": "Themes", "DisplayName": "Themes", "State": "Stopped"},
    {"Name": "W3SVC", "DisplayName": "World Wide Web Publishing Service", "State": "Stopped"},
    {"Name": "Odd", "DisplayName": "Odd: Name: With: Colons", "State": "Running"},
    {"Name": "Pend", "DisplayName": "Pending One", "State": "Start Pending"},
    {"Name": "Fax", "DisplayName": "Fax", "State": "Running", "$fail": ["StopService"]},
    {"Name": "Dns", "DisplayName": "DNS Client", "State": "Stopped", "$fail": ["StartService"]},
    {"Name": "Spooler2", "DisplayName": "PRINT SPOOLER", "State": "Stopped"}
]})";

std::string run(BuiltinHarness& h, const std::string& services) {
    h.calls.clear();
    h.cfg.services = services;
    svcstest(h.context(svcssettings(h.cfg)));
    return h.report();
}

std::string head(const char* colour, const char* ok) {
    return std::string("status web1.svcs ") + colour + " " + kStamp + "  Services " + ok +
           "\r\n\r\n";
}

TEST(SvcsReport, ExpectedStatesNotFoundAndColourOrder) {
    BuiltinHarness h(kServices);
    EXPECT_EQ(run(h,
                  "printspooler;Themes:Y;World Wide Web Publishing Service:R:R:N;nosuch:y;"
                  "Odd: Name: With: Colons:R:R:N;pending one"),
              head("red", "Not OK") +
                  "&green Print Spooler - Running\r\n"
                  "&yellow Themes - Stopped\r\n"
                  "&red World Wide Web Publishing Service - Stopped\r\n"
                  "&yellow nosuch - Not found\r\n"
                  "&green Odd: Name: With: Colons - Running\r\n"
                  "&red Pending One - Stopped\r\n");
    // Sent first, then paged.
    ASSERT_EQ(h.calls.size(), 2u);
    EXPECT_EQ(h.calls[1], "page:" + h.report());

    EXPECT_EQ(run(h, "Themes:Y;Print Spooler:y:S"),
              head("yellow", "Not OK") +
                  "&yellow Themes - Stopped\r\n&yellow Print Spooler - Running\r\n");
    EXPECT_EQ(
        run(h, "Print Spooler;Themes:R:S"),
        head("green", "OK") + "&green Print Spooler - Running\r\n&green Themes - Stopped\r\n");
}

TEST(SvcsReport, StopAndRestartActionsChangeTheServiceState) {
    BuiltinHarness h(kServices);
    EXPECT_EQ(run(h, "Themes:R:R:Y;Print Spooler:Y:S:y;Fax:R:S:Y;DNS Client:Y:R:Y"),
              head("red", "Not OK") +
                  "&red Themes - Stopped - Restart attempted\r\n"
                  "&yellow Print Spooler - Running - Stop attempted\r\n"
                  "&red Fax - Running - Stop failed\r\n"
                  "&yellow DNS Client - Stopped - Restart failed\r\n");
    // The next run finds the services in their new states.
    EXPECT_EQ(
        run(h, "Themes:R:R:Y;Print Spooler:Y:S:y"),
        head("green", "OK") + "&green Themes - Running\r\n&green Print Spooler - Stopped\r\n");
}

TEST(SvcsReport, AlwaysGreenKeepsNotFoundColours) {
    BuiltinHarness h(kServices, "svcs:G");
    EXPECT_EQ(
        run(h, "Themes;nosuch:Y;gone"),
        head("green", "OK") +
            "&green Themes - Stopped\r\n&yellow nosuch - Not found\r\n&red gone - Not found\r\n");
}

TEST(SvcsReport, NothingToCheckDisabledAndUnavailable) {
    BuiltinHarness h(R"({})");
    testing::LogCapture log;
    EXPECT_EQ(run(h, ""),
              std::string("status web1.svcs green ") + kStamp + "  No services to check");
    EXPECT_EQ(h.calls.size(), 2u);
    EXPECT_EQ(log.text(), "\r\nEntering twsvcs()\r\nLeaving services check\r\n");

    const int64_t before = h.clock.now();
    EXPECT_EQ(run(h, "Themes"), "");
    EXPECT_TRUE(h.calls.empty());
    EXPECT_EQ(h.clock.now() - before, 99 * 5) << "100 attempts, 5 s apart";
    EXPECT_NE(log.text().find("WMI for service checking failed\r\nLeaving services check\r\n"),
              std::string::npos);

    BuiltinHarness d(kServices, "svcs:d");
    run(d, "Themes");
    EXPECT_TRUE(d.calls.empty());
}

TEST(SvcsReport, OnlyTheFirst4095CharactersAreRead) {
    BuiltinHarness h(kServices);
    EXPECT_EQ(run(h, std::string(4093, ';') + "Themes:Y"),
              head("red", "Not OK") + "&red th - Not found\r\n");
}

TEST(SvcsReport, EveryRowIsComparedAndLongReportsAreCut) {
    std::string fixture = R"({"Win32_Service": [)";
    for (int i = 0; i < 1500; ++i)
        fixture += (i ? "," : "") + std::string(R"({"Name": "s)") + std::to_string(i) +
                   R"(", "DisplayName": "Svc )" + std::to_string(i) + R"(", "State": "Running"})";
    fixture += R"(, {"Name": "x", "DisplayName": "X)" + std::string(98, ' ') +
               R"(", "State": "Running"}]})";
    BuiltinHarness h(fixture);
    EXPECT_EQ(run(h, "svc1400"), head("green", "OK") + "&green Svc 1400 - Running\r\n")
        << "rows beyond the first 1024 are found";

    std::string many;
    for (int i = 0; i < 2000; ++i) many += "x;";
    const std::string r = run(h, many);
    EXPECT_LE(r.size(), kStatusMessageMax);
    EXPECT_EQ(r.substr(r.size() - 14), "Running\r\n...\r\n");
}

TEST(ServicesSetting, EntriesOptionsAndColonsInNames) {
    auto one = [](const std::string& text) {
        auto v = parseservices(text);
        EXPECT_EQ(v.size(), 1u) << text;
        return v.empty() ? ServiceEntry{} : v[0];
    };
    ServiceEntry e = one("x:y:s:y");
    EXPECT_EQ(e.name, "x");
    EXPECT_EQ(e.alarm, Colour::Yellow);
    EXPECT_FALSE(e.expectRunning);
    EXPECT_TRUE(e.action);
    e = one("a:b:c:d:Y:S:N");
    EXPECT_EQ(e.name, "a:b:c:d") << "more than three colons: the last three are options";
    EXPECT_EQ(e.alarm, Colour::Yellow);
    EXPECT_FALSE(e.action);
    e = one("a:b:R:S");
    EXPECT_EQ(e.name, "a") << "three colons: options from the first";
    EXPECT_EQ(e.alarm, Colour::Red);
    EXPECT_TRUE(e.expectRunning);
    e = one("Name:Q:Q:Q");
    EXPECT_EQ(e.alarm, Colour::Red);
    EXPECT_TRUE(e.expectRunning);
    EXPECT_FALSE(e.action);
    e = one("Name::");
    EXPECT_EQ(e.name, "Name");
    EXPECT_EQ(parseservices(";; \t;a;").size(), 1u);
    EXPECT_TRUE(parseservices("").empty());
    EXPECT_EQ(one(std::string(7999, ':')).name, std::string(7996, ':'));
    EXPECT_EQ(parseservices(std::string(7999, 'a')).size(), 1u);
    EXPECT_EQ(servicekey(" Print\tSpooler \r\n"), "printspooler");
}

}  // namespace
}  // namespace tw
