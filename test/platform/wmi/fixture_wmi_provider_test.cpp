#include <gtest/gtest.h>

#include <filesystem>

#include "platform/wmi/fixture_wmi_provider.h"
#include "test/wmi/wmi_test_support.h"

namespace tw::platform {
namespace {

using tw::testing::FixturePlatform;
using tw::testing::writeFile;

std::unique_ptr<WmiConnection> cimv2(FixturePlatform& f) {
    auto r = f.fixture->connect("", kCimv2);
    EXPECT_TRUE(r.connection) << r.error;
    return std::move(r.connection);
}

std::vector<std::unique_ptr<WmiObject>> all(WmiConnection& c, const std::string& wql) {
    std::vector<std::unique_ptr<WmiObject>> out;
    auto e = c.query(wql);
    EXPECT_TRUE(e) << wql << ": " << c.lastError();
    if (!e) return out;
    std::unique_ptr<WmiObject> o;
    while (e->next(30000, o) == WmiNext::Object) out.push_back(std::move(o));
    return out;
}

const char* kFixture = R"({
  "Win32_LogicalDisk": [
    {"Name": "C:", "DriveType": 3, "Size": "107374182400", "FreeSpace": "5368709120",
     "VolumeName": "System"},
    {"Name": "D:", "DriveType": 5, "VolumeName": null},
    {"Name": "E:", "DriveType": 4, "Size": "2000", "Extra": {"$type": "other", "value": [1, 2]}}
  ],
  "Win32_NTLogEvent": [
    {"LogFile": "System", "EventType": 1, "TimeWritten": {"$ago": 1740}, "SourceName": "Disk"},
    {"LogFile": "System", "EventType": 2, "TimeWritten": {"$ago": 9000}, "SourceName": "Old"}
  ],
  "Win32_Battery": [],
  "Win32_Processor": [{"NumberOfCores": {"$seq": [2, 4, "x"]}, "Busy": true}],
  "Win32_Service": [
    {"Name": "Spooler", "DisplayName": "Print Spooler", "State": "Stopped"},
    {"Name": "Stuck", "DisplayName": "Stuck one", "State": "Running", "$fail": ["StopService"]}
  ]
})";

TEST(FixtureWmiProvider, ClassesTypesAndMissingThings) {
    FixturePlatform f(kFixture);
    auto c = cimv2(f);
    auto disks = all(*c, "SELECT * FROM Win32_LogicalDisk");
    ASSERT_EQ(disks.size(), 3u);
    EXPECT_EQ(disks[0]->get("name"), WmiValue::string("C:"));
    EXPECT_EQ(disks[0]->get("DriveType"), WmiValue::int32(3));
    EXPECT_EQ(disks[1]->get("VolumeName"), WmiValue::null());
    EXPECT_FALSE(disks[1]->get("Size")) << "a property the object lacks fails the read";
    EXPECT_EQ(disks[2]->get("Extra")->type, WmiType::Other);
    EXPECT_EQ(disks[0]->get("__CLASS"), WmiValue::string("Win32_LogicalDisk"));
    EXPECT_EQ(disks[0]->propertyNames(),
              (std::vector<std::string>{"Name", "DriveType", "Size", "FreeSpace", "VolumeName",
                                        "Extra"}));
    EXPECT_TRUE(all(*c, "SELECT Status FROM Win32_Battery").empty()) << "[] answers no object";
    EXPECT_FALSE(c->query("SELECT * FROM Win32_Fan"));
    EXPECT_NE(c->lastError().find("Win32_Fan"), std::string::npos);
    EXPECT_FALSE(c->query("SELEKT * FROM Win32_LogicalDisk"));
    EXPECT_NE(c->lastError().find("position 0"), std::string::npos);
    EXPECT_TRUE(all(*c, "select * from win32_logicaldisk").size() == 3)
        << "class names ignore case";
}

