#include "tools/twsetting/twsetting.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <sstream>

#include "base/settings.h"
#include "platform/posix/file_settings_store.h"
#include "test/support/fake_platform.h"
#include "test/support/memory_files.h"
#include "test/support/process.h"

namespace tw::setting {
namespace {

using testing::MemorySettingsStore;
using testing::TempDir;

struct Outcome {
    int status;
    std::string out, err;
};

Outcome run(std::vector<std::string> args, platform::SettingsStore& store,
            testing::MemoryFiles* files = nullptr, const std::string& input = {}) {
    std::istringstream in(input);
    std::ostringstream out, err;
    testing::MemoryFiles own;
    int status = twsetting(args, store, {in, out, err, files ? *files : own});
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

TEST(Twsetting, ExportAndImportThroughFilesAndTheStandardStreams) {
    MemorySettingsStore from, to;
    from.setSetting("Timer", "120");
    from.setSetting("KeyCode", "k");
    testing::MemoryFiles files;
    ASSERT_EQ(run({"--export", "/x/TWNT.cfg"}, from, &files).status, 0);
    // It holds the KeyCode: an owner-only file, replaced whole.
    EXPECT_EQ(files.how["/x/TWNT.cfg"], testing::MemoryFiles::How::Private);
    const std::string text = files.files["/x/TWNT.cfg"];
    EXPECT_EQ(run({"--export", "-"}, from).out, text);
    Outcome r = run({"--dry-run", "--import", "-"}, to, nullptr, text);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Timer: (none) -> 120\n"), std::string::npos) << r.out;
    EXPECT_FALSE(to.setting("Timer"));
    r = run({"--import", "-"}, to, nullptr, text);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(to.setting("Timer"), "120");
    EXPECT_EQ(run({"--export", "-"}, to).out, text);

    files.failing.insert("/ro/TWNT.cfg");
    r = run({"--export", "/ro/TWNT.cfg"}, from, &files);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "twsetting: /ro/TWNT.cfg: cannot be written\n");
    r = run({"--import", "/nonexistent/TWNT.cfg"}, to);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "twsetting: /nonexistent/TWNT.cfg: No such file or directory (nothing imported)\n");
    r = run({"--import", "/"}, to);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "twsetting: /: cannot be read (nothing imported)\n");
    r = run({"--import", "/"}, to);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "twsetting: /: cannot be read (nothing imported)\n");
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--export"},
                                               {"--import"},
                                               {"--export", "a", "b"},
                                               {"--export", "-", "--dry-run"},
                                               {"--dry-run"},
                                               {"--import", ""},
                                               {"--import", "-", "Timer=1"}})
        EXPECT_EQ(run(args, to).status, 2) << args[0];
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

// Importers and setters at once, each its own process: every one's
// settings are there at the end (none overwrote another's with what it had
// read before).
TEST(Twsetting, ProcessesImportingAndSettingAtOnceLoseNothing) {
    TempDir dir;
    const std::string path = dir.file("registry.reg");
    const int kImporters = 3, kSetters = 3, kRounds = 4;
    // Importer k owns every kImporters-th setting of the table; each round
    // gives them new texts, so that every import writes.
    auto text = [&](int k, int round) {
        std::string t;
        for (size_t i = static_cast<size_t>(k); i < kNoSetting; i += kImporters)
            t += std::string("[") + kSettingsTable[i].name + "]from " + std::to_string(k) + " in " +
                 std::to_string(round) + "\r\n";
        return t;
    };
    const std::string program = testing::binaryPath("twsetting");
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::unique_ptr<testing::Process>> running;
        for (int k = 0; k < kImporters; ++k) {
            const std::string file = dir.file("in" + std::to_string(k) + ".cfg");
            testing::writeFile(file, text(k, round));
            running.push_back(std::make_unique<testing::Process>(
                program, std::vector<std::string>{"--file", path, "--import", "-"},
                std::map<std::string, std::string>{}, dir.path(), file));
        }
        for (int k = 0; k < kSetters; ++k)
            running.push_back(std::make_unique<testing::Process>(
                program,
                std::vector<std::string>{
                    "--file", path,
                    "Tool" + std::to_string(round) + "_" + std::to_string(k) + "=t"},
                std::map<std::string, std::string>{}, dir.path()));
        for (auto& p : running) {
            auto status = p->wait(20000);
            ASSERT_TRUE(status) << "a twsetting did not end within 20 s";
            ASSERT_EQ(*status, 0) << p->err();
        }
    }
    auto s = platform::makeFileSettingsStore(path);
    const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\";
    for (size_t i = 0; i < kNoSetting; ++i) {
        auto v = s->getValue(key + kSettingsTable[i].name, "");
        ASSERT_TRUE(v) << kSettingsTable[i].name;
        EXPECT_EQ(v->data,
                  "from " + std::to_string(i % kImporters) + " in " + std::to_string(kRounds - 1))
            << kSettingsTable[i].name;
    }
    for (int round = 0; round < kRounds; ++round)
        for (int k = 0; k < kSetters; ++k)
            EXPECT_TRUE(
                s->getValue(key + "Tool" + std::to_string(round) + "_" + std::to_string(k), ""))
                << round << " " << k;
}

}  // namespace
}  // namespace tw::setting
