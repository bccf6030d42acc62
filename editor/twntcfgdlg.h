// The main dialog of twntcfg ("Tallwatch Professional Edition Client 5.01
// Configuration Editor") as a model: the settings form (its controls, see
// settingsform.h) with the actions of its buttons, the tests panel and the
// pick lists bound to it. The model loads the agent's settings of the
// target machine into the controls, checks and saves them, writes the
// export file and drives the service button.
//
// A view:
//   - creates the model with the platform, the log and its UiPort, calls
//     OnInitDialog(), then shows controls() and re-reads them after every
//     call into the model;
//   - passes the person's edits in as the form describes (form.h), and does
//     what click() answers ("WMI Test Config" opens the WMI test editor,
//     WMITestConfig, as sub(); "Quit" closes the window once closed() is
//     true).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "editor/dialogsettings.h"
#include "editor/editorlog.h"
#include "editor/form.h"
#include "editor/settingsform.h"
#include "editor/testmodes.h"
#include "editor/uiport.h"
#include "editor/wmicontext.h"
#include "platform/platform.h"

namespace tw::editor {

inline constexpr const char* kDialogTitle =
    "Tallwatch Professional Edition Client 5.01 Configuration Editor";
// The maker's web address, opened by the logo button.
inline constexpr const char* kWebAddress = "https://www.orvane.com/";

class CtwntcfgDlg : public Form {
  public:
    CtwntcfgDlg(platform::Platform& platform, const EditorLog& log, UiPort& ui);
    ~CtwntcfgDlg();

    // Dialog start: starts the WMI context and loads the target machine.
    void OnInitDialog();
    bool closed() const { return closed_; }

    // ---- operations --------------------------------------------------------------
    void InitializeComponentValues();
    void GetRegistryValues();
    void CollectSettings();
    // Shows the first problem of the collected settings and focuses its field.
    bool ValidateSettings();
    void SaveSettings();
    // The four pick lists from the current connection; the services' query
    // also finds whether the agent's service runs.
    void FillPickLists();
    void StartStopService();

    const SettingTexts& LoadedSettings() const { return loaded_; }
    // The settings the last load could not read (in the dialog's order, by
    // the editor's names): their fields show empty, and Save writes them
    // only once their fields have been changed.
    std::vector<std::string> UnreadSettings() const;
    const SettingTexts& EditedSettings() const { return edited_; }
    const std::vector<TestModeEntry>& TestModeTable() const { return testModes_.table(); }
    bool ServiceState() const { return serviceState_; }

    WmiContext& wmi() { return wmi_; }
    const EditorLog& log() const { return log_; }
    UiPort& ui() { return ui_; }
    platform::Platform& platform() { return platform_; }

  private:
    void bindActions();
    void reportUnread();
    void enableSave() { ctrl(ctl::kSave).enabled = true; }
    void clickLoad();
    void clickQuit();
    void clickService();

    platform::Platform& platform_;
    const EditorLog& log_;
    UiPort& ui_;
    WmiContext wmi_;
    TestModePanel testModes_;
    SettingTexts loaded_;
    SettingTexts edited_;
    // Per setting: the last load could not read it.
    std::array<bool, kDialogSettings> unread_{};
    // What the fields gave right after the last load: an unread setting is
    // written only once its field gives something else.
    SettingTexts shownAtLoad_;
    // Save runs (its own check of "Network IFs" stands for the focus check).
    bool saving_ = false;
    bool serviceState_ = false;
    bool closed_ = false;
};

}  // namespace tw::editor
