#include "editor/testmodes.h"

#include <algorithm>

#include "agent/core/base/settingstable.h"
#include "agent/core/base/testmode.h"
#include "editor/settingsform.h"
#include "platform/ascii.h"

namespace tw::editor {

namespace {

// The default Tests text, which also names the ten tests and their order.
constexpr const char* kDefaultTests = findsetting("Tests")->install;

// The tests whose mode cannot carry performance data.
constexpr const char* kNoTrendTests[] = {"msgs", "netprotl", "pagefile", "procs", "svcs"};

// The controls that a test's mode enables or disables.
struct TestFields {
    const char* test;
    const char* controls[2];
};
constexpr TestFields kTestFields[] = {
    {"disk", {ctl::kDrives, ctl::kDrivesPick}},     {"msgs", {ctl::kMsgLevels, ctl::kIgnoreMsgs}},
    {"netdata", {ctl::kNetIfs, ctl::kNetIfsPick}},  {"procs", {ctl::kProcs, ctl::kProcsPick}},
    {"svcs", {ctl::kServices, ctl::kServicesPick}}, {"wmitest", {ctl::kWmiTestConfig, nullptr}},
};

// The mode buttons in the order a click looks at them, with their letters.
struct ModeButton {
    const char* control;
    char mode;
};
constexpr ModeButton kModeButtons[] = {
    {ctl::kPerform, 'P'},
    {ctl::kPerformTrend, 'T'},
    {ctl::kAlwaysGreen, 'G'},
    {ctl::kDisable, 'D'},
};

}  // namespace

const char* defaultTestsText() {
    return kDefaultTests;
}

TestModePanel::TestModePanel(Form& form, std::function<void(const std::string& tests)> changed)
    : form_(form), changed_(std::move(changed)) {
    form_.onEdit(ctl::kSetTest, [this] { showSelected(); });
    for (const auto& m : kModeButtons)
        form_.onClick(m.control, [this, button = m.control] {
            clickMode(button);
            return ViewStep::None;
        });
}

void TestModePanel::load(std::string& tests) {
    TestModes scan;
    scan.parse(kDefaultTests);
    modes_.clear();
    std::vector<std::string> names;
    for (const auto& e : scan.entries()) {
        modes_.push_back({e.name, 'D'});
        names.push_back(e.name);
    }
    form_.setEntries(ctl::kSetTest, names);
    if (tests.empty()) tests = kDefaultTests;
    scan.parse(tests);
    for (const auto& e : scan.entries())
        for (auto& m : modes_)
            if (equalsNoCase(m.name, e.name)) m.mode = e.mode;
    for (const auto& m : modes_) enableFields(m);
    form_.ctrl(ctl::kSetTest).selected = modes_.empty() ? -1 : 0;
    showSelected();
}

void TestModePanel::enableFields(const TestModeEntry& e) {
    bool on;
    if (e.mode == 'D')
        on = false;
    else if (e.mode == 'P' || e.mode == 'G' || e.mode == 'T')
        on = true;
    else
        return;
    for (const auto& f : kTestFields)
        if (e.name == f.test)
            for (const char* c : f.controls)
                if (c) form_.ctrl(c).enabled = on;
}

void TestModePanel::showSelected() {
    const std::string name = form_.selectedText(ctl::kSetTest);
    auto it = std::find_if(modes_.begin(), modes_.end(),
                           [&](const TestModeEntry& e) { return e.name == name; });
    if (it == modes_.end()) return;
    const bool noTrend = std::any_of(std::begin(kNoTrendTests), std::end(kNoTrendTests),
                                     [&](const char* t) { return name == t; });
    form_.ctrl(ctl::kPerformTrend).enabled = !noTrend;
    if (noTrend && it->mode == 'T') it->mode = 'P';
    const char shown = it->mode == 'T' || it->mode == 'G' || it->mode == 'D' ? it->mode : 'P';
    for (const auto& m : kModeButtons) form_.ctrl(m.control).checked = m.mode == shown;
}

void TestModePanel::clickMode(const char* button) {
    char mode = 'P';
    for (const auto& m : kModeButtons) {
        form_.ctrl(m.control).checked = std::string_view(button) == m.control;
        if (std::string_view(button) == m.control) mode = m.mode;
    }
    const std::string name = form_.selectedText(ctl::kSetTest);
    for (auto& e : modes_)
        if (e.name == name) {
            e.mode = mode;
            enableFields(e);
        }
    std::string tests;
    for (const auto& e : modes_) {
        if (!tests.empty()) tests += ' ';
        tests += e.name + ":" + e.mode;
    }
    changed_(tests);
}

}  // namespace tw::editor
