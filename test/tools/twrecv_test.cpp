#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <sstream>

#include "agent/transport/crypto.h"
#include "platform/crypto_library.h"
#include "test/support/fake_platform.h"
#include "test/support/process.h"
#include "test/support/twrecv_process.h"
#include "tools/twrecv/receiver.h"

namespace tw::recv {
namespace {

std::string scratch(const std::string& name) {
    return ::testing::TempDir() + "twrecv_" + std::to_string(getpid()) + "_" + name;
}

// An envelope made by the openssl command line alone: key and IV from its
// own EVP_BytesToKey, then its DES-EDE3-CBC over the text and a zero byte.
std::string opensslEnvelope(const std::string& text, const std::string& keycode) {
    std::string kv = testing::commandOutput(
        "openssl enc -des-ede3-cbc -md md5 -S 7475766938303237 -pass 'pass:" + keycode +
        "-0' -P 2>/dev/null");
    std::string key = kv.substr(kv.find("key=") + 4, 48);
    std::string iv = kv.substr(kv.find("iv =") + 4, 16);
    std::string in = scratch("plain.bin"), out = scratch("cipher.bin");
    {
        std::ofstream f(in, std::ios::binary);
        f << text << '\0';
    }
    std::string cmd =
        "openssl enc -des-ede3-cbc -K " + key + " -iv " + iv + " -in " + in + " -out " + out;
    if (std::system(cmd.c_str()) != 0) return {};
    std::string cipher = testing::readFile(out);
    std::remove(in.c_str());
    std::remove(out.c_str());
    return "crypto\n" + cipher;
}

std::vector<Message> receive(const std::string& bytes, const std::string& key = {},
                             size_t chunk = 0) {
    Assembler a(key);
    std::vector<Message> out;
    if (chunk == 0) chunk = bytes.size() ? bytes.size() : 1;
    for (size_t i = 0; i < bytes.size(); i += chunk)
        a.feed(std::string_view(bytes).substr(i, chunk), out);
    a.finish(out);
    return out;
}

TEST(TwrecvAssembler, PlainTextsSplitAtZeroBytesInAnyChunking) {
    const std::string wire = std::string("first\0second\r\nline\0", 19);
    for (size_t chunk : {size_t(1), size_t(3), size_t(0)}) {
        auto msgs = receive(wire, {}, chunk);
        ASSERT_EQ(msgs.size(), 2u) << chunk;
        EXPECT_EQ(msgs[0].text, "first");
        EXPECT_EQ(msgs[0].wireBytes, 6u);
        EXPECT_EQ(msgs[1].text, "second\r\nline");
        EXPECT_TRUE(msgs[1].terminated);
        EXPECT_FALSE(msgs[1].encrypted);
    }
}

TEST(TwrecvAssembler, ExtraZeroBytesAndMissingTerminatorAreVisible) {
    auto msgs = receive(std::string("a\0\0b", 4));
    ASSERT_EQ(msgs.size(), 3u);
    EXPECT_EQ(msgs[1].text, "");
    EXPECT_EQ(msgs[1].wireBytes, 1u);
    EXPECT_EQ(msgs[2].text, "b");
    EXPECT_FALSE(msgs[2].terminated);
    EXPECT_TRUE(receive("").empty());
    // Prefixes of the envelope header are plain texts.
    msgs = receive(std::string("cry\0", 4));
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].text, "cry");
    msgs = receive("crypto");
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].text, "crypto");
    EXPECT_FALSE(msgs[0].terminated);
}

TEST(TwrecvAssembler, MessageIsCappedAt1MiBAndTheNextOneIsIntact) {
    std::string wire(kMessageLimit + 5000, 'g');
    wire += '\0';
    wire += std::string("next", 4) + '\0';
    auto msgs = receive(wire, {}, 65536);
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_TRUE(msgs[0].truncated);
    EXPECT_EQ(msgs[0].text.size(), kMessageLimit);
    EXPECT_EQ(msgs[0].wireBytes, kMessageLimit + 5001);
    EXPECT_EQ(msgs[1].text, "next");
    EXPECT_FALSE(msgs[1].truncated);
}

