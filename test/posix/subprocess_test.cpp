#include "platform/posix/subprocess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "test/support/fake_platform.h"
#include "test/support/process.h"

namespace tw::platform {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::waitFor;
using testing::writeFile;

// The process is gone: neither running nor left a zombie.
bool gone(pid_t pid) {
    std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    return stat.empty();
}

// Gone, or a zombie that is no longer ours (reparented to init).
bool ended(pid_t pid) {
    std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    size_t paren = stat.rfind(')');
    return stat.empty() || (paren != std::string::npos && stat.compare(paren, 4, ") Z ") == 0);
}

// Every command says its own process id first, so that the test can see
// that it was reaped.
struct CommandCase {
    const char* name;
    const char* script;
    int timeoutMs;
    size_t maxBytes;
    int wantExit;
    bool wantTimedOut;
    size_t wantOutBytes;  // 0: only the id line
};

TEST(RunCommand, ExitCodesOutputAndTimeBoundsAndNoChildLeft) {
    const CommandCase cases[] = {
        {"success", "echo $$", 10000, 1 << 20, 0, false, 0},
        {"failure", "echo $$; exit 3", 10000, 1 << 20, 3, false, 0},
        {"killed by a signal", "echo $$; kill -KILL $$", 10000, 1 << 20, -1, false, 0},
        // A chatty program is read to its end; what is beyond the limit is dropped.
        {"chatty", "echo $$; exec head -c 3000000 /dev/zero", 10000, 1000, 0, false, 1000},
        // A program that does not end in time is killed.
        {"hangs", "echo $$; exec sleep 30", 300, 1 << 20, -1, true, 0},
        // One that ended but left a child holding its output: the bound holds.
        {"output held open", "echo $$; sleep 30 & exit 0", 300, 1 << 20, -1, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = runCommand({"sh", "-c", c.script}, c.timeoutMs, c.maxBytes);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->exitStatus, c.wantExit);
        EXPECT_EQ(r->timedOut, c.wantTimedOut);
        const size_t nl = r->out.find('\n');
        ASSERT_NE(nl, std::string::npos) << r->out;
        if (c.wantOutBytes)
            EXPECT_EQ(r->out.size(), c.wantOutBytes);
        else
            EXPECT_EQ(r->out.size(), nl + 1);
        const pid_t pid = std::atoi(r->out.substr(0, nl).c_str());
        ASSERT_GT(pid, 0);
        EXPECT_TRUE(gone(pid)) << "not reaped: " << pid;
    }
}

TEST(RunCommand, ProgramThatCannotStartIsNoResult) {
    EXPECT_FALSE(runCommand({"/nonexistent/program"}, 1000));
    EXPECT_FALSE(runCommand({}, 1000));
}

TEST(RunCommand, KillsTheWholeProcessGroupOnTimeout) {
    auto r = runCommand({"sh", "-c", "sleep 30 & echo $!; wait"}, 300);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->timedOut);
    const pid_t sleeper = std::atoi(r->out.c_str());
    ASSERT_GT(sleeper, 0);
    EXPECT_TRUE(waitFor([&] { return ended(sleeper); }, 5000)) << "left running: " << sleeper;
}

// The agent ignores SIGPIPE; a program it runs (systemctl, a bridge
// command, an external program) must see the ordinary dispositions, or a
// pipeline in it would not end when its reader goes.
TEST(RunCommand, ProgramDoesNotInheritIgnoredOrBlockedSignals) {
    const int sigs[] = {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    struct sigaction ign {
    }, old[5];
    ign.sa_handler = SIG_IGN;
    sigset_t block, oldMask;
    sigemptyset(&block);
    for (size_t i = 0; i < 5; ++i) {
        sigaction(sigs[i], &ign, &old[i]);
        sigaddset(&block, sigs[i]);
    }
    pthread_sigmask(SIG_BLOCK, &block, &oldMask);
    auto r = runCommand({"cat", "/proc/self/status"}, 10000);
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    for (size_t i = 0; i < 5; ++i) sigaction(sigs[i], &old[i], nullptr);
    ASSERT_TRUE(r);
    auto mask = [&](const std::string& field) {
        size_t at = r->out.find("\n" + field + ":\t");
        return at == std::string::npos
                   ? ~0ULL
                   : std::strtoull(r->out.c_str() + at + field.size() + 3, nullptr, 16);
    };
    for (int sig : sigs) {
        SCOPED_TRACE(sig);
        EXPECT_EQ(mask("SigIgn") & (1ULL << (sig - 1)), 0u);
        EXPECT_EQ(mask("SigBlk") & (1ULL << (sig - 1)), 0u);
    }
}

TEST(Child, SignalsEndTheChildEvenWhereWeIgnoreThem) {
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        struct sigaction ign {
        }, old;
        ign.sa_handler = SIG_IGN;
        sigaction(sig, &ign, &old);
        Child c;
        SpawnPlan plan;
        plan.argv = {"sleep", "30"};
        plan.searchPath = true;
        ASSERT_EQ(c.start(plan), 0);
        sigaction(sig, &old, nullptr);
        c.signal(sig);
        auto status = c.wait(nowMs() + 10000);
        ASSERT_TRUE(status);
        EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == sig) << *status;
        EXPECT_FALSE(c.running());
    }
}

