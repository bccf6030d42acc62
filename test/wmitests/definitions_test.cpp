#include "agent/wmitests/definitions.h"

#include <gtest/gtest.h>

#include <chrono>

#include "test/wmitests/fuzz_support.h"

namespace tw {
namespace {

std::string fields(const WmiTestDefinition& d) {
    return "[" + d.name + "][" + d.datatype + "][" + d.threshold + "][" + d.perf + "][" + d.query +
           "][" + d.pageformat + "]";
}

TEST(Definitions, QuotedAndBareFieldsWithBlanksBetween) {
    WmiTestDefinition d = readdefinition(
        "  Battery   String \"Unknown;Lost Comm:Error\" perf \"select status from "
        "Win32_Battery\" \"Query: &query\"");
    EXPECT_EQ(fields(d),
              "[Battery][String][Unknown;Lost Comm:Error][perf][select status from "
              "Win32_Battery][Query: &query]");
    EXPECT_FALSE(d.comment());

    // An empty quoted page format, and a field right after a closing quote.
    d = readdefinition("\"My test\" Numerical 4:5 noperf \"select a from b\"\"\"");
    EXPECT_EQ(fields(d), "[My test][Numerical][4:5][noperf][select a from b][]");
    d = readdefinition("a\"b c \"\"x y\"z");
    EXPECT_EQ(fields(d), "[a\"b][c][][x][y\"z][]");
}

TEST(Definitions, HashNameMakesAComment) {
    EXPECT_TRUE(readdefinition("#old Numerical 4:5 noperf \"select a from b\" \"\"").comment());
    EXPECT_TRUE(readdefinition("  \"#quoted name\" x").comment());
    EXPECT_FALSE(readdefinition("a#b Numerical").comment());
    EXPECT_FALSE(readdefinition("").comment());
}

TEST(Definitions, OpenFieldsEndAtTheEndOfTheDefinition) {
    EXPECT_EQ(fields(readdefinition("n String a:b perf \"select x from y")),
              "[n][String][a:b][perf][select x from y][]");
    EXPECT_EQ(fields(readdefinition("n String a:b perf \"select x from y\" \"Query: &query")),
              "[n][String][a:b][perf][select x from y][Query: &query]");
    EXPECT_EQ(fields(readdefinition("n String")), "[n][String][][][][]");
    EXPECT_EQ(fields(readdefinition("   ")), "[][][][][][]");
    EXPECT_EQ(fields(readdefinition("n \"")), "[n][][][][][]");
    // Text after the sixth field is not part of any field.
    EXPECT_EQ(fields(readdefinition("a b c d e f g h")), "[a][b][c][d][e][f]");
}

TEST(Definitions, OverLongFieldIsCutAndEndsTheDefinitionSoItsRestIsNotTheNextField) {
    WmiTestDefinition d = readdefinition(std::string(1024, 'n') + " Numerical 4:5");
    EXPECT_EQ(d.name, std::string(1023, 'n'));
    EXPECT_EQ(d.datatype + d.threshold + d.perf + d.query + d.pageformat, "");

    d = readdefinition("n Numerical12345678901 4:5 noperf");
    EXPECT_EQ(fields(d), "[n][Numerical1234567890][][][][]");
    d = readdefinition("n Numerical 4:5 " + std::string(20, 'p') + " \"select a from b\"");
    EXPECT_EQ(fields(d), "[n][Numerical][4:5][" + std::string(19, 'p') + "][][]");
    // Exactly at the limits everything is kept.
    d = readdefinition(std::string(1023, 'n') + " " + std::string(19, 't') + " x " +
                       std::string(19, 'p') + " q f");
    EXPECT_EQ(d.name.size() + d.datatype.size() + d.perf.size(), 1023u + 19 + 19);
    EXPECT_EQ(d.pageformat, "f");
}

TEST(Definitions, DefinitionIsCutAt2046Characters) {
    std::string format(3000, 'f');
    WmiTestDefinition d = readdefinition("n Numerical 4:5 noperf \"q\" \"" + format + "\"");
    EXPECT_EQ(d.text.size(), 2046u);
    EXPECT_EQ(d.pageformat, std::string(2046 - 28, 'f'));
    std::vector<std::string> pieces = splitdefinitions(std::string(3000, 'x') + "|y");
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].size(), 2046u);
    EXPECT_EQ(pieces[1], "y");
}

