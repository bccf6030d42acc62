#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "../wmi/wmi_test_support.h"
#include "platform/posix/file_settings_store.h"
#include "platform/posix/linux_sources.h"
#include "platform/posix/posix.h"
#include "platform/posix/wmi_providers.h"
#include "platform/wmi/wmi_datetime.h"

namespace tw::platform {
namespace {

using tw::testing::readAll;
using tw::testing::TempDir;
using tw::testing::writeFile;

// The provider on this host's clock, or on the clock given.
struct Live {
    TempDir dir;
    std::unique_ptr<Clock> hostClock = posix::makeClock();
    std::unique_ptr<HostInfo> host = posix::makeHostInfo();
    std::unique_ptr<SettingsStore> store = makeFileSettingsStore(dir.file("registry.reg"));
    std::unique_ptr<WmiProvider> provider;
    std::unique_ptr<WmiConnection> c;

    explicit Live(LiveWmiRoots roots = {}, Clock* clock = nullptr) {
        provider =
            makeLiveWmiProvider(clock ? *clock : *hostClock, *store, *host, std::move(roots));
        c = provider->connect("", kCimv2).connection;
    }

    std::vector<std::unique_ptr<WmiObject>> rows(const std::string& wql) {
        std::vector<std::unique_ptr<WmiObject>> out;
        auto e = c->query(wql);
        EXPECT_TRUE(e) << wql << ": " << c->lastError();
        if (!e) return out;
        std::unique_ptr<WmiObject> o;
        while (e->next(30000, o) == WmiNext::Object) out.push_back(std::move(o));
        return out;
    }
};

std::string s(const WmiObject& o, const char* p) {
    auto v = o.get(p);
    EXPECT_TRUE(v && v->type == WmiType::String) << p;
    return v && v->type == WmiType::String ? v->s : "";
}

int32_t n(const WmiObject& o, const char* p) {
    auto v = o.get(p);
    EXPECT_TRUE(v && v->type == WmiType::Int32) << p;
    return v && v->type == WmiType::Int32 ? v->i : -1;
}

uint64_t meminfoKb(const char* name) {
    return linuxsrc::parseMeminfo(readAll("/proc/meminfo"))[name];
}

TEST(LiveWmiProvider, ProcessSnapshotHasOwnProcessWithGrowingTimeBetweenIdleAndTotal) {
    Live live;
    auto find = [&](std::vector<std::unique_ptr<WmiObject>>& rows) -> WmiObject* {
        for (auto& r : rows)
            if (n(*r, "IDProcess") == getpid()) return r.get();
        return nullptr;
    };
    auto first = live.rows("SELECT * FROM Win32_PerfRawData_PerfProc_Process");
    ASSERT_GE(first.size(), 3u);
    EXPECT_EQ(s(*first.front(), "Name"), "Idle");
    EXPECT_EQ(n(*first.front(), "IDProcess"), 0);
    EXPECT_EQ(s(*first.back(), "Name"), "_Total");
    EXPECT_EQ(n(*first.back(), "IDProcess"), 0);
    WmiObject* me = find(first);
    ASSERT_TRUE(me);
    EXPECT_EQ(s(*me, "Name"), "twnt_tests");
    const double t0 = std::stod(s(*me, "PercentProcessorTime"));
    const double stamp0 = std::stod(s(*me, "Timestamp_Sys100NS"));
    // Burn well over one clock tick of processor time.
    volatile double x = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(150);
    while (std::chrono::steady_clock::now() < until) x = x + std::sqrt(x + 1.0);
    auto second = live.rows(
        "SELECT Name, IDProcess, PercentProcessorTime, Timestamp_Sys100NS FROM "
        "Win32_PerfRawData_PerfProc_Process WHERE IDProcess = " +
        std::to_string(getpid()));
    ASSERT_EQ(second.size(), 1u);
    const double t1 = std::stod(s(*second[0], "PercentProcessorTime"));
    const double stamp1 = std::stod(s(*second[0], "Timestamp_Sys100NS"));
    EXPECT_GT(t1, t0) << "processor time grows";
    EXPECT_GE(stamp1 - stamp0, 1.4e6) << "timestamps in 100-ns units";
    EXPECT_LT(t1 - t0, (stamp1 - stamp0) * 1.5)
        << "one busy thread uses at most the time that passed";
    EXPECT_GT(stamp0, 1.3e17) << "counted from 1601 as Windows does";
}

TEST(LiveWmiProvider, MemoryFiguresEqualMeminfo) {
    Live live;
    auto os = live.rows("SELECT * FROM Win32_OperatingSystem");
    ASSERT_EQ(os.size(), 1u);
    EXPECT_EQ(s(*os[0], "TotalVisibleMemorySize"), std::to_string(meminfoKb("MemTotal")));
    EXPECT_EQ(s(*os[0], "SizeStoredInPagingFiles"), std::to_string(meminfoKb("SwapTotal")));
    EXPECT_EQ(std::stoull(s(*os[0], "TotalVirtualMemorySize")),
              meminfoKb("MemTotal") + meminfoKb("SwapTotal"));
    EXPECT_LE(std::stoull(s(*os[0], "FreePhysicalMemory")), meminfoKb("MemTotal"));
    auto boot = wmiDateTimeInstant(s(*os[0], "LastBootUpTime"));
    ASSERT_TRUE(boot);
    EXPECT_EQ(*boot, linuxsrc::parseSystemStat(readAll("/proc/stat")).btime);
    auto cs = live.rows(
        "SELECT TotalPhysicalMemory, Name, SystemType, NumberOfProcessors, "
        "ChassisBootupState, PowerSupplyState FROM Win32_ComputerSystem");
    ASSERT_EQ(cs.size(), 1u);
    EXPECT_EQ(s(*cs[0], "TotalPhysicalMemory"), std::to_string(meminfoKb("MemTotal") * 1024));
    EXPECT_FALSE(s(*cs[0], "Name").empty());
    EXPECT_NE(s(*cs[0], "SystemType").find("PC"), std::string::npos);
    EXPECT_GE(n(*cs[0], "NumberOfProcessors"), 1);
    EXPECT_EQ(n(*cs[0], "ChassisBootupState"), 3);
    EXPECT_EQ(n(*cs[0], "PowerSupplyState"), 3);
    auto mem =
        live.rows("SELECT CommittedBytes,CommitLimit FROM Win32_PerfFormattedData_PerfOS_Memory");
    ASSERT_EQ(mem.size(), 1u);
    EXPECT_EQ(s(*mem[0], "CommitLimit"), std::to_string(meminfoKb("CommitLimit") * 1024));
    EXPECT_GT(std::stoull(s(*mem[0], "CommittedBytes")), 0u);
}

TEST(LiveWmiProvider, ProcessorsUptimeAndProcessList) {
    Live live;
    int logical = 0;
    for (auto& p : live.rows("SELECT * FROM Win32_Processor")) {
        logical += n(*p, "NumberOfLogicalProcessors");
        EXPECT_GE(n(*p, "NumberOfLogicalProcessors"), n(*p, "NumberOfCores"));
    }
    EXPECT_EQ(logical, sysconf(_SC_NPROCESSORS_CONF));
    auto sys = live.rows("SELECT SystemUpTime FROM Win32_PerfFormattedData_PerfOS_System");
    ASSERT_EQ(sys.size(), 1u);
    const double up = *linuxsrc::parseUptime(readAll("/proc/uptime"));
    EXPECT_NEAR(std::stod(s(*sys[0], "SystemUpTime")), up, 5);
    auto me = live.rows("SELECT Name, WorkingSetSize FROM Win32_Process WHERE ProcessId = " +
                        std::to_string(getpid()));
    ASSERT_EQ(me.size(), 1u);
    EXPECT_GT(std::stoull(s(*me[0], "WorkingSetSize")), 1000000u);
}

TEST(LiveWmiProvider, DisksSwapsNetworkAndHardware) {
    Live live;
    auto disks = live.rows("SELECT * FROM Win32_LogicalDisk");
    ASSERT_GE(disks.size(), 1u);
    EXPECT_EQ(s(*disks[0], "Name"), "C:");
    EXPECT_EQ(s(*disks[0], "VolumeName"), "/");
    EXPECT_EQ(n(*disks[0], "DriveType"), 3);
    EXPECT_GT(std::stod(s(*disks[0], "Size")), std::stod(s(*disks[0], "FreeSpace")));
    for (size_t i = 1; i < disks.size(); ++i)
        EXPECT_EQ(s(*disks[i], "Name"), std::string(1, static_cast<char>('C' + i)) + ":");

    EXPECT_EQ(live.rows("SELECT * FROM Win32_PageFileUsage").size(),
              linuxsrc::parseSwaps(readAll("/proc/swaps")).size());
    bool tcp = false;
    for (auto& p : live.rows("SELECT * FROM Win32_NetworkProtocol"))
        if (s(*p, "Name") == "TCP") tcp = p->get("GuaranteesDelivery") == WmiValue::boolean(true);
    EXPECT_TRUE(tcp);
    auto lo = live.rows(
        "SELECT Name, CurrentBandwidth, BytesReceivedPerSec, BytesSentPerSec FROM "
        "Win32_PerfRawData_Tcpip_NetworkInterface WHERE Name = 'lo'");
    ASSERT_EQ(lo.size(), 1u);
    EXPECT_GT(std::stoull(s(*lo[0], "BytesReceivedPerSec")), 0u);
    for (const char* cls : {"Win32_BaseBoard", "Win32_Battery", "Win32_MotherboardDevice"})
        for (auto& r : live.rows(std::string("SELECT Status FROM ") + cls))
            EXPECT_FALSE(s(*r, "Status").empty());
    auto classes = live.rows("SELECT * FROM meta_class WHERE __Class LIKE 'Win32_Perf%'");
    EXPECT_EQ(classes.size(), 4u);
}

TEST(LiveWmiProvider, ServicesAndJournalAnswerOrFailCleanlyOnThisHost) {
    Live live;
    if (auto e = live.c->query("SELECT Name,DisplayName,State FROM Win32_Service")) {
        std::unique_ptr<WmiObject> o;
        while (e->next(30000, o) == WmiNext::Object) {
            const std::string st = s(*o, "State");
            EXPECT_TRUE(st == "Running" || st == "Stopped" || st == "Start Pending" ||
                        st == "Stop Pending")
                << st;
        }
    } else {
        EXPECT_NE(live.c->lastError().find("Win32_Service"), std::string::npos);
    }
    if (auto e = live.c->query(
            "Select EventType,TimeGenerated,SourceName,EventIdentifier,Message from "
            "Win32_NTLogEvent where LogFile='System' and TimeWritten>'20000101000000.0+000'")) {
        std::unique_ptr<WmiObject> o;
        int rows = 0;
        while (e->next(30000, o) == WmiNext::Object && rows++ < 50) {
            EXPECT_GE(n(*o, "EventType"), 1);
            EXPECT_TRUE(wmiDateTimeInstant(s(*o, "TimeGenerated")));
        }
    } else {
        EXPECT_FALSE(live.c->lastError().empty());
    }
}

// A stand-in for systemctl that answers from the recorded listings and
// notes the commands it was given.
struct FakeSystemctl {
    TempDir dir;
    std::string path = dir.file("systemctl");
    std::string calls = dir.file("calls");
    FakeSystemctl() {
        const std::string data = std::string(TW_TEST_DATA_DIR) + "/linux/";
        writeFile(path, "#!/bin/sh\necho \"$*\" >> " + calls +
                            "\ncase \"$1\" in\n"
                            "  list-units) cat " +
                            data +
                            "list_units ;;\n"
                            "  list-unit-files) cat " +
                            data +
                            "list_unit_files ;;\n"
                            "  show) case \"$*\" in *cron.service*) printf "
                            "'Id=cron.service\\nDescription=Cron\\n"
                            "ActiveState=active\\nLoadState=loaded\\nUnitFileState=enabled\\n' ;;\n"
                            "        *) printf 'LoadState=not-found\\n' ;; esac ;;\n"
                            "  --no-block) case \"$*\" in *ssh.service*) exit 4 ;; esac ;;\n"
                            "esac\n");
        chmod(path.c_str(), 0755);
    }
};

TEST(LiveWmiProvider, ServicesFromSystemdUnitsAndTheirMethods) {
    FakeSystemctl fake;
    LiveWmiRoots roots;
    roots.systemctl = fake.path;
    Live live(roots);
    auto svc = live.rows("SELECT Name, DisplayName, State, Started, StartMode FROM Win32_Service");
    std::map<std::string, std::pair<std::string, std::string>> byName;
    for (auto& r : svc) byName[s(*r, "Name")] = {s(*r, "DisplayName"), s(*r, "State")};
    EXPECT_EQ(byName["cron"],
              std::make_pair(std::string("Regular background program processing daemon"),
                             std::string("Running")));
    EXPECT_EQ(byName["ssh"].second, "Stopped");
    EXPECT_EQ(byName["systemd-fsck-root"].second, "Start Pending");
    EXPECT_EQ(byName["apache2"].second, "Stop Pending");
    EXPECT_EQ(byName["rsync"], std::make_pair(std::string("rsync"), std::string("Stopped")))
        << "installed, never loaded";
    EXPECT_FALSE(byName.count("nfs-server")) << "not-found units are no services";
    EXPECT_FALSE(byName.count("getty@")) << "templates are no services";
    EXPECT_EQ(svc.size(), 7u);

    ASSERT_TRUE(live.c->getObject("Win32_Service.Name='cron'"));
    EXPECT_FALSE(live.c->getObject("Win32_Service.Name='nothing'"));
    EXPECT_FALSE(live.c->getObject("Win32_Service.Name='-x'")) << "never handed over as an option";
    auto ok = live.c->execMethod("Win32_Service.Name='cron'", "StopService", nullptr);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->get("ReturnValue"), WmiValue::int32(0));
    auto denied = live.c->execMethod("Win32_Service.Name='ssh'", "StartService", nullptr);
    ASSERT_TRUE(denied);
    EXPECT_EQ(denied->get("ReturnValue"), WmiValue::int32(2));
    const std::string calls = readAll(fake.calls);
    EXPECT_NE(calls.find("--no-block stop -- cron.service"), std::string::npos) << calls;
    EXPECT_NE(calls.find("--no-block start -- ssh.service"), std::string::npos) << calls;
}

// A recorded /proc and /sys tree: the whole provider on known input.
struct Tree {
    TempDir dir;
    LiveWmiRoots roots;
    Tree() {
        const std::string data = std::string(TW_TEST_DATA_DIR) + "/linux/";
        auto put = [&](const std::string& rel, const std::string& text) {
            std::filesystem::create_directories(std::filesystem::path(dir.file(rel)).parent_path());
            writeFile(dir.file(rel), text);
        };
        for (const char* f : {"meminfo", "cpuinfo", "stat", "uptime", "swaps"})
            put(std::string("proc/") + f, readAll(data + f));
        put("proc/net/dev", readAll(data + "net_dev"));
        put("proc/net/protocols", readAll(data + "net_protocols"));
        put("proc/loadavg", "0.10 0.20 0.30 2/345 6789\n");
        put("proc/4242/stat", readAll(data + "pid_stat"));
        put("proc/17/stat", "17 (sshd) S 1 17 17 0 -1 0 0 0 0 0 10 20 0 0 20 0 1 0 5 100 50 0\n");
        put("proc/99/stat", "99 (gone");  // a process caught while ending
        // Targets must exist here; /proc stands for a second file system.
        put("proc/self/mounts",
            "sysfs /sys sysfs rw 0 0\n/dev/vdb1 /proc ext4 rw 0 0\n/dev/vda1 / ext4 rw 0 0\n"
            "/dev/vdc1 /proc ext4 rw 0 0\n/dev/vdd1 " +
                dir.file("proc/meminfo") + " ext4 rw 0 0\n");
        put("sys/class/dmi/id/board_name", "X570\n");
        put("sys/class/dmi/id/board_vendor", "Maker\n");
        put("sys/class/power_supply/AC/type", "Mains\n");
        put("sys/class/power_supply/BAT0/type", "Battery\n");
        put("sys/class/power_supply/BAT0/status", "Discharging\n");
        put("sys/class/power_supply/BAT0/capacity", "87\n");
        put("sys/class/power_supply/BAT0/health", "Overheat\n");
        put("sys/class/net/lo/speed", "-1\n");
        roots.proc = dir.file("proc");
        roots.sys = dir.file("sys");
        roots.systemctl = "";
        roots.journal = false;
    }
};

TEST(LiveWmiProvider, RecordedTreeGivesExactRows) {
    Tree tree;
    tw::testing::ManualClock clock(1349447400);
    clock.utcOffset = 3600;
    Live live(tree.roots, &clock);
    auto procs = live.rows("SELECT * FROM Win32_PerfRawData_PerfProc_Process");
    ASSERT_EQ(procs.size(), 4u);
    EXPECT_EQ(s(*procs[0], "Timestamp_Sys100NS"),
              std::to_string(clock.now() * 10000000 + 116444736000000000LL))
        << "the provider's clock, counted from 1601";
    const uint64_t per = 10000000 / sysconf(_SC_CLK_TCK);
    const auto st = linuxsrc::parseSystemStat(readAll(tree.roots.proc + "/stat"));
    EXPECT_EQ(s(*procs[0], "PercentProcessorTime"), std::to_string(st.idleTicks * per));
    EXPECT_EQ(s(*procs[1], "Name"), "sshd");
    EXPECT_EQ(s(*procs[1], "PercentProcessorTime"), std::to_string(30 * per));
    EXPECT_EQ(s(*procs[2], "Name"), "tw (odd) name");
    EXPECT_EQ(n(*procs[2], "IDProcess"), 4242);
    EXPECT_EQ(s(*procs[3], "PercentProcessorTime"), std::to_string((30 + 325 + st.idleTicks) * per))
        << "_Total counts Idle as Windows does";

    auto bat = live.rows("SELECT * FROM Win32_Battery");
    ASSERT_EQ(bat.size(), 1u);
    EXPECT_EQ(n(*bat[0], "BatteryStatus"), 1);
    EXPECT_EQ(n(*bat[0], "EstimatedChargeRemaining"), 87);
    EXPECT_EQ(s(*bat[0], "Status"), "Degraded");
    EXPECT_EQ(live.rows("SELECT Product FROM Win32_BaseBoard").size(), 1u);
    EXPECT_EQ(live.rows("SELECT * FROM Win32_MotherboardDevice").size(), 1u);
    auto swaps = live.rows("SELECT * FROM Win32_PageFileUsage");
    ASSERT_EQ(swaps.size(), 2u);
    EXPECT_EQ(n(*swaps[0], "AllocatedBaseSize"), 8191);
    EXPECT_EQ(n(*swaps[0], "CurrentUsage"), 256);
    auto lo = live.rows("SELECT * FROM Win32_PerfRawData_Tcpip_NetworkInterface WHERE Name='lo'");
    ASSERT_EQ(lo.size(), 1u);
    EXPECT_EQ(s(*lo[0], "CurrentBandwidth"), "0");
    auto sys = live.rows("SELECT * FROM Win32_PerfFormattedData_PerfOS_System");
    EXPECT_EQ(n(*sys[0], "Threads"), 345);
    EXPECT_EQ(n(*sys[0], "Processes"), 3);
    // The count is made for every query that can show it, and only those.
    EXPECT_EQ(n(*live.rows("SELECT Processes FROM Win32_PerfFormattedData_PerfOS_System")[0],
                "Processes"),
              3);
    EXPECT_EQ(live.rows("SELECT SystemUpTime FROM Win32_PerfFormattedData_PerfOS_System "
                        "WHERE Processes = 3")
                  .size(),
              1u);
    EXPECT_EQ(n(*live.rows("SELECT NumberOfProcesses FROM Win32_OperatingSystem")[0],
                "NumberOfProcesses"),
              3);
    EXPECT_EQ(
        live.rows("SELECT Caption FROM Win32_OperatingSystem WHERE NumberOfProcesses = 3").size(),
        1u);
    auto disks = live.rows("SELECT Name, VolumeName FROM Win32_LogicalDisk");
    // "/" first as C:; the second /proc mount and the mount over a file are no drives.
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(s(*disks[0], "VolumeName"), "/");
    EXPECT_EQ(s(*disks[1], "Name"), "D:");
    EXPECT_EQ(s(*disks[1], "VolumeName"), "/proc");

    auto os = live.rows("SELECT LocalDateTime FROM Win32_OperatingSystem");
    ASSERT_EQ(os.size(), 1u);
    EXPECT_EQ(s(*os[0], "LocalDateTime"), "20121005153000.000000+060");
    // Rows are filled by property name: a name that is not the class's own
    // would leave one of its properties unset.
    for (auto& cls : live.rows("SELECT * FROM meta_class")) {
        const std::string name = s(*cls, "__CLASS");
        if (name == "Win32_Service" || name == "Win32_NTLogEvent") continue;
        for (auto& o : live.rows("SELECT * FROM " + name))
            for (const auto& p : o->propertyNames()) EXPECT_TRUE(o->get(p)) << name << "." << p;
    }

    EXPECT_FALSE(live.c->query("SELECT * FROM Win32_Service")) << "no service manager";
    EXPECT_FALSE(live.c->query("SELECT * FROM Win32_NTLogEvent")) << "no journal";
    std::remove((tree.roots.proc + "/meminfo").c_str());
    EXPECT_FALSE(live.c->query("SELECT * FROM Win32_OperatingSystem"));
    EXPECT_NE(live.c->lastError().find("meminfo"), std::string::npos);
    EXPECT_FALSE(live.c->query("SELECT * FROM Win32_Fan"));
    // A source is needed only by the queries that show what it gives.
    EXPECT_FALSE(live.c->query("SELECT * FROM Win32_ComputerSystem"));
    EXPECT_FALSE(live.c->query("SELECT TotalPhysicalMemory FROM Win32_ComputerSystem"));
    EXPECT_FALSE(live.rows("SELECT NumberOfProcessors FROM Win32_ComputerSystem").empty());
    std::remove((tree.roots.proc + "/cpuinfo").c_str());
    EXPECT_FALSE(live.c->query("SELECT NumberOfLogicalProcessors FROM Win32_ComputerSystem"));
    auto cs = live.rows("SELECT Name FROM Win32_ComputerSystem");
    ASSERT_EQ(cs.size(), 1u);
    EXPECT_FALSE(s(*cs[0], "Name").empty());
}

// ---- the remote pickers' classes -----------------------------------------------------

// A tree that stands in for "/" in the file classes' tests.
struct FileTree {
    TempDir dir;
    void folder(const std::string& rel) {
        std::filesystem::create_directories(dir.path() + "/" + rel);
    }
    void file(const std::string& rel, std::filesystem::perms mode) {
        writeFile(dir.path() + "/" + rel, "#!/bin/sh\n");
        std::filesystem::permissions(dir.path() + "/" + rel, mode);
    }
    void link(const std::string& rel, const std::string& to) {
        std::filesystem::create_symlink(to, dir.path() + "/" + rel);
    }
};

std::vector<std::string> names(const std::vector<std::unique_ptr<WmiObject>>& rows) {
    std::vector<std::string> out;
    for (auto& r : rows) out.push_back(s(*r, "Name"));
    return out;
}

TEST(LiveWmiProvider, DataFilesAreTheProgramsOfTheProgramFoldersShapedAsWmiShapesThem) {
    using P = std::filesystem::perms;
    FileTree t;
    for (const char* f : {"usr/bin", "opt/tool/bin/deep", "usr/local/sbin", "elsewhere"})
        t.folder(f);
    t.link("bin", "usr/bin");  // a merged /usr: /bin and /usr/bin are one folder
    t.file("usr/bin/check.sh", P::owner_all | P::group_read | P::others_exec);
    t.file("usr/bin/readme.txt", P::owner_read | P::owner_write);
    t.link("usr/bin/check", "check.sh");               // stays in its folder
    t.link("usr/bin/escape", "../../elsewhere/prog");  // leads out of it
    t.file("elsewhere/prog", P::owner_all);
    t.file("opt/tool/bin/tool.bin", P::owner_all);
    t.file("opt/tool/bin/deep/too-deep", P::owner_all);
    t.link("opt/outside", "../elsewhere");
    t.file("usr/local/sbin/admin", P::owner_all);
    LiveWmiRoots roots;
    roots.files = t.dir.path();
    roots.programPath = "/bin:relative/bin::/usr/bin:/missing";
    Live live(roots);
    auto rows = live.rows("SELECT * FROM CIM_DataFile");
    EXPECT_EQ(names(rows),
              (std::vector<std::string>{"/bin/check", "/bin/check.sh", "/opt/tool/bin/tool.bin",
                                        "/usr/local/sbin/admin"}));
    ASSERT_EQ(rows.size(), 4u);
    const WmiObject& tool = *rows[2];
    EXPECT_EQ(s(tool, "FileName"), "tool");
    EXPECT_EQ(s(tool, "Extension"), "bin");
    EXPECT_EQ(s(tool, "Drive"), "");
    EXPECT_EQ(s(tool, "Path"), "/opt/tool/bin/");
    EXPECT_EQ(s(*rows[0], "Extension"), "");
    EXPECT_EQ(
        names(live.rows("SELECT Name FROM CIM_DataFile WHERE Name = '/usr/local/sbin/admin'")),
        std::vector<std::string>{"/usr/local/sbin/admin"});
}

TEST(LiveWmiProvider, DirectoriesAreTheFoldersNearTheRootOutsideTheKernelsTrees) {
    FileTree t;
    for (const char* f : {"proc/1", "sys/kernel", "dev/pts", "run/user", "tmp",
                          "var/spool/twnt/deeper", "srv/www.d"})
        t.folder(f);
    t.link("home", "var");
    LiveWmiRoots roots;
    roots.files = t.dir.path();
    Live live(roots);
    auto rows = live.rows("SELECT * FROM Win32_Directory");
    EXPECT_EQ(names(rows), (std::vector<std::string>{"/", "/srv", "/tmp", "/var", "/srv/www.d",
                                                     "/var/spool", "/var/spool/twnt"}));
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(s(*rows[0], "Path"), "/");
    EXPECT_EQ(s(*rows[4], "FileName"), "www");
    EXPECT_EQ(s(*rows[4], "Extension"), "d");
    EXPECT_EQ(s(*rows[6], "FileName"), "twnt");
    EXPECT_EQ(s(*rows[6], "Path"), "/var/spool/");
    // The class browser offers the class with its properties.
    auto cls = live.rows("SELECT * FROM meta_class WHERE __Class = 'Win32_Directory'");
    ASSERT_EQ(cls.size(), 1u);
    EXPECT_EQ(cls[0]->propertyNames(),
              (std::vector<std::string>{"Name", "FileName", "Extension", "Drive", "Path"}));
}

TEST(LiveWmiProvider, FileListsStopAtTenThousandRows) {
    FileTree t;
    for (int i = 0; i < 10050; ++i) t.folder("many/d" + std::to_string(i));
    LiveWmiRoots roots;
    roots.files = t.dir.path();
    Live live(roots);
    EXPECT_EQ(live.rows("SELECT Name FROM Win32_Directory").size(), 10000u);
}

}  // namespace
}  // namespace tw::platform
