#include "platform/posix/file_settings_store.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "test/support/fake_platform.h"

namespace tw::platform {
namespace {

using tw::testing::readFile;
using tw::testing::TempDir;
using tw::testing::writeFile;

const std::string kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\Tallwatch\\twnt";

TEST(FileSettingsStore, AbsentFileReadsAsEmptyAndFirstWriteCreatesIt0600) {
    TempDir dir;
    std::string path = dir.file("state/sub/registry.reg");
    auto store = makeFileSettingsStore(path);
    EXPECT_TRUE(store->healthy());
    EXPECT_FALSE(store->getValue(kKey + "\\TWDISPLAY", ""));
    ASSERT_TRUE(store->setValue(kKey + "\\TWDISPLAY", "", RegValue::sz("host1")));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(readFile(path).find("@=\"host1\""), std::string::npos);
    // Key names match without regard to case, through the Wow6432Node view too.
    auto v = store->getValue(
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\orvane software\\tallwatch\\TWNT\\twdisplay",
        "");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->data, "host1");
}

TEST(FileSettingsStore, AValueOrKeyAlreadyHeldIsNotWrittenAgain) {
    TempDir dir;
    std::string path = dir.file("registry.reg");
    auto store = makeFileSettingsStore(path);
    ASSERT_TRUE(store->setValue(kKey + "\\Timer", "", RegValue::sz("300")));
    struct stat before, after;
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    // Every write replaces the file by a rename, so an unchanged inode means
    // nothing was written.
    ASSERT_TRUE(store->setValue(kKey + "\\timer", "", RegValue::sz("300")));
    ASSERT_TRUE(store->createKey(kKey + "\\TIMER"));
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    ASSERT_TRUE(store->setValue(kKey + "\\Timer", "", RegValue::expandSz("300")));
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino) << "another type is a change";
    EXPECT_EQ(store->getValue(kKey + "\\Timer", "")->type, RegType::ExpandSz);
}

TEST(FileSettingsStore, SeesChangesMadeByAnotherWriter) {
    TempDir dir;
    auto a = makeFileSettingsStore(dir.file("r.reg"));
    auto b = makeFileSettingsStore(dir.file("r.reg"));
    a->setValue(kKey + "\\Timer", "", RegValue::sz("300"));
    EXPECT_EQ(b->getValue(kKey + "\\Timer", "")->data, "300");
    b->setValue(kKey + "\\Timer", "", RegValue::sz("60"));
    EXPECT_EQ(a->getValue(kKey + "\\Timer", "")->data, "60");
}

TEST(FileSettingsStore, UnparsableFileIsReportedWithLineAndNeverOverwritten) {
    TempDir dir;
    std::string path = dir.file("r.reg");
    std::string broken = "Windows Registry Editor Version 5.00\n\n[" + kKey +
                         "\\Timer]\n@=\"300\"\nthis is not a value\n";
    writeFile(path, broken);
    auto store = makeFileSettingsStore(path);
    EXPECT_FALSE(store->healthy());
    EXPECT_NE(store->lastError().find(path + ":5:"), std::string::npos) << store->lastError();
    EXPECT_FALSE(store->getValue(kKey + "\\Timer", ""));
    EXPECT_FALSE(store->setValue(kKey + "\\Timer", "", RegValue::sz("1")));
    EXPECT_NE(store->lastError().find("refusing"), std::string::npos);
    EXPECT_EQ(readFile(path), broken);
}

TEST(FileSettingsStore, DeleteKeyRefusesKeysWithSubkeysAndListsDirectChildrenOnly) {
    TempDir dir;
    auto s = makeFileSettingsStore(dir.file("r.reg"));
    s->setValue(kKey + "\\Timer", "", RegValue::sz("1"));
    s->setValue(kKey + "\\Tests", "", RegValue::sz("cpu:P"));
    s->setValue(kKey + "\\Tests\\Deeper", "", RegValue::sz("x"));
    auto names = s->subkeys(kKey);
    ASSERT_TRUE(names);
    EXPECT_EQ(*names, (std::vector<std::string>{"Tests", "Timer"}));
    EXPECT_FALSE(s->deleteKey(kKey + "\\Tests"));
    EXPECT_TRUE(s->deleteKey(kKey + "\\Tests\\Deeper"));
    EXPECT_TRUE(s->deleteKey(kKey + "\\Tests"));
    EXPECT_FALSE(s->subkeys(kKey + "\\Nope"));
}

TEST(FileSettingsStore, TwoProcessesWritingAtOnceLoseNoWrite) {
    TempDir dir;
    std::string path = dir.file("r.reg");
    const int kWrites = 60;
    pid_t kids[2];
    for (int k = 0; k < 2; ++k) {
        kids[k] = fork();
        ASSERT_GE(kids[k], 0);
        if (kids[k] == 0) {
            auto s = makeFileSettingsStore(path);
            for (int i = 0; i < kWrites; ++i)
                s->setValue(kKey + "\\W" + std::to_string(k) + "_" + std::to_string(i), "",
                            RegValue::sz(std::to_string(i)));
            _exit(0);
        }
    }
    for (pid_t kid : kids) {
        int status = 0;
        waitpid(kid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto s = makeFileSettingsStore(path);
    auto names = s->subkeys(kKey);
    ASSERT_TRUE(names);
    EXPECT_EQ(names->size(), 2u * kWrites);
    for (int k = 0; k < 2; ++k)
        for (int i = 0; i < kWrites; ++i) {
            auto v = s->getValue(kKey + "\\W" + std::to_string(k) + "_" + std::to_string(i), "");
            ASSERT_TRUE(v) << k << " " << i;
            EXPECT_EQ(v->data, std::to_string(i));
        }
}

}  // namespace
}  // namespace tw::platform
