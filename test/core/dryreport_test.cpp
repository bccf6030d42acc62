#include "agent/core/dryreport.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "agent/core/drycycle.h"

namespace tw {
namespace {

DryRun sample() {
    DryRun run;
    run.loaded = true;
    // A report may carry bytes of the host's code page, which are not UTF-8.
    run.messages = {{"page", {"[::1]:1986"}, "page   web1.disk red now\r\nC: caf\xe9", {"a note"}}};
    run.externals = {{"/missing/prog", std::nullopt}};
    run.externalpath = "/spool";
    run.externalpathReadable = true;
    run.workfiles = {{"/spool/-keep", 1, false}};
    return run;
}

TEST(DryReport, TextBlocksAndTheirListings) {
    EXPECT_EQ(drytext(sample()),
              "page -> [::1]:1986\n(a note)\npage   web1.disk red now\nC: caf\xe9\n\n"
              "External programs (the agent starts them; none is run now):\n"
              "  /missing/prog: not found or not a program; the agent would not run it\n\n"
              "Work files in /spool (the agent forwards them; none is forwarded or deleted now):\n"
              "  /spool/-keep: 1 message, kept\n\n"
              "twnt -test: 1 message (0 status messages, 1 page), nothing sent\n");
}

TEST(DryReport, JsonLinesStayValidForAnyBytes) {
    const std::string out = dryjson(sample());
    ASSERT_EQ(std::count(out.begin(), out.end(), '\n'), 3);
    const auto message = nlohmann::json::parse(out.substr(0, out.find('\n')));
    EXPECT_EQ(message, nlohmann::json::parse(R"({"kind": "page", "destinations": ["[::1]:1986"],
        "colour": "red", "text": "page   web1.disk red now\r\nC: caf\ufffd",
        "notes": ["a note"]})"));
}

}  // namespace
}  // namespace tw
