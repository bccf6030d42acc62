#include "platform/wmi/regfile.h"

#include <gtest/gtest.h>

namespace tw::platform {
namespace {

TEST(RegFile, WritesQuotedTextsHexForControlCharactersAndDwords) {
    RegTree tree;
    auto& k =
        ensureKey(tree, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\Timer");
    k.values.push_back({"", RegValue::sz("300")});
    auto& w =
        ensureKey(tree, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\WMIPool");
    w.values.push_back({"", RegValue::sz("a\r\nb")});
    auto& e = ensureKey(tree, "HKEY_LOCAL_MACHINE\\SYSTEM\\X");
    e.values.push_back({"TypesSupported", RegValue::dw(7)});
    e.values.push_back({"Path \"q\"", RegValue::sz("C:\\x")});
    // Every key has each of its ancestors once, whether it was added first or
    // under ancestors that were there already.
    std::vector<std::string> paths;
    for (const auto& [norm, key] : tree) paths.push_back(key.path);
    const std::string sw = "HKEY_LOCAL_MACHINE\\SOFTWARE";
    const std::string tw = sw + "\\Orvane Software\\Tallwatch";
    EXPECT_EQ(paths, (std::vector<std::string>{"HKEY_LOCAL_MACHINE", sw, sw + "\\Orvane Software",
                                               tw, tw + "\\twnt", tw + "\\twnt\\Timer",
                                               tw + "\\twnt\\WMIPool", "HKEY_LOCAL_MACHINE\\SYSTEM",
                                               "HKEY_LOCAL_MACHINE\\SYSTEM\\X"}));
    std::string text = writeRegFile(tree);
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\Timer]\n"
                        "@=\"300\"\n"),
              std::string::npos);
    EXPECT_NE(text.find("@=hex(1):61,00,0d,00,0a,00,62,00,00,00\n"), std::string::npos);
    EXPECT_NE(text.find("\"TypesSupported\"=dword:00000007\n"), std::string::npos);
    EXPECT_NE(text.find("\"Path \\\"q\\\"\"=\"C:\\\\x\"\n"), std::string::npos);
    // Parents are listed before their children.
    EXPECT_LT(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE]"), text.find("twnt\\Timer]"));
}

TEST(RegFile, RoundTripKeepsEveryByteOfEveryValueType) {
    RegTree tree;
    std::string allBytes;
    for (int c = 1; c < 256; ++c) allBytes.push_back(static_cast<char>(c));
    auto& k = ensureKey(tree, "HKEY_LOCAL_MACHINE\\SOFTWARE\\T");
    k.values.push_back({"", RegValue::sz(allBytes)});
    k.values.push_back({"e", RegValue::expandSz("%SystemRoot%\\twnt.exe")});
    k.values.push_back({"d", RegValue::dw(0xdeadbeef)});
    k.values.push_back({"b", {RegType::Binary, std::string("\0\1\2", 3), 0}});
    k.values.push_back({"long", RegValue::sz(std::string(5000, 'x') + "\t")});
    RegParseError err;
    auto back = parseRegFile(writeRegFile(tree), &err);
    ASSERT_TRUE(back) << err.line << ": " << err.what;
    const auto& vals = back->at("HKEY_LOCAL_MACHINE\\SOFTWARE\\T").values;
    ASSERT_EQ(vals.size(), 5u);
    EXPECT_EQ(vals[0].value.data, allBytes);
    EXPECT_EQ(vals[1].value.type, RegType::ExpandSz);
    EXPECT_EQ(vals[1].value.data, "%SystemRoot%\\twnt.exe");
    EXPECT_EQ(vals[2].value.dword, 0xdeadbeefu);
    EXPECT_EQ(vals[3].value.data, std::string("\0\1\2", 3));
    EXPECT_EQ(vals[4].value.data, std::string(5000, 'x') + "\t");
}

// Found by fuzzing: a hand-edited string holding zero bytes was written as
// hex(1) and read back only up to its first zero, so the next write of any
// setting dropped the rest of it.
TEST(RegFile, ZeroBytesInsideAStringSurviveARewrite) {
    const std::string file = std::string(
                                 "Windows Registry Editor Version 5.00\r\n\r\n"
                                 "[HKEY_LOCAL_MACHINE\\SOFTWARE\\T\\TWDISPLAY]\r\n"
                                 "@=\"d*spl\xff\x01") +
                             std::string(6, '\0') + "ple.org;[2001:db8::5]:1985\"\r\n";
    RegParseError err;
    auto first = parseRegFile(file, &err);
    ASSERT_TRUE(first) << err.what;
    const std::string written = writeRegFile(*first);
    auto again = parseRegFile(written, &err);
    ASSERT_TRUE(again) << err.what;
    const std::string expected =
        std::string("d*spl\xff\x01") + std::string(6, '\0') + "ple.org;[2001:db8::5]:1985";
    EXPECT_EQ(again->at("HKEY_LOCAL_MACHINE\\SOFTWARE\\T\\TWDISPLAY").values[0].value.data,
              expected);
    EXPECT_EQ(writeRegFile(*again), written);
}

