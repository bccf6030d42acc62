#include "editor/picklists.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "test/support/editor_harness.h"

namespace tw::editor {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Started = testing::StartedDialog;

// ---- pick lists ------------------------------------------------------------------------

TEST(PickLists, PickListsAreFilledWithTheirEntryTexts) {
    Started h;
    auto& d = h.dlg;
    EXPECT_THAT(d.entries(ctl::kProcsPick), ElementsAre(".exe", "Idle", "sqlservr", "svchost"));
    EXPECT_THAT(d.entries(ctl::kDrivesPick),
                ElementsAre("A: 3 1/2 Inch Floppy Drive", "C: Local Fixed Disk", "Z: "));
    EXPECT_THAT(d.entries(ctl::kServicesPick),
                ElementsAre("Print Spooler", "Tallwatch Professional Edition Client 5.01"));
    EXPECT_THAT(d.entries(ctl::kNetIfsPick), ElementsAre("eth0 1000Mbps", "lo 10Mbps"));
}

struct PickCase {
    const char* list;
    const char* field;
    const char* entry;
    const char* before;
    const char* after;
};

void PrintTo(const PickCase& c, std::ostream* os) {
    *os << c.entry << " onto <" << c.before << ">";
}

class PickListChoice : public ::testing::TestWithParam<PickCase> {};

TEST_P(PickListChoice, ChoosingAnEntryPutsItInFrontOnce) {
    const auto& c = GetParam();
    Started h(false);
    auto& d = h.dlg;
    d.click(ctl::kPerform);  // a loaded cpu:P; the fields below belong to enabled tests
    for (const char* t : {"disk", "netdata", "procs", "svcs"}) {
        const auto& names = d.entries(ctl::kSetTest);
        d.select(ctl::kSetTest,
                 static_cast<int>(std::find(names.begin(), names.end(), t) - names.begin()));
        d.click(ctl::kPerform);
    }
    d.setText(ctl::kDrivesWarning, "90");
    d.setText(ctl::kDrivesPanic, "95");
    d.setText(c.field, c.before);
    const auto& entries = d.entries(c.list);
    int index = static_cast<int>(std::find(entries.begin(), entries.end(), std::string(c.entry)) -
                                 entries.begin());
    ASSERT_LT(index, static_cast<int>(entries.size())) << c.entry;
    d.select(c.list, index);
    EXPECT_EQ(d.text(c.field), c.after);
    d.select(c.list, -1);
    d.select(c.list, index);
    EXPECT_EQ(d.text(c.field), c.after) << "a second choice changes nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PickListChoice,
    ::testing::Values(
        PickCase{ctl::kDrivesPick, ctl::kDrives, "C: Local Fixed Disk", "", "C:90:95:R "},
        PickCase{ctl::kDrivesPick, ctl::kDrives, "A: 3 1/2 Inch Floppy Drive", "C:90:95:R ",
                 "A:90:95:R C:90:95:R "},
        PickCase{ctl::kProcsPick, ctl::kProcs, "svchost", "", "svchost:N:1 "},
        PickCase{ctl::kProcsPick, ctl::kProcs, "Idle", "svchost:N:1 ", "Idle:N:1 svchost:N:1 "},
        PickCase{ctl::kServicesPick, ctl::kServices, "Print Spooler", "", "Print Spooler:R:R:N"},
        PickCase{ctl::kServicesPick, ctl::kServices, "Print Spooler", "W32Time:R:R:N",
                 "Print Spooler:R:R:N;W32Time:R:R:N"},
        PickCase{ctl::kNetIfsPick, ctl::kNetIfs, "eth0 1000Mbps", "", "eth0 1000Mbps:85:95:80:90"},
        PickCase{ctl::kNetIfsPick, ctl::kNetIfs, "lo 10Mbps", "eth0 1000Mbps:85:95:80:90",
                 "lo 10Mbps:85:95:80:90;eth0 1000Mbps:85:95:80:90"}));

TEST(PickLists, PickListsStayEmptyWhenTheirQueryFails) {
    Started h(true, R"({"Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "X86"}],
                       "Win32_Service": []})");
    for (const char* list :
         {ctl::kProcsPick, ctl::kDrivesPick, ctl::kServicesPick, ctl::kNetIfsPick})
        EXPECT_THAT(h.dlg.entries(list), IsEmpty()) << list;
}

}  // namespace
}  // namespace tw::editor