TEST(Definitions, SettingSplitsAtEveryBarAndEmptyPiecesAreSkipped) {
    EXPECT_EQ(splitdefinitions(""), std::vector<std::string>{""});
    EXPECT_EQ(splitdefinitions("a|b c||"), (std::vector<std::string>{"a", "b c", "", ""}));
    std::vector<WmiTestDefinition> defs = readdefinitions("|a x||b y|");
    ASSERT_EQ(defs.size(), 2u);
    EXPECT_EQ(defs[0].name + defs[1].name, "ab");
    EXPECT_TRUE(readdefinitions("").empty());
}

TEST(Definitions, ValueNameIsTheWordAfterSelect) {
    EXPECT_EQ(valuename("select status from Win32_Battery"), "status");
    EXPECT_EQ(valuename("SELECT    NumberOfProcessors from Win32_ComputerSystem"),
              "NumberOfProcessors");
    EXPECT_EQ(valuename("selectXName from x"), "Name");
    EXPECT_EQ(valuename("select Name,State from Win32_Service"), "Name,State");
    EXPECT_EQ(valuename("select "), "");
    EXPECT_EQ(valuename("sel"), "");
    EXPECT_EQ(valuename("select Name"), "Name");
    EXPECT_EQ(valuename("select " + std::string(200, 'p') + " from x"), std::string(127, 'p'));
}

TEST(Definitions, DefaultPoolIsTheSixExamplesByteForByte) {
    const std::string format = "\"Query: &query\r\n&value: %value%\"";
    const std::string lists = "\"Unknown;Lost Comm;No Contact:Error;Pred Fail\"";
    EXPECT_EQ(defaultwmipool(),
              "ChassisBootupState Numerical 4:5 noperf \"select ChassisBootupState from "
              "Win32_ComputerSystem\" " +
                  format +
                  "|PowerSupplyState Numerical 4:5 noperf \"select PowerSupplyState from "
                  "Win32_ComputerSystem\" " +
                  format + "|BaseboardStatus String " + lists +
                  " noperf \"select status from "
                  "Win32_BaseBoard\" " +
                  format + "|BatteryStatus String " + lists +
                  " noperf \"select status from "
                  "Win32_Battery\" " +
                  format + "|MotherBoardStatus String " + lists +
                  " noperf \"select status from "
                  "Win32_MotherboardDevice\" " +
                  format +
                  "|NumberOfProcessors Numerical 0:0 noperf \"select NumberOfProcessors from "
                  "Win32_ComputerSystem\" " +
                  format);

    std::vector<WmiTestDefinition> rows = readdefinitions(defaultwmipool());
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(fields(rows[2]),
              "[BaseboardStatus][String][Unknown;Lost Comm;No Contact:Error;Pred Fail][noperf]"
              "[select status from Win32_BaseBoard][Query: &query\r\n&value: %value%]");
    EXPECT_EQ(fields(rows[5]),
              "[NumberOfProcessors][Numerical][0:0][noperf]"
              "[select NumberOfProcessors from Win32_ComputerSystem]"
              "[Query: &query\r\n&value: %value%]");
}

