#include "agent/tests/netdata.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <unordered_map>

#include "base/builtintests.h"
#include "base/datestamp.h"
#include "base/twlog.h"
#include "agent/tests/reporttext.h"
#include "agent/wmi/fetch.h"
#include "platform/ascii.h"
#include "platform/clock.h"

namespace tw {

namespace {

constexpr size_t kInterfaceNameMax = 1023;

bool isdigitchar(char c) {
    return c >= '0' && c <= '9';
}
bool isblank(char c) {
    return c == ' ' || c == '\t';
}

// [sign] digits [. digits] from p on; p moves past it. False without a digit.
bool readnumber(std::string_view s, size_t& p, double& value) {
    const size_t start = p;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
    size_t digits = 0;
    while (p < s.size() && isdigitchar(s[p])) ++p, ++digits;
    if (p < s.size() && s[p] == '.') {
        ++p;
        while (p < s.size() && isdigitchar(s[p])) ++p, ++digits;
    }
    if (!digits) {
        p = start;
        return false;
    }
    value = std::strtod(std::string(s.substr(start, p - start)).c_str(), nullptr);
    return true;
}

std::optional<InterfaceLimit> parseentry(std::string_view written) {
    const std::string e = toUpper(written);
    const std::string_view s = e;
    // The bandwidth figure: digits right before "MBPS", with blanks before it.
    size_t mbps = s.find("MBPS");
    size_t figure = 0;
    while (mbps != std::string_view::npos) {
        figure = mbps;
        while (figure > 0 && (isdigitchar(s[figure - 1]) || s[figure - 1] == '.')) --figure;
        if (figure < mbps && figure > 0 && isblank(s[figure - 1])) break;
        mbps = s.find("MBPS", mbps + 1);
    }
    if (mbps == std::string_view::npos) return std::nullopt;

    InterfaceLimit l;
    size_t nameEnd = figure;
    while (nameEnd > 0 && isblank(s[nameEnd - 1])) --nameEnd;
    size_t nameStart = 0;
    while (nameStart < nameEnd && isblank(s[nameStart])) ++nameStart;
    if (nameStart == nameEnd) return std::nullopt;
    l.name = std::string(s.substr(nameStart, std::min(nameEnd - nameStart, kInterfaceNameMax)));

    size_t p = figure;
    double mbit = 0;
    if (!readnumber(s, p, mbit) || p != mbps) return std::nullopt;
    l.bandwidth = mbit * 1000000;
    p = mbps + 4;
    double* fields[4] = {&l.inYellow, &l.inRed, &l.outYellow, &l.outRed};
    for (double* f : fields) {
        if (p >= s.size() || s[p] != ':') return std::nullopt;
        ++p;
        if (!readnumber(s, p, *f)) return std::nullopt;
    }
    // Nothing but blanks may follow the last threshold.
    while (p < s.size() && iswhite(s[p])) ++p;
    if (p != s.size()) return std::nullopt;
    if (l.inYellow < 0 || l.inRed < 0 || l.outYellow < 0 || l.outRed < 0) return std::nullopt;
    if (!(l.inYellow < l.inRed) || !(l.outYellow < l.outRed)) return std::nullopt;
    return l;
}

// A 64-bit whole number of bytes per second for the table. The rate is not
// taken modulo 2^32: a busy fast link moves more than 4 GB between cycles.
unsigned long long rate(double bytes, int64_t seconds) {
    // The whole part, as floor() would give it: below one is nothing.
    const double r = bytes / static_cast<double>(seconds);
    if (!(r >= 1)) return 0;
    if (r >= 18446744073709551615.0) return 18446744073709551615ULL;
    return static_cast<unsigned long long>(r);
}

// Counters arrive as 32-bit integers or as texts; a 32-bit figure is
// unsigned (a 3 Gbit/s bandwidth must not read as negative).
double counter(const WmiRow& row, std::string_view property) {
    auto v = row.value(property);
    if (!v) return 0;
    if (v->type == platform::WmiType::Int32) return static_cast<uint32_t>(v->i);
    if (v->type == platform::WmiType::String) return std::strtod(v->s.c_str(), nullptr);
    return 0;
}

}  // namespace

std::vector<InterfaceLimit> parseinterfaces(std::string_view text) {
    std::vector<InterfaceLimit> limits;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view entry = text.substr(start, end - start);
        start = end + 1;
        bool blank = true;
        for (char c : entry) blank = blank && iswhite(c);
        if (blank) continue;  // ";;" or a trailing ";" names nothing
        auto limit = parseentry(entry);
        if (!limit) {
            twlog("network interface definition is wrong: <%.*s>\r\n",
                  static_cast<int>(entry.size()), entry.data());
            continue;
        }
        // The table holds 50 interfaces; a further one is said to be left out.
        if (limits.size() >= kMaxInterfaceLimits) {
            twlog("too many network interfaces, definition ignored: <%.*s>\r\n",
                  static_cast<int>(entry.size()), entry.data());
            continue;
        }
        limits.push_back(std::move(*limit));
    }
    return limits;
}

