// The main window of twntcfg on Qt Widgets: the controls of the main
// dialog's model (CtwntcfgDlg), one widget each, named by the control's
// name, grouped as an administrator reads them. Every edit goes to the
// model and every widget shows the model's state again after it; the
// window holds no settings of its own.
//
// Enter and Escape close nothing; the close box asks as "Quit" does.
#pragma once

#include <QDialog>
#include <map>
#include <string>
#include <vector>

#include "editor/qt/viewkit.h"
#include "editor/twntcfgdlg.h"

class QGroupBox;
class QLabel;

namespace tw::editor::qt {

class TwntcfgDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TwntcfgDialog(CtwntcfgDlg& model, QWidget* parent = nullptr);

    // Shows the model's state in every widget.
    void refresh();
    // The widget of a control of the model; nullptr for an unknown name.
    QWidget* control(const std::string& name) const;

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  public slots:
    // Escape and the window system's cancel close nothing.
    void reject() override {}

  private:
    QWidget* w(const char* name);
    QWidget* make(const Control& c);
    QLabel* label(const char* text, const char* buddy);
    QGroupBox* group(const char* title);
    QWidget* hostList(const char* list, const char* entry, const char* add, const char* del);
    QWidget* fieldWithPicker(const char* field, const char* picker);
    void build();
    void assignMnemonics();
    void clicked(const std::string& name);
    void afterModel();

    CtwntcfgDlg& model_;
    Mnemonics mnemonics_;
    std::map<std::string, QWidget*> widgets_;
    std::map<std::string, std::vector<std::string>> shownEntries_;
    std::vector<std::pair<QLabel*, QString>> labels_;
};

}  // namespace tw::editor::qt