TEST(TwrecvAssembler, OpensAnEnvelopeMadeByTheOpensslCommandLine) {
    std::string env = opensslEnvelope("status HOST.disk red C: 99%", "secret");
    ASSERT_GT(env.size(), 7u);
    auto msgs = receive(env + '\0', "secret", 5);
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_TRUE(msgs[0].encrypted);
    EXPECT_TRUE(msgs[0].error.empty()) << msgs[0].error;
    EXPECT_EQ(msgs[0].text, "status HOST.disk red C: 99%");
    EXPECT_TRUE(msgs[0].terminated);
    EXPECT_EQ(msgs[0].wireBytes, env.size() + 1);
    // Without the agent's zero byte the envelope still opens.
    msgs = receive(env, "secret\r\n");
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].text, "status HOST.disk red C: 99%");
    EXPECT_FALSE(msgs[0].terminated);
}

TEST(TwrecvAssembler, EnvelopeWhoseCiphertextHoldsZeroBytesIsNotSplit) {
    std::string env, text;
    for (int i = 0; i < 10000; ++i) {
        text = "status HOST.cpu green " + std::to_string(i);
        encryptmessage(platform::cryptoLibrary(), text, env, "secret-0");
        if (env.find('\0') != std::string::npos) break;
    }
    ASSERT_NE(env.find('\0'), std::string::npos);
    auto msgs = receive(env + '\0', "secret", 3);
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].text, text);
}

TEST(TwrecvAssembler, WrongOrMissingKeyAndBrokenEnvelopesGiveErrorsNotGarbage) {
    std::string env;
    encryptmessage(platform::cryptoLibrary(), "the secret text", env, "secret-0");
    auto msgs = receive(env + '\0', "wrong");
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_NE(msgs[0].error.find("wrong key"), std::string::npos) << msgs[0].error;
    EXPECT_TRUE(msgs[0].text.empty());

    msgs = receive(env + '\0', "");
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_NE(msgs[0].error.find("--key"), std::string::npos);

    msgs = receive("crypto\nabcde", "secret");
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_NE(msgs[0].error.find("malformed"), std::string::npos);

    msgs = receive("crypto\n", "secret");
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_FALSE(msgs[0].error.empty());

    std::string huge = "crypto\n" + std::string(kMessageLimit + 64, 'x');
    msgs = receive(huge, "secret", 65536);
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_TRUE(msgs[0].truncated);
    EXPECT_FALSE(msgs[0].error.empty());
}

TEST(TwrecvAssembler, RandomBytesNeverCrashOrExceedTheCap) {
    std::mt19937 rng(1984);
    for (int round = 0; round < 100; ++round) {
        std::string bytes(rng() % 2048, '\0');
        for (char& c : bytes) c = static_cast<char>(rng() % (round % 2 ? 256 : 4));
        if (round % 3 == 0) bytes = "crypto\n" + bytes;
        for (const Message& m : receive(bytes, "k", 1 + rng() % 100)) {
            EXPECT_LE(m.text.size(), kMessageLimit);
            std::string j = formatjson(m, "peer", "now");
            EXPECT_TRUE(nlohmann::json::accept(j)) << j;
        }
    }
}

