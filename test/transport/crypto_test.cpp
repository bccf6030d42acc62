#include "agent/transport/crypto.h"
#include "platform/crypto_library.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "test/support/fake_platform.h"

namespace tw {
namespace {

std::string hex(const unsigned char* p, size_t n) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

std::string scratch(const std::string& name) {
    return ::testing::TempDir() + "crypto_" + std::to_string(getpid()) + "_" + name;
}

// The cross-checks need the openssl command (not there on a Windows test host).
bool haveOpensslCommand() {
    static const bool have = testing::commandOutput("openssl version").rfind("OpenSSL", 0) == 0;
    return have;
}

TEST(Passphrase, KeyCodeCutAtFirstCrThenFirstLfWithSuffix) {
    EXPECT_FALSE(passphrase("", "10.0.0.1").has_value());
    EXPECT_EQ(passphrase("secret", "10.0.0.1"), "secret-0");
    EXPECT_EQ(passphrase("secret\r\n", "10.0.0.1"), "secret-0");
    EXPECT_EQ(passphrase("a\nb\rc", "x"), "a-0");
    EXPECT_EQ(passphrase("\r\nrest", "x"), "-0");  // an empty text still encrypts
    // The address does not matter.
    EXPECT_EQ(passphrase("k", "::1"), passphrase("k", "192.168.1.1"));
}

TEST(Encryption, KeyAndIvMatchOpenSslsOwnDerivation) {
    if (!haveOpensslCommand()) GTEST_SKIP() << "no openssl command on this host";
    // openssl enc -P prints what EVP_BytesToKey makes of passphrase and salt.
    for (std::string pass : {"secret-0", "a much longer pass phrase of the KeyCode-0", "-0"}) {
        KeyMaterial km;
        ASSERT_TRUE(derivekey(*platform::cryptoLibrary(), pass, km));
        std::string out = testing::commandOutput(
            "openssl enc -des-ede3-cbc -md md5 -S 7475766938303237 -pass 'pass:" + pass +
            "' -P 2>/dev/null");
        EXPECT_NE(out.find("key=" + hex(km.key.data(), 24) + "\n"), std::string::npos) << out;
        EXPECT_NE(out.find("iv =" + hex(km.iv.data(), 8) + "\n"), std::string::npos) << out;
    }
}

TEST(Encryption, EnvelopeLayoutAndLengths) {
    std::string env;
    for (size_t n = 0; n <= 40; ++n) {
        size_t len =
            encryptmessage(platform::cryptoLibrary(), std::string(n, 'x'), env, "secret-0");
        size_t c = 8 * ((n + 1) / 8 + 1);
        EXPECT_EQ(len, 7 + c) << n;
        EXPECT_EQ(env.size(), len);
        EXPECT_EQ(env.substr(0, 7), std::string("crypto\n"));
    }
    EXPECT_EQ(encryptmessage(platform::cryptoLibrary(), std::string(100, 'm'), env, "secret-0"),
              111u);
}

TEST(Encryption, SameTextAndKeyGiveTheSameEnvelopeOthersDiffer) {
    std::string a, b, c, d;
    encryptmessage(platform::cryptoLibrary(), "status HOST.disk red", a, "secret-0");
    encryptmessage(platform::cryptoLibrary(), "status HOST.disk red", b, "secret-0");
    encryptmessage(platform::cryptoLibrary(), "status HOST.disk red", c, "other-0");
    encryptmessage(platform::cryptoLibrary(), "status HOST.disk red!", d, "secret-0");
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_NE(a, d);
}

TEST(Encryption, TextEndsAtItsFirstZeroByte) {
    std::string a, b;
    encryptmessage(platform::cryptoLibrary(), std::string("abc\0def", 7), a, "k-0");
    encryptmessage(platform::cryptoLibrary(), "abc", b, "k-0");
    EXPECT_EQ(a, b);
}

TEST(Encryption, OpenSslCommandLineDecryptsToTextZeroAndPadding) {
    if (!haveOpensslCommand()) GTEST_SKIP() << "no openssl command on this host";
    std::string text =
        "status HOST.cpu red Tue Dec 08 03:20:31 UTC 2026 [host] up: 1 days, 100% load\r\n"
        "&red CPU is busy";
    std::string env;
    encryptmessage(platform::cryptoLibrary(), text, env, "secret-0");
    KeyMaterial km;
    ASSERT_TRUE(derivekey(*platform::cryptoLibrary(), "secret-0", km));

    std::string in = scratch("cipher.bin"), out = scratch("plain.bin");
    {
        std::ofstream f(in, std::ios::binary);
        f.write(env.data() + 7, static_cast<std::streamsize>(env.size() - 7));
    }
    std::string cmd = "openssl enc -d -des-ede3-cbc -K " + hex(km.key.data(), 24) + " -iv " +
                      hex(km.iv.data(), 8) + " -nopad -in " + in + " -out " + out;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::ifstream f(out, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    std::string plain = ss.str();
    std::remove(in.c_str());
    std::remove(out.c_str());

    size_t pad = 8 - (text.size() + 1) % 8;
    std::string expected = text + '\0' + std::string(pad, static_cast<char>(pad));
    EXPECT_EQ(plain, expected);
}

}  // namespace
}  // namespace tw
