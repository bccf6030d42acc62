#include "agent/transport/destination.h"

namespace tw {

std::vector<std::string> splitdestinations(std::string_view list) {
    bool cut = list.size() > kDestinationListLimit;
    // The character after the limit tells whether the last destination is whole.
    bool lastWhole = !cut || list[kDestinationListLimit] == ';';
    std::string_view work = list.substr(0, kDestinationListLimit);
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= work.size()) {
        size_t end = work.find(';', start);
        bool last = end == std::string_view::npos;
        if (last) end = work.size();
        std::string_view one = work.substr(start, end - start);
        if (!one.empty() && (!last || lastWhole)) out.emplace_back(one);
        if (last) break;
        start = end + 1;
    }
    return out;
}

Destination parsedestination(std::string_view destination, uint16_t defaultPort) {
    Destination d;
    d.port = defaultPort;
    size_t colon = destination.rfind(':');
    bool separates =
        colon != std::string_view::npos &&
        (colon == destination.find(':') || (colon > 0 && destination[colon - 1] == ']'));
    if (!separates) {
        d.host = std::string(destination);
        return d;
    }
    d.host = std::string(destination.substr(0, colon));
    std::string_view port = destination.substr(colon + 1);
    if (!port.empty() && port[0] >= '0' && port[0] <= '9') {
        long value = 0;
        for (char c : port) {
            if (c < '0' || c > '9') break;
            value = value * 10 + (c - '0');
            if (value > 65535) break;
        }
        if (value >= 1 && value <= 65535) d.port = static_cast<uint16_t>(value);
    }
    return d;
}

std::string stripbrackets(const std::string& host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        return host.substr(1, host.size() - 2);
    return host;
}

std::string destinationtext(const Destination& d) {
    std::string host = stripbrackets(d.host);
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    return host + ":" + std::to_string(d.port);
}

}  // namespace tw
