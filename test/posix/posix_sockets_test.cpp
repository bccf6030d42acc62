#include "platform/posix/posix_sockets.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace tw::platform {
namespace {

// A loopback listener that never accepts: the kernel completes connections
// to it, but nobody reads.
struct SilentListener {
    SilentListener() {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        listen(fd, 4);
        socklen_t len = sizeof sa;
        getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
        port = ntohs(sa.sin_port);
    }
    ~SilentListener() { close(fd); }
    int fd;
    uint16_t port;
};

TEST(PosixSockets, NumericResolutionKeepsFamilyAndAddressText) {
    auto net = makePosixSockets();
    ResolveResult r = net->resolve("127.0.0.1", 1984, {AddressFamily::IPv4, true});
    ASSERT_EQ(r.error, 0);
    ASSERT_EQ(r.addresses.size(), 1u);
    EXPECT_EQ(r.addresses[0].family, AddressFamily::IPv4);
    EXPECT_EQ(r.addresses[0].text, "127.0.0.1");

    r = net->resolve("::1", 1984, {AddressFamily::IPv6, true});
    ASSERT_EQ(r.error, 0);
    ASSERT_EQ(r.addresses.size(), 1u);
    EXPECT_EQ(r.addresses[0].family, AddressFamily::IPv6);
    EXPECT_EQ(r.addresses[0].text, "::1");
}

TEST(PosixSockets, FailedResolutionAnswersACodeWithAOneLineText) {
    auto net = makePosixSockets();
    // A numeric-only lookup of a name fails at once, without the network.
    ResolveResult r = net->resolve("not-an-address", 1984, {AddressFamily::IPv4, true});
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
    ResolveResult r = net->resolve("127.0.0.1", port, {AddressFamily::IPv4, true});
    ASSERT_EQ(r.addresses.size(), 1u);
    int err = 0;
    SocketHandle s = net->open(AddressFamily::IPv4, err);
    ASSERT_NE(s, kInvalidSocket);
    EXPECT_EQ(net->connect(s, r.addresses[0]), ECONNREFUSED);
    net->close(s);
}

TEST(PosixSockets, SendToAPeerThatNeverReadsEndsAtTheTimeOutInsteadOfHanging) {
    SilentListener l;
    auto net = makePosixSockets();
    ResolveResult r = net->resolve("127.0.0.1", l.port, {AddressFamily::IPv4, true});
    ASSERT_EQ(r.addresses.size(), 1u);
    int err = 0;
    SocketHandle s = net->open(AddressFamily::IPv4, err);
    ASSERT_EQ(net->connect(s, r.addresses[0]), 0);
    // Far more than the kernel buffers of both ends hold.
    std::string big(64 * 1024 * 1024, 'x');
    long sent = net->send(s, big, 300, err);
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, static_cast<long>(big.size()));
    net->shutdown(s);
    net->close(s);
}

}  // namespace
}  // namespace tw::platform
