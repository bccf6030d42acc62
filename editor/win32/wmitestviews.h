// The WMI test editor on Windows: "WMI Test Configuration", "New WMI Test",
// "Numerical Threshold", "String Threshold" and the class browser ("WMI
// Win32 Class Browser"), each a dialog resource bound to its form
// (editor/wmitestconfig.h, addwmitest.h, wmithreshold.h, wmibrowser.h) by
// FormView; runDialogFor() runs the one of a form.
#pragma once

#include <vector>

#include "editor/win32/formview.h"

namespace tw::editor::win32 {

// The controls of each dialog by their names.
const std::vector<ControlBinding>& wmiTestConfigControls();
const std::vector<ControlBinding>& addWmiTestControls();
const std::vector<ControlBinding>& numThresholdControls();
const std::vector<ControlBinding>& strThresholdControls();
const std::vector<ControlBinding>& wmiBrowserControls();

}  // namespace tw::editor::win32
