// twrecv's listeners and the names of its peers, on the platform's sockets:
// every address of --bind, or every IPv4 and IPv6 address, on one port.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sockets.h"
#include "tools/twrecv/receiver.h"

namespace tw::recv {

// Listens on every address on one port. Port 0 takes a free port from the
// first address; when another family already uses that number, tries again.
// A family or address this host lacks is skipped; any other failure closes
// what was opened. Answers the listeners and their port; none, with error
// set, when it cannot listen.
std::vector<platform::SocketHandle> openlisteners(platform::Sockets& net, const Options& o,
                                                  uint16_t& port, std::string& error);

// "192.0.2.1:1984", "[2001:db8::1]:1984"; "?" for another family.
std::string peertext(const platform::SocketAddress& peer);

}  // namespace tw::recv
