#include "agent/tests/msgs.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/ascii.h"
#include "test/support/builtin_tests.h"
#include "test/support/log_capture.h"

namespace tw {
namespace {

using testing::BuiltinHarness;
using testing::kStamp;

std::string event(const std::string& log, int type, int ago, const std::string& source, int id,
                  const std::string& message, int writtenAgo = -1) {
    return R"({"LogFile": ")" + log + R"(", "EventType": )" + std::to_string(type) +
           R"(, "TimeGenerated": {"$ago": )" + std::to_string(ago) +
           R"(}, "TimeWritten": {"$ago": )" + std::to_string(writtenAgo < 0 ? ago : writtenAgo) +
           R"(}, "SourceName": ")" + source + R"(", "EventIdentifier": )" + std::to_string(id) +
           R"(, "Message": ")" + message + "\"}";
}

std::string events(const std::vector<std::string>& list) {
    std::string s = R"({"Win32_NTLogEvent": [)";
    for (size_t i = 0; i < list.size(); ++i) s += (i ? "," : "") + list[i];
    return s + "]}";
}

std::string run(BuiltinHarness& h, const std::string& levels, const std::string& ignore = "") {
    h.cfg.msglevels = toUpper(levels);
    h.cfg.ignoremsgs = toUpper(ignore);
    msgstest(h.context(msgssettings(h.cfg)));
    return h.report();
}

const std::string kHead = std::string(" ") + kStamp + " [web1.corp.lan]\r\n\r\n";
const std::string kDefaultLevels = "SYS:ERR:Y:30 SYS:WARN:N:15 APP:ERR:Y:30 APP:WARN:N:15";

TEST(MsgsReport, WindowsTypesAndPagingColour) {
    BuiltinHarness h(events({
        event("System", 1, 1740, "Disk", 11, "The device has a bad block."),
        event("System", 1, 1860, "Disk", 12, "Thirty-one minutes ago."),
        event("System", 2, 600, "Tcpip", 4227, "TCP/IP failed"),
        event("Application", 2, 1200, "App", 1, "Twenty minutes, window fifteen."),
        event("Application", 4, 60, "App", 2, "Type not configured."),
        event("Security", 5, 60, "LSA", 3, "Log not configured."),
        R"({"LogFile": "System", "EventType": 1, "TimeWritten": {"$ago": 60},
            "SourceName": "NoTime", "EventIdentifier": 5, "Message": "no time, never listed"})",
        R"({"LogFile": "System", "EventType": 1, "TimeGenerated": "garbage",
            "TimeWritten": {"$ago": 60}, "SourceName": "BadTime", "EventIdentifier": 6,
            "Message": "unreadable time, never listed"})",
    }));
    EXPECT_EQ(
        run(h, kDefaultLevels),
        "status web1.msgs red" + kHead +
            "Sys: E 'Tue Nov 14 21:44:20 2023': Disk 11 - \" The device has a bad block.\"\r\n"
            "Sys: W 'Tue Nov 14 22:03:20 2023': Tcpip 4227 - \" TCP/IP failed\"\r\n");
    // Sent first, then paged; never performance data.
    ASSERT_EQ(h.calls.size(), 2u);
    EXPECT_EQ(h.calls[1], "page:" + h.report());
}

TEST(MsgsReport, WarningsWithoutPagingAreYellowAndCustomLogsKeepTheirName) {
    BuiltinHarness h(events({
        event("Application", 2, 1700, "App", 7, "A warning."),
        event("DNSSERVER", 1, 3000, "DNS", 4013, "Zone not loaded."),
    }));
    EXPECT_EQ(run(h, "app:warn dnsserver:err:n:60"),
              "status web1.msgs yellow" + kHead +
                  "App: W 'Tue Nov 14 21:45:00 2023': App 7 - \" A warning.\"\r\n"
                  "DNSSERVER: E 'Tue Nov 14 21:23:20 2023': DNS 4013 - \" Zone not loaded.\"\r\n");
}

