// The remote WMI provider against the real twwmi: a "remote machine" is
// `env TWNT_WMI_FIXTURE=... TWNT_REGISTRY=... twwmi --serve`, and it must
// answer exactly as the local providers on the same fixture and settings
// file. Bridge commands that fail, hang or talk nonsense are small shell
// scripts; every case must end within the (shortened) limits and leave no
// child behind.
#include "platform/bridge/remote_wmi_provider.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "platform/posix/file_settings_store.h"
#include "platform/posix/posix.h"
#include "platform/wmi/fixture_wmi_provider.h"
#include "test/support/fake_platform.h"
#include "test/support/process.h"

namespace tw::platform {
namespace {

using tw::testing::binaryPath;
using tw::testing::readFile;
using tw::testing::TempDir;
using tw::testing::writeFile;

const char* kFixture = R"({
  "Win32_Service": [
    {"Name": "Spooler", "DisplayName": "Print Spooler", "State": "Stopped", "ProcessId": 0,
     "AcceptStop": true, "Tags": {"$type": "other", "value": [1, 2]}, "Load": {"$seq": [1, 2]}},
    {"Name": "Stuck", "State": "Running", "InstallDate": null, "$fail": ["StopService"]}
  ],
  "Win32_ComputerSystem": [{"Name": "FARAWAY", "SystemType": "x64-based PC"}],
  "Win32_Battery": []
})";

const std::string kSettings = "SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\";

// This test's own children, zombies included.
int childCount() {
    int n = 0;
    const std::string me = std::to_string(getpid());
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
        const std::string stat = readFile(e.path().string() + "/stat");
        size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        // ") S PPID ..."
        size_t ppid = stat.find(' ', close + 2);
        if (ppid != std::string::npos && stat.compare(ppid + 1, me.size() + 1, me + " ") == 0) ++n;
    }
    return n;
}

std::string shown(const std::optional<WmiValue>& v) {
    if (!v) return "<absent>";
    switch (v->type) {
        case WmiType::Null:
            return "null";
        case WmiType::Int32:
            return std::to_string(v->i);
        case WmiType::Bool:
            return v->b ? "true" : "false";
        case WmiType::Other:
            return "<other>";
        case WmiType::String:
            return "\"" + v->s + "\"";
    }
    return "?";
}

std::string describe(const WmiObject* o) {
    if (!o) return "<none>";
    std::string text = shown(o->get("__CLASS")) + " {";
    for (const auto& n : o->propertyNames()) text += " " + n + "=" + shown(o->get(n));
    return text + " }";
}

// Every object of a query, described; or the failure.
std::string run(WmiConnection& c, const std::string& wql) {
    auto e = c.query(wql);
    if (!e) return "failed: " + c.lastError();
    std::string text;
    std::unique_ptr<WmiObject> o;
    WmiNext n;
    while ((n = e->next(30000, o)) == WmiNext::Object) text += describe(o.get()) + "\n";
    if (n != WmiNext::End) text += "enumeration failed: " + e->lastError();
    return text;
}

// A machine's fixture and settings file, served locally and through twwmi.
struct Machine {
    TempDir dir;
    tw::testing::ManualClock clock;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<WmiProvider> local, remote;

    explicit Machine(const std::string& fixture = kFixture) {
        writeFile(dir.file("wmi.json"), fixture);
        store = makeFileSettingsStore(dir.file("registry.reg"));
        local = makeFixtureWmiProvider(dir.file("wmi.json"), clock, *store);
        remote = makeRemoteWmiProvider(bridge());
    }
    std::string bridge() const {
        return "env TWNT_WMI_FIXTURE=" + dir.file("wmi.json") +
               " TWNT_REGISTRY=" + dir.file("registry.reg") + " " + binaryPath("twwmi") +
               " --serve";
    }
    std::unique_ptr<WmiConnection> connect(WmiProvider& p, const std::string& ns) {
        auto r = p.connect(&p == local.get() ? "" : "\\\\FARAWAY", ns);
        EXPECT_TRUE(r.connection) << r.error;
        return std::move(r.connection);
    }
};

