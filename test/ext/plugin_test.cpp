#include "agent/ext/plugin.h"

#include <gtest/gtest.h>

#include "test/support/ext_harness.h"

namespace tw {
namespace {

using testing::ExtHarness;
using testing::FakeDirectory;
using testing::LogCapture;

struct Plugin : ::testing::Test {
    ExtHarness h;
    FakeDirectory& dir = h.dir;
    const ExtContext& a() { return h.x; }
};

// ---- sections and messages ---------------------------------------------------

TEST(WorkText, EndsAtTheFirstZeroByteAndReadsCrLfAsLf) {
    EXPECT_EQ(worktext(std::string("red a\r\nb\0:green c", 17)), "red a\nb");
    EXPECT_EQ(worktext("a\rb\r\n"), "a\rb\n");
    EXPECT_EQ(worktext(""), "");
}

TEST(WorkSections, MarkerLinesBeginSectionsAndLeadingTextIsIgnored) {
    using V = std::vector<std::string_view>;
    EXPECT_EQ(worksections("yellow all fine"), V{"yellow all fine"});
    EXPECT_EQ(worksections(""), V{""});
    EXPECT_EQ(worksections("intro\nweb2:green one\nmore\nweb3:red two\nlast\n"),
              (V{"web2:green one\nmore\n", "web3:red two\nlast\n"}));
    // Markers are case-sensitive and need the colon.
    EXPECT_EQ(worksections("x:Green\ngreen\n:clear done"), (V{":clear done"}));
    EXPECT_EQ(worksections(":yellow"), V{":yellow"});
}

TEST(WorkSections, SecondMarkerOnALineDoesNotSplitIt) {
    using V = std::vector<std::string_view>;
    EXPECT_EQ(worksections("h:green a :red b\nline2\nh2:red c\n"),
              (V{"h:green a :red b\nline2\n", "h2:red c\n"}));
    EXPECT_EQ(worksections("h:green :red :clear"), V{"h:green :red :clear"});
}

TEST(StatusMessage, HostAndDelayFromTheFirstWord) {
    LogCapture log;
    auto m = statusmessage("myhost.corp:red+30 Disk full\n", "DISKX", "WEB1");
    ASSERT_TRUE(m);
    EXPECT_EQ(*m, "status+30 myhost,corp.DISKX red    Disk full\n");
    EXPECT_EQ(log.text(),
              "twplugin: First word in status file: <myhost.corp:red+30>\r\n"
              "twplugin: Resetting hostname to: <myhost,corp>\r\n"
              "twplugin:     Note that '.' have been changed to ',' on purpose\r\n"
              "twplugin: szMsg2p now points to: <red+30 Disk full\n>\r\n"
              "twplugin: status level: <red+30>\r\n"
              "twplugin: expirydelayval: <+30>\r\n");
}

TEST(StatusMessage, WithoutHostTheWholeSectionIsTheTextForTheAgentsOwnHost) {
    LogCapture log;
    EXPECT_EQ(statusmessage("  yellow all fine", "T", "WEB1"), "status WEB1.T   yellow all fine");
    EXPECT_NE(log.text().find("twplugin: Hostname is kept as: <WEB1>\r\n"), std::string::npos);
    EXPECT_EQ(statusmessage("green+5m ok", "T", "WEB1"), "status+5m WEB1.T green    ok");
    // Blanks after the colon are skipped; the level starts the text.
    EXPECT_EQ(statusmessage("h:  clear\nx", "T", "WEB1"), "status h.T clear\nx");
}

TEST(StatusMessage, MarkerWithNothingBeforeItIsTheAgentsOwnHostNotAnEmptyOne) {
    EXPECT_EQ(statusmessage(":red disk gone\n", "DISK", "WEB1"),
              "status WEB1.DISK red disk gone\n");
}

TEST(StatusMessage, InvalidLevelsSendNothing) {
    LogCapture log;
    for (const char* s : {"Red text", "h:Red x", "purple x", "h:+30 x", "", "   \n\t ", "h:reddish",
                          "h:", "red- x"})
        EXPECT_FALSE(statusmessage(s, "T", "WEB1")) << s;
    EXPECT_NE(log.text().find("twplugin: status level: <Red>\r\ntwplugin: expirydelayval: <>\r\n"
                              "twplugin: invalid status level\r\n"),
              std::string::npos);
}

TEST(StatusMessage, OverlongWordsAreCutNotOverrun) {
    // A 300-character host: the first word stops at 255 characters before
    // its ":", so the word is taken as the level, which is invalid.
    EXPECT_FALSE(statusmessage(std::string(300, 'a') + ":red x", "T", "WEB1"));
    std::string host250(250, 'b');
    EXPECT_EQ(statusmessage(host250 + ":red x", "T", "WEB1"), "status " + host250 + ".T red x");
    // The level word is read to 15 characters; the whole delay is blanked.
    EXPECT_EQ(statusmessage("h:red+1234567890123456 x", "T", "WEB1"),
              "status+12345678901 h.T red" + std::string(17, ' ') + " x");
    EXPECT_EQ(statusmessage("h:red+ x", "T", "WEB1"), "status+ h.T red  x");
}

TEST(PluginPeriod, EmptyOrBelowOneGivesSixty) {
    EXPECT_EQ(pluginperiod(""), 60);
    EXPECT_EQ(pluginperiod("0"), 60);
    EXPECT_EQ(pluginperiod("-5"), 60);
    EXPECT_EQ(pluginperiod("abc"), 60);
    EXPECT_EQ(pluginperiod("1"), 1);
    EXPECT_EQ(pluginperiod("90 s"), 90);
}

// ---- work files ----------------------------------------------------------------

TEST_F(Plugin, DiskxWithHostAndDelayIsSentAndDeleted) {
    dir.add("DISKX", "myhost.corp:red+30 Disk full\n");
    EXPECT_EQ(readworkfile(a(), h.view(), dir.path("DISKX"), "DISKX"), WorkFileResult::Done);
    EXPECT_EQ(h.sent(), std::vector<std::string>{"status+30 myhost,corp.DISKX red    Disk full\n"});
    EXPECT_EQ(dir.removed, std::vector<std::string>{"/spool/Work/DISKX"});
}

TEST_F(Plugin, PersistentFileIsSentOnEveryScanAndStays) {
    dir.add("-DISKX", "myhost.corp:red+30 Disk full\n");
    ASSERT_TRUE(pluginscan(a(), h.view()));
    ASSERT_TRUE(pluginscan(a(), h.view()));
    const std::string m = "status+30 myhost,corp.DISKX red    Disk full\n";
    EXPECT_EQ(h.sent(), (std::vector<std::string>{m, m}));
    EXPECT_TRUE(dir.removed.empty());
    EXPECT_TRUE(dir.has("-DISKX"));
}

TEST_F(Plugin, TwoMarkerLinesGiveTwoMessagesTheSecondToTheEnd) {
    dir.add("CHK", "preamble\nweb2.lan:green first\nsecond line\nweb3:yellow next\nrest\n");
    readworkfile(a(), h.view(), dir.path("CHK"), "CHK");
    EXPECT_EQ(h.sent(), (std::vector<std::string>{"status web2,lan.CHK green first\nsecond line\n",
                                                  "status web3.CHK yellow next\nrest\n"}));
}

TEST_F(Plugin, CapitalisedLevelSendsNothingButTheFileIsDeleted) {
    LogCapture log;
    dir.add("CPU", "Red busy\n");
    EXPECT_EQ(readworkfile(a(), h.view(), dir.path("CPU"), "CPU"), WorkFileResult::Done);
    EXPECT_TRUE(h.sent().empty());
    EXPECT_FALSE(dir.has("CPU"));
    EXPECT_NE(log.text().find("twplugin: invalid status level\r\n"), std::string::npos);
}

TEST_F(Plugin, EmptyOrBlankFilesAreInvalidAndDeletedUnlessPersistent) {
    dir.add("EMPTY", "");
    dir.add("BLANKS", "   \n \n");
    dir.add("-KEEP", "");
    ASSERT_TRUE(pluginscan(a(), h.view()));
    EXPECT_TRUE(h.sent().empty());
    EXPECT_EQ(dir.removed, (std::vector<std::string>{"/spool/Work/EMPTY", "/spool/Work/BLANKS"}));
    EXPECT_TRUE(dir.has("-KEEP"));
}

TEST_F(Plugin, ValidAndInvalidSectionsOfOneFileAreHandedOffInOrderStatusThenPage) {
    h.cfg.twdisplay = "127.0.0.1;127.0.0.2";
    h.cfg.twpage = "127.0.0.3";
    h.cfg.sendPageAlerts = "Y";
    h.sockets.addHost("127.0.0.2", {"127.0.0.2"});
    h.sockets.addHost("127.0.0.3", {"127.0.0.3"});
    dir.add("SVC", "h1:red down\noops :green\nh3:green up\n");
    readworkfile(a(), h.view(), dir.path("SVC"), "SVC");
    std::vector<std::string> to;
    for (auto& d : h.sockets.deliveries) to.push_back(d.address);
    EXPECT_EQ(to, (std::vector<std::string>{"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.1",
                                            "127.0.0.2"}));
    EXPECT_EQ(h.sent()[2], "page   h1.SVC red down\n");
    EXPECT_EQ(h.sent()[3], "status h3.SVC green up\n");
}

TEST_F(Plugin, ScanSkipsWhatIsNotAWorkFileAndNamesItInTheLog) {
    LogCapture log;
    dir.add("disk.txt", "red x");
    dir.add("-", "red x");
    FakeDirectory::Entry ro{"RO", "red x"};
    ro.readOnly = true;
    FakeDirectory::Entry sub{"SUB", ""};
    sub.directory = true;
    FakeDirectory::Entry fifo{"FIFO", ""};
    fifo.regular = false;
    FakeDirectory::Entry link{"LINK", "red secret"};
    link.symlink = true;
    for (auto& e : {ro, sub, fifo, link}) dir.addEntry(e);
    dir.add(".hidden", "red x");
    dir.add("GOOD", "green fine");
    ASSERT_TRUE(pluginscan(a(), h.view()));

    EXPECT_EQ(h.sent(), std::vector<std::string>{"status WEB1.GOOD green fine"});
    EXPECT_EQ(dir.reads, std::vector<std::string>{"/spool/Work/GOOD"});
    EXPECT_EQ(dir.removed, std::vector<std::string>{"/spool/Work/GOOD"});
    // The directory is opened with the path as written; the log shows it
    // upper-cased, as the load logged it.
    EXPECT_EQ(dir.listed, std::vector<std::string>{"/spool/Work"});
    std::string t = log.text();
    for (const char* name :
         {".", "..", "disk.txt", "-", "RO", "SUB", "FIFO", "LINK", ".hidden", "GOOD"})
        EXPECT_NE(t.find(std::string("twplugin: File name: </SPOOL/WORK/") + name + ">\r\n"),
                  std::string::npos)
            << name;
    EXPECT_NE(t.find("twplugin: File name is not of Workfile type (has an extension): "
                     "</SPOOL/WORK/disk.txt>\r\n"),
              std::string::npos);
    EXPECT_NE(t.find("twplugin: File name is not of Workfile type (has an extension): "
                     "</SPOOL/WORK/->\r\n"),
              std::string::npos);
    EXPECT_NE(
        t.find("twplugin: File name is a symbolic link, not followed: </SPOOL/WORK/LINK>\r\n"),
        std::string::npos);
    // Read-only, directory, device and hidden entries go without a word.
    EXPECT_EQ(t.find("RO>\r\ntwplugin: File name is"), std::string::npos);
}

TEST_F(Plugin, NameWithALineFeedWouldSplitTheStatusLineSoItIsLeftAlone) {
    LogCapture log;
    dir.add("vm\nname", "green fine");
    dir.add("TAB\tX", "green fine");
    dir.add("GOOD", "green fine");
    ASSERT_TRUE(pluginscan(a(), h.view()));
    EXPECT_EQ(h.sent(), std::vector<std::string>{"status WEB1.GOOD green fine"});
    EXPECT_TRUE(dir.has("vm\nname"));
    EXPECT_TRUE(dir.has("TAB\tX"));
    const std::string t = log.text();
    EXPECT_NE(t.find("twplugin: File name holds control characters, left alone: "
                     "</SPOOL/WORK/vm?name>\r\n"),
              std::string::npos)
        << t;
    EXPECT_NE(t.find("left alone: </SPOOL/WORK/TAB?X>\r\n"), std::string::npos);
}

TEST_F(Plugin, UnopenableFileIsLoggedAndLeftAndTheScanGoesOn) {
    LogCapture log;
    dir.add("A", "green a");
    dir.add("B", "green b");
    dir.failRead.insert(dir.path("A"));
    ASSERT_TRUE(pluginscan(a(), h.view()));
    EXPECT_NE(log.text().find("twplugin: Couldn't open work file: </SPOOL/WORK/A>\r\n"),
              std::string::npos);
    EXPECT_TRUE(dir.has("A"));
    EXPECT_EQ(h.sent(), std::vector<std::string>{"status WEB1.B green b"});
}

TEST_F(Plugin, NoBufferForAFileEndsTheScanAndLeavesTheFile) {
    LogCapture log;
    dir.add("A", "green a");
    dir.add("B", "green b");
    dir.add("C", "green c");
    dir.noMemory.insert(dir.path("B"));
    EXPECT_FALSE(pluginscan(a(), h.view()));
    EXPECT_EQ(h.sent(), std::vector<std::string>{"status WEB1.A green a"});
    EXPECT_TRUE(dir.has("B"));
    EXPECT_TRUE(dir.has("C"));
    EXPECT_NE(log.text().find("twplugin: No memory for work file, scan ended: </SPOOL/WORK/B>\r\n"),
              std::string::npos);
}

TEST_F(Plugin, FailedDeletionIsLogged) {
    LogCapture log;
    dir.add("A", "green a");
    dir.failRemove = true;
    readworkfile(a(), h.view(), dir.path("A"), "A");
    EXPECT_NE(log.text().find("twplugin: Couldn't delete work file: </spool/Work/A>\r\n"),
              std::string::npos);
}

TEST_F(Plugin, MissingOrEmptyExternalPath) {
    LogCapture log;
    dir.failList = true;
    EXPECT_TRUE(pluginscan(a(), h.view()));
    EXPECT_NE(log.text().find("twplugin: Unable to open external path: </SPOOL/WORK>\r\n"),
              std::string::npos);
    h.cfg.externalpathAsWritten.clear();
    h.cfg.externalpath.clear();
    dir.listed.clear();
    EXPECT_TRUE(pluginscan(a(), h.view()));
    EXPECT_TRUE(dir.listed.empty());
}

TEST_F(Plugin, BadContentsNeverOverrun) {
    // 50 MB without a marker: one section, used up to 20219 characters.
    dir.add("BIG", "green " + std::string(50 * 1024 * 1024, 'x'));
    // Zero bytes: the text ends at the first.
    dir.add("NUL", std::string("red before\0:green after\n", 24));
    dir.add("NONL", "web2:green no newline at the end");
    std::string many;
    for (int i = 0; i < 10000; ++i) many += "h" + std::to_string(i) + ":green n\n";
    dir.add("MANY", many);
    ASSERT_TRUE(pluginscan(a(), h.view()));
    auto sent = h.sent();
    ASSERT_EQ(sent.size(), 3u + 10000u);
    EXPECT_EQ(sent[0].size(), std::string("status WEB1.BIG ").size() + kSectionLimit);
    EXPECT_EQ(sent[1], "status WEB1.NUL red before");
    EXPECT_EQ(sent[2], "status web2.NONL green no newline at the end");
    EXPECT_EQ(sent[3], "status h0.MANY green n\n");
    EXPECT_EQ(sent.back(), "status h9999.MANY green n\n");
    EXPECT_EQ(dir.removed.size(), 4u);
}

TEST_F(Plugin, PassReadsPluginTimerAndReleasesTheMutexBeforeItsSleep) {
    LogCapture log;
    h.store.setSetting("PluginTimer", "5");
    dir.add("A", "green a");
    EXPECT_TRUE(pluginpass(a()));
    std::string t = log.text();
    EXPECT_EQ(t.rfind("\r\ntwplugin: about to wait\r\n"
                      "\r\ntwplugin: Waiting period has terminated in twplugin & mutex has been "
                      "grabbed\r\n"
                      "twplugin: External Path: </SPOOL/WORK>\r\n"
                      "twplugin: File name: </SPOOL/WORK/.>\r\n",
                      0),
              0u)
        << t;
    EXPECT_NE(t.find("twplugin: Plugin Timer = <5>\r\ntwplugin: Sleeping for 5 seconds\r\n"
                     "\r\ntwplugin: Sleep has terminated\r\n"),
              std::string::npos);
    // Released: the cycle can take it at once.
    h.mutex->lock();
    h.mutex->unlock();
    h.store.setSetting("PluginTimer", "");
    EXPECT_TRUE(pluginpass(a()));
    EXPECT_NE(log.text().find("twplugin: Plugin Timer = <60>\r\n"), std::string::npos);
}

TEST_F(Plugin, PassEndsWithoutScanningOnceTheAgentStops) {
    h.system.stop = true;
    dir.add("A", "green a");
    EXPECT_FALSE(pluginpass(a()));
    EXPECT_TRUE(dir.listed.empty());
    h.mutex->lock();  // not left held
    h.mutex->unlock();
}

}  // namespace
}  // namespace tw
