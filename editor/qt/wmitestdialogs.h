// The WMI test editor's windows on Qt Widgets, each over its model:
// "WMI Test Configuration" (WMITestConfig), "New WMI Test" (AddWMITest),
// "Numerical Threshold" and "String Threshold" (WMINumThreshold,
// WMIStrThreshold) and "WMI Win32 Class Browser" (WMIBrowser). The windows
// pass every edit and button to their model and show its state again; a
// window opens the next one where its model hands it over.
#pragma once

#include <QDialog>

#include "editor/addwmitest.h"
#include "editor/qt/viewkit.h"
#include "editor/twntcfgdlg.h"
#include "editor/wmibrowser.h"
#include "editor/wmitestconfig.h"
#include "editor/wmithreshold.h"

class QCheckBox;
class QLabel;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace tw::editor::qt {

class WmiTestConfigDialog : public QDialog {
    Q_OBJECT
  public:
    // Opens on the main dialog's target machine (the list is read now).
    explicit WmiTestConfigDialog(CtwntcfgDlg& dlg, QWidget* parent = nullptr);
    void refresh();

  public slots:
    // Escape and the close box: as "Quit".
    void reject() override;

  private:
    void edit(AddWMITest t);

    WMITestConfig model_;
    UiPort& ui_;
    QTreeWidget* list_;
    QPushButton* save_;
};

class AddWmiTestDialog : public QDialog {
    Q_OBJECT
  public:
    AddWmiTestDialog(AddWMITest& model, UiPort& ui, QWidget* parent = nullptr);
    void refresh();

  public slots:
    // Escape and the close box: as "Cancel".
    void reject() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void thresholdFocused();

    AddWMITest& model_;
    UiPort& ui_;
    QLineEdit* name_;
    QComboBox* type_;
    QComboBox* query_;
    QLineEdit* threshold_;
    QCheckBox* trend_;
    QPlainTextEdit* pageformat_;
    bool thresholdBusy_ = false;
};

class NumThresholdDialog : public QDialog {
    Q_OBJECT
  public:
    explicit NumThresholdDialog(WMINumThreshold& model, QWidget* parent = nullptr);

  private:
    void refresh();

    WMINumThreshold& model_;
    QCheckBox* or_;
    QLineEdit* fields_[6];
};

class StrThresholdDialog : public QDialog {
    Q_OBJECT
  public:
    explicit StrThresholdDialog(WMIStrThreshold& model, QWidget* parent = nullptr);

  private:
    WMIStrThreshold& model_;
};

class WmiBrowserDialog : public QDialog {
    Q_OBJECT
  public:
    explicit WmiBrowserDialog(WMIBrowser& model, QWidget* parent = nullptr);

  private:
    void refresh();

    WMIBrowser& model_;
    QListWidget* classes_;
    QListWidget* properties_;
    QLabel* query_;
    // The class whose properties the list shows (-1: none yet).
    int propertiesOf_ = -1;
};

}  // namespace tw::editor::qt
