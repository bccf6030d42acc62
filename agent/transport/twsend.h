// The status channel: delivery of status and page messages to the display
// and pager servers. One TCP connection per message and destination; the
// message (or its envelope when a KeyCode is set) goes out followed by one
// zero byte; nothing is read back. Failures are only written to the
// diagnostic log.
#pragma once

#include <string>

namespace tw {

struct Agent;

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
int twsend(Agent& a, const std::string& destinations, const std::string& text);

// Pages a status message: when SendPageAlerts is Y and the text's third word
// is one of the PageLevels words, the text with "page  " over its first six
// characters (at most 20999 characters) goes to the TWPAGE destinations.
// destinations is only logged.
void twpage(Agent& a, const std::string& destinations, const std::string& text);

}  // namespace tw