TEST(TwrecvFormat, TextAndJsonFormsCarryPeerTimeAndState) {
    Message m;
    m.text = "status H.x red";
    m.wireBytes = 15;
    EXPECT_EQ(formattext(m, "127.0.0.1:5000", "T"),
              "=== T from 127.0.0.1:5000: 15 bytes\nstatus H.x red\n");
    m.truncated = true;
    m.terminated = false;
    EXPECT_NE(formattext(m, "p", "T").find(", no terminating zero byte, CUT: longer than 1048576"),
              std::string::npos);
    Message e;
    e.encrypted = true;
    e.error = "cannot decrypt: wrong key";
    EXPECT_EQ(formattext(e, "p", "T"),
              "=== T from p: 0 bytes, encrypted\ntwrecv: ERROR: cannot decrypt: wrong key\n");

    Message bad;
    bad.text = std::string("ok \xff\xfe end", 9);
    std::string line = formatjson(bad, "[::1]:9", "T");
    ASSERT_EQ(line.back(), '\n');
    auto j = nlohmann::json::parse(line);
    EXPECT_EQ(j["peer"], "[::1]:9");
    EXPECT_EQ(j["text"], "ok \xEF\xBF\xBD\xEF\xBF\xBD end");
    EXPECT_FALSE(j.contains("error"));
}

TEST(TwrecvOptions, DefaultsValuesAndErrors) {
    std::string err;
    auto o = parseoptions({}, err);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->port, 1984);
    EXPECT_EQ(o->count, 0u);
    o = parseoptions({"--port", "0", "--bind=::1", "--key", "k", "--out", "/tmp", "--json",
                      "--count=5", "--idle", "2", "--quiet"},
                     err);
    ASSERT_TRUE(o) << err;
    EXPECT_EQ(o->port, 0);
    EXPECT_EQ(o->bind, "::1");
    EXPECT_EQ(o->key, "k");
    EXPECT_EQ(o->outDir, "/tmp");
    EXPECT_TRUE(o->json && o->quiet);
    EXPECT_EQ(o->count, 5u);
    EXPECT_EQ(o->idleSeconds, 2);
    for (std::vector<std::string> bad : {std::vector<std::string>{"--port", "70000"},
                                         {"--port", "abc"},
                                         {"--count", "0"},
                                         {"--port"},
                                         {"--bogus"},
                                         {"--json=1"},
                                         {"--out", ""},
                                         {"--idle", "-1"}}) {
        err.clear();
        EXPECT_FALSE(parseoptions(bad, err)) << bad[0];
        EXPECT_FALSE(err.empty());
    }
}

TEST(TwrecvOptions, KeyFileAndDeadline) {
    const std::string file = scratch("key");
    {
        std::ofstream f(file, std::ios::binary);
        f << "s3cret\r\nsecond line\n";
    }
    std::string err;
    auto o = parseoptions({"--key-file", file, "--deadline", "5"}, err);
    ASSERT_TRUE(o) << err;
    EXPECT_EQ(o->key, "s3cret");
    EXPECT_EQ(o->deadlineSeconds, 5);
    EXPECT_EQ(parseoptions({}, err)->deadlineSeconds, 60);
    for (std::vector<std::string> bad : {std::vector<std::string>{"--key-file", file + ".none"},
                                         {"--key-file", file, "--key", "k"},
                                         {"--deadline", "0"}}) {
        err.clear();
        EXPECT_FALSE(parseoptions(bad, err)) << bad[0];
        EXPECT_FALSE(err.empty());
    }
    std::remove(file.c_str());
}

TEST(TwrecvLimits, SlowestConnectionOlderThanTheGraceMakesRoom) {
    const int64_t now = 100000;
    std::vector<ConnectionLoad> conns = {
        {now - 60000, 12},    // a trickler: 12 bytes in a minute
        {now - 10000, 5000},  // busy
        {now - 500, 0},       // just accepted: not yet had its chance
        {now - 90000, 18},    // the same rate as the first, but older
    };
    EXPECT_EQ(slowestconnection(conns, now), 3u);
    conns[0].bytes = 1;
    EXPECT_EQ(slowestconnection(conns, now), 0u);
    EXPECT_EQ(slowestconnection({{now - 100, 0}, {now, 0}}, now), static_cast<size_t>(-1));
    EXPECT_EQ(slowestconnection({}, now), static_cast<size_t>(-1));
}

// ---- the program ---------------------------------------------------------