// A fixture of Win32_Process objects (and further classes).
std::string processes(int rows, const std::string& more = {}) {
    std::string fixture = "{\"Win32_Process\": [";
    for (int i = 0; i < rows; ++i)
        fixture += (i ? "," : "") + std::string("{\"Name\": \"process number ") +
                   std::to_string(i) + "\", \"ProcessId\": " + std::to_string(i) + "}";
    return fixture + "]" + more + "}";
}

WmiPropertyBag regArgs(const std::string& sub, std::optional<std::string> value = {}) {
    WmiPropertyBag in;
    in.set("hDefKey", WmiValue::string("2147483650"));
    in.set("sSubKeyName", WmiValue::string(sub));
    if (value) in.set("sValue", WmiValue::string(*value));
    return in;
}

TEST(RemoteWmiProvider, CommandWordsKeepTheMachineNameInItsOwnWord) {
    struct Case {
        std::string templ, server;
        std::vector<std::string> words;  // empty: refused
    } cases[] = {
        {kDefaultRemoteCommand,
         "\\\\a;rm -rf ~",
         {"ssh", "-T", "-o", "BatchMode=yes", "a;rm -rf ~", "twwmi", "--serve"}},
        {kDefaultRemoteCommand,
         "$(x)",
         {"ssh", "-T", "-o", "BatchMode=yes", "$(x)", "twwmi", "--serve"}},
        {"ssh admin@{host} 'twwmi --serve'", "web1", {"ssh", "admin@web1", "twwmi --serve"}},
        {"bridge {host}:{host} \"{host} x\"", "`id`", {"bridge", "`id`:`id`", "`id` x"}},
        {"bridge {host}", "{host}", {"bridge", "{host}"}},
        {"bridge {host}", "-oProxyCommand=touch /tmp/x", {}},
        {"bridge {host}", "\\\\", {}},
        {"bridge {host}", "a\nb", {}},
        {"bridge 'open {host}", "web1", {}},
        {"   ", "web1", {}},
    };
    for (const auto& c : cases) {
        std::string why;
        auto words = remoteCommandWords(c.templ, c.server, &why);
        if (c.words.empty()) {
            EXPECT_FALSE(words) << c.server;
            EXPECT_FALSE(why.empty());
        } else {
            ASSERT_TRUE(words) << c.server << ": " << why;
            EXPECT_EQ(*words, c.words);
        }
    }
}

TEST(RemoteWmiProvider, HostileMachineNamesReachTheCommandAsOneArgumentAndRunNothing) {
    Machine m;
    const std::string argFile = m.dir.file("arg");
    // The command records its argument and then serves; the name is a
    // positional parameter of that script, never part of its text.
    const std::string templ = "env TWNT_WMI_FIXTURE=" + m.dir.file("wmi.json") +
                              " /bin/sh -c 'printf %s \"$1\" > \"$0\"; exec " +
                              binaryPath("twwmi") + " --serve' " + argFile + " {host}";
    auto provider = makeRemoteWmiProvider(templ);
    const std::string mark = m.dir.file("ran");
    for (const std::string& host :
         {"a;touch " + mark + "1", "$(touch " + mark + "2)", "`touch " + mark + "3`",
          "x' ; touch " + mark + "4 '", "a b|touch " + mark + "5", "\"; touch " + mark + "6"}) {
        std::filesystem::remove(argFile);
        auto r = provider->connect(host, kCimv2);
        ASSERT_TRUE(r.connection) << host << ": " << r.error;
        EXPECT_EQ(readFile(argFile), host);
    }
    for (int i = 1; i <= 6; ++i)
        EXPECT_FALSE(std::filesystem::exists(mark + std::to_string(i))) << i;
    auto r = provider->connect("-oProxyCommand=touch " + mark + "7", kCimv2);
    EXPECT_FALSE(r.connection);
    EXPECT_NE(r.error.find("may not begin with '-'"), std::string::npos) << r.error;
    EXPECT_FALSE(std::filesystem::exists(argFile + "7"));
    EXPECT_EQ(childCount(), 0);
}

