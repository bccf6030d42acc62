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
    const char* cases[][2] = {
        // Quoted "NA" shows empty; a page format's line breaks show as "\r\n".
        {"b String \"NA\" perf \"select s from t\" \"Q: &query\r\nV: %value%\r\n\"",
         "[b][String][][Y][select s from t][Q: &query\\r\\nV: %value%\\r\\n]"},
        // An unquoted threshold ends at the next blank; extra blanks are skipped.
        {"c  Numerical 0:0  noperf \"select n from t\" \"\"",
         "[c][Numerical][0:0][N][select n from t][]"},
        {"d String \" Lost Comm: Fail \" PERF \"q\" \"a\nb\"",
         "[d][String][Lost Comm: Fail][Y][q][a\nb]"},
        // A query with an inner double quote ends there.
        {"q String \"a:b\" noperf \"select N from S where N=\"x\"\" \"p\"",
         "[q][String][a:b][N][select N from S where N=][x p]"},
        {"lonely", "[lonely][][][N][][]"},
    };
    for (const auto& c : cases) {
        std::vector<WmiTestRow> rows = parsewmitests(std::string(" | ") + c[0] + "\r\n||");
        ASSERT_EQ(rows.size(), 1u) << c[0];
        EXPECT_EQ(columns(rows[0]), c[1]);
    }
}

TEST(WmiTestRows, ComposeQuotesEveryFieldAndRoundTrips) {
    std::vector<WmiTestRow> rows = {
        {" cpu ", "Numerical ", " 80:90 ", "Y", "select L from P", "a\\r\\n"},
        {"bat", "String", "", "y", "select s from B", ""}};
    const std::string stored =
        "cpu Numerical \"80:90\" perf \"select L from P\" \"a\r\n\"|"
        "bat String \"NA\" noperf \"select s from B\" \"\"";
    EXPECT_EQ(composewmitests(rows), stored);
    EXPECT_EQ(composewmitests(parsewmitests(stored)), stored);
    // The default pool's bare thresholds come back quoted, nothing else changes.
    std::string once = composewmitests(parsewmitests(defaultwmipool()));
    EXPECT_EQ(once.substr(0, 43), "ChassisBootupState Numerical \"4:5\" noperf \"");
    EXPECT_EQ(parsewmitests(once), parsewmitests(defaultwmipool()));
}

}  // namespace
}  // namespace tw::editor
