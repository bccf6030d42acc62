// The main dialog's form: its controls (named by the labels the dialog
// shows, see namespace ctl), how the 27 settings map onto them and back,
// the host lists' Add and Del, and the checks Save makes, as plain
// functions that answer the message and the control to focus.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/dialogsettings.h"
#include "editor/form.h"

namespace tw::editor {

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
// The static texts beside the controls: the groups' titles, the headings of
// the thresholds, the word after "Set test" and the note on the service.
// Each field's label is named labelOf(field) and shows the field's name;
// a unit after a field is named unitOf(field).
inline constexpr const char* kHostsGroup = "Hosts";
inline constexpr const char* kIdentityGroup = "Identity and log";
inline constexpr const char* kThresholdsGroup = "Thresholds";
inline constexpr const char* kExternalsGroup = "Externals and timers";
inline constexpr const char* kServiceGroup = "Service";
inline constexpr const char* kTestsGroup = "Tests";
inline constexpr const char* kWarningHeading = "Warning (%)";
inline constexpr const char* kPanicHeading = "Panic (%)";
inline constexpr const char* kSetTestAs = "as";
inline constexpr const char* kServiceNote = "Service note";
}  // namespace ctl

// A row of the thresholds: its label (the label's name too) and its two
// fields.
struct ThresholdRow {
    const char* label;
    const char* warning;
    const char* panic;
};
inline constexpr ThresholdRow kThresholdRows[] = {
    {"CPU default", ctl::kCpuWarning, ctl::kCpuPanic},
    {"Drives default", ctl::kDrivesWarning, ctl::kDrivesPanic},
    {"Page File Usage", ctl::kPageFileWarning, ctl::kPageFilePanic},
    {"Physical Memory", ctl::kPhysWarning, ctl::kPhysPanic},
    {"Commit Charge", ctl::kCommitWarning, ctl::kCommitPanic},
};

// The name of the unit shown after a field.
inline std::string unitOf(std::string_view field) {
    return std::string(field) + " unit";
}

// Adds the main dialog's controls, in the dialog's order, with their rules
// and captions.
void addMainControls(Form& form);

// Shows loaded settings in the fields (the machine name included; Tests has
// its own panel).
void showSettings(Form& form, const SettingTexts& loaded);
// The settings as the fields give them now; Tests as given.
SettingTexts collectSettings(const Form& form, const std::string& tests);

// The field that shows a setting (named as in the settings table), nullptr
// for none. The WMI tests, edited in a window of their own, have the button
// that opens it.
const char* fieldOf(std::string_view setting);

// A check that failed: the message shown and the control that gets the focus.
struct Problem {
    std::string message;
    const char* focus;
};
// The first problem of settings collected from the form, nothing when they
// can be saved.
std::optional<Problem> checkSettings(const Form& form, const SettingTexts& edited);
// The first problem of a "Network IFs" text, nothing when every entry holds
// "Mbps" and two ascending pairs of figures.
std::optional<std::string> checkNetworkInterfaces(std::string_view text);

// A host list's Add: the entry field's text (blanks trimmed) joins the list
// at its sorted place unless an entry starts with it; the field empties.
void addHost(Form& form, const char* list, const char* entry, const char* add);
// A host list's Del: the selected entry goes; the first is selected.
void delHost(Form& form, const char* list);

// The pieces of a text split at ';', empty ones included or not.
std::vector<std::string> splitAll(std::string_view text);
std::vector<std::string> splitNonEmpty(std::string_view text);

}  // namespace tw::editor
