// The real twnt binary in -app mode with work files and external programs.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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
using testing::writeFile;

void setSetting(const std::string& file, const std::string& name, const std::string& text) {
    std::string error;
    ASSERT_TRUE(testing::setAgentSetting(file, name, text, &error)) << error;
}

// Children of pid that have ended and were not collected.
int zombieChildren(pid_t pid) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
        std::ifstream in(e.path() / "stat");
        std::string line;
        if (!std::getline(in, line)) continue;
        size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        char state;
        long ppid;
        if (rest >> state >> ppid && ppid == pid && state == 'Z') ++n;
    }
    return n;
}

struct AgentExt : ::testing::Test {
    TempDir dir;
    std::string reg = dir.file("registry.reg");
    std::map<std::string, std::string> env() {
        return {{"TWNT_REGISTRY", reg},
                {"TWNT_EVENTLOG", dir.file("events.log")},
                {"TEMP", dir.path()},
                {"TWNT_WMI_FIXTURE", dir.file("no-fixture.json")}};
    }
    void SetUp() override {
        setSetting(reg, "Activatelog", "Y");
        setSetting(reg, "Timer", "1");
        // Only the auxiliary threads are under test: no built-in test holds
        // the cycle up waiting for data the empty fixture never gives.
        setSetting(
            reg, "Tests",
            "procs:D msgs:D cpu:D disk:D netprotl:D mem:D pagefile:D svcs:D netdata:D wmitest:D");
    }
};

TEST_F(AgentExt, WorkFileIsForwardedToTwrecvAndDeleted) {
    const std::string out = dir.file("received");
    std::filesystem::create_directories(out);
    testing::TwrecvProcess recv;
    ASSERT_TRUE(recv.start({"--bind", "127.0.0.1", "--quiet", "--out", out}));

    // Mixed case and a blank: the directory must be opened as written.
    const std::string work = dir.file("Work Files");
    std::filesystem::create_directories(work);
    writeFile(work + "/DISKX", "myhost.corp:red+30 Disk full\n");
    writeFile(work + "/notes.txt", "red not a work file\n");
    setSetting(reg, "TWDISPLAY", "127.0.0.1:" + std::to_string(recv.port()));
    setSetting(reg, "ExternalPath", work);
    setSetting(reg, "PluginTimer", "1");

    Process agent(testing::binaryPath("twnt"), {"-app"}, env(), dir.path());
    auto arrived = [&] {
        for (const auto& f : std::filesystem::directory_iterator(out))
            if (readFile(f.path()) == "status+30 myhost,corp.DISKX red    Disk full\n") return true;
        return false;
    };
    EXPECT_TRUE(waitFor(arrived, 20000)) << readFile(dir.file("TW.LOG")) << agent.err();
    EXPECT_TRUE(waitFor([&] { return !std::filesystem::exists(work + "/DISKX"); }, 10000));
    EXPECT_TRUE(std::filesystem::exists(work + "/notes.txt"));

    agent.signal(SIGTERM);
    auto status = agent.wait(testing::kAgentStopMs);
    ASSERT_TRUE(status) << "twnt did not stop\n" << readFile(dir.file("TW.LOG"));
    EXPECT_EQ(*status, 0);
}

TEST_F(AgentExt, ExternalWithIntervalOneRunsRepeatedlyAndLeavesNoZombies) {
    const std::string script = dir.file("my prog.sh");
    const std::string lines = dir.file("out.txt");
    writeFile(script, "#!/bin/sh\necho run >> \"$1\"\n");
    ASSERT_EQ(chmod(script.c_str(), 0755), 0);
    setSetting(reg, "TWDISPLAY", "127.0.0.1:9");
    setSetting(reg, "Externals", " " + script + " " + lines + " /INT=1 ");

    Process agent(testing::binaryPath("twnt"), {"-app"}, env(), dir.path());
    auto runs = [&] {
        std::string t = readFile(lines);
        return static_cast<int>(std::count(t.begin(), t.end(), '\n'));
    };
    EXPECT_TRUE(waitFor([&] { return runs() >= 3; }, 20000))
        << readFile(dir.file("TW.LOG")) << agent.err();
    // Each finished run is collected by the next pass at the latest.
    EXPECT_LE(zombieChildren(agent.pid()), 1);

    agent.signal(SIGTERM);
    auto status = agent.wait(testing::kAgentStopMs);
    ASSERT_TRUE(status) << "twnt did not stop\n" << readFile(dir.file("TW.LOG"));
    EXPECT_EQ(*status, 0);
}

}  // namespace
}  // namespace tw
