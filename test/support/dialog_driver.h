// Works the editor's real Win32 dialogs from a test, the way a person or an
// automation tool would: the program runs on a thread of its own (its
// dialogs, message boxes and WMI calls all on that thread), and the test
// finds its windows by caption and works their controls by identifier
// (set text, click, choose, read back). Every wait is bounded.
//
// Calls that end in the dialog showing something modal (a message box,
// another dialog) are posted (clickLater) and followed by a wait for that
// window; all others are sent and return once the dialog has handled them.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>
// clang-format on

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace tw::testing {

// How long a dialog may take for one step (WMI under Wine is slow).
inline constexpr DWORD kDialogStepMs = 60000;

inline HWND messageTextControl(HWND box);

// A program running on its own thread; ended (and waited for) when the
// runner goes out of scope, with every window still open closed first.
class UiThread {
  public:
    explicit UiThread(std::function<int()> program) : program_(std::move(program)) {
        thread_ = CreateThread(nullptr, 0, &UiThread::main, this, 0, &id_);
    }
    ~UiThread() {
        if (!thread_) return;
        if (!finish(kDialogStepMs)) ADD_FAILURE() << "the dialogs did not close";
        CloseHandle(thread_);
    }
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;

    DWORD id() const { return id_; }
    // Waits for the program's end: its exit code, or -1 when it runs on.
    int wait(DWORD ms) {
        if (WaitForSingleObject(thread_, ms) != WAIT_OBJECT_0) return -1;
        return code_;
    }
    bool running() const { return WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT; }
    // Closes what is open (questions answered Yes) until the program ends.
    bool finish(DWORD ms) {
        const DWORD end = GetTickCount() + ms;
        while (running()) {
            if (static_cast<LONG>(GetTickCount() - end) > 0) return false;
            EnumThreadWindows(id_, &UiThread::closeOne, 0);
            WaitForSingleObject(thread_, 200);
        }
        return true;
    }

  private:
    static DWORD WINAPI main(void* self) {
        auto* t = static_cast<UiThread*>(self);
        t->code_ = t->program_();
        return 0;
    }
    static BOOL CALLBACK closeOne(HWND h, LPARAM) {
        if (!IsWindowVisible(h)) return TRUE;
        // A message box: Yes where it asks, else OK; a dialog: its close box.
        if (GetDlgItem(h, IDYES))
            PostMessageA(h, WM_COMMAND, IDYES, 0);
        else if (messageTextControl(h) && GetDlgItem(h, IDOK))
            PostMessageA(h, WM_COMMAND, IDOK, 0);
        else
            PostMessageA(h, WM_CLOSE, 0, 0);
        return TRUE;
    }

    std::function<int()> program_;
    HANDLE thread_ = nullptr;
    DWORD id_ = 0;
    int code_ = -1;
};

// ---- windows --------------------------------------------------------------------

inline std::string windowTextOf(HWND h);

// The text of a message box: its static text control (identifier 0xFFFF on
// Windows; found by its class, as identifiers differ between versions).
inline BOOL CALLBACK findMessageText(HWND h, LPARAM found) {
    char cls[16] = {};
    GetClassNameA(h, cls, sizeof cls);
    if (lstrcmpiA(cls, "Static") != 0 || GetWindowTextLengthA(h) == 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = h;
    return FALSE;
}

inline HWND messageTextControl(HWND box) {
    HWND found = nullptr;
    EnumChildWindows(box, findMessageText, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The visible top-level window of a process (default: this one) with that
// caption; nullptr when none appears within ms.
inline HWND waitWindow(const std::string& caption, DWORD ms = kDialogStepMs,
                       DWORD process = GetCurrentProcessId()) {
    const DWORD end = GetTickCount() + ms;
    for (;;) {
        HWND h = nullptr;
        while ((h = FindWindowExA(nullptr, h, nullptr, caption.c_str())) != nullptr) {
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (pid == process && IsWindowVisible(h)) return h;
        }
        if (static_cast<LONG>(GetTickCount() - end) > 0) return nullptr;
        Sleep(50);
    }
}

// Waits until the window is gone; false when it is still there after ms.
inline bool waitGone(HWND h, DWORD ms = kDialogStepMs) {
    const DWORD end = GetTickCount() + ms;
    while (IsWindow(h)) {
        if (static_cast<LONG>(GetTickCount() - end) > 0) return false;
        Sleep(50);
    }
    return true;
}

inline std::string windowTextOf(HWND h) {
    char buf[4096] = {};
    DWORD_PTR n = 0;
    SendMessageTimeoutA(h, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_NORMAL,
                        kDialogStepMs, &n);
    return std::string(buf, static_cast<size_t>(n));
}

// ---- controls by identifier ----------------------------------------------------------

// Sends a message to a control and waits (bounded) for the dialog to handle
// it; false when it did not answer in time.
inline bool send(HWND dlg, int id, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result = nullptr) {
    DWORD_PTR r = 0;
    HWND h = dlg ? GetDlgItem(dlg, id) : nullptr;
    if (!h) {
        ADD_FAILURE() << "no control " << id;
        return false;
    }
    if (!SendMessageTimeoutA(h, msg, wp, lp, SMTO_NORMAL, kDialogStepMs, &r)) {
        ADD_FAILURE() << "control " << id << " did not answer message " << msg;
        return false;
    }
    if (result) *result = static_cast<LRESULT>(r);
    return true;
}

inline std::string text(HWND dlg, int id) {
    HWND h = GetDlgItem(dlg, id);
    return h ? windowTextOf(h) : std::string("<no control>");
}

// As typing: the control tells its dialog about the change.
inline bool setText(HWND dlg, int id, const std::string& t) {
    return send(dlg, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(t.c_str()));
}

inline bool click(HWND dlg, int id) {
    return send(dlg, id, BM_CLICK, 0, 0);
}

// A click whose handling shows something modal: returns at once.
inline void clickLater(HWND dlg, int id) {
    PostMessageA(GetDlgItem(dlg, id), BM_CLICK, 0, 0);
}

inline bool isEnabled(HWND dlg, int id) {
    return IsWindowEnabled(GetDlgItem(dlg, id)) != FALSE;
}

inline bool isChecked(HWND dlg, int id) {
    LRESULT r = 0;
    return send(dlg, id, BM_GETCHECK, 0, 0, &r) && r == BST_CHECKED;
}

inline bool isCombo(HWND h) {
    char cls[32] = {};
    GetClassNameA(h, cls, sizeof cls);
    return lstrcmpiA(cls, "ComboBox") == 0;
}

// The entries of a list box or combo box.
inline std::vector<std::string> entries(HWND dlg, int id) {
    HWND h = GetDlgItem(dlg, id);
    const bool combo = isCombo(h);
    LRESULT n = 0;
    send(dlg, id, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0, &n);
    std::vector<std::string> out;
    for (LRESULT i = 0; i < n; ++i) {
        char buf[4096] = {};
        send(dlg, id, combo ? CB_GETLBTEXT : LB_GETTEXT, static_cast<WPARAM>(i),
             reinterpret_cast<LPARAM>(buf));
        out.emplace_back(buf);
    }
    return out;
}

inline int selectedIndex(HWND dlg, int id) {
    LRESULT r = -1;
    send(dlg, id, isCombo(GetDlgItem(dlg, id)) ? CB_GETCURSEL : LB_GETCURSEL, 0, 0, &r);
    return static_cast<int>(r);
}

// As a choice in a list box or a closed combo box: the selection moves and
// the dialog is told.
inline bool choose(HWND dlg, int id, int index) {
    HWND h = GetDlgItem(dlg, id);
    const bool combo = isCombo(h);
    if (!send(dlg, id, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(index), 0))
        return false;
    DWORD_PTR r = 0;
    const WPARAM wp = MAKEWPARAM(id, combo ? CBN_SELCHANGE : LBN_SELCHANGE);
    return SendMessageTimeoutA(dlg, WM_COMMAND, wp, reinterpret_cast<LPARAM>(h), SMTO_NORMAL,
                               kDialogStepMs, &r) != 0;
}

// The index of an entry, -1 when the list does not have it.
inline int indexOf(HWND dlg, int id, const std::string& entry) {
    const auto all = entries(dlg, id);
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i] == entry) return static_cast<int>(i);
    return -1;
}

// The control that has the input focus on the program's thread.
inline HWND focusOf(DWORD uiThread) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(uiThread, &info) ? info.hwndFocus : nullptr;
}

// Waits until the control (or a part of it, as the edit field of a combo
// box) has the input focus.
inline bool waitFocus(DWORD uiThread, HWND control, DWORD ms = kDialogStepMs) {
    const DWORD end = GetTickCount() + ms;
    for (;;) {
        HWND f = focusOf(uiThread);
        if (f && (f == control || IsChild(control, f))) return true;
        if (static_cast<LONG>(GetTickCount() - end) > 0) return false;
        Sleep(50);
    }
}

// ---- message boxes ---------------------------------------------------------------------

struct ShownBox {
    std::string caption;
    std::string text;
    bool found = false;
};

// Waits for a message box with that caption, reads its text and presses
// the button (IDOK, IDYES, IDNO).
inline ShownBox answerBox(const std::string& caption, int button = IDOK, DWORD ms = kDialogStepMs,
                          DWORD process = GetCurrentProcessId()) {
    ShownBox box;
    HWND h = waitWindow(caption, ms, process);
    if (!h) return box;
    box.found = true;
    box.caption = windowTextOf(h);
    HWND textControl = messageTextControl(h);
    if (textControl) box.text = windowTextOf(textControl);
    PostMessageA(h, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(h, button)));
    waitGone(h);
    return box;
}

