#include "editor/remoteselect.h"

#include <gtest/gtest.h>

#include "test/support/editor_harness.h"

namespace tw::editor {
namespace {

TEST(RemoteSelect, ExternalsEntriesGoInFrontOnce) {
    struct Case {
        const char* externals;
        const char* path;
        const char* after;
    } cases[] = {
        {"", "C:\\tools\\check.exe", "C:\\tools\\check.exe /INT=300"},
        {"C:\\tools\\check.exe /INT=300", "C:\\tools\\check.exe", "C:\\tools\\check.exe /INT=300"},
        {"C:\\tools\\check.exe /INT=300", "C:\\tools\\other.exe",
         "C:\\tools\\other.exe /INT=300;C:\\tools\\check.exe /INT=300"},
        // An entry with its own interval, after blanks, still counts.
        {"a /INT=60; C:\\x.exe /INT=120", "C:\\x.exe", "a /INT=60; C:\\x.exe /INT=120"},
        // The tail of a longer path is another program (fault: it was taken
        // for an existing entry and the new program was silently not added).
        {"/srv/opt/check /INT=300", "/opt/check", "/opt/check /INT=300;/srv/opt/check /INT=300"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(addexternalentry(c.externals, c.path), c.after) << c.externals << " + " << c.path;
}

TEST(RemoteSelect, NamesOfAllBlocksSortedWithoutRegardToCase) {
    RemoteSelect one({"c:\\b.txt;C:\\A.txt;c:\\a.exe;"});
    EXPECT_EQ(one.names, (std::vector<std::string>{"c:\\a.exe", "C:\\A.txt", "c:\\b.txt"}));
    EXPECT_EQ(one.result, "");
    RemoteSelect two({"z;y;", "x;;w"});
    EXPECT_EQ(two.names, (std::vector<std::string>{"w", "x", "y", "z"}));

    testing::ScriptedUi ui;
    ui.choices = {std::string("x"), std::nullopt};
    EXPECT_EQ(two.run(ui), "x");
    EXPECT_EQ(ui.listTitles, std::vector<std::string>{"Remote Select"});
    EXPECT_EQ(ui.offered[0], two.names);
    EXPECT_EQ(two.run(ui), "") << "Cancel";
}

const char kRemoteFixture[] = R"({
    "Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "X86-based PC"}],
    "CIM_DataFile": [{"Name": "c:\\tools\\b.exe"}, {"Name": "C:\\tools\\a.exe"}],
    "Win32_Directory": [{"Name": "d:\\logs"}, {"Name": "c:\\temp"}]
})";

class RemoteNamesTest : public ::testing::Test {
  protected:
    testing::EditorHarness h{kRemoteFixture};
    void SetUp() override {
        ASSERT_TRUE(h.wmi.start());
        h.wmi.ConnectWMIDB(kRootCimv2);
    }
};

TEST_F(RemoteNamesTest, ASmallListIsOneBlockWithEveryName) {
    auto blocks = collectremotenames(h.wmi, "SELECT Name FROM CIM_DataFile");
    ASSERT_TRUE(blocks);
    EXPECT_EQ(*blocks, (std::vector<std::string>{"c:\\tools\\b.exe;C:\\tools\\a.exe;"}));
    EXPECT_EQ(RemoteSelect(*blocks).names,
              (std::vector<std::string>{"C:\\tools\\a.exe", "c:\\tools\\b.exe"}));
    h.provider.emptyQueries.insert("SELECT Name FROM Win32_Directory");
    blocks = collectremotenames(h.wmi, "SELECT Name FROM Win32_Directory");
    ASSERT_TRUE(blocks);
    EXPECT_TRUE(blocks->empty());
    EXPECT_FALSE(collectremotenames(h.wmi, "SELECT Name FROM Win32_Nothing"));
    h.wmi.end();
    EXPECT_FALSE(collectremotenames(h.wmi, "SELECT Name FROM CIM_DataFile"));
}

TEST(RemoteNames, ANewBlockStartsPast203776Bytes) {
    std::string json = R"({"Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "x"}],
                          "CIM_DataFile": [)";
    const std::string name(999, 'f');  // 1000 bytes with its ";"
    for (int i = 0; i < 410; ++i)
        json += std::string(i ? "," : "") + "{\"Name\": \"" + name + "\"}";
    json += "]}";
    testing::EditorHarness h(json);
    h.wmi.start();
    h.wmi.ConnectWMIDB(kRootCimv2);
    auto blocks = collectremotenames(h.wmi, "SELECT Name FROM CIM_DataFile");
    ASSERT_TRUE(blocks);
    ASSERT_EQ(blocks->size(), 3u);
    EXPECT_EQ((*blocks)[0].size(), 204000u);
    EXPECT_EQ((*blocks)[1].size(), 204000u);
    EXPECT_EQ((*blocks)[2].size(), 2000u);
    EXPECT_EQ(RemoteSelect(*blocks).names.size(), 410u);
}

// The main dialog on this machine or, after typing another machine's name
// and a load, on that one.
class PickerTest : public ::testing::Test {
  protected:
    testing::EditorHarness h{std::string(kRemoteFixture)};
    CtwntcfgDlg dlg{h.p, h.log, h.ui};

    void SetUp() override {
        h.store.setSetting("TWDISPLAY", "display1");
        ASSERT_FALSE(dlg.OnInitDialog());
        h.provider.reachable.insert("FAR");
        h.ui.clear();
    }
    void remote(bool reachable = true) {
        if (!reachable) h.provider.refuseServers.insert("FAR");
        dlg.setText(ctl::kComputerName, "\\\\FAR");
        dlg.wmi().ConnectWMIDB(kRootCimv2);
        h.ui.clear();
        h.provider.queries.clear();
    }
};

