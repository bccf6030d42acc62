// twnt -test on the settings that install leaves (as ./run.sh does), against
// a fixture: it prints what one cycle sends, in the cycle's order, while a
// display server (twrecv) and a pager server (a bare loopback listener)
// receive nothing; a real cycle of twnt -app then sends the same texts.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "test/support/e2e.h"
#include "test/support/loopback_servers.h"
#include "test/support/process.h"

namespace tw {
namespace {

using testing::readFile;

// Every figure is fixed, so two runs give the same texts up to their time
// stamps: the processes use no processor time between samples.
std::string fixture(bool trouble) {
    const char* disk = trouble ? "1073741824" : "53687091200";  // 99 % or 50 % full
    const char* events = trouble ? R"([{"LogFile": "System", "EventType": 1,
        "TimeGenerated": {"$ago": 120}, "TimeWritten": {"$ago": 120}, "SourceName": "Disk",
        "EventIdentifier": 11, "Message": "The device has a bad block."}])"
                                 : "[]";
    return std::string(R"({
  "Win32_Processor": [{"NumberOfCores": 2, "NumberOfLogicalProcessors": 2}],
  "Win32_ComputerSystem": [{"Name": "E2EHOST", "TotalPhysicalMemory": "8589934592"}],
  "Win32_OperatingSystem": [{"LastBootUpTime": {"$ago": 7230}, "FreePhysicalMemory": "2097152",
      "TotalVirtualMemorySize": "4194304", "FreeVirtualMemory": "2097152",
      "SizeStoredInPagingFiles": "1048576", "FreeSpaceInPagingFiles": "524288"}],
  "Win32_PerfRawData_PerfProc_Process": [
    {"Name": "Idle", "IDProcess": 0, "PercentProcessorTime": "0", "Timestamp_Sys100NS": "10000000"},
    {"Name": "worker", "IDProcess": 100, "PercentProcessorTime": "0",
     "Timestamp_Sys100NS": "10000000"},
    {"Name": "_Total", "IDProcess": 0, "PercentProcessorTime": "0",
     "Timestamp_Sys100NS": "10000000"}],
  "Win32_LogicalDisk": [{"Name": "C:", "DriveType": 3, "Size": "107374182400", "FreeSpace": ")") +
           disk + R"(", "VolumeName": "System"}],
  "Win32_NTLogEvent": )" +
           events + R"(,
  "Win32_Service": [{"Name": "Spooler", "DisplayName": "Print Spooler", "State": "Running"}],
  "Win32_PageFileUsage": [{"Name": "C:\\pagefile.sys", "AllocatedBaseSize": 1024,
     "CurrentUsage": 100, "PeakUsage": 200}],
  "Win32_NetworkProtocol": [{"Name": "Tcpip", "Status": "OK", "ConnectionlessService": false,
     "GuaranteesDelivery": true, "SupportsBroadcasting": false, "SupportsEncryption": false}]
})";
}

// "<kind> <test word>" of a message.
std::string head(const std::string& text) {
    std::istringstream in(text);
    std::string kind, host;
    in >> kind >> host;
    return kind + " " + host.substr(host.rfind('.') + 1);
}

// The text without its moments (date stamps and times of day).
std::string timeless(const std::string& text) {
    static const std::regex stamp(R"([A-Z][a-z]{2} [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d \S+ \d{4})");
    static const std::regex clock(R"(\d\d:\d\d:\d\d)");
    return std::regex_replace(std::regex_replace(text, stamp, "STAMP"), clock, "TIME");
}

// Whether a connection waits on the listener (made, but never accepted).
bool connectionWaiting(int listener) {
    pollfd p{listener, POLLIN, 0};
    return poll(&p, 1, 0) == 1;
}

struct DryRunE2E : ::testing::Test {
    testing::TempDir dir;
    testing::TwrecvProcess recv;
    int pager = -1;
    uint16_t pagerPort = 0;
    std::map<std::string, std::string> env;

    void SetUp() override {
        std::filesystem::create_directories(dir.file("out"));
        std::filesystem::create_directories(dir.file("units"));
        ASSERT_TRUE(recv.start({"--out", dir.file("out"), "--bind", "127.0.0.1"}));
        sockaddr_in sa;
        pager = testing::loopbackListener(16, sa);
        pagerPort = ntohs(sa.sin_port);
        env = testing::agentEnv(dir.path(), dir.file("fixture.json"));
        env["TWNT_UNIT_DIR"] = dir.file("units");
        // The state ./run.sh leaves: install's settings, the log switched on.
        auto r = twnt({"-install", "127.0.0.1", "N", std::to_string(recv.port())});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        set("Activatelog", "Y");
        set("TWPAGE", "127.0.0.1:" + std::to_string(pagerPort));
    }
    void TearDown() override {
        if (pager >= 0) close(pager);
    }
    testing::RunResult twnt(const std::vector<std::string>& args) {
        return testing::runProgram(testing::binaryPath("twnt"), args, env);
    }
    void set(const std::string& name, const std::string& text) {
        std::string why;
        ASSERT_TRUE(testing::setAgentSetting(dir.file("registry.reg"), name, text, &why)) << why;
    }
};

