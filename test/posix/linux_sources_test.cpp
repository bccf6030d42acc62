#include "platform/posix/linux_sources.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace tw::platform::linuxsrc {
namespace {

std::string sample(const std::string& name) {
    std::ifstream in(std::string(TW_TEST_DATA_DIR) + "/linux/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(LinuxSources, ProcessStatWithOddNamesAndTruncatedLines) {
    auto p = parseProcStat(sample("pid_stat"));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->pid, 4242);
    EXPECT_EQ(p->comm, "tw (odd) name") << "the name ends at the last parenthesis";
    EXPECT_EQ(p->state, 'S');
    EXPECT_EQ(p->ppid, 1);
    EXPECT_EQ(p->utime, 250u);
    EXPECT_EQ(p->stime, 75u);
    EXPECT_EQ(p->threads, 3);
    EXPECT_EQ(p->startTicks, 98765u);
    EXPECT_EQ(p->rssPages, 640);
    EXPECT_FALSE(parseProcStat(sample("pid_stat.partial")));
    EXPECT_FALSE(parseProcStat(""));
    EXPECT_FALSE(parseProcStat("x (a) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22"));
}

TEST(LinuxSources, ProcessStatNumbersOutOfRangeAreRefusedNotWrapped) {
    // The resident size is the last field read; one out of range is left
    // unknown (0) rather than wrapped into a plausible figure.
    const std::string head = "7 (a) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 ";
    struct Case {
        const char* rss;
        int64_t want;
    } cases[] = {
        {"9223372036854775807", INT64_MAX}, {"-9223372036854775808", INT64_MIN},
        {"9223372036854775808", 0},         {"-9223372036854775809", 0},
        {"18446744073709551616", 0},        {"-99999999999999999999999", 0},
    };
    for (const auto& c : cases) {
        auto p = parseProcStat(head + c.rss);
        ASSERT_TRUE(p) << c.rss;
        EXPECT_EQ(p->rssPages, c.want) << c.rss;
    }
    EXPECT_FALSE(
        parseProcStat("99999999999999999999 (a) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 "
                      "17 18 19 20 21 22"))
        << "a pid out of range";
}

TEST(LinuxSources, MeminfoValidPartialInvalid) {
    auto m = parseMeminfo(sample("meminfo"));
    EXPECT_GT(m["MemTotal"], 0u);
    EXPECT_TRUE(m.count("MemAvailable"));
    EXPECT_TRUE(m.count("Committed_AS"));
    auto partial = parseMeminfo(sample("meminfo.partial"));
    EXPECT_EQ(partial["MemTotal"], m["MemTotal"]);
    EXPECT_LT(partial.size(), m.size());
    EXPECT_TRUE(parseMeminfo(sample("meminfo.invalid")).empty());
}

TEST(LinuxSources, CpuinfoGroupsBySocket) {
    auto s = parseCpuinfo(sample("cpuinfo"));
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].logical, 2);
    EXPECT_EQ(s[0].cores, 2);
    EXPECT_EQ(s[0].model, "AMD EPYC");
    auto partial = parseCpuinfo(sample("cpuinfo.partial"));
    ASSERT_EQ(partial.size(), 1u);
    EXPECT_EQ(partial[0].logical, 1);
    auto arm = parseCpuinfo(sample("cpuinfo.arm"));
    ASSERT_EQ(arm.size(), 1u);
    EXPECT_EQ(arm[0].logical, 2);
    EXPECT_EQ(arm[0].cores, 0) << "unknown cores: the logical count decides";
    std::string two =
        "processor : 0\nphysical id : 0\ncore id : 0\n\nprocessor : 1\nphysical id : 1\n"
        "core id : 0\n\nprocessor : 2\nphysical id : 1\ncore id : 0\n";
    auto sockets = parseCpuinfo(two);
    ASSERT_EQ(sockets.size(), 2u);
    EXPECT_EQ(sockets[1].logical, 2);
    EXPECT_EQ(sockets[1].cores, 1) << "hyper-threads share a core";
    EXPECT_TRUE(parseCpuinfo("").empty());
}

TEST(LinuxSources, SystemStatAndUptime) {
    auto s = parseSystemStat(sample("stat"));
    EXPECT_TRUE(s.valid);
    EXPECT_GT(s.btime, 1000000000);
    EXPECT_GT(s.idleTicks, 0u);
    EXPECT_GE(s.totalTicks, s.idleTicks);
    auto p = parseSystemStat(sample("stat.partial"));
    EXPECT_EQ(p.btime, 0) << "the boot time line is cut off";
    EXPECT_FALSE(parseSystemStat("garbage\n").valid);
    auto u = parseUptime(sample("uptime"));
    ASSERT_TRUE(u);
    EXPECT_GT(*u, 0);
    EXPECT_FALSE(parseUptime(""));
    EXPECT_FALSE(parseUptime("soon 12.0\n"));
}

