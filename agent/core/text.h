// Small text rules shared across the agent: the "decimal number" reading of
// settings, ASCII case mapping and comparison.
#pragma once

#include <string>
#include <string_view>

namespace tw {

// The leading decimal integer: leading white space and one sign allowed,
// reading stops at the first non-digit, no digits gives 0. Saturates at the
// 32-bit limits instead of overflowing.
int decimalNumber(std::string_view text);

std::string toUpper(std::string_view s);
std::string toLower(std::string_view s);
bool equalsNoCase(std::string_view a, std::string_view b);
// Position of needle in hay ignoring ASCII case, or npos.
size_t findNoCase(std::string_view hay, std::string_view needle);
// Whether a sorts before b ignoring ASCII case: the order of the editor's
// sorted lists.
bool lessNoCase(std::string_view a, std::string_view b);
// The text as a text-mode file stores it: every LF preceded by a CR (a CR
// already there stays, as the C library's text mode does).
std::string textModeLines(std::string_view text);

}  // namespace tw