// ---- accessibility -------------------------------------------------------------------

// The name assistive technology reads for a control (MSAA).
inline std::string accessibleName(HWND control) {
    IAccessible* acc = nullptr;
    if (FAILED(AccessibleObjectFromWindow(control, OBJID_CLIENT, __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&acc))) ||
        !acc)
        return "<no accessible object>";
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    std::string out = "<no name>";
    if (SUCCEEDED(acc->get_accName(self, &name)) && name) {
        int n = WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
        out.assign(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
        WideCharToMultiByte(CP_ACP, 0, name, -1, out.data(), n, nullptr, nullptr);
        SysFreeString(name);
    }
    acc->Release();
    return out;
}

// ---- screenshots -----------------------------------------------------------------------

// Asks whoever runs the tests for a picture of the window with that caption:
// writes NAME.ready into the folder named by TWNTCFG_SCREENSHOTS, holding the
// caption and the window's place on the screen ("x y width height"), and
// waits until NAME.done appears there.
inline bool screenshot(const std::string& name, const std::string& caption,
                       DWORD ms = kDialogStepMs) {
    const char* dir = std::getenv("TWNTCFG_SCREENSHOTS");
    HWND h = waitWindow(caption, ms);
    if (!dir || !h) return false;
    // Everything painted before the picture is taken.
    RedrawWindow(h, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    DWORD_PTR r = 0;
    SendMessageTimeoutA(h, WM_NULL, 0, 0, SMTO_NORMAL, kDialogStepMs, &r);
    Sleep(1000);
    RECT rc{};
    GetWindowRect(h, &rc);
    const std::string base = std::string(dir) + "\\" + name;
    const std::string done = base + ".done";
    DeleteFileA(done.c_str());
    const std::string content = caption + "\n" + std::to_string(rc.left) + " " +
                                std::to_string(rc.top) + " " + std::to_string(rc.right - rc.left) +
                                " " + std::to_string(rc.bottom - rc.top) + "\n";
    // Written under another name and renamed: the reader never sees half.
    const std::string partial = base + ".part";
    HANDLE f = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD n = 0;
    WriteFile(f, content.data(), static_cast<DWORD>(content.size()), &n, nullptr);
    CloseHandle(f);
    if (!MoveFileExA(partial.c_str(), (base + ".ready").c_str(), MOVEFILE_REPLACE_EXISTING))
        return false;
    const DWORD end = GetTickCount() + ms;
    while (GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (static_cast<LONG>(GetTickCount() - end) > 0) return false;
        Sleep(100);
    }
    DeleteFileA(done.c_str());
    return true;
}

}  // namespace tw::testing
