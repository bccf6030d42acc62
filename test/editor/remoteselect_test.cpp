#include "editor/remoteselect.h"

#include <gtest/gtest.h>

#include "test/support/editor_harness.h"

namespace tw::editor {
namespace {

using testing::ShownMessage;

TEST(RemoteSelect, ExternalsEntriesGoInFrontOnce) {
    struct Case {
        const char* externals;
        const char* path;
        const char* after;
    } cases[] = {
        {"", "C:\\a.exe", "C:\\a.exe /INT=300"},
        {"C:\\a.exe /INT=300", "C:\\a.exe", "C:\\a.exe /INT=300"},
        {"C:\\a.exe /INT=300", "C:\\b.exe", "C:\\b.exe /INT=300;C:\\a.exe /INT=300"},
        {"a /INT=60; C:\\x.exe /INT=120", "C:\\x.exe", "a /INT=60; C:\\x.exe /INT=120"},
        // Fault: the tail of a longer path was taken for an existing entry,
        // and the new program was silently not added.
        {"/srv/opt/check /INT=300", "/opt/check", "/opt/check /INT=300;/srv/opt/check /INT=300"},
    };
    for (const Case& c : cases) EXPECT_EQ(addexternalentry(c.externals, c.path), c.after) << c.path;
}

TEST(RemoteSelect, NamesOfAllBlocksSortedAndTheChoice) {
    RemoteSelect select({"z;Y;", "x;;w"});
    EXPECT_EQ(select.names, (std::vector<std::string>{"w", "x", "Y", "z"}));
    testing::ScriptedUi ui;
    ui.choices = {std::string("x"), std::nullopt};
    EXPECT_EQ(select.run(ui), "x");
    EXPECT_EQ(ui.listTitles[0], "Remote Select");
    EXPECT_EQ(ui.offered[0], select.names);
    EXPECT_EQ(select.run(ui), "") << "Cancel";
}

TEST(RemoteSelect, NameBlocksOfARemoteList) {
    std::string json = R"({"Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "x"}],
                          "Win32_Directory": [{"Name": "d:\\logs"}, {"Name": 5}],
                          "CIM_DataFile": [)";
    const std::string name(999, 'f');  // 1000 bytes with its ";"
    for (int i = 0; i < 410; ++i)
        json += std::string(i ? "," : "") + "{\"Name\": \"" + name + "\"}";
    testing::EditorHarness h(json + "]}");
    h.wmi.start();
    h.wmi.ConnectWMIDB(kRootCimv2);
    // A small list is one block; a new block starts past 203776 bytes.
    EXPECT_EQ(collectremotenames(h.wmi, "SELECT Name FROM Win32_Directory"),
              std::vector<std::string>{"d:\\logs;"});
    auto blocks = collectremotenames(h.wmi, "SELECT Name FROM CIM_DataFile");
    ASSERT_TRUE(blocks);
    std::vector<size_t> sizes;
    for (const std::string& b : *blocks) sizes.push_back(b.size());
    EXPECT_EQ(sizes, (std::vector<size_t>{204000, 204000, 2000}));
    EXPECT_EQ(RemoteSelect(*blocks).names.size(), 410u);
    EXPECT_FALSE(collectremotenames(h.wmi, "SELECT Name FROM Win32_Nothing"));
}

const char kFixture[] = R"({
    "Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "X86-based PC"}],
    "CIM_DataFile": [{"Name": "c:\\tools\\b.exe"}, {"Name": "C:\\tools\\a.exe"}],
    "Win32_Directory": [{"Name": "d:\\logs"}, {"Name": "c:\\temp"}]
})";
const char kFiles[] = "SELECT Name FROM CIM_DataFile";
const char kDirs[] = "SELECT Name FROM Win32_Directory";

// The main dialog on this machine, or after a load of the machine FAR (which
// answers) or GONE (which refuses).
struct Picker {
    explicit Picker(const char* machine) {
        h.store.setSetting("TWDISPLAY", "display1");
        h.provider.reachable.insert("FAR");
        h.provider.refuseServers.insert("GONE");
        dlg.OnInitDialog();
        if (*machine) {
            dlg.setText(ctl::kComputerName, std::string("\\\\") + machine);
            dlg.click(ctl::kLoad);
        }
        h.ui.clear();
        h.ui.waits = 0;
        h.provider.queries.clear();
    }
    testing::EditorHarness h{kFixture};
    CtwntcfgDlg dlg{h.p, h.log, h.ui};
};

TEST(RemotePickers, RemoteFilesAfterAQuestionWithTheWaitCursor) {
    Picker p("FAR");
    p.h.ui.answers = {true};
    p.h.ui.choices = {std::string("C:\\tools\\a.exe")};
    EXPECT_TRUE(AddExternal(p.dlg, p.dlg.wmi()));
    EXPECT_EQ(p.dlg.text(ctl::kExternals), "C:\\tools\\a.exe /INT=300");
    EXPECT_TRUE(p.dlg.enabled(ctl::kSave));
    EXPECT_EQ(p.h.ui.questions,
              (std::vector<ShownMessage>{
                  {"It may take long time to retrieve the remote machine file list, do you want "
                   "to continue?",
                   "Remote Machine Directory", MessageKind::Information}}));
    EXPECT_EQ(p.h.ui.offered[0],
              (std::vector<std::string>{"C:\\tools\\a.exe", "c:\\tools\\b.exe"}));
    EXPECT_EQ(p.h.ui.waits, 1);
    EXPECT_EQ(p.h.ui.waitDepth, 0);
}

