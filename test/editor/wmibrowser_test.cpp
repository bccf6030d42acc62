#include "editor/wmibrowser.h"

#include <gtest/gtest.h>

#include "test/support/editor_harness.h"

namespace tw::editor {
namespace {

const char kFixture[] = R"({
    "Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "X86-based PC"}],
    "Win32_Processor": [{"Name": "Xeon", "NumberOfCores": 8, "Is64": true},
                        {"Name": "Atom", "NumberOfCores": 2, "Is64": false}],
    "win32_BIOS": [{"Version": "1.0"}],
    "Win32_Battery": [{"Status": "OK"}],
    "CIM_DataFile": [{"Name": "c:\\a"}],
    "Win32_Big": [{"Text": "%BIG%"}, {"Text": "%BIG%"}, {"Text": "%BIG%"}, {"Text": "%BIG%"}]
})";

std::string fixture() {
    std::string json = kFixture;
    const std::string big(4000, 'x');
    for (size_t at; (at = json.find("%BIG%")) != std::string::npos;) json.replace(at, 5, big);
    return json;
}

class WmiBrowserTest : public ::testing::Test {
  protected:
    testing::EditorHarness h{fixture()};
    void SetUp() override {
        ASSERT_TRUE(h.wmi.start());
        h.wmi.ConnectWMIDB(kRootCimv2);
        h.provider.queries.clear();
    }
    const std::vector<std::string>& queries() { return h.provider.queries; }
};

TEST_F(WmiBrowserTest, ClassListPropertiesAndTheQueryText) {
    std::string query = "old";
    WMIBrowser b(h.wmi, query);
    EXPECT_EQ(queries().front(), "SELECT * FROM meta_class Where __Class Like \"Win32%\"");
    // Sorted without regard to case; classes of other prefixes are left out.
    EXPECT_EQ(b.classes, (std::vector<std::string>{"Win32_Battery", "Win32_Big", "win32_BIOS",
                                                   "Win32_ComputerSystem", "Win32_Processor"}));
    EXPECT_EQ(b.selectedClass, 0);
    EXPECT_EQ(b.properties, (std::vector<std::string>{"Status"}));
    EXPECT_EQ(b.selectedProperty, 0);

    b.selectClass(4);
    EXPECT_EQ(queries().back(), "SELECT * FROM meta_class WHERE __Class = \"Win32_Processor\"");
    EXPECT_EQ(b.properties, (std::vector<std::string>{"Name", "NumberOfCores", "Is64"}));
    EXPECT_EQ(b.selectedProperty, 0);
    EXPECT_EQ(query, "old") << "nothing changes before OK";
    b.ok();
    EXPECT_EQ(query, "select Name from Win32_Processor");
    b.selectProperty(1);
    EXPECT_EQ(b.queryText(), "select NumberOfCores from Win32_Processor");
}

TEST_F(WmiBrowserTest, NoConnectionOrAFailingQueryLeavesTheListsEmpty) {
    std::string query = "old";
    h.provider.failQueries.insert("SELECT * FROM meta_class Where __Class Like \"Win32%\"");
    WMIBrowser failed(h.wmi, query);
    EXPECT_TRUE(failed.classes.empty());
    EXPECT_EQ(failed.selectedClass, -1);
    failed.ok();
    EXPECT_EQ(query, "old");

    h.wmi.end();
    WMIBrowser none(h.wmi, query);
    EXPECT_TRUE(none.classes.empty());
}

TEST_F(WmiBrowserTest, ClassDetailFormat) {
    EXPECT_EQ(ClassDetail(h.wmi, "Win32_Processor").value_or("failed"),
              "WMI Class Win32_Processor:\n\nProperties:\nName|NumberOfCores|Is64\n\nValues:\n"
              "Xeon|8\nAtom|2\n");
    EXPECT_EQ(ClassDetail(h.wmi, "Win32_Nothing").value_or("failed"), "failed");

    // A class without instances, or whose instances cannot be queried, ends
    // with the "Values:" header.
    h.provider.emptyQueries.insert("SELECT * FROM Win32_Battery");
    EXPECT_EQ(ClassDetail(h.wmi, "Win32_Battery").value_or("failed"),
              "WMI Class Win32_Battery:\n\nProperties:\nStatus\n\nValues:\n");
    h.provider.failQueries.insert("SELECT * FROM win32_BIOS");
    EXPECT_EQ(ClassDetail(h.wmi, "win32_BIOS").value_or("failed"),
              "WMI Class win32_BIOS:\n\nProperties:\nVersion\n\nValues:\n");
    h.provider.brokenQueries.insert("SELECT * FROM Win32_Processor");
    EXPECT_EQ(ClassDetail(h.wmi, "Win32_Processor").value_or("failed"),
              "WMI Class Win32_Processor:\n\nProperties:\nName|NumberOfCores|Is64\n\nValues:\n");
    h.wmi.end();
    EXPECT_EQ(ClassDetail(h.wmi, "Win32_Processor").value_or("failed"), "failed");
}

TEST_F(WmiBrowserTest, ClassDetailStopsPastTwelveThousandCharacters) {
    const std::string head = "WMI Class Win32_Big:\n\nProperties:\nText\n\nValues:\n";
    const std::string line = std::string(4000, 'x') + "\n";
    const std::string more = "..................................\n";
    // Instances of 4001 characters each: after the fourth the text is longer
    // than 22528 - 10240 characters, and the dots end it.
    struct Case {
        size_t bufsize;
        size_t lines;
    } cases[] = {{kClassDetailBytes, 4}, {10240 + 4100, 2}, {10240 + 100, 1}};
    for (const Case& c : cases) {
        std::string expected = head;
        for (size_t i = 0; i < c.lines; ++i) expected += line;
        expected += more;
        std::string text = ClassDetail(h.wmi, "Win32_Big", c.bufsize).value_or("failed");
        EXPECT_EQ(text.size(), expected.size()) << c.bufsize;
        EXPECT_TRUE(text == expected) << c.bufsize;
    }
    // Never more than the buffer holds.
    std::string text = ClassDetail(h.wmi, "Win32_Big", 3000).value_or("failed");
    EXPECT_EQ(text.size(), 2999u);
    EXPECT_EQ(text.substr(0, head.size() + 10), head + std::string(10, 'x'));
    EXPECT_EQ(text.substr(text.size() - more.size()), more);
}

}  // namespace
}  // namespace tw::editor
