#include "tools/twrecv/listeners.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "test/support/fake_sockets.h"

namespace tw::recv {
namespace {

using testing::FakeSockets;

std::set<std::string> listeningOn(const FakeSockets& net) {
    std::set<std::string> out;
    for (const auto& [handle, where] : net.listening) out.insert(where);
    return out;
}

TEST(TwrecvListeners, EveryFamilyOnOnePortOrAClearError) {
    struct Case {
        std::string name;
        std::string bind;
        uint16_t port;
        std::map<std::string, int> refuse;  // FakeSockets::refuseListen
        std::set<std::string> listening;    // "address port" afterwards
        uint16_t bound;
        std::string error;
    } cases[] = {
        {"both families", "", 1984, {}, {"0.0.0.0 1984", ":: 1984"}, 1984, ""},
        {"a free port, the same for both", "", 0, {}, {"0.0.0.0 40000", ":: 40000"}, 40000, ""},
        {"a host without IPv6",
         "",
         1984,
         {{"::", FakeSockets::kNoSuchFamilyError}},
         {"0.0.0.0 1984"},
         1984,
         ""},
        {"the free port taken in IPv6: another round",
         "",
         0,
         {{":: 40000", FakeSockets::kAddressInUseError}},
         {"0.0.0.0 40001", ":: 40001"},
         40001,
         ""},
        {"the port taken in one family",
         "",
         1984,
         {{":: 1984", FakeSockets::kAddressInUseError}},
         {},
         0,
         "cannot listen on port 1984 for IPv6: socket error 98"},
        {"no family at all",
         "",
         1984,
         {{"::", FakeSockets::kNoSuchFamilyError}, {"0.0.0.0", FakeSockets::kNoSuchFamilyError}},
         {},
         0,
         "cannot listen on port 1984: socket error 97"},
        {"every address of --bind",
         "recv.test",
         1985,
         {},
         {"127.0.0.1 1985", "::1 1985"},
         1985,
         ""},
        {"--bind that does not resolve",
         "nowhere.test",
         1985,
         {},
         {},
         0,
         "cannot resolve --bind nowhere.test: resolver error -2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSockets net;
        net.addHost("0.0.0.0", {"0.0.0.0"});
        net.addHost("::", {"::"});
        net.addHost("recv.test", {"127.0.0.1", "::1"});
        net.refuseListen = c.refuse;
        Options o;
        o.bind = c.bind;
        o.port = c.port;
        uint16_t port = 0;
        std::string error;
        std::vector<platform::SocketHandle> fds = openlisteners(net, o, port, error);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(listeningOn(net), c.listening);
        EXPECT_EQ(fds.size(), c.listening.size());
        EXPECT_EQ(net.openHandles.size(), c.listening.size());
        if (c.error.empty()) {
            EXPECT_EQ(port, c.bound);
        }
    }
}

TEST(TwrecvListeners, PeersAreNamedWithTheirPort) {
    struct Case {
        platform::AddressFamily family;
        std::string text;
        std::string named;
    } cases[] = {
        {platform::AddressFamily::IPv4, "192.0.2.8", "192.0.2.8:1984"},
        {platform::AddressFamily::IPv6, "2001:db8::1", "[2001:db8::1]:1984"},
        {platform::AddressFamily::IPv4, "", "?:1984"},
        {platform::AddressFamily::Other, "", "?"},
    };
    for (const Case& c : cases) {
        platform::SocketAddress peer;
        peer.family = c.family;
        peer.text = c.text;
        peer.port = 1984;
        EXPECT_EQ(peertext(peer), c.named);
    }
}

}  // namespace
}  // namespace tw::recv
