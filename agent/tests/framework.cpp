#include "agent/tests/framework.h"

#include "base/twlog.h"

namespace tw {

std::string_view colourword(Colour c) {
    switch (c) {
        case Colour::Red:
            return "red";
        case Colour::Yellow:
            return "yellow";
        case Colour::Green:
            break;
    }
    return "green";
}

std::optional<Colour> colourletter(std::string_view setting) {
    if (setting.empty()) return std::nullopt;
    switch (setting[0]) {
        case 'G':
        case 'g':
            return Colour::Green;
        case 'Y':
        case 'y':
            return Colour::Yellow;
        case 'R':
        case 'r':
            return Colour::Red;
        default:
            return std::nullopt;
    }
}

std::string marker(Colour c) {
    std::string m = "&";
    m += colourword(c);
    m += ' ';
    return m;
}

std::string statushead(std::string_view compName, std::string_view test, std::string_view colour) {
    std::string s = "status ";
    s.append(compName).append(".").append(test).append(" ").append(colour);
    return s;
}

std::string statusmessage(std::string_view compName, std::string_view test, std::string_view colour,
                          std::string_view date, std::string_view body) {
    std::string s = statushead(compName, test, colour);
    s.append(" ").append(date).append(" ").append(body);
    return s;
}

std::string realnamehead(std::string_view realcompName) {
    std::string s = "[";
    s.append(realcompName).append("]\r\n\r\n");
    return s;
}

bool testdisabled(char mode, std::string_view word) {
    if (mode != 'D') return false;
    twlog("%.*s test disabled.\r\n", static_cast<int>(word.size()), word.data());
    return true;
}

void logentering(std::string_view what) {
    twlog("\r\nEntering %.*s\r\n", static_cast<int>(what.size()), what.data());
}

void logleaving(std::string_view what) {
    twlog("Leaving %.*s\r\n", static_cast<int>(what.size()), what.data());
}

void pageperfsend(const Delivery& d, std::string& report, bool withPerf, PerfBuilder perf) {
    if (d.page) d.page(report);
    if (withPerf && perf) perf(report, kStatusMessageMax);
    if (d.send) d.send(report);
}

void sendpage(const Delivery& d, const std::string& report) {
    if (d.send) d.send(report);
    if (d.page) d.page(report);
}

}  // namespace tw