TEST(RemoteWmiProvider, RemoteMachineAnswersQueriesAndServiceMethodsAsTheLocalProvider) {
    Machine m;
    // This machine is answered locally: no bridge command is started.
    auto host = posix::makeHostInfo();
    auto machines = makeMachineWmiProvider(
        makeFixtureWmiProvider(m.dir.file("wmi.json"), m.clock, *m.store, host.get()),
        makeRemoteWmiProvider(m.bridge()), *host);
    const std::string name = host->hostName().value_or("");
    const std::string me = name.substr(0, name.find('.'));
    std::vector<std::unique_ptr<WmiConnection>> here;
    for (const std::string& server : {std::string(), std::string("."), "\\\\" + me}) {
        here.push_back(std::move(machines->connect(server, kCimv2).connection));
        EXPECT_TRUE(here.back()) << server;
    }
    EXPECT_EQ(childCount(), 0);
    here.clear();

    auto local = m.connect(*m.local, kCimv2);
    auto remote = m.connect(*machines, kCimv2);
    ASSERT_TRUE(local && remote);
    EXPECT_EQ(childCount(), 1) << "one bridge command per connection";
    for (const char* wql : {
             "SELECT * FROM Win32_Service",
             "SELECT * FROM Win32_Service",  // the second answer of $seq
             "SELECT Name, State FROM Win32_Service WHERE State = 'Running'",
             "SELECT * FROM Win32_Battery",
             "SELECT * FROM meta_class",
             "SELECT * FROM meta_class WHERE __Class = 'Win32_Service'",
             "SELECT SystemType FROM Win32_ComputerSystem",
             "SELECT * FROM Win32_Fan",
             "SELEKT * FROM Win32_Service",
         })
        EXPECT_EQ(run(*remote, wql), run(*local, wql)) << wql;
    EXPECT_NE(run(*remote, "SELECT * FROM meta_class").find("\"Win32_Battery\""),
              std::string::npos);

    struct Step {
        const char* path;
        const char* method;
    } steps[] = {
        {"Win32_Service.Name='Spooler'", "StartService"},
        {"Win32_Service.Name='Spooler'", "StopService"},
        {"Win32_Service.Name=\"Stuck\"", "StopService"},  // the fixture makes it fail
        {"Win32_Service.Name='Missing'", "StartService"},
        {"Win32_Service.Name='Spooler'", "PauseService"},
        {"Win32_Service.Name='Spooler'", "StartService"},
    };
    for (const auto& s : steps) {
        WmiPropertyBag in;
        auto lo = local->execMethod(s.path, s.method, &in);
        auto re = remote->execMethod(s.path, s.method, &in);
        EXPECT_EQ(describe(re.get()), describe(lo.get())) << s.path << " " << s.method;
        if (!lo) {
            EXPECT_EQ(remote->lastError(), local->lastError());
        }
        EXPECT_EQ(describe(remote->getObject(s.path).get()),
                  describe(local->getObject(s.path).get()));
    }
    EXPECT_EQ(shown(remote->getObject("Win32_Service.Name='Spooler'")->get("State")),
              "\"Running\"");
    EXPECT_EQ(describe(remote->getObject("Win32_Service").get()),
              describe(local->getObject("Win32_Service").get()))
        << "a class object";
    remote.reset();
    EXPECT_EQ(childCount(), 0) << "a dropped connection ends its bridge command";
}

