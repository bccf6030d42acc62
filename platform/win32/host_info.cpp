// Who this machine is: the Winsock host name and resolver, and the
// computer name. Each call holds its own Winsock start-up, so the answers
// do not depend on whether the caller has started Windows Sockets.
#include "platform/resolver.h"
#include "platform/win32/win32.h"

namespace tw::platform::win32 {

namespace {

// Windows Sockets 1.1 for the length of one call (start-ups are counted).
class WinsockScope {
  public:
    WinsockScope() {
        WSADATA data;
        ok_ = WSAStartup(MAKEWORD(1, 1), &data) == 0;
    }
    ~WinsockScope() {
        if (ok_) WSACleanup();
    }
    WinsockScope(const WinsockScope&) = delete;
    WinsockScope& operator=(const WinsockScope&) = delete;
    bool ok() const { return ok_; }

  private:
    bool ok_ = false;
};

class Win32HostInfo final : public HostInfo {
  public:
    std::optional<std::string> hostName() override {
        WinsockScope ws;
        if (!ws.ok()) return std::nullopt;
        char buf[256] = {};
        if (gethostname(buf, sizeof buf - 1) != 0) return std::nullopt;
        return std::string(buf);
    }

    // The resolver has no time limit of its own: an unanswered lookup ends
    // after kHostResolveTimeoutMs as a name that does not resolve.
    std::optional<HostEntry> resolve(const std::string& name) override {
        return resolveHostWithin([name]() -> std::optional<HostEntry> {
            WinsockScope ws;
            if (!ws.ok()) return std::nullopt;
            return resolveHostIPv4(name);
        });
    }

    std::optional<std::string> computerName() override {
        char buf[18] = {};
        DWORD len = sizeof buf;
        if (!GetComputerNameA(buf, &len)) return std::nullopt;
        return std::string(buf, len);
    }
};

}  // namespace

std::unique_ptr<HostInfo> makeHostInfo() {
    return std::make_unique<Win32HostInfo>();
}

}  // namespace tw::platform::win32