bool sendRaw(uint16_t port, const std::string& bytes) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            ok = false;
        else
            done += static_cast<size_t>(n);
    }
    close(fd);
    return ok;
}

TEST(TwrecvProgram, OversizeGarbageIsCutAndTheNextMessageStillArrives) {
    testing::TwrecvProcess r;
    ASSERT_TRUE(r.start({"--json", "--count", "2"}));
    ASSERT_TRUE(sendRaw(r.port(), std::string(2 * kMessageLimit, '\x01')));
    ASSERT_TRUE(sendRaw(r.port(), std::string("fine", 4) + '\0'));
    EXPECT_EQ(r.wait(), 0);
    auto lines = r.lines();
    ASSERT_EQ(lines.size(), 2u) << r.output().substr(0, 300);
    auto first = nlohmann::json::parse(lines[0]);
    auto second = nlohmann::json::parse(lines[1]);
    // The connections may finish in either order.
    if (first["truncated"] == false) std::swap(first, second);
    EXPECT_EQ(first["truncated"], true);
    EXPECT_EQ(first["text"].get<std::string>().size(), kMessageLimit);
    EXPECT_EQ(second["text"], "fine");
}

TEST(TwrecvProgram, WrongKeyPrintsAClearErrorLine) {
    std::string env;
    encryptmessage(platform::cryptoLibrary(), "status H.x red", env, "secret-0");
    testing::TwrecvProcess r;
    ASSERT_TRUE(r.start({"--key", "not-the-key", "--count", "1"}));
    ASSERT_TRUE(sendRaw(r.port(), env + '\0'));
    EXPECT_EQ(r.wait(), 0);
    EXPECT_NE(r.output().find("twrecv: ERROR: cannot decrypt: wrong key"), std::string::npos)
        << r.output();
    EXPECT_EQ(r.output().find("status H.x red"), std::string::npos);
}

TEST(TwrecvProgram, OutDirectoryGetsOneFilePerMessage) {
    std::string dir = scratch("out");
    std::filesystem::create_directories(dir);
    testing::TwrecvProcess r;
    ASSERT_TRUE(r.start({"--out", dir, "--count", "2", "--quiet"}));
    ASSERT_TRUE(sendRaw(r.port(), std::string("one\0", 4)));
    ASSERT_TRUE(sendRaw(r.port(), std::string("two\r\n\0", 6)));
    EXPECT_EQ(r.wait(), 0);
    std::set<std::string> texts = {testing::readFile(dir + "/msg-000001.txt"),
                                   testing::readFile(dir + "/msg-000002.txt")};
    EXPECT_EQ(texts, (std::set<std::string>{"one", "two\r\n"}));
    EXPECT_EQ(r.output(), "");  // quiet
    std::filesystem::remove_all(dir);
}

TEST(TwrecvProgram, PeerThatNeverClosesIsEndedAfterIdleTimeWithWhatItSent) {
    testing::TwrecvProcess r;
    ASSERT_TRUE(r.start({"--bind", "127.0.0.1", "--idle", "1", "--json", "--count", "1"}));
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(r.port());
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(send(fd, "half a message", 14, MSG_NOSIGNAL), 14);
    // No zero byte and no close: twrecv gives up on the connection by itself.
    EXPECT_EQ(r.wait(10000), 0);
    close(fd);
    auto lines = r.lines();
    ASSERT_EQ(lines.size(), 1u) << r.output();
    auto j = nlohmann::json::parse(lines[0]);
    EXPECT_EQ(j["text"], "half a message");
    EXPECT_EQ(j["terminated"], false);
}

