// WMI over COM against the machine's own WMI. Prints how many objects each
// class the agent reads answers (under Wine some have none) and checks the
// typing, the failures and method calls on classes every Windows has.
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

// clang-format off
#include "platform/win32/win32.h"
#include "test/support/windows_bits.h"
#include <objbase.h>
// clang-format on

namespace tw::platform::win32 {
namespace {

struct Wmi : ::testing::Test {
    std::unique_ptr<HostInfo> host = makeHostInfo();
    std::unique_ptr<WmiProvider> provider = makeWmiProvider(*host);
    std::unique_ptr<WmiConnection> c;
    void SetUp() override {
        WmiConnectResult r = provider->connect("", kCimv2);
        ASSERT_TRUE(r.connection) << r.error;
        // On 32-bit Windows (or Wine's win32 prefix) there is no 64-bit
        // provider context to report.
        EXPECT_EQ(r.notices.empty(), !tw::testing::on64BitWindows());
        c = std::move(r.connection);
    }

    // All objects of a query, or -1 when it cannot run or breaks.
    int count(const std::string& wql, std::vector<std::unique_ptr<WmiObject>>* keep = nullptr) {
        auto e = c->query(wql);
        if (!e) return -1;
        int n = 0;
        while (true) {
            std::unique_ptr<WmiObject> o;
            WmiNext next = e->next(30000, o);
            if (next == WmiNext::End) return n;
            if (next != WmiNext::Object) return -1;
            ++n;
            if (keep) keep->push_back(std::move(o));
        }
    }
};

TEST_F(Wmi, ClassesTheAgentReads) {
    const char* classes[] = {"Win32_OperatingSystem",
                             "Win32_ComputerSystem",
                             "Win32_Processor",
                             "Win32_LogicalDisk",
                             "Win32_Process",
                             "Win32_Service",
                             "Win32_PageFileUsage",
                             "Win32_BaseBoard",
                             "Win32_NetworkProtocol",
                             "Win32_NTLogEvent",
                             "Win32_PerfRawData_PerfProc_Process",
                             "Win32_PerfFormattedData_PerfOS_System",
                             "Win32_PerfFormattedData_PerfOS_Memory",
                             "Win32_PerfRawData_Tcpip_NetworkInterface"};
    for (const char* cls : classes) {
        int n = count(std::string("SELECT * FROM ") + cls);
        std::printf("WMI %-42s %s\n", cls,
                    n < 0 ? "query fails" : (std::to_string(n) + " object(s)").c_str());
    }
    // Every Windows has exactly one operating system and computer system.
    EXPECT_EQ(count("SELECT * FROM Win32_OperatingSystem"), 1);
    EXPECT_EQ(count("SELECT * FROM Win32_ComputerSystem"), 1);
    EXPECT_GE(count("SELECT Name FROM Win32_LogicalDisk"), 1);
}

TEST_F(Wmi, PropertiesArriveWithWmisTypes) {
    std::vector<std::unique_ptr<WmiObject>> os;
    ASSERT_EQ(count("SELECT * FROM Win32_OperatingSystem", &os), 1);
    auto mem = os[0]->get("TotalVisibleMemorySize");  // uint64: a string
    ASSERT_TRUE(mem);
    EXPECT_EQ(mem->type, WmiType::String);
    EXPECT_GT(std::stoll(mem->s), 0);
    auto boot = os[0]->get("LastBootUpTime");  // datetime: a string
    ASSERT_TRUE(boot);
    EXPECT_EQ(boot->type, WmiType::String);
    EXPECT_EQ(boot->s.size(), 25u) << boot->s;
    EXPECT_FALSE(os[0]->get("NoSuchProperty"));
    auto names = os[0]->propertyNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "Caption"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "__CLASS"), names.end());

    std::vector<std::unique_ptr<WmiObject>> cs;
    ASSERT_EQ(count("SELECT NumberOfProcessors FROM Win32_ComputerSystem", &cs), 1);
    auto cpus = cs[0]->get("NumberOfProcessors");  // uint32: a 32-bit integer
    ASSERT_TRUE(cpus);
    EXPECT_EQ(cpus->type, WmiType::Int32);
    EXPECT_GE(cpus->i, 1);
    // Not selected: the object of a projection has no such property.
    EXPECT_FALSE(cs[0]->get("Name"));
}

