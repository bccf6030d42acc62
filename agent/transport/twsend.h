// The status channel: delivery of status and page messages to the display
// and pager servers. One TCP connection per message and destination; the
// message (or its envelope when a KeyCode is set) goes out followed by one
// zero byte; nothing is read back. Failures are only written to the
// diagnostic log.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace tw::platform {
class Clock;
class Sockets;
struct CryptoLibrary;
}  // namespace tw::platform

namespace tw {

// Destinations that did not answer in time during one cycle; the sends of
// the rest of that cycle skip them.
struct DeadDestinations {
    int cycle = -1;
    std::set<std::string> keys;  // "host:port"
};

// twnt -test: takes each message in place of the network, with the
// destinations the send would reach in order (as destinationtext shows
// them) and the text up to its first zero byte, unencrypted. Nothing is
// resolved or connected.
using MessageSink =
    std::function<void(const std::vector<std::string>& destinations, const std::string& text)>;

// The status channel as one cycle's configuration sets it up: the sockets it
// connects through, the clock of its log lines' time stamps, the KeyCode, the
// port of destinations that name none, the paging rules, what ends a send
// early, and the cycle's memory of dead destinations. The cycle builds it
// after each configuration load; the plugin thread takes a copy while it
// holds the cycle mutex, under which every send runs.
struct StatusChannel {
    platform::Sockets* sockets = nullptr;  // none: nothing can be sent
    platform::Clock* clock = nullptr;      // none: the log lines carry no time
    std::string keycode;                   // empty: messages go in clear
    // The cipher library of the envelopes, loaded at its first use; none (or
    // nullptr from it): a message with a KeyCode is not sent.
    const platform::CryptoLibrary* (*crypto)() = nullptr;
    bool keycodeUnusable = false;  // a KeyCode too long to use: nothing is sent
    uint16_t port = 1984;
    std::string sendPageAlerts = "N";        // paging is on when it begins with Y or y
    std::string pagelevels = "red purple ";  // colour words that page, each with a blank after it
    std::string twpage;                      // where pages go
    std::function<bool()> stopping;          // a stop of the agent ends a send
    DeadDestinations* dead = nullptr;        // none: nothing is skipped
    int cycle = 0;                           // the sequence number of the cycle sending
    MessageSink dry;                         // set: nothing goes to the network
};

// Every network wait of a send is bounded. A peer that accepts a connection
// but takes no data for kSendTimeoutMs ends the send to it; a connection not
// made within kConnectTimeoutMs, or a name not resolved within
// kResolveTimeoutMs, skips the destination for the rest of the cycle, so one
// dead server costs one time-out per cycle. A stop of the agent ends any send
// at once (within a fraction of a second).
inline constexpr int kSendTimeoutMs = 30000;
inline constexpr int kConnectTimeoutMs = 10000;
inline constexpr int kResolveTimeoutMs = 10000;

// Delivers text to every destination of the list, in order, synchronously.
// Answers 0 when the send was carried out (whatever happened per
// destination), 1 when nothing could be sent (no memory, no sockets).
int twsend(const StatusChannel& channel, const std::string& destinations, const std::string& text);

// The colour word of a message: its third word (at most 1023 characters);
// empty when it has fewer than three.
std::string messagecolour(const std::string& text);

// Pages a status message: when SendPageAlerts is Y and the text's third word
// is one of the PageLevels words, the text with "page  " over its first six
// characters (at most 20999 characters) goes to the TWPAGE destinations.
// destinations is only logged.
void twpage(const StatusChannel& channel, const std::string& destinations, const std::string& text);

}  // namespace tw