TEST(RemoteWmiProvider, StdRegProvWritesAndReadsThatMachinesSettingsFile) {
    Machine m;
    auto local = m.connect(*m.local, kDefaultNamespace);
    auto remote = m.connect(*m.remote, kDefaultNamespace);
    ASSERT_TRUE(local && remote);
    EXPECT_TRUE(remote->getObject("StdRegProv"));

    // A missing key: the same answers, and a write creates nothing.
    for (auto* c : {local.get(), remote.get()}) {
        auto in = regArgs(kSettings + "Timer", "60");
        EXPECT_EQ(describe(c->execMethod("StdRegProv", "GetStringValue", &in).get()),
                  "<absent> { ReturnValue=2 sValue=null }");
        EXPECT_EQ(describe(c->execMethod("StdRegProv", "SetStringValue", &in).get()),
                  "<absent> { ReturnValue=2 }");
    }
    EXPECT_FALSE(m.store->keyExists("HKEY_LOCAL_MACHINE\\" + kSettings + "Timer"));

    // The editor creates the key, then writes; the file holds it at once.
    auto in = regArgs(kSettings + "Timer", "60");
    EXPECT_EQ(describe(remote->execMethod("StdRegProv", "CreateKey", &in).get()),
              "<absent> { ReturnValue=0 }");
    EXPECT_EQ(describe(remote->execMethod("StdRegProv", "SetStringValue", &in).get()),
              "<absent> { ReturnValue=0 }");
    EXPECT_EQ(m.store->getValue("HKEY_LOCAL_MACHINE\\" + kSettings + "timer", "")->data, "60");
    struct stat st {};
    ASSERT_EQ(stat(m.dir.file("registry.reg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // Texts with line ends and bytes that are not UTF-8 arrive unchanged.
    const std::string pool = "cpu load\r\nfree \xA0space \xFF\x01";
    in = regArgs("SOFTWARE\\Wow6432Node\\Orvane Software\\Tallwatch\\twnt\\WMIPool", pool);
    EXPECT_EQ(describe(remote->execMethod("StdRegProv", "CreateKey", &in).get()),
              "<absent> { ReturnValue=0 }");
    ASSERT_TRUE(remote->execMethod("StdRegProv", "SetStringValue", &in));
    auto lo = local->execMethod("StdRegProv", "GetStringValue", &in);
    auto re = remote->execMethod("StdRegProv", "GetStringValue", &in);
    EXPECT_EQ(shown(lo->get("sValue")), "\"" + pool + "\"");
    EXPECT_EQ(describe(re.get()), describe(lo.get()));

    // A write on this side is what the other side reads next.
    m.store->setValue("HKEY_LOCAL_MACHINE\\" + kSettings + "Timer", "", RegValue::sz("900"));
    in = regArgs(kSettings + "TIMER");
    EXPECT_EQ(shown(remote->execMethod("StdRegProv", "GetStringValue", &in)->get("sValue")),
              "\"900\"");
    EXPECT_FALSE(remote->execMethod("StdRegProv", "DeleteKey", &in));
    EXPECT_NE(remote->lastError().find("StdRegProv has no method DeleteKey"), std::string::npos);
    EXPECT_FALSE(remote->query("SELECT * FROM StdRegProv"));
    EXPECT_EQ(remote->lastError(),
              "queries are not served in ROOT\\DEFAULT: SELECT * FROM StdRegProv");
}

// A name the settings file cannot hold is an invalid parameter, a file that
// would outgrow what the reader takes a refused write; locally and through
// the bridge alike, and the file still loads afterwards.
TEST(RemoteWmiProvider, StdRegProvRefusesWhatWouldBreakTheSettingsFile) {
    Machine m;
    auto local = m.connect(*m.local, kDefaultNamespace);
    auto remote = m.connect(*m.remote, kDefaultNamespace);
    ASSERT_TRUE(local && remote);
    ASSERT_TRUE(m.store->setValue("HKEY_LOCAL_MACHINE\\" + kSettings + "TWDISPLAY", "",
                                  RegValue::sz("display1")));
    const std::string before = readFile(m.dir.file("registry.reg"));
    struct Case {
        const char* method;
        std::string sub, valueName, value;
        int answer;
    } cases[] = {
        {"CreateKey",
         kSettings + "X]\n[HKEY_LOCAL_MACHINE\\" + kSettings + "TWDISPLAY]\n@=\"evil.example\"\n[" +
             kSettings + "Y",
         "", "", 87},
        {"CreateKey", kSettings + "A\\\\B", "", "", 87},
        {"CreateKey", "\\" + kSettings + "A", "", "", 87},
        {"SetStringValue", kSettings + "TWDISPLAY", "new\nline", "1", 87},
        {"SetStringValue", kSettings + "TWDISPLAY", "", std::string(3 * 1024 * 1024, '\n'), 1013},
    };
    for (auto* c : {local.get(), remote.get()}) {
        for (const auto& k : cases) {
            SCOPED_TRACE(std::string(c == local.get() ? "local " : "remote ") + k.method + " " +
                         k.sub.substr(0, 60) + " " + k.valueName);
            auto in = regArgs(k.sub, k.value);
            if (!k.valueName.empty()) in.set("sValueName", WmiValue::string(k.valueName));
            auto out = c->execMethod("StdRegProv", k.method, &in);
            ASSERT_TRUE(out) << c->lastError();
            EXPECT_EQ(out->get("ReturnValue"), WmiValue::int32(k.answer));
            EXPECT_EQ(readFile(m.dir.file("registry.reg")), before);
        }
    }
    auto in = regArgs(kSettings + "TWDISPLAY");
    EXPECT_EQ(shown(remote->execMethod("StdRegProv", "GetStringValue", &in)->get("sValue")),
              "\"display1\"");
}

TEST(RemoteWmiProvider, AbandonedAndInterleavedQueriesKeepTheStreamInOrder) {
    Machine m(processes(3000, R"(, "Win32_Service": [{"Name": "A"}])"));
    auto remote = m.connect(*m.remote, kCimv2);
    ASSERT_TRUE(remote);
    {
        auto e = remote->query("SELECT * FROM Win32_Process");
        ASSERT_TRUE(e);
        std::unique_ptr<WmiObject> o;
        for (int i = 0; i < 10; ++i) ASSERT_EQ(e->next(1000, o), WmiNext::Object);
    }  // given up after ten objects: the rest of its stream is skipped
    EXPECT_EQ(run(*remote, "SELECT Name FROM Win32_Service"), "\"Win32_Service\" { Name=\"A\" }\n");

    auto a = remote->query("SELECT ProcessId FROM Win32_Process");
    auto b = remote->query("SELECT ProcessId FROM Win32_Process WHERE ProcessId >= 1000");
    ASSERT_TRUE(a && b);
    std::unique_ptr<WmiObject> oa, ob;
    int na = 0, nb = 0;
    while (true) {
        WmiNext ra = a->next(30000, oa), rb = b->next(30000, ob);
        if (ra == WmiNext::Object) {
            EXPECT_EQ(oa->get("ProcessId")->i, na++);
        }
        if (rb == WmiNext::Object) {
            EXPECT_EQ(ob->get("ProcessId")->i, 1000 + nb++);
        }
        if (ra != WmiNext::Object && rb != WmiNext::Object) {
            EXPECT_EQ(ra, WmiNext::End);
            EXPECT_EQ(rb, WmiNext::End);
            break;
        }
    }
    EXPECT_EQ(na, 3000);
    EXPECT_EQ(nb, 2000);
}

TEST(RemoteWmiProvider, BridgeCommandsThatFailHangOrTalkNonsenseFailCleanlyWithinTheLimits) {
    // More than the pipes between twwmi and the cutting dd hold, so that
    // twwmi is still writing when dd ends.
    constexpr int kRows = 10000;
    Machine m(processes(kRows));
    // The first n bytes of what twwmi answers (dd passes each piece on at
    // once, where head would keep it in its buffer).
    const std::string cut = m.bridge() + " | dd bs=1 status=none count=";
    // Answers hello and connect as twwmi would, then keeps silent (or
    // answers the query's first batch, then keeps silent).
    const std::string greet =
        R"(/bin/sh -c 'read a; echo "{\"id\":1,\"ok\":true,\"protocol\":1}"; read b; )"
        R"(echo "{\"id\":2,\"ok\":true}"; read c; )";
    const std::string mute = greet + "exec sleep 60'";
    const std::string stall =
        greet + R"(echo "{\"id\":3,\"ok\":true,\"more\":true,\"classes\":[[\"Win32_Process\",)"
                R"(\"Name\"]],\"rows\":[[0,\"a\"],[0,\"b\"]]}"; exec sleep 60')";
    enum Stage { Connect, Query, Stream, GetObject, ExecMethod };
    struct Case {
        std::string name, templ;
        Stage stage;
        std::string reason;
    } cases[] = {
        {"cannot start", "/nonexistent/bridge {host}", Connect, "cannot start /nonexistent/bridge"},
        {"exits at once", "/bin/sh -c 'echo no route to \"$1\" >&2; exit 255' sh {host}", Connect,
         "the bridge command ended (exit status 255): no route to FARAWAY"},
        {"no hello", "/bin/sleep 60", Connect, "no hello from the bridge command within 1 s"},
        {"garbage", "/bin/echo Welcome to {host}", Connect,
         "not the bridge protocol: \"Welcome to FARAWAY\""},
        {"endless line", "/bin/sh -c 'tr -d \"\\n\" < /dev/zero'", Connect,
         "the bridge command wrote a line longer than 16777216 bytes"},
        {"another protocol",
         R"(/bin/sh -c 'read a; echo "{\"id\":1,\"ok\":true,\"protocol\":7}"; sleep 60')", Connect,
         "speaks bridge protocol 7"},
        {"dies before its answer", "/bin/sh -c '" + cut + "150'", Query,
         "the bridge command ended"},
        {"dies mid-stream", "/bin/sh -c '" + cut + "30000'", Stream, "the bridge command ended"},
        {"stalls mid-stream", stall, Stream,
         "no objects within 1 s for SELECT * FROM Win32_Process"},
        {"silent on a query", mute, Query, "no objects within 1 s"},
        {"silent on an object", mute, GetObject,
         "no answer within 1 s to object Win32_Process.Handle='1'"},
        {"silent on a method", mute, ExecMethod,
         "no answer within 1 s to StopService on Win32_Service.Name='x'"},
    };
    RemoteWmiLimits limits;
    limits.closeMs = 200;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A command that dies or overflows must fail by that, not by a limit
        // that a slow dd or tr on a busy machine might reach first.
        const bool byLimit = c.reason.find("within") != std::string::npos;
        limits.helloMs = limits.requestMs = byLimit ? 1000 : 6000;
        auto provider = makeRemoteWmiProvider(c.templ, limits);
        const auto start = std::chrono::steady_clock::now();
        std::string reason;
        auto r = provider->connect("FARAWAY", kCimv2);
        if (c.stage == Connect) {
            EXPECT_FALSE(r.connection);
            reason = r.error;
        } else if (!r.connection) {
            ADD_FAILURE() << r.error;
            continue;
        } else if (c.stage == Query) {
            EXPECT_FALSE(r.connection->query("SELECT * FROM Win32_Process"));
            reason = r.connection->lastError();
        } else if (c.stage == Stream) {
            auto e = r.connection->query("SELECT * FROM Win32_Process");
            ASSERT_TRUE(e) << r.connection->lastError();
            std::unique_ptr<WmiObject> o;
            // Waits shorter than the limit are the caller's timeouts; the
            // limit fails the enumeration.
            int n = 0;
            bool timedOut = false;
            WmiNext next;
            while ((next = e->next(200, o)) != WmiNext::Failed && next != WmiNext::End) {
                n += next == WmiNext::Object;
                timedOut = timedOut || next == WmiNext::Timeout;
            }
            EXPECT_EQ(next, WmiNext::Failed);
            EXPECT_TRUE(timedOut || c.name != "stalls mid-stream");
            EXPECT_GT(n, 0) << "the batches before the failure arrive";
            EXPECT_LT(n, kRows);
            reason = e->lastError();
            EXPECT_FALSE(r.connection->getObject("Win32_Process.Handle='1'"))
                << "a broken connection stays broken";
            EXPECT_EQ(r.connection->lastError(), reason);
        } else if (c.stage == GetObject) {
            EXPECT_FALSE(r.connection->getObject("Win32_Process.Handle='1'"));
            reason = r.connection->lastError();
        } else {
            WmiPropertyBag in;
            EXPECT_FALSE(r.connection->execMethod("Win32_Service.Name='x'", "StopService", &in));
            reason = r.connection->lastError();
        }
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        EXPECT_NE(reason.find("remote WMI on FARAWAY: "), std::string::npos) << reason;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        EXPECT_LT(ms, 8000) << "bounded by the shortened limits, not the default ones";
        EXPECT_EQ(childCount(), 0) << "the command is ended and reaped at the failure";
    }
}

}  // namespace
}  // namespace tw::platform
