// The main dialog of twntcfg ("Tallwatch Professional Edition Client 5.01
// Configuration Editor") as a model: every control is a named entry that a
// view binds to (the name is the label the dialog shows, see namespace ctl),
// every button a method. The model loads the agent's settings of the target
// machine into the controls, keeps the tests mode table, fills the four pick
// lists from WMI, checks and saves the settings, writes the export file and
// drives the service button.
//
// A view:
//   - creates the model with the platform, the log and its UiPort, calls
//     OnInitDialog() (a returned exit code ends the program), then shows
//     controls() and re-reads them after every call into the model;
//   - passes the person's edits in: setText(), setChecked(), select() (the
//     entry index of a choice, list or pick list), click() for buttons and
//     mode radio buttons, focusLost() when a control loses the focus;
//   - closes the window once closed() is true (after click(ctl::kQuit));
//   - opens the WMI test editor after click(ctl::kWmiTestConfig) with wmi().
// The "Add External" button and the browse button beside "Save Log
// Location" are served by the remote-selection helpers, which change the
// fields through setText() (click() answers false for them).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/settingstable.h"
#include "editor/dialogsettings.h"
#include "editor/editorlog.h"
#include "editor/uiport.h"
#include "editor/wmicontext.h"
#include "platform/platform.h"

namespace tw::editor {

inline constexpr const char* kDialogTitle =
    "Tallwatch Professional Edition Client 5.01 Configuration Editor";
// The maker's web address, opened by the logo button.
inline constexpr const char* kWebAddress = "https://www.orvane.com/";

// Control names: the labels of the dialog (repeated labels prefixed by their
// group's label).
namespace ctl {
inline constexpr const char* kDisplayHosts = "DISPLAY hosts";
inline constexpr const char* kDisplayEntry = "DISPLAY hosts entry";
inline constexpr const char* kDisplayAdd = "DISPLAY hosts Add";
inline constexpr const char* kDisplayDel = "DISPLAY hosts Del";
inline constexpr const char* kPagerHosts = "PAGER hosts";
inline constexpr const char* kPagerEntry = "PAGER hosts entry";
inline constexpr const char* kPagerAdd = "PAGER hosts Add";
inline constexpr const char* kPagerDel = "PAGER hosts Del";
inline constexpr const char* kComputerName = "Windows Computer Name";
inline constexpr const char* kLoad = "LOAD";
inline constexpr const char* kAlias = "TW Name Alias";
inline constexpr const char* kActivateLog = "Activate log";
inline constexpr const char* kFqdn = "Fully Qualified Domain Name";
inline constexpr const char* kSendAlerts = "Send Notification Alerts";
inline constexpr const char* kDrivesWarning = "Drives default Warning";
inline constexpr const char* kDrivesPanic = "Drives default Panic";
inline constexpr const char* kCpuWarning = "CPU default Warning";
inline constexpr const char* kCpuPanic = "CPU default Panic";
inline constexpr const char* kPageFileWarning = "Page File Usage Warning";
inline constexpr const char* kPageFilePanic = "Page File Usage Panic";
inline constexpr const char* kPhysWarning = "Physical Memory Warning";
inline constexpr const char* kPhysPanic = "Physical Memory Panic";
inline constexpr const char* kCommitWarning = "Commit Charge Warning";
inline constexpr const char* kCommitPanic = "Commit Charge Panic";
inline constexpr const char* kRebootColor = "CPU color on reboot";
inline constexpr const char* kRebootMins = "CPU reboot message duration";
inline constexpr const char* kStartDelay = "Start monitoring after";
inline constexpr const char* kUpDays = "CPU warning when computer has been up";
inline constexpr const char* kUpDaysColor = "and set status color to";
inline constexpr const char* kPageLevels = "Page Levels";
inline constexpr const char* kLogLocation = "Save Log Location";
inline constexpr const char* kLogLocationBrowse = "Save Log Location Browse";
inline constexpr const char* kMsgLevels = "Msg Levels";
inline constexpr const char* kIgnoreMsgs = "Ignore Msgs";
inline constexpr const char* kProcs = "Processes List";
inline constexpr const char* kProcsPick = "Processes List pick list";
inline constexpr const char* kDrives = "Drives List";
inline constexpr const char* kDrivesPick = "Drives List pick list";
inline constexpr const char* kServices = "Services List";
inline constexpr const char* kServicesPick = "Services List pick list";
inline constexpr const char* kNetIfs = "Network IFs";
inline constexpr const char* kNetIfsPick = "Network IFs pick list";
inline constexpr const char* kExternals = "Externals List";
inline constexpr const char* kAddExternal = "Add External";
inline constexpr const char* kKeyCode = "Key Code";
inline constexpr const char* kIpPort = "IP Port";
inline constexpr const char* kTimer = "Timer";
inline constexpr const char* kLogsTimer = "Logs Timer";
inline constexpr const char* kSetTest = "Set test";
inline constexpr const char* kPerform = "Perform";
inline constexpr const char* kPerformTrend = "Perform/Trend";
inline constexpr const char* kAlwaysGreen = "Always Green";
inline constexpr const char* kDisable = "Disable";
// The service button; its text is the caption, "Start Service" or "Stop
// Service", and click() takes either.
inline constexpr const char* kService = "Start Service";
inline constexpr const char* kWmiTestConfig = "WMI Test Config";
inline constexpr const char* kSave = "Save";
inline constexpr const char* kQuit = "Quit";
inline constexpr const char* kLogo = "Logo";
}  // namespace ctl

enum class ControlKind {
    Text,      // free text (limit: the setting's text limit)
    Digits,    // digits only
    Percent,   // digits only, at most 3
    CheckBox,  // checked
    Choice,    // a drop-down choice: entries (sorted), selected
    List,      // a host list: entries (sorted), selected
    PickList,  // a pick list beside a field: entries (sorted); choosing one edits the field
    Radio,     // a mode button: checked
    Button,    // text is the caption
};

struct Control {
    std::string name;
    ControlKind kind;
    std::string text;
    bool checked = false;
    std::vector<std::string> entries;
    int selected = -1;  // index into entries, -1: none
    bool enabled = true;
    size_t limit = 0;  // most characters a Text/Digits/Percent control takes; 0: no limit
};

// The ten built-in tests with their modes, in the order of the default
// Tests text.
struct TestModeEntry {
    std::string name;
    char mode;
};

// The default Tests text.
const char* defaultTestsText();

class CtwntcfgDlg {
  public:
    CtwntcfgDlg(platform::Platform& platform, const EditorLog& log, UiPort& ui);
    ~CtwntcfgDlg();