TEST(Child, RunsInAProcessGroupOfItsOwn) {
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    Child c;
    SpawnPlan plan;
    plan.argv = {"/bin/cat", "/proc/self/stat"};
    plan.stdio = {kStdNull, out[1], kStdNull};
    ASSERT_EQ(c.start(plan), 0);
    close(out[1]);
    std::string stat;
    EXPECT_EQ(readAll(out[0], nowMs() + 10000, stat, 4096), ReadState::End);
    close(out[0]);
    // pid (comm) state ppid pgrp ...
    const size_t paren = stat.rfind(')');
    ASSERT_NE(paren, std::string::npos) << stat;
    char state = 0;
    int ppid = 0, pgrp = 0;
    ASSERT_EQ(std::sscanf(stat.c_str() + paren + 1, " %c %d %d", &state, &ppid, &pgrp), 3);
    EXPECT_EQ(pgrp, c.pid());
    EXPECT_NE(pgrp, getpgrp());
    auto status = c.wait(nowMs() + 10000);
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
}

TEST(Child, DescriptorPlanAndEnvironment) {
    TempDir dir;
    writeFile(dir.file("in"), "from the file\n");
    // A descriptor of ours without close-on-exec, as a log file may have.
    const int stray = open(dir.file("in").c_str(), O_RDONLY);
    ASSERT_GE(stray, 3);
    const int in = open(dir.file("in").c_str(), O_RDONLY | O_CLOEXEC);
    const int err = open(dir.file("err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    Child c;
    SpawnPlan plan;
    const std::string script =
        "cat; echo \"$A ${HOME-no home}\"; echo to errors >&2; [ -e /dev/fd/" +
        std::to_string(stray) + " ] && echo stray open";
    plan.argv = {"/bin/sh", "-c", script};
    plan.stdio = {in, out[1], err};
    plan.env = std::vector<std::string>{"A=1", "PATH=/usr/bin:/bin"};
    ASSERT_EQ(c.start(plan), 0);
    for (int fd : {in, err, out[1], stray}) close(fd);
    std::string got;
    EXPECT_EQ(readAll(out[0], nowMs() + 10000, got, 4096), ReadState::End);
    close(out[0]);
    EXPECT_EQ(got, "from the file\n1 no home\n");
    EXPECT_EQ(readFile(dir.file("err")), "to errors\n");
    EXPECT_TRUE(c.wait(nowMs() + 10000));
}

TEST(Child, StartFailureSaysWhy) {
    Child c;
    SpawnPlan plan;
    plan.argv = {"/nonexistent/program"};
    EXPECT_EQ(c.start(plan), ENOENT);
    EXPECT_FALSE(c.running());
    plan.argv = {"no-such-program-on-the-path"};
    plan.searchPath = true;
    EXPECT_EQ(c.start(plan), ENOENT);
    plan.argv.clear();
    EXPECT_EQ(c.start(plan), EINVAL);
}

TEST(Child, WaitKillReleaseAndDropLeaveNoChildBehind) {
    SpawnPlan plan;
    plan.argv = {"/bin/sleep", "30"};
    pid_t dropped = -1;
    {
        Child c;
        ASSERT_EQ(c.start(plan), 0);
        dropped = c.pid();
        // Still running at the deadline: no status, still ours.
        EXPECT_FALSE(c.wait(nowMs() + 50));
        EXPECT_FALSE(c.ended(nowMs() + 50));
        EXPECT_TRUE(c.running());
    }
    EXPECT_TRUE(gone(dropped)) << "a dropped child was left: " << dropped;

    Child killed;
    ASSERT_EQ(killed.start(plan), 0);
    const pid_t pid = killed.pid();
    const int status = killed.kill();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_TRUE(gone(pid));

    // Ended but not reaped: its id (and group id) stays ours until kill().
    Child quick;
    plan.argv = {"/bin/true"};
    ASSERT_EQ(quick.start(plan), 0);
    EXPECT_TRUE(quick.ended(nowMs() + 10000));
    EXPECT_FALSE(gone(quick.pid()));
    const pid_t quickPid = quick.pid();
    EXPECT_TRUE(WIFEXITED(quick.kill()));
    EXPECT_TRUE(gone(quickPid));

    // Released: neither killed nor reaped by its former owner.
    pid_t released = -1;
    {
        Child c;
        plan.argv = {"/bin/sleep", "30"};
        ASSERT_EQ(c.start(plan), 0);
        released = c.release();
    }
    EXPECT_EQ(::kill(released, 0), 0);
    ::kill(released, SIGKILL);
    EXPECT_EQ(waitpid(released, nullptr, 0), released);
}

}  // namespace
}  // namespace tw::platform
