#include "agent/wmi/wmi.h"

#include <gtest/gtest.h>

#include "base/twlog.h"
#include "wmi_test_support.h"

namespace tw {
namespace {

using tw::testing::FixturePlatform;

const char* kHost = R"({
  "Win32_ComputerSystem": [{"Name": "HOST1", "NumberOfProcessors": 2, "Busy": true}],
  "Win32_Battery": [{"Status": "OK"}, {"Status": "Degraded"}],
  "Win32_BaseBoard": [{"Status": "OK"}, {"Status": ""}, {"Status": "Lost Comm"}],
  "Win32_Fan": [{"Status": null, "Active": true}, {"Status": 7, "Active": false},
                {"Status": {"$type": "other", "value": 1.5}, "Active": true}],
  "Win32_LogicalDisk": [{"Name": "C:", "DriveType": 3}],
  "Win32_Service": [{"Name": "Spooler", "DisplayName": "Print Spooler", "State": "Stopped"},
                    {"Name": "Stuck", "State": "Running", "$fail": ["StopService"]}],
  "Win32_MotherboardDevice": []
})";

struct Session {
    FixturePlatform f{kHost};
    WmiSession s{f.p};
    Session() { EXPECT_TRUE(s.open()); }
};

TEST(WmiQuery, OneValueSeveralJoinedAndNoObject) {
    Session t;
    std::string r = "old";
    EXPECT_TRUE(wmiquery(t.s, "select NumberOfProcessors from Win32_ComputerSystem", r, 20480));
    EXPECT_EQ(r, "2");
    EXPECT_TRUE(wmiquery(t.s, "select status from Win32_Battery", r, 20480));
    EXPECT_EQ(r, "OK;Degraded");
    EXPECT_TRUE(wmiquery(t.s, "select Status from Win32_BaseBoard", r, 20480));
    EXPECT_EQ(r, "OK;;Lost Comm") << "an empty value after text leaves its separator";
    EXPECT_TRUE(wmiquery(t.s, "select Status from Win32_MotherboardDevice", r, 20480));
    EXPECT_EQ(r, "");
    EXPECT_TRUE(wmiquery(t.s, "select Status from Win32_Fan", r, 20480));
    EXPECT_EQ(r, "7;")
        << "null and other types add no value; a separator goes before one after text";
    EXPECT_TRUE(
        wmiquery(t.s, "select   Name from Win32_ComputerSystem where Name = 'HOST1'", r, 20480));
    EXPECT_EQ(r, "HOST1") << "blanks after select are skipped";
}

TEST(WmiQuery, BooleansGiveAnEmptySuccess) {
    Session t;
    std::string r = "x";
    EXPECT_TRUE(wmiquery(t.s, "select Active from Win32_Fan", r, 20480));
    EXPECT_EQ(r, "");
    EXPECT_TRUE(wmiquery(t.s, "select Busy from Win32_ComputerSystem", r, 20480));
    EXPECT_EQ(r, "");
}

TEST(WmiQuery, FailureTextsReplaceTheResult) {
    Session t;
    std::string r = "old";
    EXPECT_FALSE(wmiquery(t.s, "SELECT * FROM Win32_LogicalDisk", r, 20480));
    EXPECT_EQ(r, "Can't handle the query: define one query object only.");
    EXPECT_FALSE(wmiquery(t.s, "SELECT Name,DisplayName,State FROM Win32_Service", r, 20480));
    EXPECT_EQ(r, "Can't handle the query: define one query object only.");
    EXPECT_FALSE(wmiquery(t.s, "select Name, DriveType from Win32_LogicalDisk", r, 20480))
        << "the property taken is \"Name,\"";
    EXPECT_FALSE(wmiquery(t.s, "select Status from Win32_Nothing", r, 20480));
    EXPECT_EQ(r, "Can't run ExecQuery");
    EXPECT_FALSE(wmiquery(t.s, "select Status", r, 20480));
    EXPECT_EQ(r, "format error");
    EXPECT_FALSE(wmiquery(t.s, "select", r, 20480));
    EXPECT_EQ(r, "format error");
    EXPECT_FALSE(wmiquery(t.s, "select " + std::string(1024, 'x') + " from y", r, 20480));
    EXPECT_EQ(r, "format error");
    EXPECT_TRUE(wmiquery(
        t.s, "select Status from Win32_Battery where Status = 'x' " + std::string(4000 - 51, ' '),
        r, 20480));
    EXPECT_FALSE(
        wmiquery(t.s, "select Status from Win32_Battery " + std::string(4096, ' '), r, 20480))
        << "longer than 4095 characters";
    EXPECT_FALSE(wmiquery(t.s, "select Status from Win32_Nothing", r, 5));
    EXPECT_EQ(r, "Can'") << "the failure text is cut to the buffer too";
}

TEST(WmiQuery, ResultStaysWithinTheCallersCapacity) {
    Session t;
    std::string r;
    EXPECT_TRUE(wmiquery(t.s, "select status from Win32_Battery", r, 6));
    EXPECT_EQ(r, "OK;De");
    EXPECT_TRUE(wmiquery(t.s, "select status from Win32_Battery", r, 3));
    EXPECT_EQ(r, "OK");
}

