#include "agent/tests/procs.h"

#include <cstdlib>
#include <optional>

#include "base/builtintests.h"
#include "base/datestamp.h"
#include "base/text.h"
#include "base/twlog.h"
#include "platform/ascii.h"

namespace tw {

namespace {

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// A decimal integer at pos (one sign allowed, digits required); pos moves
// behind it.
std::optional<int> readint(std::string_view s, size_t& pos) {
    size_t i = pos;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (i >= s.size() || s[i] < '0' || s[i] > '9') return std::nullopt;
    int v = decimalNumber(s.substr(pos));
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    pos = i;
    return v;
}

// "y" or "y-r" after CI or CC. Without a number the levels stay.
void sharelevels(std::string_view s, int& yellow, int& red) {
    size_t pos = 0;
    auto y = readint(s, pos);
    if (!y) return;
    std::optional<int> r;
    if (pos < s.size() && s[pos] == '-') {
        ++pos;
        r = readint(s, pos);
    }
    if (!r) {
        yellow = red = *y;
    } else if (*r == 0) {
        yellow = red = 100;
    } else {
        yellow = *y;
        red = *r;
    }
}

void applyoption(std::string_view opt, ProcsItem& item) {
    if (opt.empty()) return;
    const char c = opt[0];
    if (c == 'Y' || c == 'y') {
        item.page = true;
    } else if (c >= '0' && c <= '9') {
        item.count = decimalNumber(opt);
    } else if ((c == 'C' || c == 'c') && opt.size() >= 2) {
        // Per instance only with an upper-case I; "Ci" counts as CC.
        if (opt[1] == 'I')
            sharelevels(opt.substr(2), item.ciYellow, item.ciRed);
        else if (opt[1] == 'C' || opt[1] == 'c' || opt[1] == 'i')
            sharelevels(opt.substr(2), item.ccYellow, item.ccRed);
    }
}

// The first two blank-separated words of a share line: share and name.
void twowords(std::string_view line, std::string_view& first, std::string_view& second) {
    auto word = [&](size_t& i) {
        while (i < line.size() && blank(line[i])) ++i;
        size_t start = i;
        while (i < line.size() && !blank(line[i])) ++i;
        return line.substr(start, i - start);
    };
    size_t i = 0;
    first = word(i);
    second = word(i);
}

enum class Level { None, Yellow, Red };

}  // namespace

std::vector<ProcsItem> parseprocs(std::string_view text) {
    std::vector<ProcsItem> items;
    size_t i = 0;
    const size_t n = text.size();
    while (true) {
        while (i < n && blank(text[i])) ++i;
        if (i >= n) break;
        ProcsItem item;
        size_t colon = text.find(':', i);
        size_t nameEnd = colon == std::string_view::npos ? n : colon;
        item.name = std::string(text.substr(i, std::min(nameEnd - i, kProcsNameMax)));
        i = nameEnd;
        while (i < n && text[i] == ':') {
            size_t start = i + 1, end = start;
            while (end < n && text[end] != ':' && !blank(text[end])) ++end;
            applyoption(text.substr(start, end - start), item);
            i = end;  // at the next ':', at white space (the item ends) or at the end
        }
        if (!item.name.empty()) items.push_back(std::move(item));
    }
    return items;
}

void procstest(const TestContext<ProcsSettings>& t, const std::vector<ProcessSample>* snapshot,
               const LineArray* lines) {
    const ProcsSettings& s = t.settings;
    const char mode = s.mode;
    if (testdisabled(mode, kProcsTest.word)) return;
    logentering("procs service");
    twlog("numprocs: %d\r\n", snapshot ? static_cast<int>(snapshot->size()) : 0);
    if (!snapshot) {
        twlog("Aborting PROCS check as the procs array is undefined\r\n");
        return;
    }
    if (twlogActive()) {
        twlog("%16s\t%12s\r\n", "PROCESS NAME", "PID");
        for (const ProcessSample& p : *snapshot) twlog("%16s\t%d\r\n", p.name.c_str(), p.pid);
    }

    Colour colour = Colour::Green;
    std::string summary = "No processes to check";
    std::vector<std::string> out;  // the body lines

    for (const ProcsItem& item : parseprocs(s.procs)) {
        const char* name = item.name.c_str();
        twlog("\r\nProcname: <%s>\r\n", name);
        twlog("Is %s running ? \r\n", name);
        twlog("Page if %s %s running ? %s\r\n", name, item.count > 0 ? "is not" : "is",
              item.page ? "YES" : "NO");
        twlog("Page if %s has %s than %d instances running ? %s\r\n", name,
              item.count > 0 ? "less" : "more", item.count, item.page ? "YES" : "NO");

        // Count down from N; the walk stops once enough were seen.
        int remaining = item.count;
        bool satisfied = false;
        for (const ProcessSample& p : *snapshot) {
            if (!equalsNoCase(p.name, item.name)) continue;
            if (--remaining <= 0) {
                satisfied = true;
                break;
            }
        }
        const bool running = remaining < item.count;

        Level instance = Level::None, summed = Level::None;
        std::string shareText, sumText;
        if (lines) {
            double sum = 0;
            int counted = 0;
            for (const std::string& line : *lines) {
                std::string_view first, second;
                twowords(line, first, second);
                if (!equalsNoCase(second, item.name)) continue;
                const double share = std::strtod(std::string(first).c_str(), nullptr);
                if (share >= item.ciRed) {
                    instance = Level::Red;
                    shareText = strformat("%3.2f", share);
                } else if (share >= item.ciYellow && instance == Level::None) {
                    instance = Level::Yellow;
                    shareText = strformat("%3.2f", share);
                }
                sum += share;
                ++counted;
            }
            if (counted > 1) {
                if (sum >= item.ccRed)
                    summed = Level::Red;
                else if (sum >= item.ccYellow)
                    summed = Level::Yellow;
            }
            sumText = strformat("%3.2f", sum);
        }

        const bool error = instance != Level::None || summed != Level::None ||
                           (item.count > 0 && !satisfied) || (item.count == 0 && running);
        if (!error) {
            if (colour == Colour::Green) summary = "All processes are OK";
            out.push_back("&green " + item.name + " OK\r\n");
            continue;
        }
        summary = "Some processes are in error";
        std::string line;
        if (alwaysgreen(mode)) {
            line = "&green ";
        } else if (item.page || instance == Level::Red || summed == Level::Red) {
            line = "&red ";
            colour = Colour::Red;
        } else {
            line = "&yellow ";
            raise(colour, Colour::Yellow);
        }
        line += item.name;
        if (item.count == 0 && running)
            line += " RUNNING";
        else if (remaining == item.count)
            line += " DOWN";
        else if (satisfied)
            line += summed != Level::None ? " " + sumText + "C%" : " " + shareText + "%";
        else
            line += " LESS THAN " + std::to_string(item.count);
        line += " \r\n";
        out.push_back(std::move(line));
    }

    std::string report = "status " + s.compName + ".procs " + std::string(colourword(colour)) +
                         " " + datestamp(t.clock) + " [" + s.realcompName + "] " + summary +
                         "\r\n\r\n";
    // Whole lines only, as many as a status message holds.
    std::string body;
    size_t kept = 0;
    for (const std::string& l : out) {
        if (report.size() + body.size() + l.size() > kStatusMessageMax) break;
        body += l;
        ++kept;
    }
    if (kept < out.size())
        twlog("procs: %d of %d lines left out to fit the status message\r\n",
              static_cast<int>(out.size() - kept), static_cast<int>(out.size()));
    twlog("procsline: <%s> RealcompName: <%s>\r\n", body.c_str(), s.realcompName.c_str());
    report += body;

    sendpage(t.delivery, report);
    twlog("Process list in registry: <%s>\r\n", s.procs.c_str());
    logleaving("procs service");
}

}  // namespace tw
