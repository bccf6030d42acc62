// The main window of twntcfg on Qt Widgets: the main dialog's form
// (CtwntcfgDlg) laid out as an administrator reads it, in groups; the
// widgets, their texts and what follows the person's edits are the form's
// (FormDialog). The window holds no settings of its own.
//
// Enter and Escape close nothing; the close box asks as "Quit" does.
#pragma once

#include "editor/qt/formdialog.h"
#include "editor/twntcfgdlg.h"

namespace tw::editor::qt {

class TwntcfgDialog : public FormDialog {
    Q_OBJECT
  public:
    explicit TwntcfgDialog(CtwntcfgDlg& model, QWidget* parent = nullptr);

  private:
    QWidget* hostList(const char* list, const char* entry, const char* add, const char* del);
    QWidget* fieldWithPicker(const char* field, const char* picker);
    void build();
};

}  // namespace tw::editor::qt
