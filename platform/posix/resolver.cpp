// Name resolution with the BSD sockets' getaddrinfo.
#include "platform/resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace tw::platform {

namespace {

AddressFamily fromSystemFamily(int f) {
    if (f == AF_INET) return AddressFamily::IPv4;
    if (f == AF_INET6) return AddressFamily::IPv6;
    return AddressFamily::Other;
}

std::string addressText(const sockaddr* sa) {
    char buf[INET6_ADDRSTRLEN + 16] = {};
    if (sa->sa_family == AF_INET) {
        auto* sin = reinterpret_cast<const sockaddr_in*>(sa);
        if (!inet_ntop(AF_INET, &sin->sin_addr, buf, sizeof buf)) return {};
        return buf;
    }
    if (sa->sa_family == AF_INET6) {
        auto* sin6 = reinterpret_cast<const sockaddr_in6*>(sa);
        if (!inet_ntop(AF_INET6, &sin6->sin6_addr, buf, sizeof buf)) return {};
        std::string text = buf;
        if (sin6->sin6_scope_id) {
            text += '%';
            text += std::to_string(sin6->sin6_scope_id);
        }
        return text;
    }
    return {};
}

}  // namespace

int systemAddressFamily(AddressFamily f) {
    switch (f) {
        case AddressFamily::IPv4:
            return AF_INET;
        case AddressFamily::IPv6:
            return AF_INET6;
        default:
            return AF_UNSPEC;
    }
}

ResolveResult resolveStream(const std::string& host, uint16_t port, const ResolveHints& hints) {
    addrinfo h{};
    h.ai_family = systemAddressFamily(hints.family);
    h.ai_socktype = SOCK_STREAM;
    h.ai_protocol = IPPROTO_TCP;
    h.ai_flags = AI_NUMERICSERV | (hints.numericHost ? AI_NUMERICHOST : 0);
    std::string service = std::to_string(port);
    addrinfo* list = nullptr;
    ResolveResult result;
    int rc = getaddrinfo(host.c_str(), service.c_str(), &h, &list);
    if (rc != 0) {
        result.error = rc;
        return result;
    }
    for (addrinfo* a = list; a; a = a->ai_next) {
        SocketAddress addr;
        addr.family = fromSystemFamily(a->ai_family);
        if (a->ai_addr && a->ai_addrlen > 0) {
            addr.text = addressText(a->ai_addr);
            auto* p = reinterpret_cast<const unsigned char*>(a->ai_addr);
            addr.raw.assign(p, p + a->ai_addrlen);
        }
        result.addresses.push_back(std::move(addr));
    }
    freeaddrinfo(list);
    return result;
}

std::optional<HostEntry> resolveHostIPv4(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* res = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &res) != 0 || !res) return std::nullopt;
    HostEntry e;
    e.officialName = res->ai_canonname ? res->ai_canonname : name;
    for (addrinfo* a = res; a; a = a->ai_next) {
        if (a->ai_family != AF_INET) continue;
        char buf[INET_ADDRSTRLEN] = {};
        auto* sin = reinterpret_cast<sockaddr_in*>(a->ai_addr);
        if (inet_ntop(AF_INET, &sin->sin_addr, buf, sizeof buf)) {
            e.firstIPv4 = buf;
            break;
        }
    }
    freeaddrinfo(res);
    return e;
}

}  // namespace tw::platform