TEST_F(Wmi, FailuresAreAnsweredNotThrown) {
    // Windows fails the query; Wine answers no object.
    EXPECT_LE(count("SELECT * FROM Win32_NoSuchClass"), 0);
    EXPECT_EQ(count("this is not WQL"), -1);
    EXPECT_FALSE(c->lastError().empty());
    EXPECT_FALSE(c->getObject("Win32_Service.Name='NoSuchServiceAtAll'"));
    EXPECT_EQ(count("SELECT Name FROM Win32_Service WHERE Name = 'NoSuchServiceAtAll'"), 0);
}

TEST(WmiConnect, ProviderNoticeComesWithAFailedConnectionToo) {
    // The 64-bit provider is chosen before the connection is tried; a
    // namespace that does not exist fails the connection afterwards.
    auto host = makeHostInfo();
    auto provider = makeWmiProvider(*host);
    WmiConnectResult r = provider->connect("", "ROOT\\NoSuchNamespaceAtAll");
    EXPECT_FALSE(r.connection);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(r.notices.empty(), !tw::testing::on64BitWindows());
}

TEST(WmiConnect, AThreadWithItsOwnApartmentKeepsIt) {
    // The editor's dialog thread lives in a single-threaded apartment (the
    // shell's pickers need one); its connections use it.
    HRESULT entered = E_FAIL, again = E_FAIL;
    bool connected = false, queried = false;
    std::thread t([&] {
        entered = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        {
            auto host = makeHostInfo();
            auto provider = makeWmiProvider(*host);
            WmiConnectResult r = provider->connect("", kCimv2);
            connected = r.connection != nullptr;
            if (connected)
                queried = r.connection->query("SELECT Name FROM Win32_Service") != nullptr;
        }
        // Still the single-threaded apartment.
        again = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(again)) CoUninitialize();
        if (SUCCEEDED(entered)) CoUninitialize();
    });
    t.join();
    EXPECT_EQ(entered, S_OK);
    EXPECT_EQ(again, S_FALSE);
    EXPECT_TRUE(connected);
    EXPECT_TRUE(queried);
}

TEST(WmiRegistry, MethodWithParametersFromAPropertyBag) {
    // StdRegProv in ROOT\DEFAULT reads what the registry holds. On 64-bit
    // Windows the connection asks for the 64-bit providers, which read the
    // 64-bit view of the registry, where this test writes.
    const REGSAM view = tw::testing::on64BitWindows() ? KEY_WOW64_64KEY : 0;
    HKEY k;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TallwatchWmiTest", 0, nullptr, 0,
                              KEY_SET_VALUE | view, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(k, "", 0, REG_SZ, reinterpret_cast<const BYTE*>("hello"), 6);
    RegCloseKey(k);
    auto host = makeHostInfo();
    auto provider = makeWmiProvider(*host);
    WmiConnectResult r = provider->connect(".", kDefaultNamespace);
    ASSERT_TRUE(r.connection) << r.error;
    ASSERT_TRUE(r.connection->getObject("StdRegProv"));
    // The hive as a number, and as the number's text (which Windows
    // converts and other implementations refuse unless it is converted).
    for (const WmiValue& hive :
         {WmiValue::int32(static_cast<int32_t>(0x80000002)), WmiValue::string("2147483650")}) {
        SCOPED_TRACE(hive.type == WmiType::String ? "text" : "number");
        WmiPropertyBag in;
        in.set("hDefKey", hive);
        in.set("sSubKeyName", WmiValue::string("SOFTWARE\\TallwatchWmiTest"));
        in.set("sValueName", WmiValue::string(""));
        auto out = r.connection->execMethod("StdRegProv", "GetStringValue", &in);
        ASSERT_TRUE(out) << r.connection->lastError();
        EXPECT_EQ(out->get("ReturnValue"), WmiValue::int32(0));
        EXPECT_EQ(out->get("sValue"), WmiValue::string("hello"));
        EXPECT_FALSE(r.connection->execMethod("StdRegProv", "NoSuchMethod", &in));
    }
    // Text that is no number stays refused.
    WmiPropertyBag bad;
    bad.set("hDefKey", WmiValue::string("HKLM"));
    bad.set("sSubKeyName", WmiValue::string("SOFTWARE\\TallwatchWmiTest"));
    EXPECT_FALSE(r.connection->execMethod("StdRegProv", "GetStringValue", &bad));
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TallwatchWmiTest", view, 0);
}

}  // namespace
}  // namespace tw::platform::win32
