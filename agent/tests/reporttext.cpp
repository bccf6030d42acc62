#include "agent/tests/reporttext.h"

#include <climits>
#include <cmath>
#include <cstdint>

namespace tw {

std::string fitwidth(std::string_view text, size_t width) {
    std::string s(text.substr(0, width));
    s.resize(width, ' ');
    return s;
}

int truncint(double v) {
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(v);
}

double wholepart(double v) {
    if (!(std::fabs(v) < 4503599627370496.0)) return v;
    return std::copysign(static_cast<double>(static_cast<int64_t>(v)), v);
}

bool fitreport(std::string& report, size_t limit) {
    if (report.size() <= limit) return false;
    const size_t room = limit > kCutMarker.size() ? limit - kCutMarker.size() : 0;
    size_t keep = room;
    if (room > 0) {
        const size_t nl = report.rfind('\n', room - 1);
        if (nl != std::string::npos) keep = nl + 1;
    }
    report.resize(keep);
    report.append(kCutMarker.substr(0, limit - keep));
    return true;
}

}  // namespace tw