// With its IPv4 port held by another program twrecv used to say it was
// listening and serve IPv6 only, while senders to 127.0.0.1 reached the
// other program.
TEST(TwrecvProgram, PortTakenInOneFamilyIsAnErrorFaultClaimedToListen) {
    int other = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    ASSERT_EQ(bind(other, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(listen(other, 1), 0);
    ASSERT_EQ(getsockname(other, reinterpret_cast<sockaddr*>(&sa), &len), 0);
    const std::string port = std::to_string(ntohs(sa.sin_port));
    const std::string out = scratch("taken.out"), err = scratch("taken.err");
    int status = std::system(
        ("timeout 10 " TW_BINARY_DIR "/twrecv --port " + port + " >" + out + " 2>" + err).c_str());
    close(other);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(testing::readFile(out), "");
    EXPECT_EQ(testing::readFile(err),
              "twrecv: cannot listen on port " + port + " for IPv4: Address already in use\n");
    std::remove(out.c_str());
    std::remove(err.c_str());
}

int connectTo(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

TEST(TwrecvProgram, PeersHoldingEveryConnectionCannotKeepAGoodSenderOut) {
    testing::TwrecvProcess r;
    ASSERT_TRUE(r.start({"--bind", "127.0.0.1", "--json", "--count", "1"}));
    // 256 connections, each with one byte of a message that never ends.
    std::vector<int> hogs;
    for (int i = 0; i < 256; ++i) {
        int fd = connectTo(r.port());
        ASSERT_GE(fd, 0) << i;
        send(fd, "x", 1, MSG_NOSIGNAL);
        hogs.push_back(fd);
    }
    testing::sleepMs(static_cast<int>(kGraceMs) + 500);
    ASSERT_TRUE(sendRaw(r.port(), std::string("status H.cpu green", 18) + '\0'));
    // Well before the hogs' idle time (30 s) runs out.
    EXPECT_EQ(r.wait(10000), 0);
    for (int fd : hogs) close(fd);
    auto lines = r.lines();
    ASSERT_EQ(lines.size(), 1u) << r.output();
    EXPECT_EQ(nlohmann::json::parse(lines[0])["text"], "status H.cpu green");
}

TEST(TwrecvProgram, MessageThatTricklesInIsEndedAtItsDeadline) {
    testing::TwrecvProcess r;
    ASSERT_TRUE(r.start({"--bind", "127.0.0.1", "--deadline", "1", "--json", "--count", "1"}));
    int fd = connectTo(r.port());
    ASSERT_GE(fd, 0);
    // One byte every 200 ms for 2.4 s: never idle, never finished.
    for (int i = 0; i < 12; ++i) {
        send(fd, "t", 1, MSG_NOSIGNAL);
        testing::sleepMs(200);
    }
    EXPECT_EQ(r.wait(5000), 0);
    close(fd);
    auto lines = r.lines();
    ASSERT_EQ(lines.size(), 1u) << r.output();
    auto j = nlohmann::json::parse(lines[0]);
    EXPECT_EQ(j["terminated"], false);
    // Cut off at its deadline, well before the trickle ended.
    EXPECT_LT(j["text"].get<std::string>().size(), 10u);
}

TEST(TwrecvProgram, KeyFromAFileOpensEnvelopes) {
    const std::string file = scratch("keyfile");
    {
        std::ofstream f(file, std::ios::binary);
        f << "secret\n";
    }
    std::string env;
    encryptmessage(platform::cryptoLibrary(), "status H.x red", env, "secret-0");
    testing::TwrecvProcess r;
    ASSERT_TRUE(r.start({"--key-file", file, "--json", "--count", "1"}));
    ASSERT_TRUE(sendRaw(r.port(), env + '\0'));
    EXPECT_EQ(r.wait(), 0);
    auto lines = r.lines();
    ASSERT_EQ(lines.size(), 1u) << r.output();
    EXPECT_EQ(nlohmann::json::parse(lines[0])["text"], "status H.x red");
    std::remove(file.c_str());
}

TEST(TwrecvProgram, StopsOnSigtermAndRejectsBadOptions) {
    testing::TwrecvProcess r;
    ASSERT_TRUE(r.start({}));
    EXPECT_EQ(r.stop(), 0);
    int status = std::system(TW_BINARY_DIR "/twrecv --port abc >/dev/null 2>&1");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

}  // namespace
}  // namespace tw::recv