TEST(Definitions, ReplaceTextEverywhereWithinCapacity) {
    std::string t = "%color% and %color%";
    EXPECT_EQ(replacetext(t, 100, "%color%", "red"), 0);
    EXPECT_EQ(t, "red and red");
    t = "no placeholder";
    EXPECT_EQ(replacetext(t, 100, "%color%", "red"), 0);
    EXPECT_EQ(t, "no placeholder");
    t = "aXa";
    EXPECT_EQ(replacetext(t, 100, "a", "aa"), 0);  // the replacement is not searched again
    EXPECT_EQ(t, "aaXaa");
    t = "abab";
    EXPECT_EQ(replacetext(t, 100, "ab", ""), 0);
    EXPECT_EQ(t, "");

    // At most capacity - 1 characters: the piece that does not fit is left out.
    t = "1:%v%,2:%v%";
    EXPECT_EQ(replacetext(t, 9, "%v%", "xyz"), 3);
    EXPECT_EQ(t, "1:xyz,2:");
    t = "1:%v%,2:%v%";
    EXPECT_EQ(replacetext(t, 12, "%v%", "xyz"), 0);
    EXPECT_EQ(t, "1:xyz,2:xyz");
    t = "%v%tail";
    EXPECT_EQ(replacetext(t, 6, "%v%", "xyz"), 3);
    EXPECT_EQ(t, "xyz");

    t = "keep";
    EXPECT_EQ(replacetext(t, 0, "k", "x"), 1);
    EXPECT_EQ(replacetext(t, 10, "", "x"), 1);
    EXPECT_EQ(t, "keep");
}

// --- Robustness: arbitrary settings never crash, every field keeps its
// limit, and definitions written field by field read back unchanged.

TEST(DefinitionFuzz, ArbitrarySettingsStayWithinLimitsAndWrittenFieldsReadBack) {
    fuzz::Gen g(fuzz::seed() + 1);
    const long n = fuzz::iterations();
    const size_t limits[6] = {kNameMax,       kDataTypeMax, kThresholdMax,
                              kPerfSwitchMax, kQueryMax,    kPageFormatMax};
    long roundTrips = 0;
    auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < n; ++i) {
        // Arbitrary bytes, biased towards the characters the syntax uses.
        std::string setting =
            g.chance(5) ? std::string(g.lengthAround(kDefinitionMax), g.chance(50) ? ' ' : 'x')
                        : g.text(std::string_view(" \"|#ab:;\0", 9), 120);
        std::vector<std::string> pieces = splitdefinitions(setting);
        size_t bars = 0;
        for (char c : setting) bars += c == '|';
        ASSERT_EQ(pieces.size(), bars + 1);
        for (const std::string& p : pieces) {
            ASSERT_LE(p.size(), kDefinitionMax);
            ASSERT_EQ(p.find('|'), std::string::npos);
            WmiTestDefinition d = readdefinition(p);
            ASSERT_EQ(d.text, p);
            const std::string* f[6] = {&d.name, &d.datatype, &d.threshold,
                                       &d.perf, &d.query,    &d.pageformat};
            for (int k = 0; k < 6; ++k) {
                ASSERT_LE(f[k]->size(), limits[k]);
                ASSERT_NE(p.find(*f[k]), std::string::npos);  // fields come from the text
            }
        }

        // Six fields written as the editor would: quoted when they hold a
        // blank or are empty, bare otherwise.
        std::string written, expect[6];
        for (int k = 0; k < 6; ++k) {
            std::string v = g.text(std::string_view("ab \r\n:;%&#\0", 11), 12);
            for (char& c : v)
                if (c == '"') c = 'q';  // no field can hold a double quote
            bool quote = v.empty() || v.find(' ') != std::string::npos || g.chance(30);
            written += std::string(1 + g.below(2), ' ');
            written += quote ? "\"" + v + "\"" : v;
            expect[k] = v;
        }
        WmiTestDefinition d = readdefinition(written);
        ASSERT_EQ(fields(d), "[" + expect[0] + "][" + expect[1] + "][" + expect[2] + "][" +
                                 expect[3] + "][" + expect[4] + "][" + expect[5] + "]")
            << written;
        ++roundTrips;
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    std::printf("definition fuzz: %ld settings, %ld round trips, %lld ms\n", n, roundTrips,
                static_cast<long long>(ms));
}

}  // namespace
}  // namespace tw
