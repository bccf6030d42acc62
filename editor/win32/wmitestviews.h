// The WMI test editor on Windows: "WMI Test Configuration", "New WMI Test",
// "Numerical Threshold", "String Threshold" and the class browser ("WMI
// Win32 Class Browser"), each a dialog resource bound to its model
// (editor/wmitestconfig.h, addwmitest.h, wmithreshold.h, wmibrowser.h).
#pragma once

#include <vector>

#include "editor/twntcfgdlg.h"
#include "editor/win32/dialogkit.h"
#include "editor/win32/win32ui.h"

namespace tw::editor::win32 {

// "WMI Test Configuration" over the main dialog, on its target machine;
// returns when it closes.
void runWmiTestConfig(CtwntcfgDlg& dlg, Win32Ui& ui);

// The controls of each dialog by their names.
const std::vector<ControlBinding>& wmiTestConfigControls();
const std::vector<ControlBinding>& addWmiTestControls();
const std::vector<ControlBinding>& numThresholdControls();
const std::vector<ControlBinding>& strThresholdControls();
const std::vector<ControlBinding>& wmiBrowserControls();

}  // namespace tw::editor::win32
