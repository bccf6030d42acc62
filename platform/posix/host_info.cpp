// Who this machine is on Linux: gethostname, the resolver, and the computer
// name made from the host name (its first label, upper-cased, at most 15
// characters, as Windows cuts a NetBIOS name).
#include <unistd.h>

#include "platform/ascii.h"
#include "platform/posix/posix.h"
#include "platform/resolver.h"

namespace tw::platform::posix {

namespace {

class PosixHostInfo final : public HostInfo {
  public:
    std::optional<std::string> hostName() override {
        char buf[256] = {};
        if (gethostname(buf, sizeof buf - 1) != 0) return std::nullopt;
        return std::string(buf);
    }

    // The resolver has no time limit of its own: an unanswered lookup ends
    // after kHostResolveTimeoutMs as a name that does not resolve.
    std::optional<HostEntry> resolve(const std::string& name) override {
        return resolveHostWithin([name] { return resolveHostIPv4(name); });
    }

    std::optional<std::string> computerName() override {
        auto h = hostName();
        if (!h) return std::nullopt;
        std::string n = toUpper(h->substr(0, h->find('.')));
        if (n.size() > 15) n.resize(15);
        return n;
    }
};

}  // namespace

std::unique_ptr<HostInfo> makeHostInfo() {
    return std::make_unique<PosixHostInfo>();
}

}  // namespace tw::platform::posix
