#include "agent/transport/twsend.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "agent/transport/crypto.h"
#include "platform/crypto_library.h"
#include "test/support/fake_sockets.h"
#ifndef _WIN32
#include "platform/posix/posix_sockets.h"
#include "test/support/loopback_servers.h"
#include "test/support/twrecv_process.h"
#endif

namespace tw {
namespace {

using testing::FakeSockets;
using testing::kFixedStamp;
using testing::LogCapture;
using testing::TransportHarness;

std::string S(const std::string& s) {
    return s;
}
const std::string kStamp = kFixedStamp;

class Twsend : public ::testing::Test {
  protected:
    TransportHarness h;
    FakeSockets& net = h.sockets;
    StatusChannel ch() { return h.channel(); }
};

TEST_F(Twsend, EachDestinationGetsTheTextAndOneZeroByteOnItsPort) {
    net.addHost("a", {"10.0.0.1"});
    net.addHost("b", {"10.0.0.2"});
    net.addHost("fe80::1", {"fe80::1"});
    EXPECT_EQ(twsend(ch(), "a;b:2000;[fe80::1]:3000", "status X.cpu green ok"), 0);

    ASSERT_EQ(net.resolves.size(), 3u);
    EXPECT_EQ(net.resolves[0].host, "a");
    EXPECT_EQ(net.resolves[0].port, 1984);
    EXPECT_EQ(net.resolves[1].host, "b");
    EXPECT_EQ(net.resolves[1].port, 2000);
    EXPECT_EQ(net.resolves[2].host, "fe80::1");
    EXPECT_EQ(net.resolves[2].port, 3000);
    ASSERT_EQ(net.deliveries.size(), 3u);
    const std::string wire = S("status X.cpu green ok") + '\0';
    EXPECT_EQ(net.deliveries[0].address, "10.0.0.1");
    EXPECT_EQ(net.deliveries[2].address, "fe80::1");
    EXPECT_EQ(net.deliveries[2].port, 3000);
    for (const auto& d : net.deliveries) EXPECT_EQ(d.bytes, wire);
    EXPECT_EQ(net.opened, 3);
    EXPECT_EQ(net.closed, 3);
    EXPECT_EQ(net.shutdowns, 3);
}

TEST_F(Twsend, PortComesFromTheLow16BitsOfIPport) {
    h.cfg.ipport = 70000;
    net.addHost("b", {"10.0.0.2"});
    twsend(ch(), "b;b:0;b:70000;b:abc", "x");
    ASSERT_EQ(net.deliveries.size(), 4u);
    for (const auto& d : net.deliveries) EXPECT_EQ(d.port, 4464);
}

TEST_F(Twsend, ResolverHintsFollowTheAgentsOwnAddressRules) {
    net.addHost("10.1.2.3", {"10.1.2.3"});
    net.addHost("::1", {"::1"});
    net.addHost("010.1.2.3", {"10.1.2.3"});
    net.addHost("server", {"10.9.9.9"});
    twsend(ch(), "10.1.2.3;[::1]:5000;010.1.2.3;server", "x");
    ASSERT_EQ(net.resolves.size(), 4u);
    EXPECT_EQ(net.resolves[0].hints.family, platform::AddressFamily::IPv4);
    EXPECT_TRUE(net.resolves[0].hints.numericHost);
    EXPECT_EQ(net.resolves[1].hints.family, platform::AddressFamily::IPv6);
    EXPECT_TRUE(net.resolves[1].hints.numericHost);
    // A leading zero makes it a name to the agent, whatever the C library says.
    EXPECT_EQ(net.resolves[2].hints.family, platform::AddressFamily::Unspecified);
    EXPECT_FALSE(net.resolves[2].hints.numericHost);
    EXPECT_FALSE(net.resolves[3].hints.numericHost);
}

TEST_F(Twsend, LoopbackIsSkippedUnlessItIsAllThereIs) {
    net.addHost("both", {"127.0.0.1", "10.0.0.7", "10.0.0.8"});
    net.addHost("v6too", {"127.0.0.1", "::1"});
    net.addHost("local", {"127.0.0.1"});
    net.addHost("twice", {"127.0.0.1", "127.0.0.1"});
    twsend(ch(), "both;v6too;local;twice", "x");
    ASSERT_EQ(net.connects.size(), 4u);
    EXPECT_EQ(net.connects[0], "10.0.0.7 1984");
    EXPECT_EQ(net.connects[1], "::1 1984");
    EXPECT_EQ(net.connects[2], "127.0.0.1 1984");
    EXPECT_EQ(net.connects[3], "127.0.0.1 1984");
}

TEST_F(Twsend, LogLinesInOrderForSentUnknownAndRefusedDestinations) {
    net.addHost("good", {"10.0.0.1"});
    net.addHost("bad", {"10.0.0.2"});
    net.refuse["10.0.0.2"] = 111;
    LogCapture log;
    twsend(ch(), "good;[nohost];bad:2000", "hello");
    std::string expected =
        "\r\nSend <hello>\r\n"
        "MAKING SOCKET CONNECTION...\r\n"
        "Sending to: 10.0.0.1\r\n"
        "NO CRYPTO TO 10.0.0.1\r\n"
        "SOCKET CONNECTED OK...\r\n"
        "CONNECTING TO twd... at " +
        kStamp +
        "\r\n"
        "CONNECTED TO twd on port 1984 ... at " +
        kStamp +
        "\r\n"
        "SENDING ... at " +
        kStamp +
        "\r\n"
        "\r\nSENDING <hello> to good\r\n"
        "\r\nSent <6> bytes to <good> at " +
        kStamp +
        "\r\n"
        "MAKING SOCKET CONNECTION...\r\n"
        "tw: Unknown host: nohost - resolver error -2\r\n"
        "MAKING SOCKET CONNECTION...\r\n"
        "Sending to: 10.0.0.2\r\n"
        "NO CRYPTO TO 10.0.0.2\r\n"
        "SOCKET CONNECTED OK...\r\n"
        "CONNECTING TO twd... at " +
        kStamp +
        "\r\n"
        "\r\ntw: CAN'T CONNECT TO twd @ <bad: 2000> at " +
        kStamp +
        "\r\n"
        " error: 111\r\n";
    EXPECT_EQ(log.text(), expected);
    EXPECT_EQ(net.opened, 2);
    EXPECT_TRUE(net.openHandles.empty()) << "a socket was not closed";
}

// A send that broke off after a first part used to be logged as sent,
// without its error.
TEST_F(Twsend, FailedOrPartialSendIsLoggedWithItsErrorFaultPartialLoggedAsSent) {
    net.addHost("good", {"10.0.0.1"});
    net.failSend = 104;
    for (long after : {0L, 2L}) {
        net.failSendAfter = after;
        LogCapture log;
        twsend(ch(), "good", "hello");
        const std::string count = after ? std::to_string(after) : "-1";
        EXPECT_NE(log.text().find("\r\nSent <" + count + "> bytes to <good> at " + kStamp +
                                  "\r\nerror: 104\r\n"),
                  std::string::npos)
            << log.text();
        EXPECT_TRUE(net.openHandles.empty());
    }
}

TEST_F(Twsend, SocketCreationFailureAbandonsTheRestOfTheSend) {
    net.addHost("a", {"10.0.0.1"});
    net.addHost("b", {"10.0.0.2"});
    net.failOpen = 24;
    LogCapture log;
    EXPECT_EQ(twsend(ch(), "a;b", "x"), 0);
    EXPECT_EQ(log.text(),
              "\r\nSend <x>\r\nMAKING SOCKET CONNECTION...\r\nSending to: 10.0.0.1\r\n"
              "NO CRYPTO TO 10.0.0.1\r\nCan't open stream socket\r\nerror: 24\r\n");
    EXPECT_EQ(net.resolves.size(), 1u);
}

TEST_F(Twsend, KeyCodeEncryptsOnceAndBothServersGetTheSameEnvelope) {
    h.cfg.keycode = "secret\r\n";
    net.addHost("a", {"10.0.0.1"});
    net.addHost("b", {"10.0.0.2"});
    const std::string text(100, 'm');
    LogCapture log;
    twsend(ch(), "a;b", text);

    ASSERT_EQ(net.deliveries.size(), 2u);
    EXPECT_EQ(net.deliveries[0].bytes.size(), 112u);
    EXPECT_EQ(net.deliveries[0].bytes, net.deliveries[1].bytes);
    EXPECT_EQ(net.deliveries[0].bytes.substr(0, 7), "crypto\n");
    EXPECT_EQ(net.deliveries[0].bytes.back(), '\0');

    std::string envelope;
    encryptmessage(platform::cryptoLibrary(), text, envelope, "secret-0");
    EXPECT_EQ(net.deliveries[0].bytes, envelope + '\0');
    const std::string shown(envelope.c_str());  // the log shows it up to a zero byte
    std::string l = log.text();
    size_t crypto = l.find("Sending to: 10.0.0.1\r\nCRYPTOLEN:111 118\r\nCRYPTODATA:" + shown +
                           "\r\nSOCKET CONNECTED OK...");
    size_t already =
        l.find("Sending to: 10.0.0.2\r\nALREADY CRYPTED: " + shown + "\r\nSOCKET CONNECTED OK...");
    EXPECT_NE(crypto, std::string::npos) << l;
    EXPECT_NE(already, std::string::npos) << l;
    EXPECT_LT(crypto, already);
    EXPECT_EQ(l.find("CRYPTOLEN", l.find("CRYPTOLEN") + 1), std::string::npos);
    EXPECT_EQ(l.find("NO CRYPTO"), std::string::npos);
}

TEST_F(Twsend, EmptyListsBlanksAndLongListsNeverCrash) {
    net.addHost("a", {"10.0.0.1"});
    LogCapture log;
    EXPECT_EQ(twsend(ch(), "", "x"), 0);
    EXPECT_EQ(twsend(ch(), ";;;", "x"), 0);
    EXPECT_EQ(log.text(), "\r\nSend <x>\r\n\r\nSend <x>\r\n");
    EXPECT_TRUE(net.resolves.empty());

    twsend(ch(), ";;my host;;a", "x");  // the blank is part of the name
    ASSERT_EQ(net.resolves.size(), 2u);
    EXPECT_EQ(net.resolves[0].host, "my host");
    EXPECT_EQ(net.deliveries.size(), 1u);

    std::string many;
    for (int i = 0; i < 200; ++i) many += "a:" + std::to_string(2000 + i) + ";";
    net.resolves.clear();
    twsend(ch(), many, "x");
    EXPECT_EQ(net.resolves.size(), 1023u / 7);
    EXPECT_TRUE(net.openHandles.empty());
}

TEST_F(Twsend, TextEndsAtAnEmbeddedZeroByteSoTheWireCarriesExactlyOne) {
    net.addHost("a", {"10.0.0.1"});
    twsend(ch(), "a", std::string("abc\0def", 7));
    ASSERT_EQ(net.deliveries.size(), 1u);
    EXPECT_EQ(net.deliveries[0].bytes, std::string("abc\0", 4));
}

class Twpage : public Twsend {
  protected:
    void SetUp() override {
        h.cfg.sendPageAlerts = "Y";
        h.cfg.twpage = "pager";
        net.addHost("pager", {"10.0.0.9"});
    }
    std::vector<std::string> paged() {
        std::vector<std::string> out;
        for (const auto& d : net.deliveries) out.push_back(d.bytes.substr(0, d.bytes.size() - 1));
        return out;
    }
};

TEST_F(Twpage, ColourWordMustBeAPageLevelAndPagedTextStartsWithPage) {
    const std::string yellow = "status HOST.disk yellow Tue Dec 08 [host] C: 91%";
    const std::string red = "status HOST.disk red Tue Dec 08 [host] C: 99%";
    twpage(ch(), "display", yellow);
    EXPECT_TRUE(net.deliveries.empty());
    twpage(ch(), "display", red);
    ASSERT_EQ(paged().size(), 1u);
    EXPECT_EQ(paged()[0], "page   HOST.disk red Tue Dec 08 [host] C: 99%");
    EXPECT_EQ(net.deliveries[0].address, "10.0.0.9");  // TWPAGE, not the argument

    h.cfg.pagelevels = "red purple ";
    twpage(ch(), "display", "status HOST.x purple y");
    twpage(ch(), "display", "status HOST.x Red y");  // case counts
    twpage(ch(), "display", "status HOST.x redx y");
    EXPECT_EQ(paged().size(), 2u);
    // Words are separated by any white space.
    twpage(ch(), "display", "status HOST.mem red\r\nbody");
    EXPECT_EQ(paged().size(), 3u);
    // The test is for a substring: "ple " lies inside "purple ".
    twpage(ch(), "display", "status HOST.x ple y");
    EXPECT_EQ(paged().size(), 4u);
}

TEST_F(Twpage, ShortTextsArePagedAndShortOnesBecomeJustPage) {
    twpage(ch(), "d", "status HOST.x");  // two words: the search text is " "
    twpage(ch(), "d", "a b");
    ASSERT_EQ(paged().size(), 2u);
    EXPECT_EQ(paged()[0], "page   HOST.x");
    EXPECT_EQ(paged()[1], "page  ");
}

TEST_F(Twpage, LongTextIsCutTo20999Characters) {
    std::string text = "status HOST.x red " + std::string(30000, 'z');
    twpage(ch(), "d", text);
    ASSERT_EQ(paged().size(), 1u);
    EXPECT_EQ(paged()[0].size(), 20999u);
    EXPECT_EQ(paged()[0].substr(0, 17), "page   HOST.x red");
}

TEST_F(Twpage, SwitchedOffOnlyLogsAndLowerCaseYIsOn) {
    h.cfg.sendPageAlerts = "N";
    {
        LogCapture log;
        twpage(ch(), "display;list", "status H.x red");
        EXPECT_EQ(log.text(), "ip: display;list\r\ndata: status H.x red\r\ntwpageon: N\r\n");
    }
    EXPECT_TRUE(net.deliveries.empty());
    h.cfg.sendPageAlerts = "y";
    twpage(ch(), "d", "status H.x red");
    EXPECT_EQ(paged().size(), 1u);
}

// ---- bounded waits ----------------------------------------------------------

TEST_F(Twsend, EveryNetworkWaitIsBounded) {
    net.addHost("a", {"10.0.0.1"});
    twsend(ch(), "a", "x");
    std::vector<std::string> calls;
    for (const auto& b : net.bounds) calls.push_back(b.call + " " + std::to_string(b.timeoutMs));
    EXPECT_EQ(calls, (std::vector<std::string>{"resolve a 10000", "connect 10.0.0.1 10000",
                                               "send 30000"}));
}

TEST_F(Twsend, DeadServerCostsOneTimeOutPerCycleNotOnePerMessage) {
    LogCapture log;
    net.addHost("dead", {"10.0.0.9"});
    net.addHost("good", {"10.0.0.1"});
    net.dropSyns.insert("10.0.0.9");
    net.silentNames.insert("slow");
    h.cycle = 4;
    twsend(ch(), "dead;slow;good", "first");
    twsend(ch(), "dead;slow;good:1985", "second");
    EXPECT_EQ(net.connects,
              (std::vector<std::string>{"10.0.0.9 1984", "10.0.0.1 1984", "10.0.0.1 1985"}));
    ASSERT_EQ(net.deliveries.size(), 2u);
    const std::string t = log.text();
    EXPECT_NE(t.find("tw: Unknown host: slow - no answer within 10 s\r\n"), std::string::npos) << t;
    EXPECT_NE(t.find("tw: <dead:1984> did not answer in time; skipped for the rest of this "
                     "cycle\r\n"),
              std::string::npos);
    EXPECT_NE(t.find("tw: <slow:1984> skipped: it did not answer in time earlier in this "
                     "cycle\r\n"),
              std::string::npos);

    // The next cycle tries them again.
    h.cycle = 5;
    twsend(ch(), "dead;slow", "third");
    EXPECT_EQ(net.connects.size(), 4u);
    EXPECT_EQ(net.resolves.size(), 6u);
    EXPECT_EQ(net.opened, net.closed);
}

TEST_F(Twsend, StopEndsTheSendBeforeTheNextDestination) {
    LogCapture log;
    net.addHost("a", {"10.0.0.1"});
    net.addHost("b", {"10.0.0.2"});
    net.onConnect = [this] { h.stop = true; };
    twsend(ch(), "a;b;a", "x");
    EXPECT_EQ(net.connects, std::vector<std::string>{"10.0.0.1 1984"});
    EXPECT_NE(log.text().find("twsend(): stopping; the rest of the send is abandoned\r\n"),
              std::string::npos);
    EXPECT_EQ(net.opened, net.closed);
}

TEST_F(Twsend, OverlongKeyCodeSendsNothingRatherThanSendingInClear) {
    LogCapture log;
    net.addHost("a", {"10.0.0.1"});
    h.cfg.keycodeUnusable = true;
    EXPECT_EQ(twsend(ch(), "a", "status X.cpu green secret"), 1);
    EXPECT_TRUE(net.connects.empty());
    EXPECT_NE(log.text().find("twsend(): the KeyCode cannot be used; the message is not sent\r\n"),
              std::string::npos);
}

// ---- over the loopback to the real receiver -----------------------------
// (Linux sockets and a twrecv child process; the Windows build checks the
// same path end to end under Wine.)
#ifndef _WIN32

bool ipv6Loopback() {
    int fd = socket(AF_INET6, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

class TwsendLoopback : public ::testing::Test {
  protected:
    TwsendLoopback() : sockets(platform::makePosixSockets()) { h.net = sockets.get(); }
    std::vector<nlohmann::json> messages(const testing::TwrecvProcess& r) {
        std::vector<nlohmann::json> out;
        for (const std::string& line : r.lines())
            if (!line.empty()) out.push_back(nlohmann::json::parse(line));
        return out;
    }
    TransportHarness h;
    std::unique_ptr<platform::Sockets> sockets;
};

TEST_F(TwsendLoopback, ThreeDestinationsEachReceiveTheTextAndOneZeroByte) {
    if (!ipv6Loopback()) GTEST_SKIP() << "no IPv6 loopback on this host";
    testing::TwrecvProcess recv;
    ASSERT_TRUE(recv.start({"--json", "--count", "3"}));
    h.cfg.ipport = recv.port();
    std::string p = std::to_string(recv.port());
    const std::string text = "status HOST.cpu green Tue Dec 08 [host] up: 3 days\r\nline 2";
    EXPECT_EQ(twsend(h.channel(), "127.0.0.1;127.0.0.1:" + p + ";[::1]:" + p, text), 0);
    EXPECT_EQ(recv.wait(), 0);

    auto msgs = messages(recv);
    ASSERT_EQ(msgs.size(), 3u) << recv.output();
    int v4 = 0, v6 = 0;
    for (const auto& m : msgs) {
        EXPECT_EQ(m["text"], text);
        EXPECT_EQ(m["bytes"], text.size() + 1);
        EXPECT_EQ(m["terminated"], true);
        EXPECT_EQ(m["encrypted"], false);
        std::string peer = m["peer"];
        v4 += peer.rfind("127.0.0.1:", 0) == 0;
        v6 += peer.rfind("[::1]:", 0) == 0;
    }
    EXPECT_EQ(v4, 2);
    EXPECT_EQ(v6, 1);
}

TEST_F(TwsendLoopback, EnvelopesToTwoServersDecryptWithTheKeyCode) {
    testing::TwrecvProcess recv;
    ASSERT_TRUE(recv.start({"--json", "--count", "2", "--key", "secret"}));
    h.cfg.keycode = "secret";
    std::string p = std::to_string(recv.port());
    const std::string text(100, 'e');
    twsend(h.channel(), "127.0.0.1:" + p + ";localhost:" + p, text);
    EXPECT_EQ(recv.wait(), 0);
    auto msgs = messages(recv);
    ASSERT_EQ(msgs.size(), 2u) << recv.output();
    for (const auto& m : msgs) {
        EXPECT_EQ(m["text"], text);
        EXPECT_EQ(m["bytes"], 112);
        EXPECT_EQ(m["encrypted"], true);
    }
}

TEST_F(TwsendLoopback, RefusedDestinationIsLoggedAndTheNextOneStillReceives) {
    // A port that was free a moment ago: nobody listens there.
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    socklen_t len = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    int closedPort = ntohs(sa.sin_port);
    close(fd);

    testing::TwrecvProcess recv;
    ASSERT_TRUE(recv.start({"--json", "--count", "1"}));
    LogCapture log;
    twsend(h.channel(),
           "127.0.0.1:" + std::to_string(closedPort) + ";127.0.0.1:" + std::to_string(recv.port()),
           "after the refusal");
    EXPECT_EQ(recv.wait(), 0);
    auto msgs = messages(recv);
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0]["text"], "after the refusal");
    std::string port5 = strformat("%5d", closedPort);
    EXPECT_NE(log.text().find("\r\ntw: CAN'T CONNECT TO twd @ <127.0.0.1:" + port5 + "> at "),
              std::string::npos)
        << log.text();
    EXPECT_NE(log.text().find(" error: 111\r\n"), std::string::npos);
}

using testing::FullBacklog;

TEST_F(TwsendLoopback, StopEndsAConnectToAServerThatDropsSynsAndNoMoreIsTried) {
    FullBacklog dead;
    testing::TwrecvProcess recv;
    ASSERT_TRUE(recv.start({"--json", "--count", "1"}));
    LogCapture log;
    // The stop comes while the connect waits (the kernel alone would wait
    // about two minutes).
    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        h.stop = true;
    });
    twsend(h.channel(),
           "127.0.0.1:" + std::to_string(dead.port) + ";127.0.0.1:" + std::to_string(recv.port()),
           "never");
    stopper.join();
    EXPECT_NE(log.text().find("twsend(): stopping; the rest of the send is abandoned\r\n"),
              std::string::npos)
        << log.text();

    // Without the stop the next message reaches the good server.
    h.stop = false;
    twsend(h.channel(), "127.0.0.1:" + std::to_string(recv.port()), "later");
    EXPECT_EQ(recv.wait(), 0);
    auto msgs = messages(recv);
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0]["text"], "later");
}

#endif  // _WIN32

}  // namespace
}  // namespace tw
