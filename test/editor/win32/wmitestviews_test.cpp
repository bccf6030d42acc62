// The WMI test editor of twntcfg.exe under Wine, worked by control
// identifier: a test added from the pool (the definition dialog filled from
// the pool entry, "Test Query" run on this machine's WMI, OK, Save), the
// threshold dialogs composing the "Threshold" text, the class browser
// opening and closing, and the dialogs' accessible names.
#include <algorithm>
#include <string>
#include <vector>

#include "editor/win32/resource.h"
#include "editor/win32/wmitestviews.h"
#include "test/support/editor_dialogs.h"

namespace tw::testing {
namespace {

constexpr char kConfigCaption[] = "WMI Test Configuration";
constexpr char kNewCaption[] = "New WMI Test";
constexpr char kPoolQuery[] = "select NumberOfProcessors from Win32_ComputerSystem";

class WmiTestViews : public EditorDialogTest {
  protected:
    // "wmitest" performed, so that "WMI Test Config" is enabled; then the
    // list dialog opened.
    HWND openConfig() {
        EXPECT_TRUE(choose(dlg_, IDC_SET_TEST, indexOf(dlg_, IDC_SET_TEST, "wmitest")));
        EXPECT_TRUE(click(dlg_, IDC_PERFORM));
        EXPECT_TRUE(isEnabled(dlg_, IDC_WMI_TEST_CONFIG));
        clickLater(dlg_, IDC_WMI_TEST_CONFIG);
        return waitWindow(kConfigCaption);
    }
    HWND openNew(HWND config) {
        clickLater(config, IDC_WMITEST_ADD);
        return waitWindow(kNewCaption);
    }
    static int rowCount(HWND config) {
        LRESULT n = -1;
        send(config, IDC_WMITEST_LIST, LVM_GETITEMCOUNT, 0, 0, &n);
        return static_cast<int>(n);
    }
    static std::string cell(HWND config, int row, int column) {
        char buf[1024] = {};
        LVITEMA it{};
        it.iSubItem = column;
        it.pszText = buf;
        it.cchTextMax = sizeof buf;
        send(config, IDC_WMITEST_LIST, LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
             reinterpret_cast<LPARAM>(&it));
        return buf;
    }
};

TEST_F(WmiTestViews, ATestFromThePoolIsCheckedAddedAndSaved) {
    HWND config = openConfig();
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(rowCount(config), 0);
    EXPECT_FALSE(isEnabled(config, IDC_WMITEST_SAVE));
    HWND add = openNew(config);
    ASSERT_NE(add, nullptr);
    EXPECT_TRUE(isEnabled(config, IDC_WMITEST_SAVE) || !IsWindowEnabled(config));

    // The query list offers an empty entry and the pool's queries.
    const auto queries = entries(add, IDC_WMI_QUERY);
    ASSERT_GE(queries.size(), 2u);
    EXPECT_EQ(queries[0], "");
    const int pooled = indexOf(add, IDC_WMI_QUERY, kPoolQuery);
    ASSERT_GE(pooled, 0);
    ASSERT_TRUE(choose(add, IDC_WMI_QUERY, pooled));
    EXPECT_EQ(text(add, IDC_TEST_NAME), "NumberOfProcessors");
    EXPECT_EQ(text(add, IDC_DATA_TYPE), "Numerical");
    EXPECT_EQ(text(add, IDC_THRESHOLD), "0:0");
    EXPECT_EQ(text(add, IDC_WMI_QUERY), kPoolQuery);
    EXPECT_EQ(text(add, IDC_PAGE_FORMAT), "Query: &query\r\n&value: %value%");
    EXPECT_TRUE(isEnabled(add, IDC_TREND));
    if (!env("TWNTCFG_SCREENSHOTS").empty()) {
        EXPECT_TRUE(screenshot("newwmitest", kNewCaption));
    }

    // "Test Query" runs the query here and shows the preview.
    clickLater(add, IDC_TEST_QUERY);
    ShownBox preview = answerBox("INFO");
    ASSERT_TRUE(preview.found);
    EXPECT_EQ(
        preview.text.rfind(std::string("Query: ") + kPoolQuery + "\r\nNumberOfProcessors: ", 0), 0u)
        << preview.text;

    clickLater(add, IDOK);
    ASSERT_TRUE(waitGone(add)) << "OK did not close the dialog";
    ASSERT_EQ(rowCount(config), 1);
    const std::vector<std::string> row = {cell(config, 0, 0), cell(config, 0, 1),
                                          cell(config, 0, 2), cell(config, 0, 3),
                                          cell(config, 0, 4), cell(config, 0, 5)};
    EXPECT_EQ(row, (std::vector<std::string>{"NumberOfProcessors", "Numerical", "0:0", "N",
                                             kPoolQuery, "Query: &query\\r\\n&value: %value%"}));
    EXPECT_TRUE(isEnabled(config, IDC_WMITEST_SAVE));
    ASSERT_TRUE(click(config, IDC_WMITEST_SAVE));
    EXPECT_FALSE(isEnabled(config, IDC_WMITEST_SAVE));
    ASSERT_TRUE(click(config, IDC_WMITEST_QUIT));
    ASSERT_TRUE(waitGone(config));

    // Opening the editor counts as a change of the main dialog.
    EXPECT_TRUE(isEnabled(dlg_, IDC_SAVE));
    ASSERT_TRUE(click(dlg_, IDC_SAVE));
    quit();
}

TEST_F(WmiTestViews, TheThresholdDialogsComposeTheThreshold) {
    HWND config = openConfig();
    ASSERT_NE(config, nullptr);
    const int rows = rowCount(config);
    HWND add = openNew(config);
    ASSERT_NE(add, nullptr);

    // Without a data type the field asks for one first.
    PostMessageA(add, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(add, IDC_THRESHOLD)),
                 TRUE);
    ShownBox first = answerBox("ERROR");
    EXPECT_EQ(first.text, "Please select data type first");
    EXPECT_TRUE(waitFocus(editor_->id(), GetDlgItem(add, IDC_WMI_QUERY)));

