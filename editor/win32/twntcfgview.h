// The main dialog on Windows: the dialog resource IDD_TWNTCFG bound to the
// model CtwntcfgDlg. Every control of the model has its control here (see
// mainControls()); the person's edits go to the model, and after every call
// into it the controls show the model again. Enter and Escape close
// nothing; the close box asks like "Quit".
#pragma once

#include <string_view>
#include <vector>

#include "editor/twntcfgdlg.h"
#include "editor/win32/dialogkit.h"
#include "editor/win32/win32ui.h"

namespace tw::editor::win32 {

// The model's controls and their identifiers in IDD_TWNTCFG.
const std::vector<ControlBinding>& mainControls();

class TwntcfgView final : public ModalDialog {
  public:
    TwntcfgView(CtwntcfgDlg& model, Win32Ui& ui) : ModalDialog(ui), model_(model) {}
    ~TwntcfgView() override;

    // Runs the dialog until it closes: the program's exit code (1 when
    // WMI could not be started, else 0).
    int run();
    HWND named(std::string_view name) const override;

  protected:
    INT_PTR message(UINT msg, WPARAM wp, LPARAM lp) override;

  private:
    void init();
    void command(int id, int code, HWND control);
    void clicked(const ControlBinding& b);
    void refresh();
    void quit();

    CtwntcfgDlg& model_;
    // Set while the controls are being brought in line with the model: the
    // notifications that causes are not edits.
    bool updating_ = false;
    DropDownChoice dropDown_;
    HBITMAP logo_ = nullptr;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
};

}  // namespace tw::editor::win32
