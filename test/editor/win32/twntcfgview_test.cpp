// The main dialog of twntcfg.exe under Wine, worked by control identifier
// against the agent that scripts/windows-editor-test.sh installed in this
// Wine prefix (twnt.exe -install 127.0.0.1 N $TWNTCFG_TEST_PORT): the
// installed settings load into the fields, edits are saved into the
// registry (the script reads them back with reg query), a failed check
// shows its message and moves the focus, Enter and Escape close nothing,
// the service button stops and starts the agent's service, and every
// control carries its accessible name.
#include <string>
#include <vector>

#include "editor/servicecontrol.h"
#include "editor/twntcfgapp.h"
#include "editor/twntcfgdlg.h"
#include "editor/win32/resource.h"
#include "editor/win32/twntcfgview.h"
#include "editor/wmicontext.h"
#include "test/support/editor_dialogs.h"

namespace tw::testing {
namespace {

using editor::kDialogTitle;

// A setting of the installed agent, read from the registry as the agent
// reads it (the 32-bit view); "<missing>" when it is not there.
std::string agentSetting(const char* name) {
    const std::string key = std::string("SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\") + name;
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &k) !=
        ERROR_SUCCESS)
        return "<missing>";
    char buf[8192] = {};
    DWORD n = sizeof buf - 1, type = 0;
    const LONG r = RegQueryValueExA(k, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buf), &n);
    RegCloseKey(k);
    if (r != ERROR_SUCCESS || type != REG_SZ) return "<unreadable>";
    return std::string(buf);
}

// Waits (bounded) until Save is disabled: the save has ended.
bool waitSaved(HWND dlg) {
    for (int i = 0; i < 600 && isEnabled(dlg, IDC_SAVE); ++i) Sleep(100);
    return !isEnabled(dlg, IDC_SAVE);
}

// The main dialog, and the agent's service in Wine's service manager.
class TwntcfgView : public EditorDialogTest {
  protected:
    static DWORD serviceState() {
        SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        if (!scm) return 0;
        SC_HANDLE svc = OpenServiceA(scm, editor::kAgentServiceName, SERVICE_QUERY_STATUS);
        SERVICE_STATUS st{};
        DWORD state = 0;
        if (svc && QueryServiceStatus(svc, &st)) state = st.dwCurrentState;
        if (svc) CloseServiceHandle(svc);
        CloseServiceHandle(scm);
        return state;
    }
    static bool waitServiceState(DWORD want) {
        for (int i = 0; i < 600 && serviceState() != want; ++i) Sleep(100);
        return serviceState() == want;
    }
};