TEST(FixtureWmiProvider, ProjectionAndConditions) {
    FixturePlatform f(kFixture);
    auto c = cimv2(f);
    auto names = all(*c, "SELECT Name, DriveType FROM Win32_LogicalDisk WHERE DriveType <> 5");
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[1]->get("Name"), WmiValue::string("E:"));
    EXPECT_EQ(names[0]->get("Size"), WmiValue::null()) << "unselected properties read as NULL";
    EXPECT_FALSE(names[0]->get("Nope"));
    // E: has no VolumeName at all, which reads as NULL in a condition.
    EXPECT_EQ(all(*c, "SELECT * FROM Win32_LogicalDisk WHERE Size > 1000000 OR VolumeName IS NULL")
                  .size(),
              3u);
    EXPECT_EQ(all(*c, "SELECT * FROM Win32_LogicalDisk WHERE Size < 1000000").size(), 1u);
    EXPECT_EQ(
        all(*c, "SELECT * FROM Win32_LogicalDisk WHERE (Name LIKE '_:' AND DriveType >= 4)").size(),
        2u);
    EXPECT_EQ(all(*c, "SELECT * FROM Win32_LogicalDisk WHERE Name = \"c:\"").size(), 1u);
}

TEST(FixtureWmiProvider, AgoIsLocalDateTimeAndComparesAsInstant) {
    FixturePlatform f(kFixture, 120);
    f.clock.set(1349447400);  // 14:30 UTC
    auto c = cimv2(f);
    auto ev = all(*c, "SELECT * FROM Win32_NTLogEvent");
    ASSERT_EQ(ev.size(), 2u);
    // now - 1740 s = 14:01 UTC = 16:01 local at +120.
    EXPECT_EQ(ev[0]->get("TimeWritten"), WmiValue::string("20121005160100.000000+120"));
    auto recent =
        all(*c,
            "Select EventType,SourceName from Win32_NTLogEvent where LogFile='System' and "
            "TimeWritten>'20121005120000.0-000'");  // 12:00 UTC
    ASSERT_EQ(recent.size(), 1u);
    EXPECT_EQ(recent[0]->get("SourceName"), WmiValue::string("Disk"));
}

TEST(FixtureWmiProvider, SeqStepsPerQueryOfTheClassAndRepeatsTheLast) {
    FixturePlatform f(kFixture);
    auto c = cimv2(f);
    std::vector<WmiValue> seen;
    for (int i = 0; i < 4; ++i)
        seen.push_back(*all(*c, "SELECT * FROM Win32_Processor")[0]->get("NumberOfCores"));
    EXPECT_EQ(seen, (std::vector<WmiValue>{WmiValue::int32(2), WmiValue::int32(4),
                                           WmiValue::string("x"), WmiValue::string("x")}));
    all(*c, "SELECT * FROM Win32_LogicalDisk");  // other classes count apart
    auto again = cimv2(f);                       // the count is the process's, not the connection's
    EXPECT_EQ(all(*again, "SELECT * FROM Win32_Processor")[0]->get("NumberOfCores"),
              WmiValue::string("x"));
}

TEST(FixtureWmiProvider, MetaClassListsClassesAndTheirPropertyUnion) {
    FixturePlatform f(kFixture);
    auto c = cimv2(f);
    auto classes = all(*c, "SELECT * FROM meta_class WHERE __Class LIKE \"Win32%\"");
    std::vector<std::string> names;
    for (auto& o : classes) names.push_back(o->get("__CLASS")->s);
    EXPECT_EQ(names,
              (std::vector<std::string>{"Win32_LogicalDisk", "Win32_NTLogEvent", "Win32_Battery",
                                        "Win32_Processor", "Win32_Service"}));
    auto one = all(*c, "SELECT * FROM meta_class WHERE __Class = \"Win32_NTLogEvent\"");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0]->propertyNames(),
              (std::vector<std::string>{"LogFile", "EventType", "TimeWritten", "SourceName"}));
    EXPECT_TRUE(all(*c, "SELECT * FROM meta_class WHERE __Class = 'Nothing'").empty());
}

