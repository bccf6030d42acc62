#include "editor/win32/twntcfgview.h"

#include <cstdlib>

#include "editor/win32/resource.h"
#include "editor/win32/wmitestviews.h"

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

namespace {

// Posted to itself when a field lost the focus (wParam: its identifier).
constexpr UINT kFocusLost = WM_APP + 20;

const ControlBinding* bindingOf(int id) {
    for (const auto& b : mainControls())
        if (b.id == id) return &b;
    return nullptr;
}

}  // namespace

TwntcfgView::~TwntcfgView() {
    if (logo_) DeleteObject(logo_);
    if (bigIcon_) DestroyIcon(bigIcon_);
    if (smallIcon_) DestroyIcon(smallIcon_);
}

int TwntcfgView::run() {
    INT_PTR r = ModalDialog::run(IDD_TWNTCFG);
    return r < 0 ? 1 : static_cast<int>(r);
}

HWND TwntcfgView::named(std::string_view name) const {
    return namedControl(hwnd_, mainControls(), model_.canonical(name));
}

INT_PTR TwntcfgView::message(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_INITDIALOG:
            init();
            return TRUE;
        case WM_COMMAND:
            command(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
            return TRUE;
        case WM_CLOSE:
            quit();
            return TRUE;
        case kFocusLost: {
            // Only a move to another control of this dialog counts: not to a
            // message box, another dialog or another program, and not when
            // the focus has come back already.
            HWND to = GetFocus();
            const ControlBinding* b = bindingOf(static_cast<int>(wp));
            if (!b || !to || !IsChild(hwnd_, to) || to == item(b->id)) return TRUE;
            model_.focusLost(b->name);
            refresh();
            return TRUE;
        }
    }
    return FALSE;
}

void TwntcfgView::init() {
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

    for (const auto& b : mainControls()) {
        const Control* c = model_.control(b.name);
        // The resource and the model name the same controls.
        if (!c || !item(b.id)) std::abort();
        setAccessibleName(item(b.id), b.name);
        if (c->kind == ControlKind::Text || c->kind == ControlKind::Digits ||
            c->kind == ControlKind::Percent)
            SendMessageA(item(b.id), EM_LIMITTEXT, c->limit ? c->limit : 0x7FFFFFFE, 0);
    }
    model_.OnInitDialog();
    refresh();
}

void TwntcfgView::command(int id, int code, HWND control) {
    if (updating_) return;
    // Enter and Escape.
    if ((id == IDOK || id == IDCANCEL) && !control) return;
    const ControlBinding* b = bindingOf(id);
    if (!b) return;
    const Control* c = model_.control(b->name);
    switch (c->kind) {
        case ControlKind::Text:
        case ControlKind::Digits:
        case ControlKind::Percent:
            if (code == EN_CHANGE) {
                model_.setText(b->name, windowText(control));
            } else if (code == EN_KILLFOCUS) {
                // Handled once the focus has moved, not in the middle of it.
                PostMessageA(hwnd_, kFocusLost, static_cast<WPARAM>(id), 0);
                return;
            } else {
                return;
            }
            break;
        case ControlKind::CheckBox:
            if (code != BN_CLICKED) return;
            model_.setChecked(b->name, isChecked(control));
            break;
        case ControlKind::Choice:
        case ControlKind::PickList:
            if (!dropDown_.chosen(id, code)) {
                // A list closed without a choice shows the model's again.
                if (code == CBN_CLOSEUP) refresh();
                return;
            }
            model_.select(b->name, selection(control));
            break;
        case ControlKind::List:
            if (code != LBN_SELCHANGE) return;
            model_.select(b->name, selection(control));
            break;
        case ControlKind::Radio:
        case ControlKind::Button:
            if (code != BN_CLICKED) return;
            clicked(*b);
            break;
    }
    refresh();
    if (model_.closed()) EndDialog(hwnd_, 0);
}

void TwntcfgView::clicked(const ControlBinding& b) {
    if (model_.click(b.name) == ViewStep::OpenWmiTestConfig) {
        // What the click changed shows before the next window opens.
        refresh();
        runWmiTestConfig(model_, ui());
    }
}

void TwntcfgView::quit() {
    model_.click(ctl::kQuit);
    refresh();
    if (model_.closed()) EndDialog(hwnd_, 0);
}

void TwntcfgView::refresh() {
    updating_ = true;
    for (const auto& b : mainControls()) {
        const Control* c = model_.control(b.name);
        HWND h = item(b.id);
        showEnabled(h, c->enabled);
        switch (c->kind) {
            case ControlKind::Text:
            case ControlKind::Digits:
            case ControlKind::Percent:
                showText(h, c->text);
                break;
            case ControlKind::CheckBox:
            case ControlKind::Radio:
                showChecked(h, c->checked);
                break;
            case ControlKind::Choice:
            case ControlKind::PickList:
                // A list that is open keeps what the person is moving through.
                if (!dropDown_.isOpen(b.id)) showEntries(h, c->entries, c->selected);
                break;
            case ControlKind::List:
                showEntries(h, c->entries, c->selected);
                break;
            case ControlKind::Button:
                // A caption can change (the service button says what a click does).
                if (!c->text.empty()) showText(h, c->text);
                break;
        }
    }
    updating_ = false;
}

}  // namespace tw::editor::win32
