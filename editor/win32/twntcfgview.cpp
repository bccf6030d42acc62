#include "editor/win32/twntcfgview.h"

#include "editor/win32/resource.h"

namespace tw::editor::win32 {

const std::vector<ControlBinding>& mainControls() {
    static const std::vector<ControlBinding> kControls = {
        {ctl::kDisplayHosts, IDC_DISPLAY_LIST},
        {ctl::kDisplayEntry, IDC_DISPLAY_ENTRY},
        {ctl::kDisplayAdd, IDC_DISPLAY_ADD},
        {ctl::kDisplayDel, IDC_DISPLAY_DEL},
        {ctl::kPagerHosts, IDC_PAGER_LIST},
        {ctl::kPagerEntry, IDC_PAGER_ENTRY},
        {ctl::kPagerAdd, IDC_PAGER_ADD},
        {ctl::kPagerDel, IDC_PAGER_DEL},
        {ctl::kComputerName, IDC_COMPUTER_NAME},
        {ctl::kLoad, IDC_LOAD},
        {ctl::kAlias, IDC_ALIAS},
        {ctl::kActivateLog, IDC_ACTIVATE_LOG},
        {ctl::kFqdn, IDC_FQDN},
        {ctl::kSendAlerts, IDC_SEND_ALERTS},
        {ctl::kDrivesWarning, IDC_DRIVES_WARNING},
        {ctl::kDrivesPanic, IDC_DRIVES_PANIC},
        {ctl::kCpuWarning, IDC_CPU_WARNING},
        {ctl::kCpuPanic, IDC_CPU_PANIC},
        {ctl::kPageFileWarning, IDC_PAGEFILE_WARNING},
        {ctl::kPageFilePanic, IDC_PAGEFILE_PANIC},
        {ctl::kPhysWarning, IDC_PHYS_WARNING},
        {ctl::kPhysPanic, IDC_PHYS_PANIC},
        {ctl::kCommitWarning, IDC_COMMIT_WARNING},
        {ctl::kCommitPanic, IDC_COMMIT_PANIC},
        {ctl::kRebootColor, IDC_REBOOT_COLOR},
        {ctl::kRebootMins, IDC_REBOOT_MINS},
        {ctl::kStartDelay, IDC_START_DELAY},
        {ctl::kUpDays, IDC_UPDAYS},
        {ctl::kUpDaysColor, IDC_UPDAYS_COLOR},
        {ctl::kPageLevels, IDC_PAGE_LEVELS},
        {ctl::kLogLocation, IDC_LOG_LOCATION},
        {ctl::kLogLocationBrowse, IDC_LOG_BROWSE},
        {ctl::kMsgLevels, IDC_MSG_LEVELS},
        {ctl::kIgnoreMsgs, IDC_IGNORE_MSGS},
        {ctl::kProcs, IDC_PROCS},
        {ctl::kProcsPick, IDC_PROCS_PICK},
        {ctl::kDrives, IDC_DRIVES},
        {ctl::kDrivesPick, IDC_DRIVES_PICK},
        {ctl::kServices, IDC_SERVICES},
        {ctl::kServicesPick, IDC_SERVICES_PICK},
        {ctl::kNetIfs, IDC_NETIFS},
        {ctl::kNetIfsPick, IDC_NETIFS_PICK},
        {ctl::kExternals, IDC_EXTERNALS},
        {ctl::kAddExternal, IDC_ADD_EXTERNAL},
        {ctl::kKeyCode, IDC_KEYCODE},
        {ctl::kIpPort, IDC_IPPORT},
        {ctl::kTimer, IDC_TIMER},
        {ctl::kLogsTimer, IDC_LOGS_TIMER},
        {ctl::kSetTest, IDC_SET_TEST},
        {ctl::kPerform, IDC_PERFORM},
        {ctl::kPerformTrend, IDC_PERFORM_TREND},
        {ctl::kAlwaysGreen, IDC_ALWAYS_GREEN},
        {ctl::kDisable, IDC_DISABLE},
        {ctl::kService, IDC_SERVICE},
        {ctl::kWmiTestConfig, IDC_WMI_TEST_CONFIG},
        {ctl::kSave, IDC_SAVE},
        {ctl::kQuit, IDC_QUIT},
        {ctl::kLogo, IDC_LOGO},
    };
    return kControls;
}

const std::vector<ControlBinding>& mainLabels() {
    static const std::vector<ControlBinding> kLabels = {
        {ctl::kHostsGroup, IDC_GROUP_HOSTS},
        {labelOf(ctl::kDisplayHosts), IDC_DISPLAY_LABEL},
        {labelOf(ctl::kPagerHosts), IDC_PAGER_LABEL},
        {labelOf(ctl::kIpPort), IDC_IPPORT_LABEL},
        {labelOf(ctl::kKeyCode), IDC_KEYCODE_LABEL},
        {labelOf(ctl::kPageLevels), IDC_PAGE_LEVELS_LABEL},
        {ctl::kIdentityGroup, IDC_GROUP_IDENTITY},
        {labelOf(ctl::kComputerName), IDC_COMPUTER_NAME_LABEL},
        {labelOf(ctl::kAlias), IDC_ALIAS_LABEL},
        {labelOf(ctl::kLogLocation), IDC_LOG_LOCATION_LABEL},
        {ctl::kThresholdsGroup, IDC_GROUP_THRESHOLDS},
        {ctl::kWarningHeading, IDC_WARNING_HEADING},
        {ctl::kPanicHeading, IDC_PANIC_HEADING},
        {kThresholdRows[0].label, IDC_CPU_LABEL},
        {kThresholdRows[1].label, IDC_DRIVES_DEFAULT_LABEL},
        {kThresholdRows[2].label, IDC_PAGEFILE_LABEL},
        {kThresholdRows[3].label, IDC_PHYS_LABEL},
        {kThresholdRows[4].label, IDC_COMMIT_LABEL},
        {labelOf(ctl::kRebootColor), IDC_REBOOT_COLOR_LABEL},
        {labelOf(ctl::kRebootMins), IDC_REBOOT_MINS_LABEL},
        {unitOf(ctl::kRebootMins), IDC_REBOOT_MINS_UNIT},
        {labelOf(ctl::kStartDelay), IDC_START_DELAY_LABEL},
        {unitOf(ctl::kStartDelay), IDC_START_DELAY_UNIT},
        {labelOf(ctl::kUpDays), IDC_UPDAYS_LABEL},
        {unitOf(ctl::kUpDays), IDC_UPDAYS_UNIT},
        {labelOf(ctl::kUpDaysColor), IDC_UPDAYS_COLOR_LABEL},
        {ctl::kExternalsGroup, IDC_GROUP_EXTERNALS},
        {labelOf(ctl::kExternals), IDC_EXTERNALS_LABEL},
        {labelOf(ctl::kTimer), IDC_TIMER_LABEL},
        {unitOf(ctl::kTimer), IDC_TIMER_UNIT},
        {labelOf(ctl::kLogsTimer), IDC_LOGS_TIMER_LABEL},
        {unitOf(ctl::kLogsTimer), IDC_LOGS_TIMER_UNIT},
        {ctl::kServiceGroup, IDC_GROUP_SERVICE},
        {ctl::kServiceNote, IDC_SERVICE_NOTE},
        {ctl::kTestsGroup, IDC_GROUP_TESTS},
        {labelOf(ctl::kSetTest), IDC_SET_TEST_LABEL},
        {ctl::kSetTestAs, IDC_SET_TEST_AS},
        {labelOf(ctl::kProcs), IDC_PROCS_LABEL},
        {labelOf(ctl::kDrives), IDC_DRIVES_LABEL},
        {labelOf(ctl::kServices), IDC_SERVICES_LABEL},
        {labelOf(ctl::kNetIfs), IDC_NETIFS_LABEL},
        {labelOf(ctl::kMsgLevels), IDC_MSG_LEVELS_LABEL},
        {labelOf(ctl::kIgnoreMsgs), IDC_IGNORE_MSGS_LABEL},
    };
    return kLabels;
}

TwntcfgView::TwntcfgView(CtwntcfgDlg& model, Win32Ui& ui)
    : FormView(model, ui, IDD_TWNTCFG, mainControls(), mainLabels()), model_(model) {}

TwntcfgView::~TwntcfgView() {
    if (logo_) DeleteObject(logo_);
    if (bigIcon_) DestroyIcon(bigIcon_);
    if (smallIcon_) DestroyIcon(smallIcon_);
}

int TwntcfgView::run() {
    INT_PTR r = FormView::run();
    return r < 0 ? 1 : exitCode_;
}

bool TwntcfgView::start() {
    bigIcon_ =
        static_cast<HICON>(LoadImageA(resources(), MAKEINTRESOURCEA(IDI_TWNTCFG), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    smallIcon_ = static_cast<HICON>(LoadImageA(resources(), MAKEINTRESOURCEA(IDI_TWNTCFG),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    logo_ = static_cast<HBITMAP>(
        LoadImageA(resources(), MAKEINTRESOURCEA(IDB_LOGO), IMAGE_BITMAP, 0, 0, 0));
    SendMessageA(item(IDC_LOGO), BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo_));
    model_.OnInitDialog();
    return true;
}

}  // namespace tw::editor::win32