TEST(FixtureWmiProvider, ServiceMethodsChangeStateUnlessTheFixtureFailsThem) {
    FixturePlatform f(kFixture);
    auto c = cimv2(f);
    EXPECT_FALSE(c->getObject("Win32_Service.Name='Nope'"));
    auto svc = c->getObject("Win32_Service.Name='spooler'");
    ASSERT_TRUE(svc);
    EXPECT_EQ(svc->get("DisplayName"), WmiValue::string("Print Spooler"));
    auto out = c->execMethod("Win32_Service.Name='Spooler'", "StartService", svc.get());
    ASSERT_TRUE(out);
    EXPECT_EQ(out->get("ReturnValue"), WmiValue::int32(0));
    auto rows = all(*c, "SELECT Name,State FROM Win32_Service WHERE State = 'Running'");
    EXPECT_EQ(rows.size(), 2u) << "Spooler now runs";
    EXPECT_EQ(c->getObject("Win32_Service.Name='Spooler'")->get("State"),
              WmiValue::string("Running"));
    EXPECT_FALSE(c->execMethod("Win32_Service.Name='Stuck'", "StopService", nullptr));
    EXPECT_TRUE(c->execMethod("Win32_Service.Name='Stuck'", "StartService", nullptr));
    EXPECT_FALSE(c->execMethod("Win32_Service.Name='Nope'", "StartService", nullptr));
    EXPECT_FALSE(c->execMethod("Win32_Service.Name='Spooler'", "PauseService", nullptr));
    ASSERT_TRUE(c->execMethod("Win32_Service.Name='Spooler'", "StopService", nullptr));
    // The state set by a method survives a re-read of a changed file.
    writeFile(f.fixturePath(), std::string(kFixture) + "\n\n");
    EXPECT_EQ(all(*c, "SELECT * FROM Win32_Service WHERE Name='Spooler'")[0]->get("State"),
              WmiValue::string("Stopped"));
}

TEST(FixtureWmiProvider, ChangedFileIsReadAgain) {
    FixturePlatform f(R"({"Win32_Battery": [{"Status": "OK"}]})");
    auto c = cimv2(f);
    EXPECT_EQ(all(*c, "SELECT Status FROM Win32_Battery").size(), 1u);
    writeFile(f.fixturePath(), R"({"Win32_Battery": [{"Status": "OK"}, {"Status": "Degraded"}]})");
    EXPECT_EQ(all(*c, "SELECT Status FROM Win32_Battery").size(), 2u) << "size changed";
    // Same size, new modification time.
    writeFile(f.fixturePath(), R"({"Win32_Battery": [{"Status": "OK"}, {"Status": "Pred Fail"}]})");
    const std::filesystem::path file = f.fixturePath();
    std::filesystem::last_write_time(
        file, std::filesystem::last_write_time(file) - std::chrono::hours(1));
    EXPECT_EQ(all(*c, "SELECT Status FROM Win32_Battery")[1]->get("Status"),
              WmiValue::string("Pred Fail"));
    std::remove(f.fixturePath().c_str());
    EXPECT_FALSE(c->query("SELECT Status FROM Win32_Battery"));
    EXPECT_NE(c->lastError().find(f.fixturePath()), std::string::npos);
}

TEST(FixtureWmiProvider, MalformedFixtureFailsEveryQueryNamingFileAndPosition) {
    FixturePlatform f("{\n  \"Win32_Battery\": [\n    {\"Status\": \"OK\",}\n  ]\n}\n");
    auto c = cimv2(f);
    EXPECT_FALSE(c->query("SELECT Status FROM Win32_Battery"));
    const std::string why = c->lastError();
    EXPECT_NE(why.find(f.fixturePath()), std::string::npos) << why;
    EXPECT_NE(why.find("line 3"), std::string::npos) << why;
    EXPECT_FALSE(c->query("SELECT * FROM meta_class"));
    EXPECT_FALSE(c->getObject("Win32_Service.Name='x'"));

    writeFile(f.fixturePath(), R"({"Win32_Battery": [{"Status": {"$ago": "soon"}}]})");
    EXPECT_FALSE(c->query("SELECT Status FROM Win32_Battery"));
    EXPECT_NE(c->lastError().find("Win32_Battery[0].Status"), std::string::npos) << c->lastError();
    writeFile(f.fixturePath(), R"({"Win32_Battery": [{"Size": 107374182400}]})");
    EXPECT_FALSE(c->query("SELECT * FROM Win32_Battery"));
    EXPECT_NE(c->lastError().find("Win32_Battery[0].Size"), std::string::npos);
    writeFile(f.fixturePath(), R"(["not", "classes"])");
    EXPECT_FALSE(c->query("SELECT * FROM Win32_Battery"));
    writeFile(f.fixturePath(), R"({"Win32_Battery": {"Status": "OK"}})");
    EXPECT_FALSE(c->query("SELECT * FROM Win32_Battery"));
    writeFile(f.fixturePath(), R"({"Win32_Battery": [{"Status": "OK"}]})");
    EXPECT_TRUE(c->query("SELECT * FROM Win32_Battery")) << "a repaired file is used again";
}

