// This host's sockets as twrecv uses them, through the interface alone, on
// Linux and on Windows.
#include "platform/sockets.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tw::platform {
namespace {

// The display server's side: a listener on a free port takes a connection
// from the status channel's side, reads its bytes and sees its close.
TEST(ServerSockets, ListenerTakesAConnectionAndReadsItToTheClose) {
    const std::string wire("status H.disk green", 20);  // with its zero byte
    struct Case {
        const char* address;
        AddressFamily family;
    } cases[] = {{"127.0.0.1", AddressFamily::IPv4}, {"::1", AddressFamily::IPv6}};
    auto net = makeServerSockets();
    ASSERT_TRUE(net->start());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        ResolveResult at = net->resolve(c.address, 0, {c.family, true}, {});
        ASSERT_EQ(at.addresses.size(), 1u);
        int err = 0;
        SocketHandle l = net->listen(at.addresses[0], 0, err);
        // A host without IPv6 loopback has nothing to test there.
        if (l == kInvalidSocket && net->classify(err) == SocketError::NotOnThisHost) continue;
        ASSERT_NE(l, kInvalidSocket) << net->errorText(err);
        const uint16_t port = net->boundPort(l);
        ASSERT_NE(port, 0);
        EXPECT_EQ(net->listen(at.addresses[0], port, err), kInvalidSocket);
        EXPECT_EQ(net->classify(err), SocketError::AddressInUse);
        SocketAddress peer;
        EXPECT_EQ(net->accept(l, peer, err), kInvalidSocket);
        EXPECT_EQ(net->classify(err), SocketError::WouldBlock);

        ResolveResult to = net->resolve(c.address, port, {c.family, true}, {});
        ASSERT_EQ(to.addresses.size(), 1u);
        SocketHandle client = net->open(c.family, err);
        ASSERT_EQ(net->connect(client, to.addresses[0], {5000, {}}), 0);
        std::vector<bool> ready;
        ASSERT_EQ(net->waitReadable({l}, 5000, ready, err), 1);
        EXPECT_TRUE(ready.at(0));
        SocketHandle conn = net->accept(l, peer, err);
        ASSERT_NE(conn, kInvalidSocket) << net->errorText(err);
        EXPECT_EQ(peer.family, c.family);
        EXPECT_EQ(peer.text, c.address);
        EXPECT_NE(peer.port, 0);
        char buf[8];
        EXPECT_EQ(net->receive(conn, buf, sizeof buf, err), -1);
        EXPECT_EQ(net->classify(err), SocketError::WouldBlock);

        ASSERT_EQ(net->send(client, wire, {5000, {}}, err), 20);
        net->close(client);
        std::string got;
        bool closed = false;
        for (int rounds = 0; rounds < 100 && !closed; ++rounds) {
            ASSERT_EQ(net->waitReadable({conn}, 5000, ready, err), 1);
            long n = net->receive(conn, buf, sizeof buf, err);
            ASSERT_GE(n, 0) << net->errorText(err);
            got.append(buf, static_cast<size_t>(n));
            closed = n == 0;
        }
        EXPECT_TRUE(closed);
        EXPECT_EQ(got, wire);
        net->close(conn);
        net->close(l);
    }
    net->stop();
}

}  // namespace
}  // namespace tw::platform
