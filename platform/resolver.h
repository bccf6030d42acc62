// Name resolution with getaddrinfo for this host's sockets and host
// identity. The lookups and address texts are the same code on both hosts
// (getaddrinfo.inc, built by posix/resolver.cpp with the BSD sockets and by
// win32/resolver.cpp with Windows Sockets, whose callers hold it started);
// the time bound around a lookup and the error text are resolver.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/bounded_wait.h"
#include "platform/host_info.h"
#include "platform/sockets.h"

struct sockaddr;
struct sockaddr_storage;

namespace tw::platform {

// The system's constant for a family (AF_INET, AF_INET6; AF_UNSPEC for the rest).
int systemAddressFamily(AddressFamily f);

// The addresses of a TCP stream to host:port; error: getaddrinfo's own code.
ResolveResult resolveStream(const std::string& host, uint16_t port, const ResolveHints& hints);

// The canonical name and first IPv4 address of a name; nullopt when it does
// not resolve.
std::optional<HostEntry> resolveHostIPv4(const std::string& name);

// An accepted connection's peer from the system's address record of len
// bytes: an IPv4 address mapped into IPv6 as IPv4, IPv6 without its zone.
SocketAddress peerAddress(const sockaddr* sa, size_t len);

// A listener's address: the resolver's record with the port put in; false
// when it is not an IPv4 or IPv6 one.
bool listenAddress(const SocketAddress& at, uint16_t port, sockaddr_storage& ss);

// A resolver's error text as resolverErrorText() answers it: line ends as
// blanks, at most 1024 characters.
std::string oneLineErrorText(std::string text);

// getaddrinfo has no time limit of its own: these run a lookup on a helper
// thread and wait for it within the bound. A lookup not answered in time
// (or a stop) gives timedOut with timedOutCode as the error.
ResolveResult resolveWithin(std::function<ResolveResult()> lookup, const WaitBound& bound,
                            int timedOutCode);
// At most kHostResolveTimeoutMs; a name not resolved in time does not resolve.
std::optional<HostEntry> resolveHostWithin(std::function<std::optional<HostEntry>()> lookup);

}  // namespace tw::platform
