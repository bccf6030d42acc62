// The main dialog on Windows: the dialog resource IDD_TWNTCFG bound to the
// model CtwntcfgDlg (FormView). Every control of the model has its control
// here (mainControls(), the static texts mainLabels()). Enter and Escape
// close nothing; the close box asks like "Quit".
#pragma once

#include <vector>

#include "editor/twntcfgdlg.h"
#include "editor/win32/formview.h"

namespace tw::editor::win32 {

// The model's controls and static texts, and their identifiers in
// IDD_TWNTCFG.
const std::vector<ControlBinding>& mainControls();
const std::vector<ControlBinding>& mainLabels();

class TwntcfgView final : public FormView {
  public:
    TwntcfgView(CtwntcfgDlg& model, Win32Ui& ui);
    ~TwntcfgView() override;

    // Runs the dialog until it closes: the program's exit code (1 when
    // WMI could not be started, else 0).
    int run();

  protected:
    bool start() override;

  private:
    CtwntcfgDlg& model_;
    int exitCode_ = 0;
    HBITMAP logo_ = nullptr;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
};

}  // namespace tw::editor::win32
