#include "agent/transport/twsend.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "agent/transport/crypto.h"
#include "agent/transport/destination.h"
#include "agent/transport/inetpton.h"
#include "base/datestamp.h"
#include "base/twlog.h"
#include "platform/sockets.h"

namespace tw {

namespace {

using platform::AddressFamily;
using platform::SocketAddress;

constexpr size_t kPageLimit = 20999;
constexpr size_t kWordLimit = 1023;

// Skips IPv4 loopback results so that a name which also has a real address
// is reached there; loopback is used only when nothing else is offered.
const SocketAddress& chooseaddress(const std::vector<SocketAddress>& results) {
    const SocketAddress* loopback = nullptr;
    for (const SocketAddress& r : results) {
        if (r.family == AddressFamily::IPv4 && r.text == "127.0.0.1") {
            loopback = &r;
            continue;
        }
        if (r.family == AddressFamily::IPv4 || r.family == AddressFamily::IPv6) return r;
    }
    return loopback ? *loopback : results.front();
}

platform::ResolveHints hintsfor(const std::string& host) {
    platform::ResolveHints hints;
    unsigned char bytes[16];
    if (inet_pton(kAfInet, host.c_str(), bytes) == 1) {
        hints.family = AddressFamily::IPv4;
        hints.numericHost = true;
    } else if (inet_pton(kAfInet6, host.c_str(), bytes) == 1) {
        hints.family = AddressFamily::IPv6;
        hints.numericHost = true;
    }
    return hints;
}

// The date stamp only when a log line will show it.
std::string stamp(const StatusChannel& ch) {
    return twlogActive() && ch.clock ? datestamp(*ch.clock) : std::string();
}

// A stop of the agent (service stop, signal, or the auxiliary threads told
// to end) ends a send in progress.
bool sendstopping(const StatusChannel& ch) {
    return ch.stopping && ch.stopping();
}

platform::WaitBound bound(const StatusChannel& ch, int timeoutMs) {
    return {timeoutMs, [&ch] { return sendstopping(ch); }};
}

// Destinations that timed out are skipped for the rest of the cycle.
bool skipped(const StatusChannel& ch, const std::string& key) {
    if (!ch.dead) return false;
    if (ch.dead->cycle != ch.cycle) {
        ch.dead->keys.clear();
        ch.dead->cycle = ch.cycle;
    }
    return ch.dead->keys.count(key) != 0;
}

void markdead(const StatusChannel& ch, const std::string& key) {
    if (ch.dead) ch.dead->keys.insert(key);
    twlog("tw: <%s> did not answer in time; skipped for the rest of this cycle\r\n", key.c_str());
}

// Shuts the connection down and closes it on every way out.
struct SocketGuard {
    platform::Sockets& net;
    platform::SocketHandle s;
    ~SocketGuard() {
        net.shutdown(s);
        net.close(s);
    }
};

int sendall(const StatusChannel& ch, const std::string& destinations, const std::string& text) {
    std::vector<std::string> list;
    try {
        list = splitdestinations(destinations);
    } catch (const std::bad_alloc&) {
        twlog("twsend(): failed to malloc *ip");
        return 1;
    }

    // The data ends at the first zero byte, as the wire format requires; the
    // zero byte after it is sent as the terminator.
    std::string_view data(text.c_str());
    twlog("\r\nSend <%s>\r\n", text.c_str());
    if (ch.keycodeUnusable) {
        // The administrator asked for encryption: nothing goes out in clear.
        twlog("twsend(): the KeyCode cannot be used; the message is not sent\r\n");
        return 1;
    }

    if (ch.dry) {
        std::vector<std::string> where;
        for (const std::string& entry : list)
            where.push_back(destinationtext(parsedestination(entry, ch.port)));
        ch.dry(where, std::string(data));
        return 0;
    }
    platform::Sockets& net = *ch.sockets;

    std::string envelope;
    bool crypted = false;
    for (const std::string& entry : list) {
        if (sendstopping(ch)) {
            twlog("twsend(): stopping; the rest of the send is abandoned\r\n");
            return 0;
        }
        Destination d = parsedestination(entry, ch.port);
        std::string portText = strformat("%5d", d.port);
        twlog("MAKING SOCKET CONNECTION...\r\n");
        std::string host = stripbrackets(d.host);
        const std::string key = host + ":" + std::to_string(d.port);
        if (skipped(ch, key)) {
            twlog("tw: <%s> skipped: it did not answer in time earlier in this cycle\r\n",
                  key.c_str());
            continue;
        }

        platform::ResolveResult res =
            net.resolve(host, d.port, hintsfor(host), bound(ch, kResolveTimeoutMs));
        if (res.error != 0 || res.addresses.empty()) {
            if (twlogActive()) {
                std::string why = res.timedOut
                                      ? strformat("no answer within %d s", kResolveTimeoutMs / 1000)
                                  : res.error != 0 ? net.resolverErrorText(res.error)
                                                   : std::string("no address");
                twlog("tw: Unknown host: %s - %s\r\n", host.c_str(), why.c_str());
            }
            if (res.timedOut && !sendstopping(ch)) markdead(ch, key);
            continue;
        }
        const SocketAddress& addr = chooseaddress(res.addresses);
        twlog("Sending to: %s\r\n", addr.text.c_str());

        std::optional<std::string> pass = passphrase(ch.keycode, addr.text);
        if (!pass) {
            twlog("NO CRYPTO TO %s\r\n", addr.text.c_str());
        } else if (crypted) {
            twlog("ALREADY CRYPTED: %s\r\n", envelope.c_str());
        } else {
            size_t len = 0;
            try {
                len = encryptmessage(ch.crypto ? ch.crypto() : nullptr, data, envelope, *pass);
            } catch (const std::bad_alloc&) {
                twlog("CAN'T ALLOCATE CRYPT BUFFER IN twsend()");
                return 0;
            }
            // A message that cannot be encrypted must not leave in clear.
            if (len == 0) {
                twlog("CAN'T ENCRYPT MESSAGE IN twsend()\r\n");
                return 0;
            }
            twlog("CRYPTOLEN:%d %d\r\n", static_cast<int>(len), static_cast<int>(len + 7));
            twlog("CRYPTODATA:%s\r\n", envelope.c_str());
            crypted = true;
            data = envelope;
        }

        int err = 0;
        platform::SocketHandle s = net.open(addr.family, err);
        if (s == platform::kInvalidSocket) {
            twlog("Can't open stream socket\r\n");
            twlog("error: %d\r\n", err);
            return 0;
        }
        SocketGuard guard{net, s};
        twlog("SOCKET CONNECTED OK...\r\n");
        twlog("CONNECTING TO twd... at %s\r\n", stamp(ch).c_str());
        err = net.connect(s, addr, bound(ch, kConnectTimeoutMs));
        if (err != 0) {
            twlog("\r\ntw: CAN'T CONNECT TO twd @ <%s:%s> at %s\r\n", host.c_str(),
                  portText.c_str(), stamp(ch).c_str());
            twlog(" error: %d\r\n", err);
            if (net.isTimeout(err)) markdead(ch, key);
        } else {
            twlog("CONNECTED TO twd on port %d ... at %s\r\n", d.port, stamp(ch).c_str());
            twlog("SENDING ... at %s\r\n", stamp(ch).c_str());
            // Shown as text: an envelope shows up to its first zero byte.
            twlog("\r\nSENDING <%s> to %s\r\n", data.data(), host.c_str());
            // Both the text and the envelope are followed by a zero byte in
            // memory, which goes out as the terminator.
            std::string_view wire(data.data(), data.size() + 1);
            long sent = net.send(s, wire, bound(ch, kSendTimeoutMs), err);
            twlog("\r\nSent <%d> bytes to <%s> at %s\r\n", static_cast<int>(sent), host.c_str(),
                  stamp(ch).c_str());
            // A send that broke off after a part went out failed as well.
            if (sent < static_cast<long>(wire.size())) twlog("error: %d\r\n", err);
        }
    }
    return 0;
}

}  // namespace

int twsend(const StatusChannel& ch, const std::string& destinations, const std::string& text) {
    if (!ch.sockets && !ch.dry) return 1;
    try {
        return sendall(ch, destinations, text);
    } catch (const std::exception&) {
        // Out of memory in the middle of a send: nothing more goes out, and
        // the next cycle sends again.
        return 1;
    }
}

namespace {

void pagemessage(const StatusChannel& ch, const std::string& destinations,
                 const std::string& text) {
    const std::string& onoff = ch.sendPageAlerts;
    char letter = onoff.empty() ? 'N' : onoff[0];
    twlog("ip: %s\r\n", destinations.c_str());
    twlog("data: %s\r\n", text.c_str());
    twlog("twpageon: %c\r\n", letter);
    if (letter != 'Y' && letter != 'y') return;

    std::string word = messagecolour(text) + ' ';
    if (ch.pagelevels.find(word) == std::string::npos) return;

    std::string_view status(text.c_str());
    std::string paged(status.substr(0, kPageLimit));
    if (paged.size() < 6) paged.resize(6);
    paged.replace(0, 6, "page  ");
    twsend(ch, ch.twpage, paged);
}

}  // namespace

std::string messagecolour(const std::string& text) {
    // Words are separated by white space; the text ends at its first zero byte.
    std::string_view rest(text.c_str());
    auto isBlank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
    };
    std::string word;
    for (int i = 0; i < 3; ++i) {
        size_t b = 0;
        while (b < rest.size() && isBlank(rest[b])) ++b;
        size_t e = b;
        while (e < rest.size() && !isBlank(rest[e])) ++e;
        if (b == e) return {};
        word = std::string(rest.substr(b, std::min(e - b, kWordLimit)));
        rest.remove_prefix(e);
    }
    return word;
}

void twpage(const StatusChannel& ch, const std::string& destinations, const std::string& text) {
    try {
        pagemessage(ch, destinations, text);
    } catch (const std::exception&) {
        // Out of memory: this page is lost; the next cycle pages again.
    }
}

}  // namespace tw
