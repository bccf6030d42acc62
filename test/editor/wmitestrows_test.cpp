#include "editor/wmitestrows.h"

#include <gtest/gtest.h>

#include "agent/wmitests/definitions.h"

namespace tw::editor {
namespace {

std::string columns(const WmiTestRow& r) {
    return "[" + r.name + "][" + r.type + "][" + r.threshold + "][" + r.trend + "][" + r.query +
           "][" + r.pageformat + "]";
}

TEST(WmiTestRows, StoredEntriesLoadIntoSixColumns) {
    struct Case {
        const char* stored;
        const char* shown;
    } cases[] = {
        // Quoted threshold, perf, a page format with two line breaks.
        {"cpuload Numerical \"80:90\" perf \"select LoadPercentage from Win32_Processor\" "
         "\"Query: &query\r\n&value: %value%\r\n\"",
         "[cpuload][Numerical][80:90][Y][select LoadPercentage from Win32_Processor]"
         "[Query: &query\\r\\n&value: %value%\\r\\n]"},
        // "NA" in quotes shows an empty threshold.
        {"bat String \"NA\" noperf \"select status from Win32_Battery\" \"x\"",
         "[bat][String][][N][select status from Win32_Battery][x]"},
        // An unquoted threshold ends at the next blank.
        {"procs Numerical 0:0 noperf \"select NumberOfProcessors from Win32_ComputerSystem\" \"\"",
         "[procs][Numerical][0:0][N][select NumberOfProcessors from Win32_ComputerSystem][]"},
        // A threshold with blanks inside its quotes; PERF in capitals.
        {"b String \"Lost Comm: Pred Fail \" PERF \"select status from Win32_BaseBoard\" \"p\"",
         "[b][String][Lost Comm: Pred Fail][Y][select status from Win32_BaseBoard][p]"},
        // Extra blanks between fields are skipped.
        {"a  Numerical   \"1:2\"  noperf  \"select x from y\"  \"p\"",
         "[a][Numerical][1:2][N][select x from y][p]"},
        // A query with an inner double quote ends there.
        {"q String \"a:b\" noperf \"select Name from Win32_Service where Name=\"x\"\" \"p\"",
         "[q][String][a:b][N][select Name from Win32_Service where Name=][x p]"},
        // Missing fields: what is there is kept.
        {"lonely", "[lonely][][][N][][]"},
    };
    for (const Case& c : cases) {
        std::vector<WmiTestRow> rows = parsewmitests(c.stored);
        ASSERT_EQ(rows.size(), 1u) << c.stored;
        EXPECT_EQ(columns(rows[0]), c.shown) << c.stored;
    }
}

TEST(WmiTestRows, EntriesAreSplitAtBarsTrimmedAndEmptyOnesSkipped) {
    std::vector<WmiTestRow> rows = parsewmitests(
        "  a Numerical \"1:2\" noperf \"select x from y\" \"p\" || |\r\n"
        "b String \"u:v\" perf \"select s from t\" \"q\"\r\n|");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].name, "a");
    EXPECT_EQ(columns(rows[1]), "[b][String][u:v][Y][select s from t][q]");
    EXPECT_TRUE(parsewmitests("").empty());
    EXPECT_TRUE(parsewmitests(" | ").empty());
}

TEST(WmiTestRows, ComposeWritesEveryFieldQuotedWithRealLineBreaks) {
    std::vector<WmiTestRow> rows = {
        {" cpu ", "Numerical ", " 80:90 ", "Y", "select LoadPercentage from Win32_Processor",
         "Query: &query\\r\\n&value: %value%\\r\\n"},
        {"bat", "String", "", "N", "select status from Win32_Battery", ""},
        {"x", "String", "a:b", "y", "select s from t", "\\r\\n"},
    };
    EXPECT_EQ(composewmitests(rows),
              "cpu Numerical \"80:90\" perf \"select LoadPercentage from Win32_Processor\" "
              "\"Query: &query\r\n&value: %value%\r\n\"|"
              "bat String \"NA\" noperf \"select status from Win32_Battery\" \"\"|"
              "x String \"a:b\" noperf \"select s from t\" \"\r\n\"");
    EXPECT_EQ(composewmitests({}), "");
}

TEST(WmiTestRows, RoundTripKeepsTheStoredText) {
    // The default pool, once written back by the editor, has every threshold
    // quoted; after that a load and a save change nothing.
    std::string once = composewmitests(parsewmitests(defaultwmipool()));
    EXPECT_EQ(once.find("Numerical \"4:5\" noperf"), once.find("Numerical"));
    EXPECT_EQ(composewmitests(parsewmitests(once)), once);
    ASSERT_EQ(parsewmitests(once).size(), 6u);
    EXPECT_EQ(parsewmitests(once), parsewmitests(defaultwmipool()));

    const char* stored =
        "a Numerical \"NA\" noperf \"select x from y\" \"one\r\ntwo\r\nthree\"|"
        "b String \"Unknown;Lost Comm:Error\" perf \"select s from t\" \"\"";
    EXPECT_EQ(composewmitests(parsewmitests(stored)), stored);
}

TEST(WmiTestRows, LineBreaksAndSequencesConvertBothWays) {
    EXPECT_EQ(linebreakstosequences("a\r\nb\r\n"), "a\\r\\nb\\r\\n");
    // Only the pair counts as a line break.
    EXPECT_EQ(linebreakstosequences("a\nb\r"), "a\nb\r");
    EXPECT_EQ(sequencestolinebreaks("a\\r\\nb\\n"), "a\r\nb\\n");
    EXPECT_EQ(trimmed(" \t a b \r\n"), "a b");
}

}  // namespace
}  // namespace tw::editor