TEST(LinuxSources, MountsWithEscapesAndDriveTypes) {
    auto m = parseMounts(sample("mounts"));
    ASSERT_EQ(m.size(), 12u);
    EXPECT_EQ(m[6].target, "/mnt/nfs share");
    std::vector<int> types;
    for (const auto& e : m) types.push_back(driveTypeOf(e, e.source == "/dev/sdb1"));
    EXPECT_EQ(types, (std::vector<int>{0, 0, 0, 3, 3, 3, 4, 4, 5, 6, 2, 0}));
    auto partial = parseMounts(sample("mounts.partial"));
    ASSERT_EQ(partial.size(), 1u) << "lines without all fields are skipped";
    EXPECT_EQ(blockDeviceOf("/dev/nvme0n1p2"), "nvme0n1p2");
    EXPECT_EQ(blockDeviceOf("/dev/mapper/vg-root"), "vg-root");
    EXPECT_EQ(blockDeviceOf("server:/export"), "");
}

TEST(LinuxSources, SwapsNetDevAndProtocols) {
    auto s = parseSwaps(sample("swaps"));
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].name, "/dev/dm-1");
    EXPECT_EQ(s[0].sizeKb, 8388604u);
    EXPECT_EQ(s[0].usedKb, 262144u);
    EXPECT_EQ(s[1].name, "/swap file");
    EXPECT_TRUE(parseSwaps(sample("swaps.partial")).empty());
    EXPECT_TRUE(parseSwaps("").empty());

    auto d = parseNetDev(sample("net_dev"));
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(d[0].name, "lo");
    EXPECT_EQ(d[0].rxBytes, d[0].txBytes) << "loopback sends what it receives";
    auto cut = parseNetDev(
        "Inter-|\n face |\n  eth0: 1 2 3\n  eth1:10 20 0 0 0 0 0 0 30 40 0 0 0 0 0 0\n");
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].name, "eth1");
    EXPECT_EQ(cut[0].txPackets, 40u);

    auto p = parseNetProtocols(sample("net_protocols"));
    EXPECT_NE(std::find(p.begin(), p.end(), "TCP"), p.end());
    EXPECT_NE(std::find(p.begin(), p.end(), "UDP"), p.end());
    EXPECT_TRUE(parseNetProtocols("protocol size\nbroken\n").empty());
}

TEST(LinuxSources, SystemctlListings) {
    auto u = parseListUnits(sample("list_units"));
    ASSERT_EQ(u.size(), 7u);
    EXPECT_EQ(u[0].unit, "cron.service");
    EXPECT_EQ(u[0].description, "Regular background program processing daemon");
    EXPECT_EQ(u[2].unit, "postfix@-.service") << "the failed-unit bullet is dropped";
    EXPECT_EQ(u[2].active, "failed");
    EXPECT_EQ(u[4].active, "activating");
    auto f = parseListUnitFiles(sample("list_unit_files"));
    ASSERT_EQ(f.size(), 5u);
    EXPECT_EQ(f[3].unit, "rsync.service");
    EXPECT_EQ(f[3].state, "disabled");
    EXPECT_TRUE(parseListUnits("0 loaded units listed.\n").empty());
    auto kv = parseKeyValues("Id=ssh.service\nDescription=A = B\nbroken\n=x\n");
    EXPECT_EQ(kv.size(), 2u);
    EXPECT_EQ(kv["Description"], "A = B");
}

TEST(LinuxSources, JournalRecordsBecomeEventLogEntries) {
    auto e = mapJournalRecord(
        {{"_TRANSPORT", "kernel"}, {"PRIORITY", "3"}, {"MESSAGE", "I/O error"}}, 1700000000000000);
    EXPECT_EQ(e.logFile, "System");
    EXPECT_EQ(e.eventType, 1);
    EXPECT_EQ(e.source, "kernel");
    EXPECT_EQ(e.generatedUs, 1700000000000000);
    auto auth = mapJournalRecord({{"SYSLOG_FACILITY", "10"},
                                  {"PRIORITY", "5"},
                                  {"SYSLOG_IDENTIFIER", "sshd"},
                                  {"_SYSTEMD_UNIT", "ssh.service"},
                                  {"_SOURCE_REALTIME_TIMESTAMP", "1699999999000000"}},
                                 1700000000000000);
    EXPECT_EQ(auth.logFile, "Security");
    EXPECT_EQ(auth.eventType, 3);
    EXPECT_EQ(auth.source, "sshd");
    EXPECT_EQ(auth.generatedUs, 1699999999000000);
    EXPECT_EQ(auth.writtenUs, 1700000000000000);
    auto svc = mapJournalRecord(
        {{"_SYSTEMD_UNIT", "cron.service"}, {"PRIORITY", "4"}, {"_COMM", "cron"}}, 1);
    EXPECT_EQ(svc.logFile, "System");
    EXPECT_EQ(svc.eventType, 2);
    EXPECT_EQ(svc.source, "cron");
    auto app =
        mapJournalRecord({{"_SYSTEMD_UNIT", "session-3.scope"}, {"SYSLOG_FACILITY", "1"}}, 1);
    EXPECT_EQ(app.logFile, "Application");
    EXPECT_EQ(app.eventType, 3) << "no priority: information";
    EXPECT_EQ(mapJournalRecord({{"_SYSTEMD_USER_UNIT", "x.service"},
                                {"_SYSTEMD_UNIT", "user@1000.service"},
                                {"PRIORITY", "0"}},
                               1)
                  .logFile,
              "Application");
}

}  // namespace
}  // namespace tw::platform::linuxsrc
