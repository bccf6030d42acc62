#include "agent/tests/svcs.h"

#include <unordered_map>

#include "base/builtintests.h"
#include "base/datestamp.h"
#include "base/twlog.h"
#include "agent/tests/reporttext.h"
#include "agent/wmi/fetch.h"
#include "platform/ascii.h"

namespace tw {

namespace {

char upperfirst(std::string_view field) {
    if (field.empty()) return 0;
    return upperAscii(field[0]);
}

ServiceEntry parseentry(std::string_view entry) {
    ServiceEntry e;
    std::vector<size_t> colons;
    for (size_t i = 0; i < entry.size(); ++i)
        if (entry[i] == ':') colons.push_back(i);
    if (colons.empty()) {
        e.name = std::string(entry);
        return e;
    }
    // More than three colons: the last three introduce the options.
    const size_t first = colons.size() > 3 ? colons.size() - 3 : 0;
    e.name = std::string(entry.substr(0, colons[first]));
    std::string_view fields[3];
    for (size_t f = 0; f < 3 && first + f < colons.size(); ++f) {
        const size_t from = colons[first + f] + 1;
        const size_t to = first + f + 1 < colons.size() ? colons[first + f + 1] : entry.size();
        fields[f] = entry.substr(from, to - from);
    }
    // A letter other than the listed ones keeps the default.
    const char colour = upperfirst(fields[0]);
    if (colour == 'Y') e.alarm = Colour::Yellow;
    if (upperfirst(fields[1]) == 'S') e.expectRunning = false;
    if (upperfirst(fields[2]) == 'Y') e.action = true;
    return e;
}

}  // namespace

std::vector<ServiceEntry> parseservices(std::string_view text) {
    std::vector<ServiceEntry> entries;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view entry = text.substr(start, end - start);
        // An empty entry (";;", a trailing ";", blanks only) names no service.
        if (!servicekey(entry).empty()) entries.push_back(parseentry(entry));
        start = end + 1;
    }
    return entries;
}

std::string servicekey(std::string_view name) {
    std::string key;
    key.reserve(name.size());
    for (char c : name)
        if (!iswhite(c)) key.push_back(lowerAscii(c));
    return key;
}

SvcsResult checkservices(const std::vector<ServiceEntry>& entries,
                         const std::vector<ServiceSample>& rows, char mode,
                         const ServiceControl& control) {
    // Every row is indexed, however long the list: a service that the
    // machine has is never reported "Not found".
    std::unordered_map<std::string, size_t> index;
    for (size_t i = 0; i < rows.size(); ++i) index.emplace(servicekey(rows[i].displayName), i);

    SvcsResult r;
    for (const ServiceEntry& e : entries) {
        const std::string key = servicekey(e.name);
        if (key.empty()) continue;
        auto it = index.find(key);
        if (it == index.end()) {
            if (evaluates(mode)) raise(r.colour, e.alarm);
            r.lines += marker(e.alarm) + toLower(e.name) + " - Not found\r\n";
            continue;
        }
        const ServiceSample& row = rows[it->second];
        const char* expected = e.expectRunning ? "Running" : "Stopped";
        if (row.state == expected) {
            r.lines += "&green " + row.displayName + " - " + expected + "\r\n";
            continue;
        }
        if (evaluates(mode)) raise(r.colour, e.alarm);
        r.lines += marker(alwaysgreen(mode) ? Colour::Green : e.alarm) + row.displayName + " - " +
                   (e.expectRunning ? "Stopped" : "Running");
        if (e.action) {
            if (e.expectRunning) {
                // Only the start's result is told: a stop that fails on a
                // service that is not running is no news.
                if (control) control("Stop", row.name);
                const int started = control ? control("Start", row.name) : -1;
                r.lines += started < 0 ? " - Restart failed" : " - Restart attempted";
            } else {
                const int stopped = control ? control("Stop", row.name) : -1;
                r.lines += stopped < 0 ? " - Stop failed" : " - Stop attempted";
            }
        }
        r.lines += "\r\n";
    }
    return r;
}

std::optional<std::vector<ServiceSample>> wmisvcs(WmiSession& session) {
    static const FetchDef def{"SELECT Name,DisplayName,State FROM Win32_Service",
                              kMaxServiceSamples, "in wmisvcs\n", "size=%d leave wmisvcs\n"};
    return fetchrecords<ServiceSample>(session, def, [](const WmiRow& row, ServiceSample& s) {
        s.name = row.text("Name");
        s.displayName = row.text("DisplayName");
        s.state = row.text("State");
    });
}

void svcstest(const TestContext<SvcsSettings>& t, const ServiceControl& control) {
    const SvcsSettings& s = t.settings;
    const Delivery& d = t.delivery;
    const char mode = s.mode;
    if (testdisabled(mode, kSvcsTest.word)) return;
    logentering("twsvcs()");
    if (s.services.empty()) {
        sendpage(d, strformat("status %s.svcs green %s  No services to check", s.compName.c_str(),
                              datestamp(t.clock).c_str()));
        logleaving("services check");
        return;
    }
    auto rows = fetchwithretry<ServiceSample>(t.wmi, [&t] { return wmisvcs(t.wmi); });
    if (!rows) {
        twlog("WMI for service checking failed\r\n");
        logleaving("services check");
        return;
    }
    const std::string_view used = std::string_view(s.services).substr(0, kServicesUsed);
    const ServiceControl wmicontrol = [&t](std::string_view action, std::string_view name) {
        return wmiservicecontrol(t.wmi, action, name);
    };
    const SvcsResult r =
        checkservices(parseservices(used), *rows, mode, control ? control : wmicontrol);
    std::string report = strformat("status %s.svcs %s %s  Services %s\r\n\r\n", s.compName.c_str(),
                                   colourword(r.colour).data(), datestamp(t.clock).c_str(),
                                   r.colour == Colour::Green ? "OK" : "Not OK");
    report += r.lines;
    fitreport(report);
    sendpage(d, report);
    logleaving("services check");
}

}  // namespace tw