    // Dialog start: starts the WMI context and loads the target machine.
    // Answers the exit code (1) when the program has to end at once.
    std::optional<int> OnInitDialog();

    // ---- the controls, for views ------------------------------------------
    const std::vector<Control>& controls() const { return controls_; }
    // nullptr for an unknown name.
    const Control* control(std::string_view name) const;
    const std::string& text(std::string_view name) const;
    bool checked(std::string_view name) const;
    bool enabled(std::string_view name) const;
    const std::vector<std::string>& entries(std::string_view name) const;
    int selected(std::string_view name) const;
    // The selected entry's text, empty when none.
    std::string selectedText(std::string_view name) const;

    // ---- the person's edits ---------------------------------------------------
    // Replaces a text control's text; false (nothing changed) when the text
    // breaks the control's rule (digits only, length) or the control is
    // disabled.
    bool setText(std::string_view name, std::string text);
    void setChecked(std::string_view name, bool on);
    // Selects an entry of a choice, host list or pick list (-1: none).
    void select(std::string_view name, int index);
    // Buttons and mode buttons; false when the model has nothing to do for
    // that name.
    bool click(std::string_view name);
    // A control lost the input focus.
    void focusLost(std::string_view name);
    bool closed() const { return closed_; }

    // ---- operations --------------------------------------------------------------
    void InitializeComponentValues();
    void GetRegistryValues();
    void CollectSettings();
    bool ValidateSettings();
    bool ValidateNetworkInterfaces();
    void SaveSettings();
    void ProcListCombo();
    void DiskListCombo();
    void ServiceListCombo();
    void NetworkListCombo();
    void StartStopService();

    const SettingTexts& LoadedSettings() const { return loaded_; }
    // The settings the last load could not read (in the dialog's order, by
    // the editor's names): their fields show empty, and Save writes them
    // only once their fields have been changed.
    std::vector<std::string> UnreadSettings() const;
    const SettingTexts& EditedSettings() const { return edited_; }
    const std::vector<TestModeEntry>& TestModeTable() const { return testModes_; }
    bool ServiceState() const { return serviceState_; }

    WmiContext& wmi() { return wmi_; }
    const EditorLog& log() const { return log_; }
    UiPort& ui() { return ui_; }
    platform::Platform& platform() { return platform_; }

  private:
    // The settings as the fields give them now.
    SettingTexts collected() const;
    void reportUnread();
    Control& ctrl(std::string_view name);
    void enableSave() { ctrl(ctl::kSave).enabled = true; }
    void setEntries(Control& c, std::vector<std::string> entries);
    int insertSorted(Control& c, std::string entry);
    void fillFields();
    void fillPickList(const char* name, const std::vector<std::string>& entries);
    void buildTestModes();
    void enableTestFields(const TestModeEntry& e);
    void showSelectedMode();
    void clickMode(std::string_view button);
    void addHost(const char* list, const char* entry, const char* add);
    void delHost(const char* list);
    void pick(std::string_view list, int index);
    void clickLoad();
    void clickQuit();
    void clickService();
    bool fail(const std::string& message, const char* focus);

    platform::Platform& platform_;
    const EditorLog& log_;
    UiPort& ui_;
    WmiContext wmi_;
    std::vector<Control> controls_;
    SettingTexts loaded_;
    SettingTexts edited_;
    std::vector<TestModeEntry> testModes_;
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
