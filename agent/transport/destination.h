// Destination lists of the status channel: "host", "host:port",
// "[IPv6]:port", "[IPv6]" or a bare IPv6 address, separated by ';'.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// A send uses at most this many characters of a destination list.
inline constexpr size_t kDestinationListLimit = 1023;

struct Destination {
    std::string host;  // as written, brackets included
    uint16_t port = 0;
};

// The destinations of a list in order. Only the first kDestinationListLimit
// characters count; a destination cut by that limit is dropped, since its
// shortened name could reach a different host. Empty destinations (";;",
// a leading or trailing ';') are skipped.
std::vector<std::string> splitdestinations(std::string_view list);

// Host text and port of one destination. The port separator is the last
// ':' when it is also the first or directly follows ']'; a port that does not
// start with a digit or lies outside 1..65535 gives defaultPort.
Destination parsedestination(std::string_view destination, uint16_t defaultPort);

// The host text without one pair of enclosing brackets.
std::string stripbrackets(const std::string& host);

// Where a send goes, for a person: "host:port", an IPv6 address in brackets
// ("[::1]:1986").
std::string destinationtext(const Destination& d);

}  // namespace tw
