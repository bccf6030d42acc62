#include "agent/ext/externals.h"

#include <gtest/gtest.h>

#include "test/support/ext_harness.h"

namespace tw {
namespace {

using platform::PathKind;
using testing::ExtHarness;
using testing::FakeLauncher;
using testing::LogCapture;

TEST(ExternalEntries, SplitAtSemicolonsTrimmedEmptyOnesLeftOut) {
    using V = std::vector<std::string>;
    EXPECT_EQ(externalentries("  /bin/a x ;   ; /bin/b\t;"), (V{"/bin/a x", "/bin/b"}));
    EXPECT_EQ(externalentries(";; ;\t;"), V{});
    EXPECT_EQ(externalentries(""), V{});
    // Only pieces that end at a ";" count (startexternals appends one).
    EXPECT_EQ(externalentries("a;b"), V{"a"});
}

TEST(ParseExternal, IntervalSuffixForms) {
    auto p = [](const char* e) { return parseexternal(e); };
    EXPECT_EQ(p("/opt/x/run /int=60").interval, 60);
    EXPECT_EQ(p("/opt/x/run /int=60").text, "/opt/x/run");
    EXPECT_EQ(p("/opt/x/run   /INT=").interval, 300);
    EXPECT_EQ(p("/opt/x/run   /INT=").text, "/opt/x/run");
    EXPECT_EQ(p("/opt/x/run/Int=0").interval, 300);
    EXPECT_EQ(p("/opt/x/run/Int=0").text, "/opt/x/run");
    EXPECT_EQ(p("/opt/x/run /iNT=7x").interval, 7);
    EXPECT_EQ(p("run /int=99999999999").interval, 2147483647);  // saturates, never wraps
    // A last "/" that does not begin the suffix: the entry is used whole.
    EXPECT_EQ(p("/usr/bin/tool -v /q").text, "/usr/bin/tool -v /q");
    EXPECT_EQ(p("/usr/bin/tool -v /q").interval, 300);
    EXPECT_EQ(p("/usr/bin/tool /int").text, "/usr/bin/tool /int");
    // Only the last "/" can begin it.
    EXPECT_EQ(p("/a /int=5 /b").text, "/a /int=5 /b");
    EXPECT_EQ(p("/int=5").text, "");
}

TEST(LocateProgram, LongestExistingLeadingPathWins) {
    testing::FakeDirectory dir;
    dir.setKind("/opt/my tools/run.sh", PathKind::Regular);
    dir.setKind("/opt/my", PathKind::Directory);
    auto c = locateprogram("/opt/my tools/run.sh  -x arg two", dir);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->program, "/opt/my tools/run.sh");
    EXPECT_EQ(c->args, "-x arg two");
    // Shorter paths are tried word by word from the end.
    c = locateprogram("/opt/my stuff", dir);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->program, "/opt/my");
    EXPECT_EQ(c->args, "stuff");
    EXPECT_FALSE(locateprogram("/nowhere at all", dir));
    c = locateprogram("/opt/my tools/run.sh", dir);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->args, "");
}

struct Externals : ::testing::Test {
    ExtHarness h;
    const ExtContext& a() { return h.x; }
};

TEST_F(Externals, PreparationLogsAndRefusals) {
    LogCapture log;
    h.dir.setKind("/opt/my tools/run.sh", PathKind::Regular);
    h.dir.setKind("/var/lib", PathKind::Directory);
    h.dir.setKind("/dev/null", PathKind::Other);

    auto x = prepareexternal(a(), "/opt/my tools/run.sh -q /tmp/out /int=60");
    ASSERT_TRUE(x);
    EXPECT_EQ(x->program, "/opt/my tools/run.sh");
    EXPECT_EQ(x->args, "-q /tmp/out");
    EXPECT_EQ(x->interval, 60);
    EXPECT_EQ(
        log.text(),
        "\r\ntwext: External program </opt/my tools/run.sh -q /tmp/out> interval <60>\r\n\r\n");

    EXPECT_FALSE(prepareexternal(a(), ""));
    EXPECT_FALSE(prepareexternal(a(), "/int=30"));
    EXPECT_FALSE(prepareexternal(a(), "/nowhere/prog arg /int=5"));
    EXPECT_FALSE(prepareexternal(a(), "/var/lib stuff"));
    EXPECT_FALSE(prepareexternal(a(), "/dev/null"));
    std::string t = log.text();
    EXPECT_NE(t.find("\r\ntwext: External program not specified\r\n\r\n"
                     "\r\ntwext: External program not specified\r\n\r\n"),
              std::string::npos);
    EXPECT_NE(t.find("\r\ntwext: External program </nowhere/prog arg /int=5> not found\r\n\r\n"),
              std::string::npos);
    EXPECT_NE(t.find("\r\ntwext: External program </var/lib stuff> is invalid\r\n\r\n"),
              std::string::npos);
    EXPECT_NE(t.find("\r\ntwext: External program </dev/null> is invalid\r\n\r\n"),
              std::string::npos);
}

