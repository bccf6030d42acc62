#include "tools/twsetting/twsetting.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "platform/posix/file_settings_store.h"
#include "test/support/fake_platform.h"
#include "test/support/process.h"

namespace tw::setting {
namespace {

using testing::MemorySettingsStore;
using testing::TempDir;

struct Outcome {
    int status;
    std::string out, err;
};

Outcome run(std::vector<std::string> args, platform::SettingsStore& store) {
    std::ostringstream out, err;
    int status = twsetting(args, store, out, err);
    return {status, out.str(), err.str()};
}

TEST(Twsetting, SetsAndPrintsSettingsOfTheAgentsKey) {
    MemorySettingsStore store;
    EXPECT_EQ(run({"Timer=60", "TWDISPLAY=a;b:2000", "PageLevels=red purple "}, store).status, 0);
    EXPECT_EQ(store.setting("Timer"), "60");
    EXPECT_EQ(store.setting("twdisplay"), "a;b:2000");
    EXPECT_EQ(store.setting("PageLevels"), "red purple ");
    EXPECT_EQ(run({"Equation=a=b"}, store).status, 0);
    EXPECT_EQ(store.setting("Equation"), "a=b");
    Outcome r = run({"timer"}, store);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "60\n");
    r = run({"Nope"}, store);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "twsetting: no setting Nope\n");
}

TEST(Twsetting, WrongArgumentsAndAnUnreadableStoreChangeNothing) {
    MemorySettingsStore store;
    for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                                 {"=x"},
                                                 {"A\\B=x"},
                                                 {"Timer", "Tests"},
                                                 {"Timer=1", "Tests"},
                                                 {"new\nline=1"},
                                                 {"Timer=1", "tab\tname=1"},
                                                 {"del\x7f"}})
        EXPECT_EQ(run(args, store).status, 2) << (args.empty() ? "" : args[0]);
    EXPECT_FALSE(store.setting("Timer"));
    EXPECT_EQ(run({"new\nline=1"}, store).err,
              "twsetting: a setting name holds no control character: \"new\\nline\"\n");
    store.setHealthy(false, "/x/registry.reg:4: unexpected text");
    Outcome r = run({"Timer=1"}, store);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "twsetting: /x/registry.reg:4: unexpected text\n");
}

// What the store refuses is said, with exit status 1, and nothing changes.
TEST(Twsetting, ReadOnlyOrOversizedChangeIsRefusedWithTheReason) {
    TempDir dir;
    const std::string path = dir.file("r.reg");
    auto store = platform::makeFileSettingsStore(path);
    ASSERT_EQ(run({"Timer=300"}, *store).status, 0);
    const std::string before = testing::readFile(path);
    Outcome r = run({"Big=" + std::string(3 * 1024 * 1024, '\n')}, *store);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("twsetting: Big not set: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("larger than 16777216 bytes"), std::string::npos) << r.err;
    ::chmod(path.c_str(), 0400);
    r = run({"Timer=9"}, *store);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not writable"), std::string::npos) << r.err;
    EXPECT_EQ(testing::readFile(path), before);
}

TEST(Twsetting, FileOptionNamesTheStore) {
    std::vector<std::string> args = {"Timer=5", "--file", "/x/r.reg"};
    EXPECT_EQ(storepath(args), "/x/r.reg");
    EXPECT_EQ(args, std::vector<std::string>{"Timer=5"});
    args = {"--file=/y/r.reg", "Timer"};
    EXPECT_EQ(storepath(args), "/y/r.reg");
    EXPECT_EQ(args, std::vector<std::string>{"Timer"});
}

// The shell script it replaces rewrote the file without the lock: next to
// the store's own writer, writes were lost.
TEST(Twsetting, ProgramAndTheStoresOwnWriterAtOnceLoseNoWrite) {
    TempDir dir;
    const std::string path = dir.file("registry.reg");
    const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\";
    const int kWrites = 40;
    pid_t kid = fork();
    ASSERT_GE(kid, 0);
    if (kid == 0) {
        auto s = platform::makeFileSettingsStore(path);
        for (int i = 0; i < kWrites; ++i)
            s->setValue(key + "Store" + std::to_string(i), "", platform::RegValue::sz("s"));
        _exit(0);
    }
    for (int i = 0; i < kWrites; ++i) {
        auto r = testing::runProgram(testing::binaryPath("twsetting"),
                                     {"--file", path, "Tool" + std::to_string(i) + "=t"}, {});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    int status = 0;
    waitpid(kid, &status, 0);
    auto s = platform::makeFileSettingsStore(path);
    for (int i = 0; i < kWrites; ++i) {
        EXPECT_TRUE(s->getValue(key + "Store" + std::to_string(i), "")) << i;
        EXPECT_TRUE(s->getValue(key + "Tool" + std::to_string(i), "")) << i;
    }
}

}  // namespace
}  // namespace tw::setting