TEST_F(TwntcfgView, ShowsTheInstalledSettings) {
    EXPECT_EQ(entries(dlg_, IDC_DISPLAY_LIST), std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(selectedIndex(dlg_, IDC_DISPLAY_LIST), 0);
    EXPECT_EQ(entries(dlg_, IDC_PAGER_LIST), std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(text(dlg_, IDC_IPPORT), env("TWNTCFG_TEST_PORT"));
    EXPECT_EQ(text(dlg_, IDC_TIMER), "300");
    EXPECT_EQ(text(dlg_, IDC_LOGS_TIMER), "60");
    EXPECT_EQ(text(dlg_, IDC_CPU_WARNING), "80");
    EXPECT_EQ(text(dlg_, IDC_CPU_PANIC), "95");
    EXPECT_EQ(text(dlg_, IDC_PHYS_PANIC), "98");
    EXPECT_EQ(text(dlg_, IDC_COMMIT_WARNING), "80");
    EXPECT_EQ(text(dlg_, IDC_MSG_LEVELS), "SYS:ERR:Y:30 SYS:WARN:N:15 APP:ERR:Y:30 APP:WARN:N:15");
    EXPECT_EQ(text(dlg_, IDC_REBOOT_COLOR), "Yellow");
    EXPECT_FALSE(isChecked(dlg_, IDC_FQDN));
    EXPECT_TRUE(isChecked(dlg_, IDC_SEND_ALERTS));
    // A blank machine field shows this machine's name after the load.
    EXPECT_EQ(text(dlg_, IDC_COMPUTER_NAME).substr(0, 2), "\\\\");
    EXPECT_FALSE(isEnabled(dlg_, IDC_SAVE));
    EXPECT_FALSE(isEnabled(dlg_, IDC_DISPLAY_ADD));
    // The tests' modes: procs is performed, netdata disabled with its fields.
    EXPECT_EQ(text(dlg_, IDC_SET_TEST), "cpu");
    EXPECT_TRUE(isChecked(dlg_, IDC_PERFORM));
    EXPECT_FALSE(isEnabled(dlg_, IDC_NETIFS));
    EXPECT_TRUE(isEnabled(dlg_, IDC_PROCS));
    // The pick lists come from this machine's WMI.
    bool drive = false;
    for (const auto& e : entries(dlg_, IDC_DRIVES_PICK)) drive = drive || e.rfind("C: ", 0) == 0;
    EXPECT_TRUE(drive) << "no drive C: in the drives pick list";
    EXPECT_FALSE(entries(dlg_, IDC_SERVICES_PICK).empty());
    EXPECT_EQ(text(dlg_, IDC_SERVICE), editor::kStartServiceCaption);
    quit();
}

// What the script reads back with reg query after this test.
TEST_F(TwntcfgView, SavesEditedFieldsIntoTheRegistry) {
    ASSERT_TRUE(setText(dlg_, IDC_TIMER, "120"));
    ASSERT_TRUE(setText(dlg_, IDC_ALIAS, "WEBFARM1"));
    ASSERT_TRUE(click(dlg_, IDC_FQDN));
    ASSERT_TRUE(setText(dlg_, IDC_CPU_WARNING, "70"));
    // A host list entry: "Add" follows the entry field.
    EXPECT_FALSE(isEnabled(dlg_, IDC_DISPLAY_ADD));
    ASSERT_TRUE(setText(dlg_, IDC_DISPLAY_ENTRY, " 10.0.0.9 "));
    EXPECT_TRUE(isEnabled(dlg_, IDC_DISPLAY_ADD));
    ASSERT_TRUE(click(dlg_, IDC_DISPLAY_ADD));
    EXPECT_EQ(entries(dlg_, IDC_DISPLAY_LIST), (std::vector<std::string>{"10.0.0.9", "127.0.0.1"}));
    EXPECT_EQ(text(dlg_, IDC_DISPLAY_ENTRY), "");
    // A mode button rewrites the tests text.
    ASSERT_TRUE(choose(dlg_, IDC_SET_TEST, indexOf(dlg_, IDC_SET_TEST, "netdata")));
    EXPECT_TRUE(isChecked(dlg_, IDC_DISABLE));
    ASSERT_TRUE(click(dlg_, IDC_PERFORM_TREND));
    EXPECT_TRUE(isEnabled(dlg_, IDC_NETIFS));
    // The digits-only fields refuse other text.
    ASSERT_TRUE(setText(dlg_, IDC_LOGS_TIMER, "6x"));
    EXPECT_EQ(text(dlg_, IDC_LOGS_TIMER), "60");
    EXPECT_TRUE(isEnabled(dlg_, IDC_SAVE));

    ASSERT_TRUE(click(dlg_, IDC_SAVE));
    EXPECT_FALSE(isEnabled(dlg_, IDC_SAVE));
    EXPECT_TRUE(waitFocus(editor_->id(), GetDlgItem(dlg_, IDC_QUIT)));
    quit();
    // Read and written through WMI's registry provider, not the fallback, at
    // the key path of this machine's system type (Wow6432Node on 64-bit).
    const std::string log = fileText("twntcfg.log");
    const std::string read = std::string("ReadRegKey::") +
                             (on64BitWindows() ? editor::kKeyPath64 : editor::kKeyPath32) +
                             "Timer:300\r\n";
    EXPECT_NE(log.find(read), std::string::npos) << log.substr(0, 3000);
    EXPECT_EQ(log.find("failed on wmi"), std::string::npos) << log.substr(0, 3000);
}

struct FailedCheck {
    const char* name;
    std::vector<std::pair<int, const char*>> edits;
    const char* message;
    int focus;
};

TEST_F(TwntcfgView, AFailedCheckShowsItsMessageAndMovesTheFocus) {
    const FailedCheck cases[] = {
        {"panic below warning",
         {{IDC_CPU_WARNING, "95"}, {IDC_CPU_PANIC, "90"}},
         "CPU warning value is invalid",
         IDC_CPU_WARNING},
        {"missing value",
         {{IDC_REBOOT_MINS, ""}},
         "\"CPU reboot message duration\" value is required",
         IDC_REBOOT_MINS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& [id, t] : c.edits) ASSERT_TRUE(setText(dlg_, id, t));
        clickLater(dlg_, IDC_SAVE);
        ShownBox box = answerBox(editor::kErrorCaption);
        ASSERT_TRUE(box.found) << "no message box captioned twntcfg Error";
        EXPECT_EQ(box.caption, "twntcfg Error");
        EXPECT_EQ(box.text, c.message);
        EXPECT_TRUE(waitFocus(editor_->id(), GetDlgItem(dlg_, c.focus)));
        EXPECT_TRUE(isEnabled(dlg_, IDC_SAVE)) << "nothing was saved";
        // Back to valid figures for the next case.
        ASSERT_TRUE(setText(dlg_, IDC_CPU_WARNING, "80"));
        ASSERT_TRUE(setText(dlg_, IDC_CPU_PANIC, "95"));
        ASSERT_TRUE(setText(dlg_, IDC_REBOOT_MINS, "60"));
    }
    quit();
}

TEST_F(TwntcfgView, AddExternalTakesAProgramFromTheFilePicker) {
    clickLater(dlg_, IDC_ADD_EXTERNAL);
    HWND picker = waitWindow("Open");
    ASSERT_NE(picker, nullptr) << "no file picker";
    // The file name field: a combo box (cmb13) or an edit field (edt1).
    int field = GetDlgItem(picker, 0x47c) ? 0x47c : 0x480;
    ASSERT_TRUE(setText(picker, field, "C:\\windows\\notepad.exe"));
    PostMessageA(picker, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(waitGone(picker));
    EXPECT_EQ(text(dlg_, IDC_EXTERNALS), "C:\\windows\\notepad.exe /INT=300");
    EXPECT_TRUE(isEnabled(dlg_, IDC_SAVE));
    quit();
}

TEST_F(TwntcfgView, EnterAndEscapeCloseNothing) {
    HWND timer = GetDlgItem(dlg_, IDC_TIMER);
    PostMessageA(dlg_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(timer), TRUE);
    ASSERT_TRUE(waitFocus(editor_->id(), timer));
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        PostMessageA(timer, WM_KEYDOWN, key, 1);
        PostMessageA(timer, WM_KEYUP, key, 0xC0000001);
    }
    // Typed after the two keys: once it shows, both keys have been handled.
    PostMessageA(timer, WM_CHAR, '7', 1);
    for (int i = 0; i < 200 && text(dlg_, IDC_TIMER).find('7') == std::string::npos; ++i) Sleep(50);
    EXPECT_NE(text(dlg_, IDC_TIMER).find('7'), std::string::npos);
    EXPECT_TRUE(IsWindow(dlg_) && IsWindowVisible(dlg_));
    EXPECT_TRUE(editor_->running());
    quit();
}

TEST_F(TwntcfgView, TheServiceButtonStartsAndStopsTheAgent) {
    ASSERT_EQ(serviceState(), static_cast<DWORD>(SERVICE_STOPPED));
    ASSERT_EQ(text(dlg_, IDC_SERVICE), editor::kStartServiceCaption);
    ASSERT_TRUE(click(dlg_, IDC_SERVICE));
    EXPECT_EQ(text(dlg_, IDC_SERVICE), editor::kStopServiceCaption);
    EXPECT_TRUE(waitServiceState(SERVICE_RUNNING)) << "state " << serviceState();
    ASSERT_TRUE(click(dlg_, IDC_SERVICE));
    EXPECT_EQ(text(dlg_, IDC_SERVICE), editor::kStartServiceCaption);
    EXPECT_TRUE(waitServiceState(SERVICE_STOPPED)) << "state " << serviceState();
    quit();
}

TEST_F(TwntcfgView, EveryControlCarriesItsAccessibleName) {
    for (const auto& b : editor::win32::mainControls()) {
        HWND h = GetDlgItem(dlg_, b.id);
        ASSERT_NE(h, nullptr) << b.name;
        EXPECT_EQ(accessibleName(h), b.name);
    }
    // The label a person sees just before a field (the static text that
    // screen readers also take) is the field's name; a repeated label shows
    // only its own part.
    for (int id : {IDC_TIMER, IDC_IPPORT, IDC_KEYCODE, IDC_ALIAS, IDC_COMPUTER_NAME, IDC_PROCS,
                   IDC_NETIFS, IDC_EXTERNALS, IDC_LOG_LOCATION, IDC_SET_TEST}) {
        HWND label = GetWindow(GetDlgItem(dlg_, id), GW_HWNDPREV);
        EXPECT_EQ(windowTextOf(label), accessibleName(GetDlgItem(dlg_, id)));
    }
    EXPECT_EQ(text(dlg_, IDC_DISPLAY_ADD), "Add");
    quit();
}

// A machine name typed but not loaded used to be where Save went (a
// connection to it, "Remote WMI connection to ... failed.", nothing saved).
TEST_F(TwntcfgView, ATypedMachineNameWaitsForLoad) {
    ASSERT_TRUE(setText(dlg_, IDC_COMPUTER_NAME, "\\\\NOWHERE"));
    EXPECT_FALSE(isEnabled(dlg_, IDC_SAVE)) << "typing a machine name enables nothing";
    ASSERT_TRUE(setText(dlg_, IDC_PAGE_LEVELS, "red purple"));
    clickLater(dlg_, IDC_SAVE);
    ShownBox box = answerBox(editor::kErrorCaption, IDOK, 5000);
    EXPECT_FALSE(box.found) << box.text;
    EXPECT_TRUE(waitSaved(dlg_));
    EXPECT_EQ(agentSetting("PageLevels"), "red purple");
    EXPECT_EQ(text(dlg_, IDC_COMPUTER_NAME), "\\\\NOWHERE");
    quit();
}

// A load that could not read every setting used to be saved back whole,
// the unread settings written empty.
TEST_F(TwntcfgView, APartialLoadIsToldAndItsUnreadSettingsAreKept) {
    const std::string timer = agentSetting("Timer"), tests = agentSetting("Tests");
    const std::string memLevels = agentSetting("MemLevels");
    HKEY agent = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane Software\\Tallwatch\\twnt", 0,
                            KEY_ALL_ACCESS | KEY_WOW64_32KEY, &agent),
              ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(agent, "MemLevels"), ERROR_SUCCESS);
    RegCloseKey(agent);
    clickLater(dlg_, IDC_LOAD);
    ShownBox box = answerBox(editor::kErrorCaption);
    ASSERT_TRUE(box.found) << "no message about the unread settings";
    EXPECT_EQ(box.text.rfind("These settings could not be read from \\\\", 0), 0u) << box.text;
    EXPECT_NE(box.text.find("CPUrebootcolor"), std::string::npos) << box.text;
    EXPECT_EQ(text(dlg_, IDC_TIMER), "");
    // What the checks require; the physical memory and commit charge
    // figures as they were.
    ASSERT_TRUE(setText(dlg_, IDC_PHYS_WARNING, "95"));
    ASSERT_TRUE(setText(dlg_, IDC_PHYS_PANIC, "98"));
    ASSERT_TRUE(setText(dlg_, IDC_COMMIT_WARNING, "80"));
    ASSERT_TRUE(setText(dlg_, IDC_COMMIT_PANIC, "90"));
    ASSERT_TRUE(setText(dlg_, IDC_REBOOT_MINS, "60"));
    ASSERT_TRUE(setText(dlg_, IDC_START_DELAY, "2"));
    ASSERT_TRUE(setText(dlg_, IDC_UPDAYS, "999"));
    clickLater(dlg_, IDC_SAVE);
    EXPECT_FALSE(answerBox(editor::kErrorCaption, IDOK, 5000).found);
    EXPECT_TRUE(waitSaved(dlg_));
    EXPECT_EQ(agentSetting("Timer"), timer);
    EXPECT_EQ(agentSetting("Tests"), tests);
    EXPECT_EQ(agentSetting("MemLevels"), "PHYS:95:98 COMMIT:80:90") << "was " << memLevels;
    EXPECT_EQ(agentSetting("CPUrebootmins"), "60");
    quit();
}