// Texts travel as UTF-8 and are stored as real UTF-16LE, surrogate pairs
// included; bytes that are not UTF-8 still come back as they went.
TEST(RegFile, Utf8TextsAreStoredAsUtf16le) {
    struct Case {
        std::string text, utf16;
    } cases[] = {
        {"\xc3\xa9\xe6\x97\xa5", std::string("\xe9\x00\xe5\x65\x00\x00", 6)},  // "é日"
        {"\xe6\x97\xa5\xe6\x9c\xac \xc3\xa9",
         std::string("\xe5\x65\x2c\x67\x20\x00\xe9\x00\x00\x00", 10)},     // "日本 é"
        {"\xf0\x9f\x98\x80", std::string("\x3d\xd8\x00\xde\x00\x00", 6)},  // U+1F600
        {"a\nb", std::string("a\0\n\0b\0\0\0", 8)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf16leFromBytes(c.text), c.utf16) << c.text;
        EXPECT_EQ(bytesFromUtf16le(c.utf16), c.text) << c.text;
    }
    for (const std::string& bytes : {std::string("\xff\x80 \xc3"), std::string("\xed\xa0\x80")})
        EXPECT_EQ(bytesFromUtf16le(utf16leFromBytes(bytes)), bytes);
    // A lone surrogate read from a file is no text: it reads as U+FFFD.
    EXPECT_EQ(bytesFromUtf16le(std::string("\x3d\xd8x\0\0\0", 6)), "\xef\xbf\xbdx");
}

// A value the writer did not change is written back as it was read, even
// when its text would be written another way today.
TEST(RegFile, UnchangedValuesKeepTheirBytesAsRead) {
    const std::string key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\n";
    const std::string values =
        "@=hex(1):e5,65,2c,67,20,00,e9,00,3d,d8,00\n"
        "\"odd\"=hex(1):3d,d8,41,00,00,00\n"
        "\"n\"=hex(2):41,00,\\\n  42,00,00,00\n"
        "\"q\"=\"plain\"\n";
    const std::string file = "Windows Registry Editor Version 5.00\n\n" + key + values;
    RegParseError err;
    auto tree = parseRegFile(file, &err);
    ASSERT_TRUE(tree) << err.what;
    EXPECT_NE(writeRegFile(*tree).find(key + values), std::string::npos) << writeRegFile(*tree);
}

TEST(RegFile, ReadsCrLfContinuationsAndFoldsWow6432Node) {
    const char* text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Orvane Software\\Tallwatch\\twnt\\Tests]\r\n"
        "@=hex(1):63,00,\\\r\n"
        "  70,00,75,00,00,00\r\r\n"
        "; a comment\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\orvane software\\TALLWATCH\\twnt\\Timer]\r\n"
        "@=\"60\"\r\n";
    RegParseError err;
    auto tree = parseRegFile(text, &err);
    ASSERT_TRUE(tree) << err.line << ": " << err.what;
    auto tests = tree->find(
        normaliseKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\tests"));
    ASSERT_NE(tests, tree->end());
    EXPECT_EQ(tests->second.values.at(0).value.data, "cpu");
    // Both spellings name the one twnt key, which keeps its first writer's case.
    auto twnt =
        tree->find(normaliseKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\ORVANE SOFTWARE\\TALLWATCH\\TWNT"));
    ASSERT_NE(twnt, tree->end());
    EXPECT_EQ(twnt->second.path, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\Tallwatch\\twnt");
    // Found by fuzzing: a stray carriage return at the end of a continued
    // line was kept and then read as a line end, so each rewrite differed.
    const std::string once = writeRegFile(*tree);
    auto again = parseRegFile(once, &err);
    ASSERT_TRUE(again) << err.line << ": " << err.what;
    EXPECT_EQ(writeRegFile(*again), once);
}

// Found by fuzzing: a key path that began with a backslash was read, and the
// nameless ancestor it made was written as "[]", which no reader takes, so
// the next write by any writer left the file unreadable.
TEST(RegFile, KeyPathWithAnEmptyFirstNameIsRefusedNotMadeUnreadableByTheNextWrite) {
    const std::string file =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\TWDISPLAY]\r\n"
        "@=\"display1.example.org;[2001:db8::5]:1985\"\r\n\r\n"
        "[\\Orvane Software\\THKEY_LOCAL_mACHINE\\SOFTWAL_MACOINE\\SYSTEn\\TallwatchClient]\r\n"
        "@=\"300\"\r\n";
    RegParseError err;
    EXPECT_FALSE(parseRegFile(file, &err));
    EXPECT_EQ(err.line, 6);
    EXPECT_EQ(err.what, "empty key name");
}

TEST(RegFile, ParseErrorsNameTheLine) {
    struct Case {
        const char* text;
        int line;
    } cases[] = {
        {"garbage\n", 1},
        {"Windows Registry Editor Version 5.00\n\n@=\"x\"\n", 3},
        {"Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n@=\"open\n", 4},
        {"Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n@=dword:xyz\n", 4},
        {"Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A\n", 3},
        {"Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n@=hex(1):6\n", 4},
        {"Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n@=hex(1):61,\\\n", 4},
    };
    for (const auto& c : cases) {
        RegParseError err;
        EXPECT_FALSE(parseRegFile(c.text, &err)) << c.text;
        EXPECT_EQ(err.line, c.line) << c.text;
        EXPECT_FALSE(err.what.empty());
    }
    RegParseError err;
    EXPECT_TRUE(parseRegFile("", &err));
}

}  // namespace
}  // namespace tw::platform
