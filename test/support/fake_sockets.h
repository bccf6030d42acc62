// Test doubles for the status channel: a scripted resolver and socket layer
// that records what was connected and sent, and what listened where, with
// failure switches and counts of opened and closed sockets; a fixed moment;
// and a status channel wired to them.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "agent/core/config.h"
#include "platform/crypto_library.h"
#include "platform/sockets.h"
#include "test/support/log_capture.h"
#include "test/support/manual_clock.h"
#include "test/support/memory_settings_store.h"

namespace tw::testing {

class FakeSockets final : public platform::Sockets {
  public:
    struct Resolve {
        std::string host;
        uint16_t port;
        platform::ResolveHints hints;
    };
    struct Delivery {
        std::string address;  // the connected address text
        uint16_t port;
        std::string bytes;  // everything sent on that connection
    };

    // Addresses a name resolves to, in resolver order ("127.0.0.1", "::1", ...).
    void addHost(const std::string& host, std::vector<std::string> addresses) {
        hosts_[host] = std::move(addresses);
    }

    platform::ResolveResult resolve(const std::string& host, uint16_t port,
                                    const platform::ResolveHints& hints,
                                    const platform::WaitBound& bound) override {
        resolves.push_back({host, port, hints});
        bounds.push_back({"resolve " + host, bound.timeoutMs});
        platform::ResolveResult r;
        if (silentNames.count(host)) {
            // The platform's bound ends the wait for a name service that
            // does not answer.
            r.error = kUnknownHostError;
            r.timedOut = true;
            return r;
        }
        auto it = hosts_.find(host);
        if (it == hosts_.end()) {
            r.error = kUnknownHostError;
            return r;
        }
        for (const std::string& text : it->second) {
            platform::SocketAddress a;
            a.family = text.find(':') != std::string::npos ? platform::AddressFamily::IPv6
                                                           : platform::AddressFamily::IPv4;
            if (hints.family != platform::AddressFamily::Unspecified && a.family != hints.family)
                continue;
            a.text = text;
            a.raw = {static_cast<unsigned char>(port >> 8), static_cast<unsigned char>(port)};
            r.addresses.push_back(a);
        }
        return r;
    }

    std::string resolverErrorText(int code) override {
        return "resolver error " + std::to_string(code);
    }

    bool start() override {
        ++starts;
        return !failStart;
    }
    void stop() override { ++stops; }

    platform::SocketHandle open(platform::AddressFamily, int& error) override {
        if (failOpen) {
            error = failOpen;
            return platform::kInvalidSocket;
        }
        error = 0;
        platform::SocketHandle h = nextHandle_++;
        openHandles.insert(h);
        ++opened;
        return h;
    }

    int connect(platform::SocketHandle s, const platform::SocketAddress& to,
                const platform::WaitBound& bound) override {
        uint16_t port = static_cast<uint16_t>((to.raw.at(0) << 8) | to.raw.at(1));
        connects.push_back(to.text + " " + std::to_string(port));
        bounds.push_back({"connect " + to.text, bound.timeoutMs});
        if (onConnect) onConnect();
        // SYNs dropped: the platform's bound ends the wait with its time-out.
        if (dropSyns.count(to.text)) return kTimedOutError;
        auto f = refuse.find(to.text);
        if (f != refuse.end()) return f->second;
        conn_[s] = deliveries.size();
        deliveries.push_back({to.text, port, {}});
        return 0;
    }

    long send(platform::SocketHandle s, std::string_view data, const platform::WaitBound& bound,
              int& error) override {
        bounds.push_back({"send", bound.timeoutMs});
        if (failSend) {
            error = failSend;
            if (failSendAfter <= 0) return -1;
            deliveries.at(conn_.at(s)).bytes.append(data.substr(0, failSendAfter));
            return failSendAfter;
        }
        error = 0;
        deliveries.at(conn_.at(s)).bytes.append(data);
        return static_cast<long>(data.size());
    }

    bool isTimeout(int code) override { return code == kTimedOutError; }

    void shutdown(platform::SocketHandle) override { ++shutdowns; }
    void close(platform::SocketHandle s) override {
        openHandles.erase(s);
        listening.erase(s);
        ++closed;
    }