TEST(MsgsReport, NothingToReportAndAlwaysGreen) {
    BuiltinHarness h(events({event("System", 1, 60, "Disk", 11, "Bad block.")}));
    EXPECT_EQ(run(h, ""), std::string("status web1.msgs green ") + kStamp +
                              " [web1.corp.lan] No bad messages\r\n");
    BuiltinHarness g(events({event("System", 1, 60, "Disk", 11, "Bad block.")}), "msgs:G");
    EXPECT_EQ(run(g, "SYS:ERR:Y:30"),
              "status web1.msgs green" + kHead +
                  "Sys: E 'Tue Nov 14 22:12:20 2023': Disk 11 - \" Bad block.\"\r\n");
}

TEST(MsgsReport, IgnoredBySourceMessageOrSourceAndIdWhateverCaseAndSpacing) {
    BuiltinHarness h(events({
        event("System", 1, 60, "Service Control Manager", 7036, "The X service entered a state."),
        event("System", 1, 60, "Service Control Manager", 7000, "The Y service failed."),
        event("System", 1, 60, "Noisy Source", 1, "Anything."),
        event("System", 1, 60, "Disk", 11, "A BAD   block at 5."),
    }));
    testing::LogCapture log;
    EXPECT_EQ(run(h, "SYS:ERR:Y:30", "servicecontrol manager : 7036;noisysource;bad block;;"),
              "status web1.msgs red" + kHead +
                  "Sys: E 'Tue Nov 14 22:12:20 2023': Service Control Manager 7000 - \" The Y "
                  "service failed.\"\r\n");
    EXPECT_NE(log.text().find("Ignoring event source is <Noisy Source>\r\n"), std::string::npos);

    // Ignored events do not colour the report.
    BuiltinHarness g(events({event("System", 1, 60, "Noisy Source", 1, "x")}));
    EXPECT_EQ(
        run(g, "SYS:ERR:Y:30", "NOISY SOURCE"),
        std::string("status web1.msgs green ") + kStamp + " [web1.corp.lan] No bad messages\r\n");
}

TEST(MsgsReport, LinesWrapAtWhiteSpaceAfterEveryHundredCharacters) {
    // The line's prefix is 43 characters, so message character 57 stands at
    // line character 100. Blanks at message characters 57 and 162 only.
    std::string spaced(250, 'm');
    spaced[20] = spaced[57] = spaced[162] = ' ';
    const std::string solid(250, 's');
    BuiltinHarness h(
        events({event("System", 1, 60, "W", 1, spaced), event("System", 1, 60, "W", 2, solid)}));
    std::string wrapped = spaced;
    wrapped[57] = wrapped[162] = '\r';
    EXPECT_EQ(run(h, "SYS:ERR:Y:30"), "status web1.msgs red" + kHead +
                                          "Sys: E 'Tue Nov 14 22:12:20 2023': W 1 - \" " + wrapped +
                                          "\"\r\nSys: E 'Tue Nov 14 22:12:20 2023': W 2 - \" " +
                                          solid + "\"\r\n");
}

TEST(MsgsReport, FullBodyGetsOneMarkerAndStillCountsTheColour) {
    // 5000-character messages are kept to 989 characters, so every line is
    // 1035 characters: 49 fit after the 19-character head.
    std::vector<std::string> list;
    for (int i = 0; i < 60; ++i)
        list.push_back(event("System", 2, 60, "W", 1, std::string(5000, 'x')));
    list.push_back(event("System", 1, 60, "Late", 9, "page me"));
    BuiltinHarness h(events(list));
    testing::LogCapture log;
    const std::string r = run(h, "SYS:WARN:N:30 SYS:ERR:Y:30");
    const std::string head = "status web1.msgs red" + kHead;
    ASSERT_EQ(r.rfind(head, 0), 0u) << "the late error that did not fit still makes it red";
    const std::string body = r.substr(head.size() - 19);
    EXPECT_EQ(body.size(), 19 + 49 * 1035 - 6 + 7u);
    EXPECT_LE(body.size(), kMsgsBodyMax);
    EXPECT_EQ(body.substr(body.size() - 7), "\r\n...\r\n");
    EXPECT_EQ(body.find("..."), body.size() - 5) << "one marker only";
    EXPECT_NE(log.text().find("Line NOT added to status msg (buffer full): "), std::string::npos);
}

