// The real twnt binary in -app mode against a temporary settings file.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/posix/file_settings_store.h"
#include "test/support/e2e.h"
#include "test/support/fake_platform.h"
#include "test/support/process.h"
#include "test/support/twrecv_process.h"

namespace tw {
namespace {

using testing::Process;
using testing::readFile;
using testing::TempDir;
using testing::waitFor;

const std::string kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\";

void setSetting(const std::string& file, const std::string& name, const std::string& text) {
    std::string error;
    ASSERT_TRUE(testing::setAgentSetting(file, name, text, &error)) << error;
}

struct AgentApp : ::testing::Test {
    TempDir dir;
    std::string reg = dir.file("registry.reg");
    std::string events = dir.file("events.log");
    std::map<std::string, std::string> env() {
        return {{"TWNT_REGISTRY", reg},
                {"TWNT_EVENTLOG", events},
                {"TEMP", dir.path()},
                {"TWNT_WMI_FIXTURE", dir.file("no-fixture.json")}};
    }
};

TEST_F(AgentApp, RunsCyclesWithAFreshLogAndStopsPromptlyOnSigterm) {
    setSetting(reg, "TWDISPLAY", "127.0.0.1:9");
    setSetting(reg, "Activatelog", "Y");
    setSetting(reg, "Timer", "1");
    // Without a fixture the disk and svcs fetches would retry for minutes;
    // this test is about the cycle itself.
    setSetting(
        reg, "Tests",
        "procs:D msgs:D cpu:D disk:D netprotl:D mem:D pagefile:D svcs:D netdata:D wmitest:D");
    Process agent(testing::binaryPath("twnt"), {"-app"}, env(), dir.path());
    const std::string log = dir.file("TW.LOG");
    // The log is written while we read it: take one reading that holds a
    // whole later cycle, up to its sleep.
    std::string text;
    ASSERT_TRUE(waitFor(
        [&] {
            text = readFile(log);
            return text.find("Sequence: ") == 0 && text.find("Sequence: 0") == std::string::npos &&
                   text.find("twmain: Sleeping for ") != std::string::npos;
        },
        15000))
        << text << agent.err();
    EXPECT_EQ(text.rfind("Sequence: ", 0), 0u);
    // One cycle per file: the earlier cycles are gone.
    EXPECT_EQ(text.find("Sequence: 0"), std::string::npos);
    size_t at = 0;
    for (const char* line :
         {"TWDISPLAY = <127.0.0.1:9>\r\r\n", "TWPAGE    = <127.0.0.1:9>\r\r\n",
          "FQDN   = <N>\r\r\n", "IPport = <1984>\r\r\n", "compName = <", "Timer = <1>\r\r\n",
          "External Path = <>\r\r\n", "twmain: Sleeping for "}) {
        size_t found = text.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << text;
        at = found;
    }
    agent.signal(SIGTERM);
    auto status = agent.wait(testing::kAgentStopMs);
    ASSERT_TRUE(status) << "twnt did not stop\n" << readFile(log);
    EXPECT_EQ(*status, 0);
}

TEST_F(AgentApp, WithoutDisplayExitsOneWithEventEntryTwo) {
    setSetting(reg, "Activatelog", "Y");
    auto r = testing::runProgram(testing::binaryPath("twnt"), {"-app"}, env());
    EXPECT_EQ(r.status, 1);
    std::string ev = readFile(events);
    EXPECT_NE(ev.find("\tTallwatchClient\terror\t2\tTWDISPLAY not set\n"), std::string::npos) << ev;
}

TEST_F(AgentApp, AbsentSettingsFileReadsAsEmpty) {
    auto r = testing::runProgram(testing::binaryPath("twnt"), {"-app"}, env());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(readFile(events).find("TWDISPLAY not set"), std::string::npos);
}

TEST_F(AgentApp, CommandLineLongerThan255CharactersIsRefused) {
    auto r = testing::runProgram(testing::binaryPath("twnt"),
                                 {std::string(200, 'a'), std::string(60, 'b')}, env());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\r\ntwnt: Command line too long\r\n");
    // 255 characters joined are still accepted (-app anywhere runs the loop).
    r = testing::runProgram(testing::binaryPath("twnt"), {"x-appx", std::string(248, 'c')}, env());
    EXPECT_EQ(r.status, 1);  // the loop ran and stopped at the missing TWDISPLAY
    EXPECT_NE(readFile(events).find("TWDISPLAY not set"), std::string::npos);
}

TEST_F(AgentApp, UnparsableSettingsFileIsReportedEachCycleAndLeftUntouched) {
    const std::string broken =
        "Windows Registry Editor Version 5.00\n\n[" + kKey + "TWDISPLAY]\n@=\"127.0.0.1\"\noops\n";
    testing::writeFile(reg, broken);
    Process agent(testing::binaryPath("twnt"), {"-app"}, env(), dir.path());
    ASSERT_TRUE(waitFor(
        [&] { return readFile(events).find("registry.reg:5") != std::string::npos; }, 10000))
        << readFile(events);
    agent.signal(SIGTERM);
    EXPECT_TRUE(agent.wait(testing::kAgentStopMs)) << readFile(events);
    EXPECT_EQ(readFile(reg), broken);
}

// libcrypto is loaded only when a KeyCode is first used. When it cannot be
// loaded (here a broken file of its name comes first in the search), the
// message is not sent at all rather than sent in clear.
TEST_F(AgentApp, KeyCodeWithoutLoadableLibcryptoSendsNothingInClear) {
    for (bool broken : {false, true}) {
        SCOPED_TRACE(broken ? "broken libcrypto" : "system libcrypto");
        TempDir run;
        std::filesystem::create_directories(run.file("out"));
        std::filesystem::create_directories(run.file("lib"));
        testing::writeFile(run.file("lib/" TW_LIBCRYPTO_SONAME), "not a library");
        testing::writeFile(run.file("fixture.json"), R"({"Win32_NTLogEvent": []})");
        testing::TwrecvProcess recv;
        ASSERT_TRUE(
            recv.start({"--out", run.file("out"), "--bind", "127.0.0.1", "--key", "secret"}));
        const std::string file = run.file("registry.reg");
        setSetting(file, "TWDISPLAY", "127.0.0.1:" + std::to_string(recv.port()));
        setSetting(file, "KeyCode", "secret");
        setSetting(file, "Activatelog", "Y");
        setSetting(file, "Timer", "60");
        setSetting(
            file, "Tests",
            "procs:D msgs:P cpu:D disk:D netprotl:D mem:D pagefile:D svcs:D netdata:D wmitest:D");
        auto e = testing::agentEnv(run.path(), run.file("fixture.json"));
        if (broken) e["LD_LIBRARY_PATH"] = run.file("lib");
        Process agent(testing::binaryPath("twnt"), {"-app"}, e, run.path());
        const std::string log = run.file("TW.LOG");
        ASSERT_TRUE(waitFor(
            [&] {
                const std::string text = readFile(log);
                return text.find("twmain: Sleeping for ") != std::string::npos;
            },
            15000))
            << readFile(log) << agent.err();
        agent.signal(SIGTERM);
        EXPECT_TRUE(agent.wait(testing::kAgentStopMs)) << readFile(log);
        const std::string text = readFile(log);
        auto files = testing::receivedFiles(run.file("out"));
        // What was sent may still be on its way into the receiver's folder;
        // a refused message never left (the send stops before connecting).
        if (!broken)
            waitFor([&] { return !(files = testing::receivedFiles(run.file("out"))).empty(); },
                    5000);
        if (broken) {
            EXPECT_NE(text.find("CAN'T ENCRYPT MESSAGE IN twsend()"), std::string::npos) << text;
            EXPECT_TRUE(files.empty()) << readFile(files.front());
        } else {
            EXPECT_EQ(text.find("CAN'T ENCRYPT"), std::string::npos) << text;
            ASSERT_EQ(files.size(), 1u);
            EXPECT_EQ(readFile(files[0]).rfind("status ", 0), 0u) << readFile(files[0]);
        }
    }
}

TEST_F(AgentApp, WithoutArgumentsOutsideAServiceManagerTheDispatcherFails) {
    auto e = env();
    e["-INVOCATION_ID"] = "";
    auto r = testing::runProgram(testing::binaryPath("twnt"), {}, e);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(readFile(events).find("\terror\t0\tTallwatchClient error: "), std::string::npos);
    EXPECT_NE(readFile(events).find("\tStartServiceCtrlDispatcher failed.\n"), std::string::npos);
}

}  // namespace
}  // namespace tw

