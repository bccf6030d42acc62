// TCP client sockets for the status channel: name resolution, one stream
// connection per message, send, shutdown and close. Calls block the caller
// within the bound they are given (a time limit, and a stop that ends the
// wait); failures are answered with the system's error code, never thrown.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bounded_wait.h"

namespace tw::platform {

enum class AddressFamily { Unspecified, IPv4, IPv6, Other };

// Resolution is always for a TCP stream socket with a numeric service.
struct ResolveHints {
    AddressFamily family = AddressFamily::Unspecified;  // Unspecified: any family
    bool numericHost = false;  // the host is an address text; no name lookup
};

// One resolver result, ready to connect to.
struct SocketAddress {
    AddressFamily family = AddressFamily::Other;
    std::string text;                // dotted IPv4, or the system's text form
    std::vector<unsigned char> raw;  // the system's address record, opaque to callers
};

struct ResolveResult {
    int error = 0;                         // 0, or the resolver's error code
    std::vector<SocketAddress> addresses;  // in the resolver's order
    bool timedOut = false;                 // no answer within the bound (or a stop)
};

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kInvalidSocket = -1;

class Sockets {
  public:
    virtual ~Sockets() = default;

    // The system's socket layer for the agent's life: Windows Sockets 1.1
    // start-up and its end (nothing to do on Linux). Every other call needs
    // a start that succeeded; each such start takes one stop.
    virtual bool start() { return true; }
    virtual void stop() {}

    // Ends within the bound: a resolver that does not answer in time gives
    // an error with timedOut set.
    virtual ResolveResult resolve(const std::string& host, uint16_t port, const ResolveHints& hints,
                                  const WaitBound& bound) = 0;
    // The system's message for a resolver error code, on one line.
    virtual std::string resolverErrorText(int code) = 0;

    // A TCP stream socket of the family; kInvalidSocket with error set on failure.
    virtual SocketHandle open(AddressFamily family, int& error) = 0;
    // 0 when connected, else the socket error code; a connection not made
    // within the bound answers the time-out code (isTimeout), a stop the
    // system's "interrupted" code.
    virtual int connect(SocketHandle s, const SocketAddress& to, const WaitBound& bound) = 0;
    // Sends all of data. Answers the number of bytes sent; -1 with error set
    // when nothing could be sent. A peer that takes nothing for the bound's
    // time, or a stop, ends the call with what was sent so far.
    virtual long send(SocketHandle s, std::string_view data, const WaitBound& bound,
                      int& error) = 0;
    // Whether an error code says that the peer did not answer in time.
    virtual bool isTimeout(int code) = 0;
    // Shuts the connection down in both directions.
    virtual void shutdown(SocketHandle s) = 0;
    virtual void close(SocketHandle s) = 0;
};

}  // namespace tw::platform