TEST(MsgsReport, QueryLooksTwoHoursBeforeTheWindowAndUnqueryableLogsAreSkipped) {
    // Generated recently but written three hours ago: outside the query.
    BuiltinHarness h(events({event("System", 1, 60, "Disk", 1, "old", 3 * 3600 + 1800 + 60),
                             event("System", 1, 60, "Disk", 2, "new", 2 * 3600 + 1800 - 60)}));
    testing::LogCapture log;
    const std::string r = run(h, "SYS:ERR:Y:30 O'NEIL:ERR:Y:30 SEC:ERR:Y:30");
    EXPECT_EQ(r.find("old"), std::string::npos);
    EXPECT_NE(r.find("Disk 2 - \" new\""), std::string::npos);
    const std::string text = log.text();
    EXPECT_NE(text.find("\r\nOpened System source\r\n\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nCouldn't open O'NEIL source\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nOpened Security source\r\n\r\n"), std::string::npos)
        << "a log without events is still opened";
}

TEST(MsgsReport, DisabledWritesOneLine) {
    BuiltinHarness h(events({}), "msgs:D");
    testing::LogCapture log;
    run(h, kDefaultLevels);
    EXPECT_TRUE(h.calls.empty());
    EXPECT_EQ(log.text(), "msgs test disabled.\r\n");
}

TEST(MsgLevels, NormalisingAndSources) {
    EXPECT_EQ(normalisemsglevels("sys : err : y : 30   app:warn "), "SYS:ERR:Y:30   APP:WARN ");
    EXPECT_EQ(normalisemsglevels(""), "");
    EXPECT_EQ(normalisemsglevels(" \t: "), ":");
    std::vector<std::string> keys;
    for (const LogSource& s : msgsources("SYS:ERR DNSSERVER:ERR:N:60 DNSSERVER:WARN X APP:ERR :X"))
        keys.push_back(s.key + "=" + s.logfile);
    EXPECT_EQ(keys, (std::vector<std::string>{"APP:=Application", "SYS:=System", "SEC:=Security",
                                              "DNSSERVER:=DNSSERVER"}));
    // 255 characters of one-letter keys: every key is a source, the table
    // stays within its 200 entries.
    std::string many;
    for (int i = 0; i < 300; ++i)
        many += std::string(1, static_cast<char>('A' + i % 26)) + std::to_string(i) + ": ";
    EXPECT_LE(msgsources(many).size(), kMaxLogSources);
}

