#include "platform/posix/posix_sockets.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>

#include "platform/resolver.h"
#include "test/support/loopback_servers.h"

namespace tw::platform {
namespace {

// A loopback listener that never accepts: the kernel completes connections
// to it, but nobody reads.
struct SilentListener {
    SilentListener() {
        sockaddr_in sa;
        fd = testing::loopbackListener(4, sa);
        port = ntohs(sa.sin_port);
    }
    ~SilentListener() { close(fd); }
    int fd;
    uint16_t port;
};

TEST(PosixSockets, NumericResolutionKeepsFamilyAndAddressText) {
    auto net = makePosixSockets();
    ResolveResult r = net->resolve("127.0.0.1", 1984, {AddressFamily::IPv4, true}, {});
    ASSERT_EQ(r.error, 0);
    ASSERT_EQ(r.addresses.size(), 1u);
    EXPECT_EQ(r.addresses[0].family, AddressFamily::IPv4);
    EXPECT_EQ(r.addresses[0].text, "127.0.0.1");

    r = net->resolve("::1", 1984, {AddressFamily::IPv6, true}, {});
    ASSERT_EQ(r.error, 0);
    ASSERT_EQ(r.addresses.size(), 1u);
    EXPECT_EQ(r.addresses[0].family, AddressFamily::IPv6);
    EXPECT_EQ(r.addresses[0].text, "::1");
}

TEST(PosixSockets, FailedResolutionAnswersACodeWithAOneLineText) {
    auto net = makePosixSockets();
    // A numeric-only lookup of a name fails at once, without the network.
    ResolveResult r = net->resolve("not-an-address", 1984, {AddressFamily::IPv4, true}, {});
    EXPECT_NE(r.error, 0);
    EXPECT_TRUE(r.addresses.empty());
    std::string text = net->resolverErrorText(r.error);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find('\n'), std::string::npos);
}

TEST(PosixSockets, ConnectToAClosedPortAnswersConnectionRefused) {
    uint16_t port;
    {
        SilentListener l;  // take a free port, then free it again
        port = l.port;
    }
    auto net = makePosixSockets();
    ResolveResult r = net->resolve("127.0.0.1", port, {AddressFamily::IPv4, true}, {});
    ASSERT_EQ(r.addresses.size(), 1u);
    int err = 0;
    SocketHandle s = net->open(AddressFamily::IPv4, err);
    ASSERT_NE(s, kInvalidSocket);
    EXPECT_EQ(net->connect(s, r.addresses[0], {5000, {}}), ECONNREFUSED);
    net->close(s);
}

TEST(PosixSockets, SendToAPeerThatNeverReadsEndsAtTheTimeOutInsteadOfHanging) {
    SilentListener l;
    auto net = makePosixSockets();
    ResolveResult r = net->resolve("127.0.0.1", l.port, {AddressFamily::IPv4, true}, {});
    ASSERT_EQ(r.addresses.size(), 1u);
    int err = 0;
    SocketHandle s = net->open(AddressFamily::IPv4, err);
    ASSERT_EQ(net->connect(s, r.addresses[0], {5000, {}}), 0);
    // Far more than the kernel buffers of both ends hold.
    std::string big(64 * 1024 * 1024, 'x');
    long sent = net->send(s, big, {300, {}}, err);
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, static_cast<long>(big.size()));
    net->shutdown(s);
    net->close(s);
}

using testing::FullBacklog;

// Raises its flag after ms milliseconds: a stop that comes during a wait.
std::function<bool()> stopAfter(int ms) {
    auto start = std::chrono::steady_clock::now();
    return [start, ms] {
        return std::chrono::steady_clock::now() - start > std::chrono::milliseconds(ms);
    };
}

TEST(PosixSockets, ConnectToAServerThatDropsSynsEndsAtTheBoundWithATimeOut) {
    FullBacklog dead;
    auto net = makePosixSockets();
    ResolveResult r = net->resolve("127.0.0.1", dead.port, {AddressFamily::IPv4, true}, {});
    ASSERT_EQ(r.addresses.size(), 1u);
    int err = 0;
    SocketHandle s = net->open(AddressFamily::IPv4, err);
    int code = net->connect(s, r.addresses[0], {300, {}});
    EXPECT_EQ(code, ETIMEDOUT);
    EXPECT_TRUE(net->isTimeout(code));
    EXPECT_FALSE(net->isTimeout(ECONNREFUSED));
    net->close(s);

    // A stop ends a connect that has no time limit of its own.
    s = net->open(AddressFamily::IPv4, err);
    EXPECT_EQ(net->connect(s, r.addresses[0], {0, stopAfter(200)}), EINTR);
    net->close(s);
}

TEST(PosixSockets, StopEndsASendToAPeerThatNeverReads) {
    SilentListener l;
    auto net = makePosixSockets();
    ResolveResult r = net->resolve("127.0.0.1", l.port, {AddressFamily::IPv4, true}, {});
    int err = 0;
    SocketHandle s = net->open(AddressFamily::IPv4, err);
    ASSERT_EQ(net->connect(s, r.addresses[0], {5000, {}}), 0);
    std::string big(64 * 1024 * 1024, 'x');
    long sent = net->send(s, big, {60000, stopAfter(200)}, err);
    EXPECT_LT(sent, static_cast<long>(big.size()));
    EXPECT_EQ(err, EINTR);
    net->close(s);
}

TEST(PosixSockets, NamesFromTheHostsFileResolveThroughTheBoundedLookup) {
    auto net = makePosixSockets();
    ResolveResult r = net->resolve("localhost", 1984, {AddressFamily::IPv4, false}, {10000, {}});
    EXPECT_EQ(r.error, 0);
    EXPECT_FALSE(r.timedOut);
    ASSERT_FALSE(r.addresses.empty());
    EXPECT_EQ(r.addresses[0].text, "127.0.0.1");
}

// The names twrecv prints for its peers.
TEST(PosixSockets, AcceptedPeersAreNamedWithoutZoneAndMappedIPv4AsIPv4) {
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(1984);
    inet_pton(AF_INET, "192.0.2.8", &v4.sin_addr);
    sockaddr_in6 mapped{};
    mapped.sin6_family = AF_INET6;
    mapped.sin6_port = htons(40001);
    inet_pton(AF_INET6, "::ffff:192.0.2.7", &mapped.sin6_addr);
    sockaddr_in6 zoned = mapped;
    inet_pton(AF_INET6, "fe80::1", &zoned.sin6_addr);
    zoned.sin6_scope_id = 2;
    struct Case {
        const void* sa;
        size_t len;
        AddressFamily family;
        const char* text;
        uint16_t port;
    } cases[] = {
        {&v4, sizeof v4, AddressFamily::IPv4, "192.0.2.8", 1984},
        {&mapped, sizeof mapped, AddressFamily::IPv4, "192.0.2.7", 40001},
        {&zoned, sizeof zoned, AddressFamily::IPv6, "fe80::1", 40001},
    };
    for (const Case& c : cases) {
        SocketAddress peer = peerAddress(static_cast<const sockaddr*>(c.sa), c.len);
        EXPECT_EQ(peer.family, c.family) << c.text;
        EXPECT_EQ(peer.text, c.text);
        EXPECT_EQ(peer.port, c.port) << c.text;
        EXPECT_EQ(peer.raw.size(), c.len) << c.text;
    }
}

}  // namespace
}  // namespace tw::platform
