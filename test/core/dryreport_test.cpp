#include "agent/core/dryreport.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "agent/core/drycycle.h"

namespace tw {
namespace {

DryRun sample() {
    DryRun run;
    run.loaded = true;
    run.messages = {
        {"status",
         {"mon1.corp.lan:1984", "[::1]:1986"},
         "status web1.cpu yellow Tue Dec 08 03:20:31 UTC 2026 [web1] up: 0:15\r\n\r\n&yellow "
         "Machine recently rebooted\r\n",
         {kSecondSampleNote}},
        {"page", {"pager:1984"}, "page   web1.disk red Tue Dec 08 03:20:31 UTC 2026 full", {}},
    };
    ExternalProgram prog{"/opt/check.sh -q /int=60", "/opt/check.sh", "-q", 60};
    run.externals = {{"/opt/check.sh -q /int=60", prog}, {"/missing/prog", std::nullopt}};
    run.externalpath = "/spool/Work";
    run.externalpathReadable = true;
    run.workfiles = {{"/spool/Work/diskcheck", 2, true}, {"/spool/Work/-keep", 1, false}};
    return run;
}

TEST(DryReport, TextBlocksAreHeadedByKindAndDestinations) {
    EXPECT_EQ(drytext(sample()),
              "status -> mon1.corp.lan:1984, [::1]:1986\n"
              "(second sample taken 1 s after the first)\n"
              "status web1.cpu yellow Tue Dec 08 03:20:31 UTC 2026 [web1] up: 0:15\n\n"
              "&yellow Machine recently rebooted\n"
              "\n"
              "page -> pager:1984\n"
              "page   web1.disk red Tue Dec 08 03:20:31 UTC 2026 full\n"
              "\n"
              "External programs (the agent starts them; none is run now):\n"
              "  /opt/check.sh -q, every 60 s\n"
              "  /missing/prog: not found or not a program; the agent would not run it\n"
              "\n"
              "Work files in /spool/Work (the agent forwards them; none is forwarded or deleted "
              "now):\n"
              "  /spool/Work/diskcheck: 2 messages, then deleted\n"
              "  /spool/Work/-keep: 1 message, kept\n"
              "\n"
              "twnt -test: 2 messages (1 status message, 1 page), nothing sent\n");
}

TEST(DryReport, EmptyOrUnreadableWorkFolderAndAFailedLoad) {
    DryRun run;
    run.loaded = true;
    run.externalpath = "/spool/Work";
    EXPECT_EQ(drytext(run),
              "Work files in /spool/Work (the agent forwards them; none is forwarded or deleted "
              "now):\n  the folder cannot be read\n\n"
              "twnt -test: 0 messages (0 status messages, 0 pages), nothing sent\n");
    run.externalpathReadable = true;
    EXPECT_NE(drytext(run).find("now):\n  none\n\n"), std::string::npos);
    // Nothing ran: no summary (the reason goes to standard error).
    EXPECT_EQ(drytext(DryRun{}), "");
}

TEST(DryReport, JsonIsOneObjectPerLineAndStaysValidForAnyBytes) {
    DryRun run = sample();
    // A report may carry bytes of the host's code page, which are not UTF-8.
    run.messages[1].text += " caf\xe9";
    std::istringstream lines(dryjson(run));
    std::vector<nlohmann::json> objects;
    for (std::string line; std::getline(lines, line);)
        objects.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(objects.size(), 6u);

    EXPECT_EQ(objects[0]["kind"], "status");
    EXPECT_EQ(objects[0]["destinations"],
              nlohmann::json::array({"mon1.corp.lan:1984", "[::1]:1986"}));
    EXPECT_EQ(objects[0]["colour"], "yellow");
    EXPECT_EQ(objects[0]["text"], run.messages[0].text);  // CR LF kept
    EXPECT_EQ(objects[0]["notes"], nlohmann::json::array({kSecondSampleNote}));
    EXPECT_EQ(objects[1]["kind"], "page");
    EXPECT_EQ(objects[1]["colour"], "red");
    EXPECT_EQ(objects[1]["text"].get<std::string>().substr(run.messages[1].text.size() - 5),
              " caf\xef\xbf\xbd");

    EXPECT_EQ(objects[2], nlohmann::json::parse(R"({"kind": "external",
        "entry": "/opt/check.sh -q /int=60", "runs": true, "program": "/opt/check.sh",
        "arguments": "-q", "interval": 60})"));
    EXPECT_EQ(objects[3], nlohmann::json::parse(
                              R"({"kind": "external", "entry": "/missing/prog", "runs": false})"));
    EXPECT_EQ(objects[4], nlohmann::json::parse(R"({"kind": "workfile",
        "path": "/spool/Work/diskcheck", "messages": 2, "deleted": true})"));
    EXPECT_EQ(objects[5]["deleted"], false);
}

}  // namespace
}  // namespace tw
