#include "platform/posix/posix_launcher.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>

#include "test/support/fake_platform.h"
#include "test/support/process.h"

namespace tw::platform {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::waitFor;
using testing::writeFile;
using V = std::vector<std::string>;

TEST(SplitArguments, WordsAsAShellSplitsThem) {
    EXPECT_EQ(splitArguments(""), V{});
    EXPECT_EQ(splitArguments("  -a   b\tc  "), (V{"-a", "b", "c"}));
    EXPECT_EQ(splitArguments("'two words' \"x $y\" a\\ b"), (V{"two words", "x $y", "a b"}));
    EXPECT_EQ(splitArguments("\"a\\\"b\\\\c\\n\""), (V{"a\"b\\c\\n"}));
    EXPECT_EQ(splitArguments("pre'mid'post \"\" ''"), (V{"premidpost", "", ""}));
    EXPECT_EQ(splitArguments("'it''s' C:\\\\dir"), (V{"its", "C:\\dir"}));
}

TEST(SplitArguments, OpenQuoteOrTrailingBackslashIsRefused) {
    EXPECT_FALSE(splitArguments("'open"));
    EXPECT_FALSE(splitArguments("\"open"));
    EXPECT_FALSE(splitArguments("end\\"));
}

struct Launcher : ::testing::Test {
    TempDir dir;
    std::unique_ptr<platform::Launcher> launcher = makePosixLauncher();
    std::string script(const std::string& name, const std::string& body, mode_t mode = 0755) {
        std::string p = dir.file(name);
        writeFile(p, "#!/bin/sh\n" + body);
        chmod(p.c_str(), mode);
        return p;
    }
};

TEST_F(Launcher, StartsTheProgramWithItsArgumentsWithoutWaiting) {
    std::string out = dir.file("args.txt");
    std::string prog =
        script("with blank.sh", "sleep 1; for a; do echo \"[$a]\"; done > \"$OUT\"\n");
    setenv("OUT", out.c_str(), 1);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(launcher->launch(prog, "one 'two three' \"four\""), kLaunchStarted);
    // The program sleeps a second; the start did not wait for it.
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(900));
    EXPECT_TRUE(waitFor([&] { return readFile(out).size() > 0; }, 10000));
    EXPECT_EQ(readFile(out), "[one]\n[two three]\n[four]\n");
    unsetenv("OUT");
}

TEST_F(Launcher, HiddenProgramGetsNoConsoleAndNoAgentDescriptors) {
    // A descriptor of ours without close-on-exec, as the log file has.
    std::string marker = dir.file("agent-private");
    writeFile(marker, "");
    int fd = open(marker.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    std::string pidFile = dir.file("pid");
    ASSERT_EQ(
        launcher->launch(script("fds.sh", "echo $$ > \"$1.tmp\"; mv \"$1.tmp\" \"$1\"; sleep 2\n"),
                         pidFile),
        kLaunchStarted);
    ASSERT_TRUE(waitFor([&] { return !readFile(pidFile).empty(); }, 10000));
    std::string pid = readFile(pidFile);
    pid.pop_back();
    std::map<std::string, std::string> fds;
    for (const auto& e : std::filesystem::directory_iterator("/proc/" + pid + "/fd")) {
        std::error_code ec;
        fds[e.path().filename().string()] = std::filesystem::read_symlink(e.path(), ec).string();
    }
    close(fd);
    EXPECT_EQ(fds["0"], "/dev/null");
    EXPECT_EQ(fds["1"], "/dev/null");
    EXPECT_EQ(fds["2"], "/dev/null");
    for (auto& [n, target] : fds) EXPECT_NE(target, marker) << "descriptor " << n << " leaked";
}

TEST_F(Launcher, FailuresAnswerShellStyleCodes) {
    EXPECT_EQ(launcher->launch(dir.file("missing"), ""), kLaunchFileNotFound);
    std::string plain = script("noexec.sh", "exit 0\n", 0644);
    EXPECT_EQ(launcher->launch(plain, ""), kLaunchAccessDenied);
    EXPECT_EQ(launcher->launch(dir.path(), ""), kLaunchAccessDenied);
    std::string bogus = dir.file("bogus");
    writeFile(bogus, "not a program");
    chmod(bogus.c_str(), 0755);
    EXPECT_EQ(launcher->launch(bogus, ""), kLaunchBadFormat);
    EXPECT_EQ(launcher->launch(script("ok.sh", "exit 0\n"), "'unclosed"), kLaunchBadFormat);
}

// How many of the pids (one per line) are ended but not yet collected
// (zombies), or still running.
int counted(const std::string& pids, bool zombie) {
    int n = 0;
    std::istringstream in(pids);
    std::string pid;
    while (std::getline(in, pid)) {
        std::string stat = readFile("/proc/" + pid + "/stat");
        size_t close = stat.rfind(')');
        if (close == std::string::npos || close + 2 >= stat.size()) continue;
        if ((stat[close + 2] == 'Z') == zombie) ++n;
    }
    return n;
}
int zombies(const std::string& pids) {
    return counted(pids, true);
}

TEST_F(Launcher, FinishedProgramsAreCollectedSoNoZombiesPileUp) {
    std::string pids = dir.file("pids");
    std::string prog = script("quick.sh", "echo $$ >> \"$1\"\n");
    auto lines = [&] {
        std::string t = readFile(pids);
        return std::count(t.begin(), t.end(), '\n');
    };
    for (int i = 0; i < 19; ++i) {
        ASSERT_EQ(launcher->launch(prog, pids), kLaunchStarted);
        testing::sleepMs(20);
    }
    // Once they have all ended, the next start collects every one of them.
    ASSERT_TRUE(
        waitFor([&] { return lines() == 19 && counted(readFile(pids), false) == 0; }, 10000));
    ASSERT_EQ(launcher->launch(prog, pids), kLaunchStarted);
    ASSERT_TRUE(waitFor([&] { return lines() == 20; }, 10000));
    // At most the newest may still be waiting to be collected.
    EXPECT_LE(zombies(readFile(pids)), 1);
    EXPECT_TRUE(waitFor(
        [&] {
            launcher->reap();
            return zombies(readFile(pids)) == 0;
        },
        5000));
}

}  // namespace
}  // namespace tw::platform
