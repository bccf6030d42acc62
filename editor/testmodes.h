// The main dialog's tests panel: "Set test" chooses one of the ten built-in
// tests and the mode buttons ("Perform", "Perform/Trend", "Always Green",
// "Disable") show and set its mode. A test's mode enables or disables the
// fields it reads; a test that cannot carry performance data has no
// "Perform/Trend". Every mode click rewrites the Tests text with all ten.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "editor/form.h"

namespace tw::editor {

// The ten built-in tests with their modes, in the order of the default
// Tests text.
struct TestModeEntry {
    std::string name;
    char mode;
};

class TestModePanel {
  public:
    // Binds the panel to the form's "Set test" choice and mode buttons;
    // changed gets the new Tests text after every mode click.
    TestModePanel(Form& form, std::function<void(const std::string& tests)> changed);

    // After a load: the ten tests with the modes of the Tests text (an
    // empty text becomes the default one), the first test selected.
    void load(std::string& tests);
    const std::vector<TestModeEntry>& table() const { return modes_; }

  private:
    void enableFields(const TestModeEntry& e);
    void showSelected();
    void clickMode(const char* button);

    Form& form_;
    std::function<void(const std::string&)> changed_;
    std::vector<TestModeEntry> modes_;
};

}  // namespace tw::editor