// A picture of the dialog for a person to look at: the script takes it
// while the dialog waits (TWNTCFG_SCREENSHOTS names the folder of the
// exchange).
TEST_F(TwntcfgView, HoldsStillForItsScreenshot) {
    if (env("TWNTCFG_SCREENSHOTS").empty()) GTEST_SKIP() << "no screenshot wanted";
    EXPECT_TRUE(screenshot("main", kDialogTitle));
    quit();
}

// The program itself: -v shows the version and ends with exit code 1.
TEST(TwntcfgProgram, VersionMessageEndsTheProgramWithExitCodeOne) {
    const std::string exe = env("TWNTCFG_EXE");
    ASSERT_FALSE(exe.empty()) << "run through scripts/windows-editor-test.sh";
    DeleteFileA("twntcfg.log");
    std::string cmd = "\"" + exe + "\" -v -d";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi));
    ShownBox box = answerBox(editor::kInfoCaption, IDOK, kDialogStepMs, pi.dwProcessId);
    EXPECT_TRUE(box.found);
    EXPECT_EQ(box.text, "Version: 5.01.681 (Tue, 09 Oct 2012 20:03:06 GMT)");
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, kDialogStepMs), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 1u);
    if (code == STILL_ACTIVE) TerminateProcess(pi.hProcess, 2);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    // The version ends the program before the log would be started.
    EXPECT_EQ(GetFileAttributesA("twntcfg.log"), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace tw::testing
