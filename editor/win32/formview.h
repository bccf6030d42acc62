// A dialog of the editor on Windows over a form (editor/form.h): a dialog
// resource whose controls are bound to the form's by tables of names and
// identifiers, the controls the person works and the static texts apart.
// The caption and every text the person reads come from the form and are
// set when the dialog starts (the resource holds the layout only). Every
// edit goes to the form, and after every call into it the controls show
// the form again; what a click answers is done here: the dialog the form
// opens runs over this one (runDialogFor), or this one ends.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "editor/form.h"
#include "editor/win32/dialogkit.h"
#include "editor/win32/win32ui.h"

namespace tw::editor::win32 {

class FormView : public ModalDialog {
  public:
    FormView(Form& form, Win32Ui& ui, int resource, const std::vector<ControlBinding>& controls,
             const std::vector<ControlBinding>& labels);

    // Runs the dialog until it ends: IDOK once the form closed it done,
    // IDCANCEL once it closed it otherwise, -1 when it could not be created.
    INT_PTR run() { return ModalDialog::run(resource_); }
    HWND named(std::string_view name) const override;

  protected:
    INT_PTR message(UINT msg, WPARAM wp, LPARAM lp) override;
    // After the controls are bound, before they first show the form: false
    // when the dialog has ended (EndDialog called).
    virtual bool start() { return true; }
    Form& form() { return form_; }

  private:
    void init();
    void command(int id, int code, HWND control);
    void notify(const NMHDR& n);
    void after(std::optional<ViewStep> step);
    void refresh();
    void showTable(const Control& c, HWND list);
    const ControlBinding* bindingOf(int id) const;

    Form& form_;
    int resource_;
    const std::vector<ControlBinding>& controls_;
    const std::vector<ControlBinding>& labels_;
    // Set while the controls are being brought in line with the form: the
    // notifications that causes are not edits.
    bool updating_ = false;
    DropDownChoice dropDown_;
    // What the lists and tables show (by identifier).
    std::map<int, std::vector<std::string>> shownEntries_;
    std::map<int, std::vector<std::vector<std::string>>> shownRows_;
};

// Runs the dialog of a form that another form opens until it ends; false
// for a form no dialog shows.
bool runDialogFor(Form& form, Win32Ui& ui);

}  // namespace tw::editor::win32