TEST_F(DryRunE2E, PrintsTheCycleMessagesSendsNothingAndExitsByColour) {
    const std::string display = "127.0.0.1:" + std::to_string(recv.port());
    const std::string pagerAt = "127.0.0.1:" + std::to_string(pagerPort);
    for (bool trouble : {true, false}) {
        SCOPED_TRACE(trouble ? "disk full, bad event" : "all well");
        testing::writeFile(dir.file("fixture.json"), fixture(trouble));
        testing::writeFile(dir.file("TW.LOG"), "the last cycle's log\n");
        auto r = twnt({"-test", "--json"});
        EXPECT_EQ(r.status, trouble ? 2 : 0) << r.err;
        std::string heads;
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);) {
            auto j = nlohmann::json::parse(line);
            heads += head(j["text"]) + ";";
            EXPECT_EQ(j["destinations"][0], j["kind"] == "page" ? pagerAt : display);
        }
        EXPECT_EQ(heads, trouble ? "status cpu;status mem;status procs;page disk;status disk;"
                                   "status msgs;page msgs;status svcs;status pagefile;status "
                                   "netprotl;"
                                 : "status cpu;status mem;status procs;status disk;status msgs;"
                                   "status svcs;status pagefile;status netprotl;");
        if (trouble) {
            r = twnt({"-test"});
            EXPECT_EQ(r.out.rfind("status -> " + display +
                                      "\n(second sample taken 1 s after the first)\nstatus ",
                                  0),
                      0u)
                << r.out;
            EXPECT_NE(r.out.find("\n\npage -> " + pagerAt + "\npage   "), std::string::npos);
        }
        // Nothing reached either server; the log and the event log stay as they were.
        EXPECT_FALSE(connectionWaiting(pager));
        EXPECT_FALSE(testing::waitFor(
            [&] { return !testing::receivedFiles(dir.file("out")).empty(); }, 300));
        EXPECT_EQ(readFile(dir.file("TW.LOG")), "the last cycle's log\n");
        EXPECT_FALSE(std::filesystem::exists(dir.file("ev.log")));
    }
}

// What -test prints is what the cycle sends: the second cycle of twnt -app
// delivers the same status texts (up to their moments) in the same order.
TEST_F(DryRunE2E, ARealCycleSendsWhatTheDryRunPrinted) {
    testing::writeFile(dir.file("fixture.json"), fixture(true));
    set("Timer", "1");
    auto r = twnt({"-test", "--json"});
    ASSERT_EQ(r.status, 2) << r.err;
    std::vector<std::string> printed;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        auto j = nlohmann::json::parse(line);
        if (j["kind"] == "status") printed.push_back(timeless(j["text"]));
    }
    ASSERT_EQ(printed.size(), 8u);

    // The first cycle has no previous snapshot and so no cpu report: 7 + 8.
    testing::Process agent(testing::binaryPath("twnt"), {"-app"}, env, dir.path());
    ASSERT_TRUE(testing::waitFor(
        [&] { return testing::receivedFiles(dir.file("out")).size() >= 15; }, 20000))
        << agent.err();
    agent.signal(SIGTERM);
    EXPECT_TRUE(agent.wait(testing::kAgentStopMs));
    std::vector<std::string> sent;
    auto files = testing::receivedFiles(dir.file("out"));
    for (size_t i = 7; i < 15; ++i) sent.push_back(timeless(readFile(files[i])));
    EXPECT_EQ(sent, printed);
}

// A settings file that does not load ends -test as it ends a cycle: status
// 1 and the cycle's event entry, told on standard error as well.
TEST_F(DryRunE2E, SettingsThatDoNotLoadGiveStatusOneAndTheEventEntry) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::string entry;
    };
    const std::string reg = dir.file("registry.reg");
    const std::vector<Case> cases = {
        {"no TWDISPLAY", [&] { set("TWDISPLAY", ""); }, "\terror\t2\tTWDISPLAY not set\n"},
        {"file that does not parse", [&] { testing::writeFile(reg, readFile(reg) + "oops\n"); },
         "\terror\t4\tSettings cannot be read: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(dir.file("ev.log"));
        c.arrange();
        auto r = twnt({"-test"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("twnt -test: ", 0), 0u) << r.err;
        const std::string events = readFile(dir.file("ev.log"));
        EXPECT_NE(events.find(c.entry), std::string::npos) << events;
        EXPECT_EQ(std::count(events.begin(), events.end(), '\n'), 1) << events;
    }
}

}  // namespace
}  // namespace tw