TEST(WmiQuery, ClosedSessionFailsWithoutCrashing) {
    FixturePlatform f(kHost);
    WmiSession s(f.p);
    std::string r;
    EXPECT_FALSE(wmiquery(s, "select Status from Win32_Battery", r, 20480));
    EXPECT_EQ(r, "Can't run ExecQuery");
    EXPECT_EQ(wmiservicecontrol(s, "start", "Spooler"), -1);
    ASSERT_TRUE(s.open());
    s.close();
    EXPECT_FALSE(s.isOpen());
    EXPECT_FALSE(s.execquery("SELECT * FROM Win32_Battery"));
    tw::testing::FakePlatform refusing;
    WmiSession refused(refusing.p);
    EXPECT_FALSE(refused.open());
}

TEST(WmiQuery, FailedQueryIsLoggedAsOneLineWithTheReason) {
    tw::testing::TempDir dir;
    const std::string log = dir.file("TW.LOG");
    ASSERT_TRUE(DiagLog::instance().open(log));
    tw::testing::FixturePlatform f("{\"Win32_Battery\": [}");
    WmiSession s(f.p);
    ASSERT_TRUE(s.open());
    std::string r;
    EXPECT_FALSE(wmiquery(s, "select Status from Win32_Battery", r, 20480));
    DiagLog::instance().close();
    const std::string text = tw::testing::readAll(log);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_NE(
        text.find("WMI query failed: WMI fixture " + f.fixturePath() + " is malformed at line 1"),
        std::string::npos)
        << text;
}

TEST(WmiServiceControl, StartAndStopInAnyCase) {
    Session t;
    EXPECT_EQ(wmiservicecontrol(t.s, "Start", "Spooler"), 0);
    std::string r;
    wmiquery(t.s, "select State from Win32_Service where Name = 'Spooler'", r, 100);
    EXPECT_EQ(r, "Running");
    EXPECT_EQ(wmiservicecontrol(t.s, "sToP", "Spooler"), 0);
    wmiquery(t.s, "select State from Win32_Service where Name = 'Spooler'", r, 100);
    EXPECT_EQ(r, "Stopped");
    EXPECT_EQ(wmiservicecontrol(t.s, "pause", "Spooler"), -1);
    EXPECT_EQ(wmiservicecontrol(t.s, "Stop", "Stuck"), -1) << "the method call fails";
    EXPECT_EQ(wmiservicecontrol(t.s, "Stop", "Absent"), -1) << "no such service";
    EXPECT_EQ(wmiservicecontrol(t.s, "Start", std::string(79, 's')), -1)
        << "path over 99 characters";
    EXPECT_EQ(wmiservicecontrol(t.s, std::string(100, 'x'), "Spooler"), -1);
}

// A connection whose methods run but answer a refusal, as the service
// manager does for a service it cannot start.
class RefusingConnection final : public platform::WmiConnection {
  public:
    std::unique_ptr<platform::WmiEnumerator> query(std::string_view) override { return nullptr; }
    std::unique_ptr<platform::WmiObject> getObject(std::string_view) override {
        return std::make_unique<platform::WmiPropertyBag>();
    }
    std::unique_ptr<platform::WmiObject> execMethod(std::string_view, std::string_view method,
                                                    const platform::WmiObject*) override {
        ++calls;
        auto out = std::make_unique<platform::WmiPropertyBag>();
        out->set("ReturnValue", platform::WmiValue::int32(method == "StartService" ? 2 : 0));
        return out;
    }
    std::string lastError() const override { return {}; }
    int calls = 0;
};

class OneConnectionProvider final : public platform::WmiProvider {
  public:
    RefusingConnection* last = nullptr;
    std::vector<std::string> notices;  // what the platform prepared, told in any case
    bool fail = false;                 // the connection itself fails
    platform::WmiConnectResult connect(const std::string&, const std::string&) override {
        platform::WmiConnectResult r;
        r.notices = notices;
        if (fail) {
            r.error = "ConnectServer failed";
            return r;
        }
        auto c = std::make_unique<RefusingConnection>();
        last = c.get();
        r.connection = std::move(c);
        return r;
    }
};

// The provider notices (the 64-bit provider on Windows) are decided before
// the connection is tried; they used to be written only when it succeeded.
TEST(WmiSessionOpen, ProviderNoticesAreWrittenEvenWhenTheConnectionFailsFaultOnlyOnSuccess) {
    for (const bool fail : {false, true}) {
        OneConnectionProvider provider;
        provider.notices = {"Use 64 bit WMI provider"};
        provider.fail = fail;
        tw::testing::FakePlatform fp({.wmi = &provider});
        auto& events = fp.events;
        WmiSession s(fp.p);
        EXPECT_EQ(s.open(), !fail);
        ASSERT_EQ(events.events.size(), 1u) << (fail ? "failed" : "connected");
        EXPECT_EQ(events.events[0].type, platform::EventType::Information);
        EXPECT_EQ(events.events[0].identifier, 1u);
        EXPECT_EQ(events.events[0].texts, std::vector<std::string>{"Use 64 bit WMI provider"});
    }
}

TEST(WmiServiceControl, RefusedMethodIsNotReportedAsSuccess) {
    OneConnectionProvider provider;
    tw::testing::FakePlatform fp({.wmi = &provider});
    WmiSession s(fp.p);
    ASSERT_TRUE(s.open());
    EXPECT_EQ(wmiservicecontrol(s, "start", "Spooler"), -1);
    EXPECT_EQ(wmiservicecontrol(s, "stop", "Spooler"), 0);
    EXPECT_EQ(wmiservicecontrol(s, "continue", "Spooler"), -1);
    EXPECT_EQ(provider.last->calls, 2) << "an unknown action makes no call";
}

}  // namespace
}  // namespace tw