TEST(FixtureWmiProvider, DeeplyNestedFixtureIsRefusedNotACrash) {
    // 50,000 nested arrays once overflowed the stack when the value was shown.
    const std::string deep = std::string(50000, '[') + std::string(50000, ']');
    FixturePlatform f(R"({"Win32_Battery": [{"Status": )" + deep + "}]}");
    auto c = cimv2(f);
    EXPECT_FALSE(c->query("SELECT Status FROM Win32_Battery"));
    EXPECT_NE(c->lastError().find("nested deeper than 64 levels"), std::string::npos)
        << c->lastError();

    // Brackets in strings are text, not nesting.
    EXPECT_EQ(fixtureTextError(R"({"Win32_Battery": [{"Status": ")" + std::string(100, '[') +
                               R"(\"{"}]})"),
              "");
    const std::string fine = std::string(60, '[') + std::string(60, ']');
    EXPECT_EQ(fixtureTextError(R"({"Win32_Battery": [{"Status": )" + fine + "}]}"), "");
}

TEST(FixtureWmiProvider, StdRegProvReadsAndWritesTheSettingsStore) {
    FixturePlatform f("{}");
    const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\Timer";
    ASSERT_TRUE(f.settings.setValue(key, "", RegValue::sz("300")));
    auto r = f.fixture->connect(".", kDefaultNamespace);
    ASSERT_TRUE(r.connection);
    auto& c = *r.connection;
    ASSERT_TRUE(c.getObject("StdRegProv"));
    WmiPropertyBag in;
    in.set("hDefKey", WmiValue::string("2147483650"));
    in.set("sSubKeyName",
           WmiValue::string("SOFTWARE\\Wow6432Node\\Orvane Software\\Tallwatch\\twnt\\Timer"));
    auto out = c.execMethod("StdRegProv", "GetStringValue", &in);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->get("sValue"), WmiValue::string("300"));
    EXPECT_EQ(out->get("ReturnValue"), WmiValue::int32(0));

    in.set("sValue", WmiValue::string("600"));
    ASSERT_TRUE(c.execMethod("StdRegProv", "SetStringValue", &in));
    EXPECT_EQ(f.settings.getValue(key, "")->data, "600");

    WmiPropertyBag missing;
    missing.set("hDefKey", WmiValue::int32(static_cast<int32_t>(0x80000002u)));
    missing.set("sSubKeyName", WmiValue::string("SOFTWARE\\Nothing"));
    out = c.execMethod("StdRegProv", "GetStringValue", &missing);
    EXPECT_EQ(out->get("sValue"), WmiValue::null());
    EXPECT_EQ(out->get("ReturnValue"), WmiValue::int32(2));
    missing.set("sValue", WmiValue::string("x"));
    EXPECT_EQ(c.execMethod("StdRegProv", "SetStringValue", &missing)->get("ReturnValue"),
              WmiValue::int32(2));
    EXPECT_FALSE(f.settings.keyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Nothing"))
        << "no key is created";
    // CreateKey creates it (with its parents); the write then succeeds.
    EXPECT_EQ(c.execMethod("StdRegProv", "CreateKey", &missing)->get("ReturnValue"),
              WmiValue::int32(0));
    EXPECT_EQ(c.execMethod("StdRegProv", "SetStringValue", &missing)->get("ReturnValue"),
              WmiValue::int32(0));
    EXPECT_EQ(f.settings.getValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Nothing", "")->data, "x");
    EXPECT_FALSE(f.fixture->connect("", "ROOT\\SECURITY").connection);
    EXPECT_FALSE(f.fixture->connect("faraway-host-that-is-not-me", kCimv2).connection);
}

}  // namespace
}  // namespace tw::platform
