// A window of the editor on Qt Widgets over a form (editor/form.h): one
// widget per control, named by the control's name and made by this binder
// the first time the layout asks for it; a subclass only lays the widgets
// out. Every edit goes to the form, and every widget shows the form again
// after it; what a click answers is done here: the dialog the form opens
// shows modally over this one (dialogFor), or this one closes. The window's
// title and every text the person reads come from the form.
#pragma once

#include <QDialog>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editor/form.h"
#include "editor/qt/viewkit.h"

class QGroupBox;
class QLabel;

namespace tw::editor::qt {

class FormDialog : public QDialog {
    Q_OBJECT
  public:
    explicit FormDialog(Form& form, QWidget* parent = nullptr);

    // Shows the form's state in every widget.
    void refresh();
    // The widget of a control of the form; nullptr for an unknown name.
    QWidget* control(const std::string& name) const;

  protected:
    // ---- for the layout -----------------------------------------------------------
    // The widget of a control (made on first use; a name the form does not
    // have ends the program).
    QWidget* w(const std::string& name);
    // A static text of the form as a label, and as a group's title.
    QLabel* label(const std::string& name);
    QGroupBox* group(const std::string& name);
    // The layout is complete: every control of the form has its widget (or
    // the program ends); the mnemonics go to the buttons named in first,
    // then the other buttons, the check boxes and mode buttons, then the
    // fields' labels; the widgets show the form.
    void finish(std::initializer_list<const char*> first = {});

    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  public slots:
    // Escape: as the form says.
    void reject() override;

  private:
    QWidget* make(const Control& c);
    void clicked(const std::string& name);
    // Shows the form again and does what a click answered.
    void after(std::optional<ViewStep> step);

    Form& form_;
    Mnemonics mnemonics_;
    std::map<std::string, QWidget*> widgets_;
    std::map<std::string, std::vector<std::string>> shownEntries_;
    std::map<std::string, std::vector<std::vector<std::string>>> shownRows_;
    // A field whose focus opens a dialog is at it.
    bool opening_ = false;
    bool closing_ = false;
};

// The window of a form that another form opens; nullptr for a form no
// window shows.
std::unique_ptr<FormDialog> dialogFor(Form& form, QWidget* parent);

}  // namespace tw::editor::qt
