#include "agent/wmitests/threshold.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "base/twlog.h"
#include "platform/ascii.h"

namespace tw {

namespace {

constexpr char kFormatNotCorrect[] = "The threshold format is not correct\r\n";
constexpr double kOpenLower = -9999999999.0;  // stands for a missing lower bound
constexpr double kOpenUpper = 9999999999.0;   // and a missing upper bound

bool isdigitc(char c) {
    return c >= '0' && c <= '9';
}
bool isnumberchar(char c) {
    return isdigitc(c) || c == '.';
}
bool isxdigitc(char c) {
    return isdigitc(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool isspacec(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool contains(std::string_view s, char c) {
    return s.find(c) != std::string_view::npos;
}
bool allnumberchars(std::string_view s) {
    for (char c : s)
        if (!isnumberchar(c)) return false;
    return true;
}

// The expression text inside a checkexpression message. Built by
// concatenation so that every byte of the expression is kept.
std::string exprmessage(std::string_view expr, std::string_view tail) {
    std::string m = "The threshold ";
    m.append(expr);
    m += " is not correct: ";
    m.append(tail);
    return m;
}

// The length of the number at the start of s in the C reading of numbers
// (digits with an optional point and exponent; hex digits with an optional
// point and binary exponent); 0 when there is none.
size_t numberlength(std::string_view s, bool hex) {
    auto isdig = hex ? isxdigitc : isdigitc;
    size_t i = 0, digits = 0;
    for (; i < s.size() && isdig(s[i]); ++i) ++digits;
    if (i < s.size() && s[i] == '.')
        for (++i; i < s.size() && isdig(s[i]); ++i) ++digits;
    if (digits == 0) return 0;
    const char e = hex ? 'p' : 'e';
    if (i < s.size() && (s[i] == e || s[i] == e - 'a' + 'A')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && isdigitc(s[j])) {
            while (j < s.size() && isdigitc(s[j])) ++j;
            i = j;
        }
    }
    return i;
}

bool startsNoCase(std::string_view s, std::string_view word) {
    if (s.size() < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if ((s[i] | 0x20) != word[i]) return false;
    return true;
}

}  // namespace

double readnumber(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && isspacec(s[i])) ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
    std::string_view rest = s.substr(i);
    if (rest.empty() || rest[0] == '+' || rest[0] == '-') return 0.0;
    double v = 0.0;
    if (startsNoCase(rest, "inf")) {
        v = std::numeric_limits<double>::infinity();
    } else if (startsNoCase(rest, "nan")) {
        v = std::numeric_limits<double>::quiet_NaN();
    } else {
        bool hex =
            rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X') &&
            (isxdigitc(rest[2]) || (rest[2] == '.' && rest.size() > 3 && isxdigitc(rest[3])));
        std::string_view body = hex ? rest.substr(2) : rest;
        const size_t n = numberlength(body, hex);
        if (n == 0) return 0.0;
        // strtod reads the point of the current locale (a graphical editor sets
        // the user's); the number is handed over with that point, so it reads
        // the same everywhere. strtod rather than from_chars keeps the program
        // clear of the maths library.
        const std::string_view point = std::localeconv()->decimal_point;
        std::string text = hex ? "0x" : "";
        for (char c : body.substr(0, n)) {
            if (c == '.')
                text.append(point.empty() ? std::string_view(".") : point);
            else
                text += c;
        }
        // Out of range, strtod answers infinity when too large and zero when
        // too small; a subnormal keeps its value. Hexadecimal numbers go
        // through strtold: the Windows run-time's strtod reads no hex digits.
        // The long double holds 64 binary digits, so every hex number of up
        // to 16 digits is converted exactly, then rounded once.
        v = hex ? static_cast<double>(std::strtold(text.c_str(), nullptr))
                : std::strtod(text.c_str(), nullptr);
    }
    return neg ? -v : v;
}

std::optional<DataType> parsedatatype(std::string_view field) {
    if (equalsNoCase(field, "String")) return DataType::String;
    if (equalsNoCase(field, "Numerical")) return DataType::Numerical;
    return std::nullopt;
}

std::optional<std::string> checkexpression(std::string_view expr) {
    if (expr.empty()) return std::nullopt;

    for (char c : expr) {
        if (isnumberchar(c) || c == '!' || c == '(' || c == ')' || c == ',' || c == '[' || c == ']')
            continue;
        std::string m = exprmessage(expr, "'");
        m += c;
        m += "' is not supported\n";
        return m;
    }

    if (contains(expr, '!')) {
        if (expr[0] != '!' || !allnumberchars(expr.substr(1)))
            return exprmessage(expr, "check the help document to find how to dfined '!'\n");
    }

    if (expr.find_first_of("[(])") == std::string_view::npos) return std::nullopt;

    bool inRange = false, hadComma = false;
    for (char c : expr) {
        if (isnumberchar(c)) {
            if (!inRange) return exprmessage(expr, "a number can't be defined alone.\n");
        } else if (c == ',') {
            if (!inRange) return exprmessage(expr, "',' is not in right place.\n");
            if (hadComma) return exprmessage(expr, "',' is defined twice.\n");
            hadComma = true;
        } else if (c == '(' || c == '[') {
            if (inRange) return exprmessage(expr, "the range not in pair.\n");
            inRange = true;
            hadComma = false;
        } else if (c == ')' || c == ']') {
            if (!inRange) return exprmessage(expr, "the range not in pair.\n");
            if (!hadComma) return exprmessage(expr, "',' is missed.\n");
            inRange = false;
        }
    }
    if (inRange) return exprmessage(expr, "the range not in pair.\n");
    return std::nullopt;
}

bool matchexpression(std::string_view expr, double x) {
    if (expr.empty()) return false;

    size_t bang = expr.find('!');
    if (bang != std::string_view::npos) return x != readnumber(expr.substr(bang + 1, 99));

    if (expr.find_first_of("([") == std::string_view::npos) return x >= readnumber(expr);

    // Ranges. On a validated expression each one is an opening bracket, a
    // lower bound, ",", an upper bound and a closing bracket; on any other
    // text the bounds simply end at the next bracket or the end.
    size_t i = 0;
    while ((i = expr.find_first_of("([", i)) != std::string_view::npos) {
        const bool lowerIncluded = expr[i] == '[';
        size_t lowerStart = ++i;
        size_t stop = expr.find_first_of(",([)]", lowerStart);
        std::string_view lowerText = expr.substr(lowerStart, stop - lowerStart);
        std::string_view upperText;
        bool upperIncluded = false;
        if (stop != std::string_view::npos && expr[stop] == ',') {
            size_t upperStart = stop + 1;
            stop = expr.find_first_of("([)]", upperStart);
            upperText = expr.substr(upperStart, stop - upperStart);
        }
        if (stop != std::string_view::npos && (expr[stop] == ')' || expr[stop] == ']')) {
            upperIncluded = expr[stop] == ']';
            i = stop + 1;
        } else {
            i = stop;  // the next opening bracket, or the end
        }
        const double lower = lowerText.empty() ? kOpenLower : readnumber(lowerText);
        const double upper = upperText.empty() ? kOpenUpper : readnumber(upperText);
        if ((lowerIncluded && x == lower) || (upperIncluded && x == upper) ||
            (lower < x && x < upper))
            return true;
        if (i == std::string_view::npos) break;
    }
    return false;
}

namespace {

ThresholdCheck fail(std::string message) {
    ThresholdCheck r;
    r.message = std::move(message);
    twlog("%s", r.message.c_str());
    return r;
}

// Every item of a String list within its limit.
bool listitemsfit(std::string_view list) {
    size_t start = 0;
    while (true) {
        size_t end = list.find(';', start);
        size_t len = (end == std::string_view::npos ? list.size() : end) - start;
        if (len > kListItemMax) return false;
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

ThresholdCheck parseband(std::string_view field) {
    size_t sep = field.find("::");
    std::string_view left = field.substr(0, sep), right = field.substr(sep + 2);
    if (left.size() > kBandSideMax || right.size() > kBandSideMax) return fail(kFormatNotCorrect);
    size_t lc = left.find(':'), rc = right.find(':');
    if (lc == std::string_view::npos || rc == std::string_view::npos)
        return fail(kFormatNotCorrect);
    const std::string_view texts[4] = {left.substr(0, lc), left.substr(lc + 1), right.substr(0, rc),
                                       right.substr(rc + 1)};
    for (std::string_view t : texts)
        if (t.size() > kBandNumberMax || !allnumberchars(t)) return fail(kFormatNotCorrect);

    ThresholdCheck r;
    Threshold& t = r.threshold;
    t.type = DataType::Numerical;
    t.form = Threshold::Form::Band;
    t.minred = readnumber(texts[0]);
    t.minyel = readnumber(texts[1]);
    t.maxyel = readnumber(texts[2]);
    t.maxred = readnumber(texts[3]);
    if (!(t.minred < t.minyel && t.minyel < t.maxyel && t.maxyel < t.maxred))
        return fail(kFormatNotCorrect);
    r.valid = true;
    return r;
}

ThresholdCheck parseexpressions(std::string_view field) {
    size_t colon = field.find(':');
    std::string_view warning = field.substr(0, colon), panic = field.substr(colon + 1);
    if (warning.size() > kWarningTextMax || panic.size() > kPanicTextMax)
        return fail(kFormatNotCorrect);
    if (warning.empty() && panic.empty()) return fail("The threshold is not defined\r\n");
    if (auto m = checkexpression(warning)) return fail(*m);
    if (auto m = checkexpression(panic)) return fail(*m);
    const bool wbang = contains(warning, '!'), pbang = contains(panic, '!');
    if (wbang && !panic.empty())
        return fail("The Panic threshold should be empty if '!' is defined for Warning\r\n");
    if (pbang && !warning.empty())
        return fail("The Warning threshold should be empty if '!' is defined for Panic\r\n");
    if (!wbang && panic.empty()) return fail("The Panic threshold is empty.\r\n");
    if (!pbang && warning.empty()) return fail("The Warning threshold is empty.\r\n");

    ThresholdCheck r;
    r.valid = true;
    r.threshold.type = DataType::Numerical;
    r.threshold.form = Threshold::Form::Expressions;
    r.threshold.warning = warning;
    r.threshold.panic = panic;
    return r;
}

ThresholdCheck parselists(std::string_view field) {
    size_t colon = field.find(':');
    if (colon == std::string_view::npos || field.find(':', colon + 1) != std::string_view::npos)
        return fail(kFormatNotCorrect);
    std::string_view warning = field.substr(0, colon), panic = field.substr(colon + 1);
    if (warning.size() > kStoredSideMax || panic.size() > kStoredSideMax ||
        !listitemsfit(warning) || !listitemsfit(panic))
        return fail(kFormatNotCorrect);

    ThresholdCheck r;
    r.valid = true;
    r.threshold.type = DataType::String;
    r.threshold.form = Threshold::Form::Lists;
    r.threshold.warning = warning;
    r.threshold.panic = panic;
    return r;
}

// Whether any non-empty item of a ";"-separated list occurs in the text.
bool listfound(std::string_view list, std::string_view text) {
    size_t start = 0;
    while (true) {
        size_t end = list.find(';', start);
        std::string_view item =
            list.substr(start, end == std::string_view::npos ? end : end - start);
        if (!item.empty() && text.find(item) != std::string_view::npos) return true;
        if (end == std::string_view::npos) return false;
        start = end + 1;
    }
}

}  // namespace

ThresholdCheck parsethreshold(DataType type, std::string_view field) {
    if (equalsNoCase(field, "NA")) {
        ThresholdCheck r;
        r.valid = true;
        r.threshold.type = type;
        r.threshold.form = Threshold::Form::NA;
        return r;
    }
    if (type == DataType::String) return parselists(field);
    if (field.find("::") != std::string_view::npos) return parseband(field);
    if (contains(field, ':')) return parseexpressions(field);
    return fail(kFormatNotCorrect);
}

const char* thresholdcolor(const Threshold& t, std::string_view result) {
    switch (t.form) {
        case Threshold::Form::NA:
            return "green";
        case Threshold::Form::Lists:
            if (listfound(t.panic, result)) return "red";
            if (listfound(t.warning, result)) return "yellow";
            return "green";
        case Threshold::Form::Expressions: {
            const double x = readnumber(result);
            if (matchexpression(t.panic, x)) return "red";
            if (matchexpression(t.warning, x)) return "yellow";
            return "green";
        }
        case Threshold::Form::Band: {
            const double x = readnumber(result);
            if (x >= t.maxred) return "red";
            if (x >= t.maxyel) return "yellow";
            if (x >= t.minyel) return "green";
            if (x >= t.minred) return "yellow";
            return "red";
        }
    }
    return "green";
}

std::string warningdisplay(const Threshold& t) {
    if (t.form == Threshold::Form::Band)
        return strformat("[%f,%f] [%f,%f]", t.minred, t.minyel, t.maxyel, t.maxred);
    return t.form == Threshold::Form::NA ? std::string() : t.warning;
}

std::string panicdisplay(const Threshold& t) {
    if (t.form == Threshold::Form::Band) return strformat("(,%f] [%f,)", t.minred, t.maxred);
    return t.form == Threshold::Form::NA ? std::string() : t.panic;
}

}  // namespace tw
