// The rows of the WMI test list: the WMITests setting split into six
// columns for the list, and composed back into the stored text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tw::editor {

// One test definition as the list shows it. The page format holds its line
// breaks as the two-character sequences "\r\n".
struct WmiTestRow {
    std::string name, type, threshold, trend, query, pageformat;

    bool operator==(const WmiTestRow&) const = default;
};

// The list's column labels, in the order of the row's fields.
inline constexpr const char* kWmiTestColumns[6] = {
    "TW Test Name", "Data Type", "Threshold", "Trend", "WMI Query Statement", "TW Page Format"};

// The page format a new test starts with (real line breaks).
inline constexpr const char* kDefaultPageFormat = "Query: &query\r\n&value: %value%\r\n";

// Real carriage return and line feed pairs to the two-character sequences
// "\r\n" the list shows, and back.
std::string linebreakstosequences(std::string_view text);
std::string sequencestolinebreaks(std::string_view text);

// Blanks, tabs, carriage returns and line feeds removed from both ends.
std::string trimmed(std::string_view text);

// One stored definition read into its six texts: name and type blank
// delimited; the threshold quoted or up to the next blank, quotes removed,
// "NA" read as empty; the trend "Y" for "perf", else "N"; the query between
// the next two double quotes; the page format the rest, without double
// quotes. Extra blanks between fields are skipped, and a field whose closing
// delimiter is missing runs to the end of the entry. With sequences set the
// page format's line breaks become "\r\n" sequences (as the list shows them);
// otherwise they stay real line breaks.
WmiTestRow parsewmitestentry(std::string_view entry, bool sequences);

// The rows of a WMITests text: entries between "|", trimmed, empty ones
// skipped.
std::vector<WmiTestRow> parsewmitests(std::string_view setting);

// The WMITests text of the rows, in order: entries joined with "|", each
// name, type, "threshold" ("NA" when empty), perf or noperf, "query" and
// "page format" (with real line breaks), separated by one blank.
std::string composewmitests(const std::vector<WmiTestRow>& rows);

}  // namespace tw::editor