namespace tw {
namespace {

// Started by the service manager (here: a shell that is process 1 of its own
// namespace, with systemd's invocation id set), twnt runs as the service and
// a SIGTERM stops it with the Started/Stopped entries.
TEST_F(AgentApp, ServiceModeUnderAServiceManagerLogsStartedAndStopped) {
    if (access("/usr/bin/unshare", X_OK) != 0) GTEST_SKIP() << "no unshare";
    setSetting(reg, "TWDISPLAY", "127.0.0.1:9");
    setSetting(reg, "Timer", "60");
    setSetting(
        reg, "Tests",
        "procs:D msgs:D cpu:D disk:D netprotl:D mem:D pagefile:D svcs:D netdata:D wmitest:D");
    const std::string script = "INVOCATION_ID=e2e " + testing::binaryPath("twnt") +
                               " & pid=$!; sleep 1; kill -TERM $pid; wait $pid; echo \"exit=$?\"";
    auto r =
        testing::runProgram("/usr/bin/unshare", {"-pf", "--mount-proc", "sh", "-c", script}, env());
    if (r.status != 0 && r.err.find("unshare") != std::string::npos) GTEST_SKIP() << r.err;
    EXPECT_EQ(r.out, "exit=0\n") << r.err;
    std::string ev = readFile(events);
    size_t started =
        ev.find("\tinformation\t256\tStarted Tallwatch Professional Edition Client 5.01\n");
    size_t stopped =
        ev.find("\tinformation\t256\tStopped Tallwatch Professional Edition Client 5.01\n");
    EXPECT_NE(started, std::string::npos) << ev;
    EXPECT_NE(stopped, std::string::npos) << ev;
    EXPECT_LT(started, stopped);
}

}  // namespace
}  // namespace tw