TEST_F(Externals, EntryOverTheLimitIsRefusedNotCut) {
    LogCapture log;
    std::string prog = "/opt/p";
    h.dir.setKind(prog, PathKind::Regular);
    std::string ok = prog + " " + std::string(kExternalEntryLimit - prog.size() - 1, 'a');
    EXPECT_TRUE(prepareexternal(a(), ok));
    EXPECT_FALSE(prepareexternal(a(), ok + "a"));
    EXPECT_NE(log.text().find("is too long (more than 2048 characters)"), std::string::npos);
}

TEST_F(Externals, PassStartsTheProgramUnderTheMutexAndSleepsTheInterval) {
    LogCapture log;
    h.launcher.result = 42;
    ExternalProgram x{"/opt/run.sh -v /int=60", "/opt/run.sh", "-v", 60};
    EXPECT_TRUE(externalpass(a(), x));
    EXPECT_EQ(h.launcher.starts(), (std::vector<FakeLauncher::Start>{{"/opt/run.sh", "-v"}}));
    EXPECT_EQ(h.launcher.reaps(), 1);
    EXPECT_EQ(log.text(),
              "\r\ntwext: about to wait\r\n"
              "\r\ntwext: Waiting period has terminated in twext & mutex has been grabbed\r\n"
              "\r\ntwext: Executing external program </opt/run.sh> with args <-v> every <60> "
              "seconds\r\n"
              "twext: Execution of external program </opt/run.sh -v /int=60> done.  hresults: "
              "<42> \r\n"
              "twext: Sleeping for 60 seconds\r\n"
              "\r\ntwext: Sleep has terminated\r\n");
    h.mutex->lock();  // released again
    h.mutex->unlock();
}

// A start that itself outlasts the interval is followed by a 1-second sleep.
TEST(ExternalPass, SlowStartSleepsOneSecond) {
    testing::ManualClock clock;
    struct SlowLauncher : FakeLauncher {
        explicit SlowLauncher(platform::Clock& c) : clock(c) {}
        int launch(const std::string& p, const std::string& args) override {
            clock.sleepSeconds(90);
            return FakeLauncher::launch(p, args);
        }
        platform::Clock& clock;
    } slow(clock);
    ExtHarness h({.clock = &clock, .launcher = &slow});
    LogCapture log;
    EXPECT_TRUE(externalpass(h.x, ExternalProgram{"/opt/slow /int=60", "/opt/slow", "", 60}));
    EXPECT_NE(log.text().find("twext: Sleeping for 1 seconds\r\n"), std::string::npos);
}

TEST_F(Externals, FailedStartIsOnlyLoggedAndStopEndsThePass) {
    LogCapture log;
    h.launcher.result = platform::kLaunchFileNotFound;
    ExternalProgram x{"/opt/gone", "/opt/gone", "", 300};
    EXPECT_TRUE(externalpass(a(), x));
    EXPECT_NE(log.text().find("hresults: <2> \r\n"), std::string::npos);
    h.system.stop = true;
    EXPECT_FALSE(externalpass(a(), x));
    EXPECT_EQ(h.launcher.startCount(), 1u);
}

TEST_F(Externals, StartExternalsLogsEveryEntryAndPreparesEachOnItsThread) {
    LogCapture log;
    h.system.stop = true;  // each thread ends after its preparation
    startexternals(a(), "  /opt/a x ;  ; /opt/b  ");
    EXPECT_EQ(h.threads.count(), 2u);
    h.threads.stopAll();
    std::string t = log.text();
    EXPECT_EQ(t.rfind("Launching threads for externals = <  /opt/a x ;  ; /opt/b  ;>\r\n"
                      "Launching thread for external = </opt/a x>\r\n",
                      0),
              0u)
        << t;
    EXPECT_NE(t.find("Launching thread for external = </opt/b>\r\n"), std::string::npos);
    EXPECT_NE(t.find("twext: External program </opt/a x> not found"), std::string::npos);
    EXPECT_NE(t.find("twext: External program </opt/b> not found"), std::string::npos);
    EXPECT_EQ(h.launcher.startCount(), 0u);
}

TEST_F(Externals, SeparatorsOnlyStartNoThread) {
    startexternals(a(), " ; ;;\t; ");
    EXPECT_EQ(h.threads.count(), 0u);
}

}  // namespace
}  // namespace tw
