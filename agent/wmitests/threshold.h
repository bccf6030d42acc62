// The threshold language of the administrator's WMI tests: validation of a
// threshold field with its diagnostic messages, evaluation of a query result
// against a validated threshold, and the display texts that reports and page
// formats show.
//
// Forms of a threshold field:
//   "NA" (any case)             no thresholds, always green
//   Numerical minred:minyel::maxyel:maxred   a band of four increasing numbers
//   Numerical warning:panic     two expressions (plain number, "!"number, ranges)
//   String warning:panic        two ";"-separated lists of substrings
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tw {

enum class DataType { Numerical, String };

// "String" or "Numerical" in any letter case; nothing for any other word.
std::optional<DataType> parsedatatype(std::string_view field);

struct Threshold {
    enum class Form { NA, Band, Expressions, Lists };
    DataType type = DataType::Numerical;
    Form form = Form::NA;
    double minred = 0, minyel = 0, maxyel = 0, maxred = 0;  // Band
    std::string warning, panic;  // Expressions (Numerical) or Lists (String)
};

// Limits of the texts the language accepts; longer ones are rejected with
// "The threshold format is not correct\r\n".
inline constexpr size_t kBandNumberMax = 48;
inline constexpr size_t kBandSideMax = 1022;
inline constexpr size_t kWarningTextMax = 499;
inline constexpr size_t kPanicTextMax = 498;
inline constexpr size_t kStoredSideMax = 2047;
inline constexpr size_t kListItemMax = 1023;

struct ThresholdCheck {
    bool valid = false;
    Threshold threshold;  // meaningful only when valid
    std::string message;  // the one diagnostic message when not valid
};

// Validates a threshold field for a data type. A failure's message is also
// written to the diagnostic log.
ThresholdCheck parsethreshold(DataType type, std::string_view field);

// Validates one Numerical expression; answers the diagnostic message of its
// first fault, nothing when it is valid. Writes no log line itself.
std::optional<std::string> checkexpression(std::string_view expr);

// Whether a value lies in what a (validated) expression names: empty never
// matches; "!t" matches x != t; a plain t matches x >= t; ranges match when
// any of them holds x.
bool matchexpression(std::string_view expr, double x);

// "green", "yellow" or "red" for a query result under a validated threshold.
// Numerical reads the result as a number (the first of several values, 0
// when it is none); String searches the result for the Panic list's items,
// then the Warning list's. An empty list item never matches: it would be
// found in every value and turn a list such as "A;" into an alarm for all.
const char* thresholdcolor(const Threshold& t, std::string_view result);

// The Warning and Panic display texts. A band shows its zones with six
// decimals; an "NA" threshold has none and shows the empty text.
std::string warningdisplay(const Threshold& t);
std::string panicdisplay(const Threshold& t);

// The standard text-to-number reading, independent of the process locale:
// leading white space, a sign, a decimal or hexadecimal number, "inf" or
// "nan"; reading stops at the first character that cannot continue the
// number; no number gives 0. Values beyond the double range give +-infinity.
double readnumber(std::string_view text);

}  // namespace tw
