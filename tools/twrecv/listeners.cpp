#include "tools/twrecv/listeners.h"

namespace tw::recv {

namespace {

using platform::AddressFamily;
using platform::SocketAddress;

std::vector<SocketAddress> endpoints(platform::Sockets& net, const Options& o, std::string& error) {
    std::vector<SocketAddress> out;
    const bool any = o.bind.empty();
    for (const char* host : {"0.0.0.0", "::"}) {
        platform::ResolveHints hints;
        hints.numericHost = any;
        platform::ResolveResult r = net.resolve(any ? host : o.bind, 0, hints, {});
        if (r.error != 0 && !any) {
            error = "cannot resolve --bind " + o.bind + ": " + net.resolverErrorText(r.error);
            return {};
        }
        for (SocketAddress& a : r.addresses)
            if (a.family == AddressFamily::IPv4 || a.family == AddressFamily::IPv6)
                out.push_back(std::move(a));
        if (!any) break;
    }
    return out;
}

}  // namespace

std::vector<platform::SocketHandle> openlisteners(platform::Sockets& net, const Options& o,
                                                  uint16_t& port, std::string& error) {
    std::vector<SocketAddress> eps = endpoints(net, o, error);
    if (eps.empty()) {
        if (error.empty()) error = "no address to listen on";
        return {};
    }
    for (int attempt = 0; attempt < 20; ++attempt) {
        std::vector<platform::SocketHandle> fds;
        uint16_t want = o.port;
        bool retry = false;
        std::string lastError;
        for (const SocketAddress& e : eps) {
            int err = 0;
            platform::SocketHandle fd = net.listen(e, want, err);
            if (fd == platform::kInvalidSocket) {
                // A taken port after a free pick means another round.
                // Anything else is an error: listening on fewer families
                // than asked would leave senders to the others talking to
                // someone else.
                lastError = net.errorText(err);
                const platform::SocketError kind = net.classify(err);
                if (kind == platform::SocketError::NotOnThisHost) continue;
                if (o.port == 0 && !fds.empty() && kind == platform::SocketError::AddressInUse) {
                    retry = true;
                    break;
                }
                for (platform::SocketHandle open : fds) net.close(open);
                error = "cannot listen on port " + std::to_string(want) + " for " +
                        (e.family == AddressFamily::IPv6 ? "IPv6" : "IPv4") + ": " + lastError;
                return {};
            }
            if (want == 0) want = net.boundPort(fd);
            fds.push_back(fd);
        }
        if (retry) {
            for (platform::SocketHandle fd : fds) net.close(fd);
            continue;
        }
        if (fds.empty()) {
            error = "cannot listen on port " + std::to_string(o.port) + ": " + lastError;
            return {};
        }
        port = want;
        return fds;
    }
    error = "no free port found";
    return {};
}

std::string peertext(const SocketAddress& peer) {
    const std::string host = peer.text.empty() ? "?" : peer.text;
    const std::string port = std::to_string(peer.port);
    if (peer.family == AddressFamily::IPv4) return host + ":" + port;
    if (peer.family == AddressFamily::IPv6) return "[" + host + "]:" + port;
    return "?";
}

}  // namespace tw::recv
