// The WMI test editor's windows on Qt Widgets, each the layout of its form
// (FormDialog): "WMI Test Configuration" (WMITestConfig), "New WMI Test"
// (AddWMITest), "Numerical Threshold" and "String Threshold"
// (WMINumThreshold, WMIStrThreshold) and "WMI Win32 Class Browser"
// (WMIBrowser). The forms open one another; dialogFor() gives the window of
// each.
#pragma once

#include "editor/addwmitest.h"
#include "editor/qt/formdialog.h"
#include "editor/wmibrowser.h"
#include "editor/wmitestconfig.h"
#include "editor/wmithreshold.h"

namespace tw::editor::qt {

class WmiTestConfigDialog : public FormDialog {
    Q_OBJECT
  public:
    explicit WmiTestConfigDialog(WMITestConfig& model, QWidget* parent = nullptr);
};

class AddWmiTestDialog : public FormDialog {
    Q_OBJECT
  public:
    explicit AddWmiTestDialog(AddWMITest& model, QWidget* parent = nullptr);
};

class NumThresholdDialog : public FormDialog {
    Q_OBJECT
  public:
    explicit NumThresholdDialog(WMINumThreshold& model, QWidget* parent = nullptr);
};

class StrThresholdDialog : public FormDialog {
    Q_OBJECT
  public:
    explicit StrThresholdDialog(WMIStrThreshold& model, QWidget* parent = nullptr);
};

class WmiBrowserDialog : public FormDialog {
    Q_OBJECT
  public:
    explicit WmiBrowserDialog(WMIBrowser& model, QWidget* parent = nullptr);
};

}  // namespace tw::editor::qt