    // A listener: refused with the code of its "address port" or "address"
    // entry in refuseListen; port 0 takes the next of the free ports.
    platform::SocketHandle listen(const platform::SocketAddress& at, uint16_t port,
                                  int& error) override {
        auto f = refuseListen.find(at.text + " " + std::to_string(port));
        if (f == refuseListen.end()) f = refuseListen.find(at.text);
        if (f != refuseListen.end()) {
            error = f->second;
            return platform::kInvalidSocket;
        }
        error = 0;
        platform::SocketHandle h = nextHandle_++;
        openHandles.insert(h);
        ++opened;
        listening[h] = at.text + " " + std::to_string(port ? port : nextFreePort++);
        return h;
    }
    uint16_t boundPort(platform::SocketHandle listener) override {
        const std::string& where = listening.at(listener);
        return static_cast<uint16_t>(std::stoi(where.substr(where.rfind(' ') + 1)));
    }
    // No peer ever connects: nothing to accept, read or wait for.
    platform::SocketHandle accept(platform::SocketHandle, platform::SocketAddress&,
                                  int& error) override {
        error = kWouldBlockError;
        return platform::kInvalidSocket;
    }
    int waitReadable(const std::vector<platform::SocketHandle>& sockets, int,
                     std::vector<bool>& ready, int& error) override {
        ready.assign(sockets.size(), false);
        error = 0;
        return 0;
    }
    long receive(platform::SocketHandle, char*, size_t, int& error) override {
        error = kWouldBlockError;
        return -1;
    }
    platform::SocketError classify(int code) override {
        switch (code) {
            case kWouldBlockError:
                return platform::SocketError::WouldBlock;
            case kAddressInUseError:
                return platform::SocketError::AddressInUse;
            case kNoSuchFamilyError:
                return platform::SocketError::NotOnThisHost;
            default:
                return platform::SocketError::Other;
        }
    }
    std::string errorText(int code) override { return "socket error " + std::to_string(code); }

    struct Bound {
        std::string call;  // "resolve host", "connect address" or "send"
        int timeoutMs;
    };

    static constexpr int kUnknownHostError = -2;
    static constexpr int kTimedOutError = 110;
    static constexpr int kWouldBlockError = 11;
    static constexpr int kAddressInUseError = 98;
    static constexpr int kNoSuchFamilyError = 97;
    std::map<std::string, int> refuseListen;                  // "address port" or "address" -> code
    std::map<platform::SocketHandle, std::string> listening;  // -> "address port"
    uint16_t nextFreePort = 40000;
    std::set<std::string> silentNames;  // names whose resolution times out
    std::set<std::string> dropSyns;     // addresses whose connects time out
    std::function<void()> onConnect;    // runs at every connect
    std::vector<Bound> bounds;
    bool failStart = false;  // the socket layer cannot start
    int starts = 0, stops = 0;
    int failOpen = 0;                   // non-zero: open fails with this code
    int failSend = 0;                   // non-zero: send fails with this code
    long failSendAfter = 0;             // ... after this many bytes went out
    std::map<std::string, int> refuse;  // address text -> connect error code
    std::vector<Resolve> resolves;
    std::vector<std::string> connects;  // "address port"
    std::vector<Delivery> deliveries;
    std::set<platform::SocketHandle> openHandles;
    int opened = 0, closed = 0, shutdowns = 0;

  private:
    std::map<std::string, std::vector<std::string>> hosts_;
    std::map<platform::SocketHandle, size_t> conn_;
    platform::SocketHandle nextHandle_ = 3;
};

// A moment whose date stamp is Tue Dec 08 03:20:31 UTC 2026.
inline constexpr int64_t kFixedNow = 1796700031;
inline constexpr const char* kFixedStamp = "Tue Dec 08 03:20:31 UTC 2026";

// A configuration whose status channel runs on fake sockets (or others
// put in its place) and a fixed clock, with the cycle's number, its memory of
// dead destinations and a stop the test can raise.
struct TransportHarness {
    // The channel as the cycle builds it from the configuration.
    StatusChannel channel() {
        StatusChannel ch = statuschannel(cfg, net, &clock);
        ch.stopping = [this] { return stop.load(); };
        ch.dead = &dead;
        ch.cycle = cycle;
        ch.crypto = &platform::cryptoLibrary;
        return ch;
    }

    Config cfg;
    FakeSockets sockets;
    platform::Sockets* net = &sockets;
    ManualClock clock{kFixedNow};
    std::atomic<bool> stop{false};
    DeadDestinations dead;
    int cycle = 0;
};

}  // namespace tw::testing
