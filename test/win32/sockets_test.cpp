// Winsock as the status channel uses it: resolution, its error texts, and
// one connection to a listener on the loopback.
#include <gtest/gtest.h>

#include <thread>

#include "platform/win32/win32.h"

namespace tw::platform::win32 {
namespace {

struct Winsock : ::testing::Test {
    std::unique_ptr<Sockets> net = makeSockets();
    void SetUp() override { ASSERT_TRUE(net->start()); }
    void TearDown() override { net->stop(); }
};

TEST_F(Winsock, NumericAddressesResolveWithoutALookup) {
    ResolveHints h;
    h.numericHost = true;
    ResolveResult r = net->resolve("127.0.0.1", 1984, h, {});
    ASSERT_EQ(r.error, 0);
    ASSERT_EQ(r.addresses.size(), 1u);
    EXPECT_EQ(r.addresses[0].family, AddressFamily::IPv4);
    EXPECT_EQ(r.addresses[0].text, "127.0.0.1");
    EXPECT_EQ(r.addresses[0].raw.size(), sizeof(sockaddr_in));
    r = net->resolve("not an address", 1984, h, {});
    EXPECT_NE(r.error, 0);
    std::string text = net->resolverErrorText(r.error);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
}

TEST_F(Winsock, TextAndZeroByteReachALoopbackListener) {
    SOCKET l = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(l, 1), 0);
    int len = sizeof a;
    getsockname(l, reinterpret_cast<sockaddr*>(&a), &len);
    const uint16_t port = ntohs(a.sin_port);
    std::string got;
    std::thread server([&] {
        SOCKET s = accept(l, nullptr, nullptr);
        char buf[256];
        int n;
        while ((n = recv(s, buf, sizeof buf, 0)) > 0) got.append(buf, static_cast<size_t>(n));
        closesocket(s);
    });

    ResolveHints h;
    h.numericHost = true;
    ResolveResult r = net->resolve("127.0.0.1", port, h, {});
    ASSERT_EQ(r.error, 0);
    int err = 0;
    SocketHandle s = net->open(AddressFamily::IPv4, err);
    ASSERT_NE(s, kInvalidSocket) << err;
    ASSERT_EQ(net->connect(s, r.addresses[0], {5000, {}}), 0);
    std::string wire("status H.disk green", 20);  // with its zero byte
    EXPECT_EQ(net->send(s, wire, {5000, {}}, err), 20);
    net->shutdown(s);
    net->close(s);
    server.join();
    closesocket(l);
    EXPECT_EQ(got, wire);

    // Nobody listens there any more.
    s = net->open(AddressFamily::IPv4, err);
    EXPECT_EQ(net->connect(s, r.addresses[0], {5000, {}}), WSAECONNREFUSED);
    net->close(s);
}

TEST_F(Winsock, ConnectToAServerThatDropsSynsEndsAtTheBoundOrAtAStop) {
    // A listener whose one-entry backlog is taken by a connection nobody
    // accepts leaves further SYNs unanswered.
    SOCKET l = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(l, 0), 0);
    int len = sizeof a;
    getsockname(l, reinterpret_cast<sockaddr*>(&a), &len);
    SOCKET filler = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_EQ(connect(filler, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);

    ResolveHints h;
    h.numericHost = true;
    ResolveResult r = net->resolve("127.0.0.1", ntohs(a.sin_port), h, {});
    ASSERT_EQ(r.error, 0);
    int err = 0;
    SocketHandle s = net->open(AddressFamily::IPv4, err);
    int code = net->connect(s, r.addresses[0], {300, {}});
    EXPECT_EQ(code, WSAETIMEDOUT);
    EXPECT_TRUE(net->isTimeout(code));
    net->close(s);

    const ULONGLONG start = GetTickCount64();
    s = net->open(AddressFamily::IPv4, err);
    EXPECT_EQ(
        net->connect(s, r.addresses[0], {0, [start] { return GetTickCount64() - start > 200; }}),
        WSAEINTR);
    net->close(s);
    closesocket(filler);
    closesocket(l);
}

}  // namespace
}  // namespace tw::platform::win32
