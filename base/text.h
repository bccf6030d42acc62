// Small text rules shared across the agent: the "decimal number" reading of
// settings and text-mode line ends. (ASCII case folding and comparison are
// in platform/ascii.h.)
#pragma once

#include <string>
#include <string_view>

namespace tw {

// The leading decimal integer: leading white space and one sign allowed,
// reading stops at the first non-digit, no digits gives 0. Saturates at the
// 32-bit limits instead of overflowing.
int decimalNumber(std::string_view text);

// The text as a text-mode file stores it: every LF preceded by a CR (a CR
// already there stays, as the C library's text mode does).
std::string textModeLines(std::string_view text);

// The text on one line for a message: LF, CR and TAB as \n, \r and \t,
// other control characters as \xNN.
std::string visibleText(std::string_view text);

}  // namespace tw
