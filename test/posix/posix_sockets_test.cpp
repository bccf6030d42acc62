#include "platform/posix/posix_sockets.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>

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

}  // namespace
}  // namespace tw::platform