TEST(RemotePickers, EachWayThroughTheTwoButtons) {
    const char* kNoFiles = "Can not retrieve the file list from remote machine.";
    const char* kNoDirs = "Can not retrieve the directory list from remote machine.";
    struct Case {
        bool externals;       // "Add External", else the browse button
        const char* machine;  // "" this machine
        int yes;              // the answer to the question: 1 Yes, 0 No, -1 not asked
        const char* failing;  // a query that fails
        const char* emptied;  // a query that answers nothing
        std::optional<std::string> picked;
        const char* field;    // the field afterwards ("" unchanged)
        const char* message;  // the message shown, or nullptr
        const char* query;    // the name list asked of the machine, or nullptr
    } cases[] = {
        {true, "", -1, "", "", "/opt/check", "/opt/check /INT=300", nullptr, nullptr},
        {true, "", -1, "", "", std::nullopt, "", nullptr, nullptr},
        {false, "", -1, "", "", "/var/log/tw", "/var/log/tw", nullptr, nullptr},
        {false, "FAR", 1, "", "", "d:\\logs", "d:\\logs", nullptr, kDirs},
        {true, "FAR", 0, "", "", "C:\\tools\\a.exe", "", nullptr, nullptr},
        {true, "FAR", 1, "", "", std::nullopt, "", nullptr, kFiles},
        {true, "FAR", 1, kFiles, "", "C:\\tools\\a.exe", "", kNoFiles, kFiles},
        {false, "FAR", 1, "", kDirs, "c:\\temp", "", kNoDirs, kDirs},
        {true, "GONE", -1, "", "", "C:\\tools\\a.exe", "", kNoFiles, nullptr},
        {false, "GONE", -1, "", "", "c:\\temp", "", kNoDirs, nullptr},
    };
    for (const Case& c : cases) {
        Picker p(c.machine);
        p.h.provider.failQueries.insert(c.failing);
        p.h.provider.emptyQueries.insert(c.emptied);
        if (c.yes >= 0) p.h.ui.answers = {c.yes == 1};
        (*c.machine ? p.h.ui.choices : c.externals ? p.h.ui.files : p.h.ui.folders) = {c.picked};
        const bool changed = c.externals ? AddExternal(p.dlg, p.dlg.wmi())
                                         : BrowseSaveLogLocation(p.dlg, p.dlg.wmi());
        const std::string where = std::string(c.machine) + " " + c.picked.value_or("cancel");
        EXPECT_EQ(changed, *c.field != 0) << where;
        EXPECT_EQ(p.dlg.text(c.externals ? ctl::kExternals : ctl::kLogLocation), c.field) << where;
        EXPECT_EQ(p.h.ui.questions.size(), c.yes >= 0 ? 1u : 0u) << where;
        EXPECT_EQ(p.h.ui.texts(),
                  c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{})
            << where;
        if (c.message) {
            EXPECT_EQ(p.h.ui.messages[0].caption, "twntcfg Error");
        }
        EXPECT_EQ(p.h.provider.queries,
                  c.query ? std::vector<std::string>{c.query} : std::vector<std::string>{})
            << where;
        if (!*c.machine && !c.externals) {
            EXPECT_EQ(p.h.ui.folderTitles, std::vector<std::string>{"Pick a Directory"});
        }
    }
}

// A picked path that did not fit its field was dropped without a word.
TEST(RemotePickers, TooLongFix_APathThatDoesNotFitItsFieldIsTold) {
    Picker p("");
    const std::string fits(258, 'd'), over(259, 'd');
    p.h.ui.folders = {"/" + over, "/" + fits};
    EXPECT_FALSE(BrowseSaveLogLocation(p.dlg, p.dlg.wmi()));
    EXPECT_EQ(p.h.ui.messages,
              (std::vector<ShownMessage>{
                  {"Can not use /" + over + ": the Save Log Location takes at most 259 characters.",
                   "twntcfg Error", MessageKind::Error}}));
    EXPECT_EQ(p.dlg.text(ctl::kLogLocation), "");
    EXPECT_TRUE(BrowseSaveLogLocation(p.dlg, p.dlg.wmi()));
    EXPECT_EQ(p.dlg.text(ctl::kLogLocation), "/" + fits);
    // "/opt/check /INT=300;" in front of the old entries: 20 characters.
    for (const size_t old : {7980u, 7979u}) {
        p.h.ui.clear();
        ASSERT_TRUE(p.dlg.setText(ctl::kExternals, std::string(old, 'x')));
        p.h.ui.files = {std::string("/opt/check")};
        EXPECT_EQ(AddExternal(p.dlg, p.dlg.wmi()), old == 7979u) << old;
        EXPECT_EQ(
            p.h.ui.texts(),
            old == 7979u
                ? std::vector<std::string>{}
                : std::vector<
                      std::string>{"Can not add /opt/check: the Externals List would be longer "
                                   "than 7999 characters."})
            << old;
    }
}

}  // namespace
}  // namespace tw::editor
