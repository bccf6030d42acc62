// TCP sockets. The status channel's side: name resolution, one stream
// connection per message, send, shutdown and close; calls block the caller
// within the bound they are given (a time limit, and a stop that ends the
// wait). The display server's side (twrecv): listeners, accepting, waiting
// for data and reading without blocking. Failures are answered with the
// system's error code, never thrown.
#pragma once

#include <cstdint>
#include <memory>
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
    uint16_t port = 0;
};

struct ResolveResult {
    int error = 0;                         // 0, or the resolver's error code
    std::vector<SocketAddress> addresses;  // in the resolver's order
    bool timedOut = false;                 // no answer within the bound (or a stop)
};

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kInvalidSocket = -1;

// What an error code of the receiving side means to its caller.
enum class SocketError {
    Other,
    WouldBlock,        // nothing to take now: wait for readiness
    Interrupted,       // a signal ended the call: try again
    AddressInUse,      // the port is taken
    NotOnThisHost,     // the address family, or the address, does not exist here
    OutOfDescriptors,  // no socket to be had until one is closed
};

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

    // A non-blocking TCP listener on the address (a resolver result) at the
    // port; port 0 lets the system pick a free one. An IPv6 listener takes
    // IPv6 connections only, and no other program may take its port over.
    // kInvalidSocket with error set on failure.
    virtual SocketHandle listen(const SocketAddress& at, uint16_t port, int& error) = 0;
    // The port a listener is bound to; 0 when the system does not say.
    virtual uint16_t boundPort(SocketHandle listener) = 0;
    // The next connection waiting on the listener, non-blocking, and its
    // peer (an IPv4 peer on an IPv6 listener as IPv4, an IPv6 address
    // without its zone); kInvalidSocket with error set when none is waiting
    // (WouldBlock) or on failure.
    virtual SocketHandle accept(SocketHandle listener, SocketAddress& peer, int& error) = 0;
    // Waits at most timeoutMs for any of the sockets to have data, a waiting
    // connection, a close or an error; ready[i] says which (no sockets: just
    // waits). Answers how many are ready (0: the time passed), -1 with error
    // set.
    virtual int waitReadable(const std::vector<SocketHandle>& sockets, int timeoutMs,
                             std::vector<bool>& ready, int& error) = 0;
    // Reads what has arrived, at most size bytes: their count, 0 once the
    // peer closed, -1 with error set (WouldBlock: nothing yet).
    virtual long receive(SocketHandle s, char* buffer, size_t size, int& error) = 0;
    virtual SocketError classify(int code) = 0;
    // The system's message for a socket error code, on one line.
    virtual std::string errorText(int code) = 0;
};

// This host's sockets for a display server of its own (twrecv); on Windows
// with Windows Sockets 2.2, whose WSAPoll it waits with.
std::unique_ptr<Sockets> makeServerSockets();

}  // namespace tw::platform