    struct Case {
        const char* type;
        const char* caption;
        const std::vector<editor::win32::ControlBinding>& controls;
        std::vector<std::pair<int, const char*>> fields;
        const char* threshold;
    };
    const Case cases[] = {
        {"Numerical",
         "Numerical Threshold",
         editor::win32::numThresholdControls(),
         {{IDC_NUM_WARNING, " 80"}, {IDC_NUM_PANIC, "90 "}},
         "80:90"},
        {"String",
         "String Threshold",
         editor::win32::strThresholdControls(),
         {{IDC_STR_WARNING, "Degraded"}, {IDC_STR_PANIC, "Error"}},
         "Degraded:Error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        ASSERT_TRUE(choose(add, IDC_DATA_TYPE, indexOf(add, IDC_DATA_TYPE, c.type)));
        EXPECT_EQ(isEnabled(add, IDC_TREND), std::string(c.type) == "Numerical");
        PostMessageA(add, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(add, IDC_THRESHOLD)),
                     TRUE);
        HWND t = waitWindow(c.caption);
        ASSERT_NE(t, nullptr);
        for (const auto& b : c.controls) EXPECT_EQ(accessibleName(GetDlgItem(t, b.id)), b.name);
        for (const auto& [id, value] : c.fields) ASSERT_TRUE(setText(t, id, value));
        clickLater(t, IDOK);
        ASSERT_TRUE(waitGone(t));
        EXPECT_EQ(text(add, IDC_THRESHOLD), c.threshold);
    }
    // A failed check keeps the numerical dialog open with its message.
    ASSERT_TRUE(choose(add, IDC_DATA_TYPE, indexOf(add, IDC_DATA_TYPE, "Numerical")));
    PostMessageA(add, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(add, IDC_THRESHOLD)),
                 TRUE);
    HWND num = waitWindow("Numerical Threshold");
    ASSERT_NE(num, nullptr);
    ASSERT_TRUE(click(num, IDC_NUM_OR));
    EXPECT_FALSE(isEnabled(num, IDC_NUM_WARNING));
    EXPECT_TRUE(isEnabled(num, IDC_PANIC_MIN));
    clickLater(num, IDOK);
    EXPECT_EQ(answerBox("ERROR").text, "Panic Min Value is empty.");
    EXPECT_TRUE(IsWindow(num));
    clickLater(num, IDCANCEL);
    ASSERT_TRUE(waitGone(num));

    // The class browser opens on this machine's classes; every class change
    // shows that class's properties.
    clickLater(add, IDC_BROWSER);
    HWND browser = waitWindow("WMI Win32 Class Browser");
    ASSERT_NE(browser, nullptr);
    auto has = [&](const char* property) {
        const auto all = entries(browser, IDC_PROPERTY_LIST);
        return std::find(all.begin(), all.end(), property) != all.end();
    };
    const int processor = indexOf(browser, IDC_CLASS_LIST, "Win32_Processor");
    const int os = indexOf(browser, IDC_CLASS_LIST, "Win32_OperatingSystem");
    if (processor >= 0 && os >= 0) {
        ASSERT_TRUE(choose(browser, IDC_CLASS_LIST, processor));
        EXPECT_TRUE(has("LoadPercentage"));
        ASSERT_TRUE(choose(browser, IDC_CLASS_LIST, os));
        EXPECT_TRUE(has("NumberOfProcesses"));
        EXPECT_FALSE(has("LoadPercentage"));
    }
    clickLater(browser, IDCANCEL);
    ASSERT_TRUE(waitGone(browser));

    // Cancel adds nothing; Quit asks, as "Add" was a change.
    clickLater(add, IDCANCEL);
    ASSERT_TRUE(waitGone(add));
    EXPECT_EQ(rowCount(config), rows);
    clickLater(config, IDC_WMITEST_QUIT);
    EXPECT_EQ(answerBox("Changes not saved", IDYES).text, "Continue without saving?");
    ASSERT_TRUE(waitGone(config));
    quit();
}

TEST_F(WmiTestViews, EveryControlCarriesItsAccessibleName) {
    HWND config = openConfig();
    ASSERT_NE(config, nullptr);
    for (const auto& b : editor::win32::wmiTestConfigControls())
        EXPECT_EQ(accessibleName(GetDlgItem(config, b.id)), b.name);
    HWND add = openNew(config);
    ASSERT_NE(add, nullptr);
    for (const auto& b : editor::win32::addWmiTestControls())
        EXPECT_EQ(accessibleName(GetDlgItem(add, b.id)), b.name);
    clickLater(add, IDCANCEL);
    ASSERT_TRUE(waitGone(add));
    clickLater(config, IDC_WMITEST_QUIT);
    answerBox("Changes not saved", IDYES);
    ASSERT_TRUE(waitGone(config));
    quit();
}

}  // namespace
}  // namespace tw::testing
