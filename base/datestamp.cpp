#include "base/datestamp.h"

#include <ctime>

#include "platform/ascii.h"
#include "platform/clock.h"

namespace tw {

std::string datestampAt(platform::Clock& clock, int64_t t) {
    platform::LocalTime lt = clock.localTime(t);
    char buf[64];
    size_t n = std::strftime(buf, sizeof buf, "%a %b %d %H:%M:%S ", &lt.tm);
    std::string out(buf, n);
    const std::string& zone = lt.zoneName;
    if (zone.empty()) {
        out += "NON ";
    } else if (zone.find(' ') != std::string::npos) {
        std::string acronym;
        bool atWord = true;
        for (char c : zone) {
            if (c == ' ') {
                atWord = true;
            } else if (atWord) {
                acronym.push_back(upperAscii(c));
                atWord = false;
            }
        }
        out += acronym + " ";
    } else {
        out += zone + " ";
    }
    n = std::strftime(buf, sizeof buf, "%Y", &lt.tm);
    out.append(buf, n);
    return out;
}

std::string datestamp(platform::Clock& clock) {
    return datestampAt(clock, clock.now());
}

}  // namespace tw
