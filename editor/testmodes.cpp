#include "editor/testmodes.h"

#include <algorithm>

#include "base/builtintests.h"
#include "base/testmode.h"
#include "editor/picklists.h"
#include "editor/settingsform.h"
#include "platform/ascii.h"

namespace tw::editor {

namespace {

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
    modes_.clear();
    std::vector<std::string> names;
    for (const BuiltinTest* t : kBuiltinTests) {
        modes_.push_back({t->word, 'D'});
        names.push_back(t->word);
    }
    form_.setEntries(ctl::kSetTest, names);
    if (tests.empty()) tests = kDefaultTestsText;
    TestModes scan;
    scan.parse(tests);
    for (const auto& e : scan.entries())
        for (auto& m : modes_)
            if (equalsNoCase(m.name, e.name)) m.mode = e.mode;
    for (const auto& m : modes_) enableFields(m);
    form_.ctrl(ctl::kSetTest).selected = modes_.empty() ? -1 : 0;
    showSelected();
}

// The fields of the settings only this test reads, with their pick lists.
void TestModePanel::enableFields(const TestModeEntry& e) {
    bool on;
    if (e.mode == 'D')
        on = false;
    else if (e.mode == 'P' || e.mode == 'G' || e.mode == 'T')
        on = true;
    else
        return;
    const BuiltinTest* test = builtintest(e.name);
    if (!test) return;
    for (const char* setting : test->settings) {
        const char* field = setting ? fieldOf(setting) : nullptr;
        if (!field) continue;
        form_.ctrl(field).enabled = on;
        for (const auto& p : kPickLists)
            if (std::string_view(p.field) == field) form_.ctrl(p.control).enabled = on;
    }
}

void TestModePanel::showSelected() {
    const std::string name = form_.selectedText(ctl::kSetTest);
    auto it = std::find_if(modes_.begin(), modes_.end(),
                           [&](const TestModeEntry& e) { return e.name == name; });
    if (it == modes_.end()) return;
    const BuiltinTest* test = builtintest(name);
    const bool noTrend = test && !test->trend;
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
