// "WMI Test Configuration": the list of the WMI tests stored in WMITests on
// the target machine, with "Add", "Edit", "Delete", "Save" and "Quit", as a
// form. The list is loaded when the dialog opens and written back only by
// "Save", which also leaves a copy of the text in the file twwmitests
// beside the export file. "Add" and "Edit" open "New WMI Test" (sub()).
#pragma once

#include <string>
#include <vector>

#include "editor/form.h"
#include "editor/wmicontext.h"
#include "editor/wmitestrows.h"
#include "platform/platform.h"

namespace tw::editor {

class WMITestConfig : public Form {
  public:
    static constexpr const char* kCaption = "WMI Test Configuration";
    // The controls: the list (a table, columns as in kWmiTestColumns; a
    // click on a row is "Edit") and the buttons.
    static constexpr const char* kList = "WMI Test List";
    static constexpr const char* kAdd = "Add";
    static constexpr const char* kEdit = "Edit";
    static constexpr const char* kDelete = "Delete";
    static constexpr const char* kSave = "Save";
    static constexpr const char* kQuit = "Quit";

    // Opening: reads WMITests and WMIPool from the target machine of wmi and
    // fills the list; "Save" is disabled. The platform's files and system
    // (this machine's) serve the twwmitests copy. The close box and Escape
    // are "Quit".
    WMITestConfig(WmiContext& wmi, platform::Platform& platform);

    std::vector<WmiTestRow> rows;  // the list's rows
    std::string pool;              // the WMIPool text

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
    ViewStep addTest();
    // The selected row is taken out of the list and handed to "New WMI
    // Test"; nothing (after a message) when no row is selected.
    ViewStep editTest();
    // The table shows rows again, nothing selected.
    void showRows();
    void enableSave() { ctrl(kSave).enabled = true; }

    WmiContext& wmi_;
    platform::Platform& platform_;
};

// Where "Save" leaves its copy of WMITests: "c:\windows\temp\twwmitests" on
// Windows; elsewhere "twwmitests" in the export file's directory (TEMP, else
// TMP, else the system's temporary directory).
std::string twwmitestspath(platform::System& system);

}  // namespace tw::editor
