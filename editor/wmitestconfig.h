// "WMI Test Configuration": the list of the WMI tests stored in WMITests on
// the target machine, with "Add", "Edit", "Delete", "Save" and "Quit". The
// list is loaded when the dialog opens and written back only by "Save",
// which also leaves a copy of the text in the file twwmitests beside the
// export file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "editor/addwmitest.h"
#include "editor/twntcfgdlg.h"
#include "editor/wmicontext.h"
#include "editor/wmitestrows.h"
#include "platform/platform.h"

namespace tw::editor {

class WMITestConfig {
  public:
    static constexpr const char* kCaption = "WMI Test Configuration";

    // Opening from the main dialog, on its target machine (the dialog's own
    // "Save" is enabled by its "WMI Test Config" button).
    explicit WMITestConfig(CtwntcfgDlg& dlg);
    // Opening: reads WMITests and WMIPool from the target machine and fills
    // the list; "Save" is disabled. The platform's files and system (this
    // machine's) serve the twwmitests copy.
    WMITestConfig(WmiContext& wmi, platform::Platform& platform);

    std::vector<WmiTestRow> rows;  // the list, columns as in kWmiTestColumns
    int selected = -1;             // the selected row, -1: none
    bool saveEnabled = false;      // "Save"
    std::string pool;              // the WMIPool text

    // "Add": the dialog for a new test.
    AddWMITest add();
    // "Edit": the selected row is taken out of the list and handed to the
    // dialog; nothing (after a message) when no row is selected.
    std::optional<AddWMITest> edit();
    // "Delete": removes the selected row, without asking.
    void remove();
    // "Save": writes WMITests on the target machine and the twwmitests copy
    // on this one; "Save" stays enabled when the setting could not be
    // written (the failure has been shown).
    void save();
    // "Quit": true when the dialog may close (no pending changes, or the
    // administrator agreed to drop them).
    bool quit();

  private:
    WmiContext& wmi_;
    platform::Platform& platform_;
};

// Where "Save" leaves its copy of WMITests: "c:\windows\temp\twwmitests" on
// Windows; elsewhere "twwmitests" in the export file's directory (TEMP, else
// TMP, else the system's temporary directory).
std::string twwmitestspath(platform::System& system);

}  // namespace tw::editor
