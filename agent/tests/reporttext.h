// Small text rules of the built-in tests' reports: white space as the
// reports understand it, fixed-width name columns, whole-number views of
// measured figures, and keeping a report within one status message.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "agent/perfdata/perfdata.h"

namespace tw {

// Blank, tab, line feed, vertical tab, form feed and carriage return.
inline bool iswhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The text cut to width characters or padded with blanks to width.
std::string fitwidth(std::string_view text, size_t width);

// A figure truncated towards zero for a "%d" field; figures beyond the
// 32-bit range (a counter on a link that reports almost no bandwidth) stay
// at its ends instead of wrapping.
int truncint(double v);

// std::trunc, without calling into the maths library (which the size-optimised
// build would otherwise load for this alone): the whole part of v, its sign
// kept; NaN, infinities and numbers past 2^52 (whole already) unchanged.
double wholepart(double v);

// The line that ends a report which had to lose lines.
inline constexpr std::string_view kCutMarker = "...\r\n";

// A report longer than limit characters keeps its lines up to the last
// complete one that leaves room for kCutMarker, then the marker: a reader
// sees that lines are missing, and the colour (decided before) still counts
// every finding. Answers whether the report was cut.
bool fitreport(std::string& report, size_t limit = kStatusMessageMax);

}  // namespace tw