std::optional<std::vector<InterfaceSample>> wminetworkif(WmiSession& session) {
    static const FetchDef def{
        "SELECT Name, CurrentBandwidth, BytesReceivedPerSec, BytesSentPerSec FROM "
        "Win32_PerfRawData_Tcpip_NetworkInterface",
        kMaxInterfaceSamples, "in wminetworkif\n", "size=%d leave wminetworkif\n"};
    return fetchrecords<InterfaceSample>(session, def, [](const WmiRow& row, InterfaceSample& s) {
        s.name = row.text("Name", kInterfaceNameMax);
        s.bandwidth = counter(row, "CurrentBandwidth");
        s.received = counter(row, "BytesReceivedPerSec");
        s.sent = counter(row, "BytesSentPerSec");
    });
}

void netdatatest(const TestContext<NetdataSettings>& t, NetdataState& state) {
    const NetdataSettings& s = t.settings;
    logentering("network interface service");
    const char mode = s.mode;
    // The counters of the last run are kept through a pause (disabled, or
    // nothing configured): the next run reports over the whole interval.
    if (testdisabled(mode, "network interface")) return;
    const std::vector<InterfaceLimit>& limits = s.limits;
    if (limits.empty()) {
        twlog("network interface not defined.\r\n");
        return;
    }
    auto current = wminetworkif(t.wmi);
    const int64_t now = t.clock.now();
    if (!state.previousTime || !state.previous) {
        state.previous = std::move(current);
        state.previousTime = now;
        twlog("First time, wait for next cycle...\r\n");
        return;
    }

    const int64_t dt = now - *state.previousTime;
    Colour colour = Colour::Green;
    std::string body = realnamehead(s.realcompName);
    std::string table =
        "\r\nName                     Bandwidth(Mbps)       In(Bytes/second)          "
        "Out(Bytes/second)\r\n";

    std::unordered_map<std::string, size_t> configured, previous;
    for (size_t i = 0; i < limits.size(); ++i) configured.emplace(limits[i].name, i);
    for (size_t i = 0; i < state.previous->size(); ++i)
        previous.emplace((*state.previous)[i].name, i);

    static const std::vector<InterfaceSample> none;
    for (const InterfaceSample& row : current ? *current : none) {
        auto lim = configured.find(toUpper(row.name));
        if (lim == configured.end()) continue;
        auto before = previous.find(row.name);
        if (before == previous.end()) continue;
        const InterfaceLimit& l = limits[lim->second];
        const InterfaceSample& prev = (*state.previous)[before->second];
        const std::string display = fitwidth(row.name, 20);

        const double in = row.received - prev.received;
        const double out = row.sent - prev.sent;
        if (in < 0 || out < 0) {
            twlog("WMI data reset, update next cycle\r\n");
            continue;
        }
        // Two samples within the same second (or a clock set back) give no
        // rate at all.
        if (dt <= 0) {
            twlog("No time between the samples of %s, update next cycle\r\n", display.c_str());
            continue;
        }
        // Without a bandwidth there is no share: the rates are shown, no
        // threshold applies.
        const bool shares = row.bandwidth > 0;
        if (!shares) twlog("No bandwidth reported for %s\r\n", display.c_str());
        const double inShare = shares ? in * 800 / (static_cast<double>(dt) * row.bandwidth) : 0;
        const double outShare = shares ? out * 800 / (static_cast<double>(dt) * row.bandwidth) : 0;

        if (shares && evaluates(mode)) {
            const bool inRed = inShare >= l.inRed, outRed = outShare >= l.outRed;
            const bool inYellow = inShare >= l.inYellow, outYellow = outShare >= l.outYellow;
            if (inRed || outRed) {
                raise(colour, Colour::Red);
                if (inRed)
                    body += strformat(
                        "&red %s:in (bytes/second) (%d%c) has reached the PANIC level (%d%c)\r\n",
                        display.c_str(), truncint(inShare), '%', truncint(l.inRed), '%');
                if (outRed)
                    body += strformat(
                        "&red %s:out (bytes/second) (%d%c) has reached the PANIC level (%d%c)\r\n",
                        display.c_str(), truncint(outShare), '%', truncint(l.outRed), '%');
            } else if (inYellow || outYellow) {
                raise(colour, Colour::Yellow);
                if (inYellow)
                    body += strformat(
                        "&yellow %s:in (bytes/second) (%d%c) has reached the WARNING level "
                        "(%d%c)\r\n",
                        display.c_str(), truncint(inShare), '%', truncint(l.inYellow), '%');
                if (outYellow)
                    body += strformat(
                        "&yellow %s:out (bytes/second) (%d%c) has reached the WARNING level "
                        "(%d%c)\r\n",
                        display.c_str(), truncint(outShare), '%', truncint(l.outYellow), '%');
            }
        }
        table += strformat("%20s%8d%26llu(%d%%)%23llu(%d%%)\n", display.c_str(),
                           truncint(row.bandwidth / 1000000), rate(in, dt), truncint(inShare),
                           rate(out, dt), truncint(outShare));
    }

    body += table;
    std::string report =
        statusmessage(s.compName, kNetdataTest.word, colourword(colour), datestamp(t.clock), body);
    fitreport(report);
    pageperfsend(t.delivery, report, trend(mode), perfnetdata);

    state.previous = std::move(current);
    state.previousTime = now;
    logleaving("network interface service");
}

}  // namespace tw