TEST(MsgLevels, EntriesWindowsPagingAndMalformedItems) {
    testing::LogCapture log;
    auto parse = [](const std::string& text, const std::string& key = "SYS:") {
        std::vector<std::string> out;
        for (const LevelEntry& e : parselevels(normalisemsglevels(text), key))
            out.push_back(std::string(eventtypeword(e.type)) + (e.page ? "+" : "-") +
                          std::to_string(e.window));
        return out;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(parse("SYS:ERR:Y:30 SYS:WARN:N:15"), (V{"ERR+1800", "WARN-900"}));
    EXPECT_EQ(parse("APP:WARN", "APP:"), (V{"WARN-1800"}));
    EXPECT_EQ(parse("SYS:ERR:45"), (V{"ERR-1800"})) << "no Y or N: the number is not read";
    EXPECT_EQ(parse("SYS:ERR:Y"), (V{"ERR+1800"}));
    EXPECT_EQ(parse("SYS:INFO:N:-5 SYS:FAIL_AUDIT:N:1"), (V{"INFO-1800", "FAIL_AUDIT-60"}));
    EXPECT_EQ(parse("SYS:SUCCESS_AUDIT:Y:99999999999"), (V{"SUCCESS_AUDIT+128849018820"}));
    EXPECT_EQ(parse("SYS:ERRX:Y:30 SYS:FOO SYS:WARN"), (V{"WARN-1800"}));
    EXPECT_EQ(parse("MYSYS:ERR:Y:30"), V{}) << "a key inside a longer word names another log";
    EXPECT_EQ(parse("SYS:ERR SYS:WARN SYS:INFO SYS:ERR SYS:WARN SYS:INFO SYS:ERR").size(), 5u);
    for (const std::string& longest :
         {std::string(255, ':'), std::string(255, 'S'), "SYS:" + std::string(251, 'E'),
          std::string(252, ' ') + "SYS:"})
        EXPECT_TRUE(parse(longest).empty());
    const std::string text = log.text();
    for (const char* line :
         {"\r\n<SYS:> message levels\r\n",
          "\r\ncheckfor[0]: Event type:ERR  Page:Yes  timelapse:1800 mins\r\n",
          "\r\ncheckfor[1]: Event type:WARN  Page:No  timelapse:900 mins\r\n",
          "\r\nError at current entry: <SYS:ERRX:Y:30>\r\n",
          "\r\nError at current entry: <SYS:FOO>\r\n", "\r\n<SYS:> not found in MsgLevels\r\n",
          "\r\nStopping, too many event types for <SYS:>\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST(IgnoreMsgs, PatternsMatchAsSubstringsAfterNormalising) {
    IgnoreList l("SERVICE CONTROL MANAGER:7036;bad  block; ;");
    EXPECT_TRUE(l.matches("Service control manager:7036"));
    EXPECT_TRUE(l.matches("A BAD BLO\tCK here"));
    EXPECT_FALSE(l.matches("bad"));
    EXPECT_FALSE(l.matches(""));
    EXPECT_FALSE(IgnoreList(";; \t;").matches("anything")) << "empty patterns match nothing";
    EXPECT_FALSE(IgnoreList("").matches("anything"));
    EXPECT_TRUE(IgnoreList("abcd;bc").matches("xabce")) << "a pattern ending inside another";
    EXPECT_TRUE(IgnoreList("aab").matches("aaab"));
    EXPECT_TRUE(IgnoreList("\xe9t\xe9").matches("\xc9T\xe9t\xe9"));
    std::string every;
    for (int c = 1; c < 256; ++c) every.push_back(static_cast<char>(c));
    every.resize(2047, 'z');
    EXPECT_TRUE(IgnoreList(every).matches(every)) << "every byte value, the longest setting";
    EXPECT_FALSE(IgnoreList(std::string(2047, 'a')).matches(std::string(2046, 'a')));
    EXPECT_TRUE(IgnoreList(std::string(2047, 'a')).matches(std::string(3000, 'A')));
}

// The automaton answers exactly what a plain substring search does.
TEST(IgnoreMsgs, AgreesWithAPlainSearchOnRandomPatterns) {
    std::mt19937 rng(7);
    auto word = [&](size_t max) {
        std::string s(1 + rng() % max, ' ');
        for (char& c : s) c = "abcA B"[rng() % 6];
        return s;
    };
    auto norm = [](const std::string& s) {
        std::string o;
        for (char c : toLower(s))
            if (c != ' ') o.push_back(c);
        return o;
    };
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> patterns;
        std::string setting;
        for (size_t i = 0, n = 1 + rng() % 6; i < n; ++i) {
            patterns.push_back(word(5));
            setting += patterns.back() + ";";
        }
        IgnoreList list(setting);
        for (int t = 0; t < 20; ++t) {
            const std::string text = word(30);
            bool expected = false;
            for (const std::string& p : patterns)
                if (!norm(p).empty() && norm(text).find(norm(p)) != std::string::npos)
                    expected = true;
            ASSERT_EQ(list.matches(text), expected) << setting << " / " << text;
        }
    }
}

TEST(EventDate, TwentyFourCharactersWithAPaddedDay) {
    testing::ManualClock c;
    EXPECT_EQ(eventdatetext(c, 1700000000), "Tue Nov 14 22:13:20 2023");
    EXPECT_EQ(eventdatetext(c, 1699142400), "Sun Nov  5 00:00:00 2023");
    c.utcOffset = 3600;
    EXPECT_EQ(eventdatetext(c, 1699142400), "Sun Nov  5 01:00:00 2023");
}

}  // namespace
}  // namespace tw
