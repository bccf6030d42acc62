#include "platform/posix/file_settings_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

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

std::string timerFile(const std::string& value) {
    return "Windows Registry Editor Version 5.00\n\n[" + kKey + "\\Timer]\n@=\"" + value + "\"\n";
}

// A reader that has just read its settings sees a later change at its next
// read, however the file was changed; a change the kernel does not report
// (the file reached through a link from another folder) within a second.
TEST(FileSettingsStore, SeesEveryKindOfChangeByAnotherWriter) {
    struct Case {
        const char* what;
        bool linked;  // the store's path is a link to the file in another folder
        std::function<void(const std::string& file)> change;
        const char* expected;  // nullptr: no value any more
    };
    const Case cases[] = {
        {"another store's write (a rename over the file)", false,
         [](const std::string& file) {
             makeFileSettingsStore(file)->setValue(kKey + "\\Timer", "", RegValue::sz("120"));
         },
         "120"},
        {"rewritten in place with the same size and the same times", false,
         [](const std::string& file) {
             struct stat st;
             ASSERT_EQ(stat(file.c_str(), &st), 0);
             writeFile(file, timerFile("120"));
             const timespec times[2] = {st.st_atim, st.st_mtim};
             ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
         },
         "120"},
        {"deleted", false, [](const std::string& file) { unlink(file.c_str()); }, nullptr},
        {"changed through a link from another folder", true,
         [](const std::string& file) { writeFile(file, timerFile("1200")); }, "1200"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir.file("r.reg");
        std::string file = path;
        if (c.linked) {
            mkdir(dir.file("other").c_str(), 0700);
            file = dir.file("other/r.reg");
            ASSERT_EQ(symlink(file.c_str(), path.c_str()), 0);
        }
        writeFile(file, timerFile("300"));
        auto reader = makeFileSettingsStore(path);
        ASSERT_EQ(reader->getValue(kKey + "\\Timer", "")->data, "300");
        c.change(file);
        if (c.linked) std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        auto v = reader->getValue(kKey + "\\Timer", "");
        if (!c.expected) {
            EXPECT_FALSE(v);
        } else {
            ASSERT_TRUE(v);
            EXPECT_EQ(v->data, c.expected);
        }
    }
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
    // A sibling whose name sorts between a key and its subkeys.
    s->setValue(kKey + "\\Tests!", "", RegValue::sz("y"));
    auto names = s->subkeys(kKey);
    ASSERT_TRUE(names);
    EXPECT_EQ(*names, (std::vector<std::string>{"Tests", "Tests!", "Timer"}));
    EXPECT_FALSE(s->deleteKey(kKey + "\\Tests"));
    EXPECT_EQ(s->lastError(), "key has subkeys");
    EXPECT_EQ(s->getValue(kKey + "\\Tests", "")->data, "cpu:P");
    EXPECT_TRUE(s->deleteKey(kKey + "\\Tests\\Deeper"));
    EXPECT_TRUE(s->deleteKey(kKey + "\\Tests"));
    EXPECT_FALSE(s->subkeys(kKey + "\\Nope"));
}

// Runs fn as an unprivileged user when the tests run as root (root reads
// any file whatever its mode); fn answers its failures as a count.
int unprivileged(const std::function<int()>& fn) {
    if (geteuid() != 0) return fn();
    pid_t kid = fork();
    if (kid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
        _exit(fn());
    }
    int status = 0;
    waitpid(kid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

TEST(FileSettingsStore, ReadFailureIsNotCachedSoMendedPermissionsTakeEffect) {
    TempDir dir;
    chmod(dir.path().c_str(), 0777);
    const std::string path = dir.file("r.reg");
    int failures = unprivileged([&] {
        writeFile(path,
                  "Windows Registry Editor Version 5.00\n\n[" + kKey + "\\Timer]\n@=\"300\"\n");
        chmod(path.c_str(), 0);
        auto store = makeFileSettingsStore(path);
        int bad = 0;
        if (store->healthy()) ++bad;
        if (store->lastError().find("cannot be read") == std::string::npos) ++bad;
        // chmod leaves size and modification time as they were.
        chmod(path.c_str(), 0600);
        if (!store->healthy()) ++bad;
        auto v = store->getValue(kKey + "\\Timer", "");
        if (!v || v->data != "300") ++bad;
        return bad;
    });
    EXPECT_EQ(failures, 0);
}

TEST(FileSettingsStore, EndlessOrHugeFileIsRefusedNotReadWithoutLimit) {
    TempDir dir;
    const std::string fifo = dir.file("fifo.reg");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = dir.file("huge.reg");
    writeFile(huge, "Windows Registry Editor Version 5.00\n");
    ASSERT_EQ(truncate(huge.c_str(), 17 * 1024 * 1024), 0);
    struct Case {
        std::string path, why;
    };
    for (const Case& c : {Case{fifo, "not a regular file"}, Case{"/dev/zero", "not a regular file"},
                          Case{huge, "larger than 16777216 bytes"}}) {
        auto store = makeFileSettingsStore(c.path);
        EXPECT_FALSE(store->healthy()) << c.path;
        EXPECT_NE(store->lastError().find(c.path + ": cannot be read: " + c.why), std::string::npos)
            << store->lastError();
        EXPECT_FALSE(store->setValue(kKey + "\\Timer", "", RegValue::sz("1"))) << c.path;
    }
}

// Every write the reader would refuse is refused: the file stays as it
// was, and it still loads.
TEST(FileSettingsStore, WritesThatWouldBreakOrOutgrowTheFileAreRefusedAndChangeNothing) {
    TempDir dir;
    const std::string path = dir.file("r.reg");
    auto store = makeFileSettingsStore(path);
    ASSERT_TRUE(store->setValue(kKey + "\\TWDISPLAY", "", RegValue::sz("display1")));
    const std::string before = readFile(path);
    struct Case {
        std::string key, name, value, why;
    } cases[] = {
        {kKey + "\\new\nline", "", "1", "control character"},
        {kKey + "\\TimerX]\n[" + kKey + "\\TWDISPLAY]\n@=\"evil.example\"\n[" + kKey + "\\Y", "",
         "1", "control character"},
        {kKey + "\\A\\\\B", "", "1", "empty key name"},
        {"\\" + kKey, "", "1", "empty key name"},
        {kKey + "\\Timer", "new\nline", "1", "control character"},
        {kKey + "\\Timer", "tab\there", "1", "control character"},
        {kKey + "\\Big", "", std::string(3 * 1024 * 1024, '\n'), "larger than 16777216 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key.substr(kKey.size()) + " / " + c.name);
        EXPECT_FALSE(store->setValue(c.key, c.name, RegValue::sz(c.value)));
        EXPECT_NE(store->lastError().find(c.why), std::string::npos) << store->lastError();
        if (c.name.empty() && c.value.size() == 1) {
            EXPECT_FALSE(store->createKey(c.key));
        }
        EXPECT_EQ(readFile(path), before);
    }
    auto again = makeFileSettingsStore(path);
    ASSERT_TRUE(again->healthy()) << again->lastError();
    EXPECT_EQ(again->getValue(kKey + "\\TWDISPLAY", "")->data, "display1");
}

// A settings file its writer may not write is not replaced, whoever runs
// the writer (root may write any file, but a read-only one is kept).
TEST(FileSettingsStore, ReadOnlyFileIsAnErrorAndKeptAsItIs) {
    TempDir dir;
    chmod(dir.path().c_str(), 0777);
    const std::string path = dir.file("r.reg");
    const std::string text = timerFile("300");
    writeFile(path, text);
    chmod(path.c_str(), geteuid() == 0 ? 0400 : 0444);
    auto store = makeFileSettingsStore(path);
    EXPECT_FALSE(store->setValue(kKey + "\\Timer", "", RegValue::sz("9")));
    EXPECT_NE(store->lastError().find("not writable"), std::string::npos) << store->lastError();
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, geteuid() == 0 ? 0400u : 0444u);
    EXPECT_EQ(readFile(path), text);
    // Another user's file, readable by all, in a folder everyone may write.
    chmod(path.c_str(), 0444);
    EXPECT_EQ(unprivileged([&] {
                  auto s = makeFileSettingsStore(path);
                  return s->setValue(kKey + "\\Timer", "", RegValue::sz("9")) ? 1 : 0;
              }),
              0);
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, geteuid());
    EXPECT_EQ(readFile(path), text);
}

TEST(FileSettingsStore, ReaderWaitsForAWriterThatHoldsTheLock) {
    TempDir dir;
    const std::string path = dir.file("r.reg");
    const std::string full =
        "Windows Registry Editor Version 5.00\n\n[" + kKey + "\\TWDISPLAY]\n@=\"host1\"\n";
    int lock = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    // A writer half-way through rewriting the file in place.
    writeFile(path, full.substr(0, 40));
    auto store = makeFileSettingsStore(path);
    std::optional<RegValue> seen;
    std::thread reader([&] { seen = store->getValue(kKey + "\\TWDISPLAY", ""); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    writeFile(path, full);
    flock(lock, LOCK_UN);
    ::close(lock);
    reader.join();
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->data, "host1");
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
