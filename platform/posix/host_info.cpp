// Who this machine is on Linux: gethostname, the resolver, and the computer
// name made from the host name.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/posix/posix.h"

namespace tw::platform::posix {

namespace {

class PosixHostInfo final : public HostInfo {
  public:
    std::optional<std::string> hostName() override {
        char buf[256] = {};
        if (gethostname(buf, sizeof buf - 1) != 0) return std::nullopt;
        return std::string(buf);
    }

    std::optional<HostEntry> resolve(const std::string& name) override {
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
            char buf[INET_ADDRSTRLEN];
            auto* sin = reinterpret_cast<sockaddr_in*>(a->ai_addr);
            if (inet_ntop(AF_INET, &sin->sin_addr, buf, sizeof buf)) {
                e.firstIPv4 = buf;
                break;
            }
        }
        freeaddrinfo(res);
        return e;
    }

    std::optional<std::string> computerName() override {
        auto h = hostName();
        if (!h) return std::nullopt;
        std::string n = h->substr(0, h->find('.'));
        for (char& c : n)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (n.size() > 15) n.resize(15);
        return n;
    }
};

}  // namespace

std::unique_ptr<HostInfo> makeHostInfo() {
    return std::make_unique<PosixHostInfo>();
}

}  // namespace tw::platform::posix
