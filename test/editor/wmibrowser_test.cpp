#include "editor/wmibrowser.h"

#include <gtest/gtest.h>

#include "test/support/editor_harness.h"

namespace tw::editor {
namespace {

class WmiBrowserTest : public ::testing::Test {
  protected:
    testing::EditorHarness h{R"({
        "Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "X86-based PC"}],
        "Win32_Processor": [{"Name": "Xeon", "NumberOfCores": 8, "Is64": true},
                            {"Name": "Atom", "NumberOfCores": 2, "Is64": false}],
        "win32_BIOS": [{"Version": "1.0"}],
        "CIM_DataFile": [{"Name": "c:\\a"}],
        "Win32_Big": [{"T": "x"}]
    })"};
    void SetUp() override {
        h.wmi.start();
        h.wmi.ConnectWMIDB(kRootCimv2);
    }
};

TEST_F(WmiBrowserTest, ClassListPropertiesAndTheQueryText) {
    std::string query = "old";
    h.provider.failQueries.insert("SELECT * FROM meta_class Where __Class Like \"Win32%\"");
    WMIBrowser failed(h.wmi, query);
    EXPECT_EQ(failed.click(kOkButton), ViewStep::CloseOk);
    EXPECT_TRUE(failed.entries(WMIBrowser::kClasses).empty());
    EXPECT_EQ(query, "old");

    h.provider.failQueries.clear();
    WMIBrowser b(h.wmi, query);
    // Win32 classes only, sorted without regard to case; the first selected.
    EXPECT_EQ(b.entries(WMIBrowser::kClasses),
              (std::vector<std::string>{"Win32_Big", "win32_BIOS", "Win32_ComputerSystem",
                                        "Win32_Processor"}));
    EXPECT_EQ(b.entries(WMIBrowser::kProperties), std::vector<std::string>{"T"});
    b.select(WMIBrowser::kClasses, 3);
    EXPECT_EQ(h.provider.queries.back(),
              "SELECT * FROM meta_class WHERE __Class = \"Win32_Processor\"");
    EXPECT_EQ(b.entries(WMIBrowser::kProperties),
              (std::vector<std::string>{"Name", "NumberOfCores", "Is64"}));
    EXPECT_EQ(query, "old") << "nothing changes before OK";
    EXPECT_EQ(b.text(WMIBrowser::kQuery), "select Name from Win32_Processor");
    b.click(kOkButton);
    EXPECT_EQ(query, "select Name from Win32_Processor");
}

// Two classes that share the number of properties and the first name: the
// Qt view once kept showing the first class's list after the change.
TEST(WmiBrowser, EveryClassChangeGivesThatClasssProperties) {
    testing::EditorHarness h(R"({
        "Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "X86-based PC"}],
        "Win32_Fan": [{"Name": "f", "Speed": 1}],
        "Win32_Pump": [{"Name": "p", "Flow": 2}]
    })");
    h.wmi.start();
    h.wmi.ConnectWMIDB(kRootCimv2);
    std::string query;
    WMIBrowser b(h.wmi, query);
    ASSERT_EQ(b.entries(WMIBrowser::kClasses),
              (std::vector<std::string>{"Win32_ComputerSystem", "Win32_Fan", "Win32_Pump"}));
    b.select(WMIBrowser::kClasses, 1);
    EXPECT_EQ(b.entries(WMIBrowser::kProperties), (std::vector<std::string>{"Name", "Speed"}));
    b.select(WMIBrowser::kClasses, 2);
    EXPECT_EQ(b.entries(WMIBrowser::kProperties), (std::vector<std::string>{"Name", "Flow"}));
    b.select(WMIBrowser::kProperties, 1);
    EXPECT_EQ(b.queryText(), "select Flow from Win32_Pump");
    EXPECT_EQ(b.text(WMIBrowser::kQuery), b.queryText()) << "the dialog shows the query";
}

TEST_F(WmiBrowserTest, ClassDetailFormat) {
    const char* processor =
        "WMI Class Win32_Processor:\n\nProperties:\nName|NumberOfCores|Is64\n\nValues:\n";
    EXPECT_EQ(ClassDetail(h.wmi, "Win32_Processor").value_or("-"),
              std::string(processor) + "Xeon|8\nAtom|2\n");
    EXPECT_EQ(ClassDetail(h.wmi, "Win32_Nothing").value_or("-"), "-");
    // No instances, or instances that cannot be had: the "Values:" header ends it.
    h.provider.emptyQueries.insert("SELECT * FROM win32_BIOS");
    EXPECT_EQ(ClassDetail(h.wmi, "win32_BIOS").value_or("-"),
              "WMI Class win32_BIOS:\n\nProperties:\nVersion\n\nValues:\n");
    h.provider.brokenQueries.insert("SELECT * FROM Win32_Processor");
    EXPECT_EQ(ClassDetail(h.wmi, "Win32_Processor").value_or("-"), processor);
}

TEST(WmiBrowser, ClassDetailStopsPastTwelveThousandCharacters) {
    std::string json = R"({"Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "x"}],
                          "Win32_Big": [{"T": "%x%"}, {"T": "%x%"}, {"T": "%x%"}, {"T": "%x%"}]})";
    for (size_t at; (at = json.find("%x%")) != std::string::npos;)
        json.replace(at, 3, std::string(4000, 'x'));
    testing::EditorHarness h(json);
    h.wmi.start();
    h.wmi.ConnectWMIDB(kRootCimv2);
    const std::string head = "WMI Class Win32_Big:\n\nProperties:\nT\n\nValues:\n";
    const std::string line = std::string(4000, 'x') + "\n";
    const std::string more = "..................................\n";
    // After the fourth 4001-character line the text is past 22528 - 10240.
    for (auto [bufsize, lines] :
         {std::pair<size_t, int>{kClassDetailBytes, 4}, {10240 + 4100, 2}}) {
        std::string expected = head;
        for (int i = 0; i < lines; ++i) expected += line;
        EXPECT_TRUE(ClassDetail(h.wmi, "Win32_Big", bufsize) == expected + more) << bufsize;
    }
    std::string small = ClassDetail(h.wmi, "Win32_Big", 3000).value_or("-");
    EXPECT_EQ(small.size(), 2999u) << "never beyond the buffer";
    EXPECT_EQ(small.substr(small.size() - more.size()), more);
}

}  // namespace
}  // namespace tw::editor