TEST_F(PickerTest, AddExternalOnThisMachineUsesTheFilePicker) {
    h.ui.files = {std::string("/opt/check"), std::string("/opt/check"), std::string("/opt/other"),
                  std::nullopt};
    EXPECT_TRUE(AddExternal(dlg));
    EXPECT_EQ(dlg.text(ctl::kExternals), "/opt/check /INT=300");
    EXPECT_TRUE(dlg.enabled(ctl::kSave));
    EXPECT_FALSE(AddExternal(dlg)) << "the same file again";
    EXPECT_TRUE(AddExternal(dlg));
    EXPECT_EQ(dlg.text(ctl::kExternals), "/opt/other /INT=300;/opt/check /INT=300");
    EXPECT_FALSE(AddExternal(dlg)) << "picker cancelled";
    EXPECT_EQ(h.ui.filePickers, 4);
    EXPECT_TRUE(h.ui.questions.empty());
    EXPECT_TRUE(h.provider.queries.empty() ||
                h.provider.queries.back() != "SELECT Name FROM CIM_DataFile");
}

TEST_F(PickerTest, AddExternalOnARemoteMachineOffersItsFiles) {
    remote();
    h.ui.answers = {true};
    h.ui.choices = {std::string("C:\\tools\\a.exe")};
    EXPECT_TRUE(AddExternal(dlg));
    EXPECT_EQ(dlg.text(ctl::kExternals), "C:\\tools\\a.exe /INT=300");
    ASSERT_EQ(h.ui.questions.size(), 1u);
    EXPECT_EQ(h.ui.questions[0].text,
              "It may take long time to retrieve the remote machine file list, do you want to "
              "continue?");
    EXPECT_EQ(h.ui.questions[0].caption, "Remote Machine Directory");
    EXPECT_EQ(h.provider.queries, std::vector<std::string>{"SELECT Name FROM CIM_DataFile"});
    EXPECT_EQ(h.ui.offered[0], (std::vector<std::string>{"C:\\tools\\a.exe", "c:\\tools\\b.exe"}));
    EXPECT_EQ(h.ui.waits, 1);
    EXPECT_EQ(h.ui.waitDepth, 0);
    EXPECT_EQ(h.ui.filePickers, 0);

    // No: nothing is asked of the machine.
    h.ui.answers = {false};
    h.provider.queries.clear();
    EXPECT_FALSE(AddExternal(dlg));
    EXPECT_TRUE(h.provider.queries.empty());
    // Cancel in the list.
    h.ui.answers = {true};
    h.ui.choices = {std::nullopt};
    EXPECT_FALSE(AddExternal(dlg));
    EXPECT_EQ(dlg.text(ctl::kExternals), "C:\\tools\\a.exe /INT=300");
    EXPECT_TRUE(h.ui.messages.empty());
}

TEST_F(PickerTest, RemoteListsThatCannotBeHadAreReported) {
    const testing::ShownMessage files{"Can not retrieve the file list from remote machine.",
                                      "twntcfg Error", MessageKind::Error};
    const testing::ShownMessage dirs{"Can not retrieve the directory list from remote machine.",
                                     "twntcfg Error", MessageKind::Error};
    remote();
    h.provider.failQueries.insert("SELECT Name FROM CIM_DataFile");
    h.provider.emptyQueries.insert("SELECT Name FROM Win32_Directory");
    h.ui.answers = {true, true};
    EXPECT_FALSE(AddExternal(dlg));
    EXPECT_FALSE(BrowseSaveLogLocation(dlg));
    EXPECT_EQ(h.ui.messages, (std::vector<testing::ShownMessage>{files, dirs}));
    EXPECT_TRUE(h.ui.offered.empty());

    // Not connected: the message at once, without the question.
    remote(false);
    EXPECT_FALSE(dlg.wmi().connected());
    EXPECT_FALSE(AddExternal(dlg));
    EXPECT_FALSE(BrowseSaveLogLocation(dlg));
    EXPECT_TRUE(h.ui.questions.empty());
    EXPECT_EQ(h.ui.messages, (std::vector<testing::ShownMessage>{files, dirs}));
}

TEST_F(PickerTest, BrowseSaveLogLocation) {
    h.ui.folders = {std::string("/var/log/tw"), std::nullopt};
    EXPECT_TRUE(BrowseSaveLogLocation(dlg));
    EXPECT_EQ(dlg.text(ctl::kLogLocation), "/var/log/tw");
    EXPECT_FALSE(BrowseSaveLogLocation(dlg));
    EXPECT_EQ(h.ui.folderTitles,
              (std::vector<std::string>{"Pick a Directory", "Pick a Directory"}));

    remote();
    h.ui.answers = {true};
    h.ui.choices = {std::string("d:\\logs")};
    EXPECT_TRUE(BrowseSaveLogLocation(dlg));
    EXPECT_EQ(dlg.text(ctl::kLogLocation), "d:\\logs");
    EXPECT_EQ(h.ui.questions[0].text,
              "It may take long time to retrieve the remote machine directory list, do you want "
              "to continue?");
    EXPECT_EQ(h.provider.queries, std::vector<std::string>{"SELECT Name FROM Win32_Directory"});
    EXPECT_EQ(h.ui.offered[0], (std::vector<std::string>{"c:\\temp", "d:\\logs"}));
}

}  // namespace
}  // namespace tw::editor
