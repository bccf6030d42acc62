#include "editor/win32/win32ui.h"

// clang-format off
#include <commdlg.h>
#include <shlobj.h>
#include <shellapi.h>
// clang-format on

#include <algorithm>

#include "editor/form.h"
#include "editor/win32/resource.h"

namespace tw::editor::win32 {

namespace {

UINT icon(MessageKind kind) {
    switch (kind) {
        case MessageKind::Error:
            return MB_ICONERROR;
        case MessageKind::Warning:
            return MB_ICONWARNING;
        case MessageKind::Information:
            break;
    }
    return MB_ICONINFORMATION;
}

// "Remote Select": one name of a long list.
class RemoteSelectView final : public ModalDialog {
  public:
    static constexpr const char* kListName = "Names";

    RemoteSelectView(Win32Ui& ui, const std::string& title, const std::vector<std::string>& names)
        : ModalDialog(ui), title_(title), names_(names) {}

    std::optional<std::string> chosen;

    HWND named(std::string_view name) const override {
        return name == kListName ? GetDlgItem(hwnd_, IDC_REMOTE_LIST) : nullptr;
    }

  protected:
    INT_PTR message(UINT msg, WPARAM wp, LPARAM) override {
        switch (msg) {
            case WM_INITDIALOG: {
                SetWindowTextA(hwnd_, title_.c_str());
                HWND list = item(IDC_REMOTE_LIST);
                setAccessibleName(list, kListName);
                for (auto [id, caption] : {std::pair{IDOK, kOkButton}, {IDCANCEL, kCancelButton}}) {
                    SetDlgItemTextA(hwnd_, id, caption);
                    setAccessibleName(item(id), caption);
                }
                showEntries(list, names_, -1);
                widenToEntries(list, names_);
                return TRUE;
            }
            case WM_COMMAND:
                if (LOWORD(wp) == IDOK ||
                    (LOWORD(wp) == IDC_REMOTE_LIST && HIWORD(wp) == LBN_DBLCLK)) {
                    const int i = selection(item(IDC_REMOTE_LIST));
                    if (i >= 0 && i < static_cast<int>(names_.size()))
                        chosen = names_[static_cast<size_t>(i)];
                    EndDialog(hwnd_, IDOK);
                    return TRUE;
                }
                if (LOWORD(wp) == IDCANCEL) {
                    EndDialog(hwnd_, IDCANCEL);
                    return TRUE;
                }
                break;
        }
        return FALSE;
    }

  private:
    const std::string& title_;
    const std::vector<std::string>& names_;
};

}  // namespace

// ---- the modal dialog --------------------------------------------------------------

INT_PTR ModalDialog::run(int resource) {
    return DialogBoxParamA(resources(), MAKEINTRESOURCEA(resource), ui_.front(), proc,
                           reinterpret_cast<LPARAM>(this));
}

HWND ModalDialog::named(std::string_view) const {
    return nullptr;
}

INT_PTR CALLBACK ModalDialog::proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<ModalDialog*>(lp);
        SetWindowLongPtrA(hwnd, DWLP_USER, lp);
        self->hwnd_ = hwnd;
        self->ui_.push(self);
    }
    if (!self) return FALSE;
    if (msg == WM_SETCURSOR && self->ui_.waiting()) {
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
        SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    if (msg == kMoveFocus) {
        HWND control = reinterpret_cast<HWND>(wp);
        if (IsWindowEnabled(hwnd)) {
            self->pendingFocus_ = nullptr;
            if (IsWindow(control)) SendMessageA(hwnd, WM_NEXTDLGCTL, wp, TRUE);
        } else {
            self->pendingFocus_ = control;
        }
        return TRUE;
    }
    if (msg == WM_ENABLE && wp && self->pendingFocus_) {
        PostMessageA(hwnd, kMoveFocus, reinterpret_cast<WPARAM>(self->pendingFocus_), 0);
        self->pendingFocus_ = nullptr;
    }
    INT_PTR r = self->message(msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        self->ui_.pop(self);
        self->hwnd_ = nullptr;
        SetWindowLongPtrA(hwnd, DWLP_USER, 0);
    }
    return r;
}

void Win32Ui::messageBox(const std::string& text, const std::string& caption, MessageKind kind) {
    MessageBoxA(front(), text.c_str(), caption.c_str(), MB_OK | icon(kind));
}

bool Win32Ui::askYesNo(const std::string& text, const std::string& caption) {
    return MessageBoxA(front(), text.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void Win32Ui::beginWait() {
    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    if (waitDepth_++ == 0) before_ = previous;
}

void Win32Ui::endWait() {
    if (waitDepth_ == 0) return;
    if (--waitDepth_ == 0) SetCursor(before_ ? before_ : LoadCursor(nullptr, IDC_ARROW));
}

void Win32Ui::setFocus(const std::string& control) {
    for (auto it = dialogs_.rbegin(); it != dialogs_.rend(); ++it) {
        if (HWND h = (*it)->named(control)) {
            HWND dialog = (*it)->hwnd();
            // A dialog behind another one takes the focus when it is in
            // front again.
            if (IsWindowEnabled(dialog))
                SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(h), TRUE);
            else
                PostMessageA(dialog, kMoveFocus, reinterpret_cast<WPARAM>(h), 0);
            return;
        }
    }
}

std::optional<std::string> Win32Ui::pickLocalFile() {
    char path[MAX_PATH] = {};
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = front();
    ofn.lpstrFilter = "All Files (*.*)\0*.*\0";
    ofn.lpstrFile = path;
    ofn.nMaxFile = sizeof path;
    ofn.Flags =
        OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (!GetOpenFileNameA(&ofn)) return std::nullopt;
    return std::string(path);
}

std::optional<std::string> Win32Ui::pickLocalFolder(const std::string& title) {
    BROWSEINFOA bi{};
    bi.hwndOwner = front();
    bi.lpszTitle = title.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    LPITEMIDLIST chosen = SHBrowseForFolderA(&bi);
    if (!chosen) return std::nullopt;
    char path[MAX_PATH] = {};
    const bool ok = SHGetPathFromIDListA(chosen, path);
    CoTaskMemFree(chosen);
    if (!ok) return std::nullopt;
    return std::string(path);
}

std::optional<std::string> Win32Ui::chooseFromList(const std::string& title,
                                                   const std::vector<std::string>& names) {
    RemoteSelectView view(*this, title, names);
    view.run(IDD_REMOTESELECT);
    return view.chosen;
}

void Win32Ui::openWebAddress(const std::string& address) {
    ShellExecuteA(front(), "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Win32Ui::pop(ModalDialog* dialog) {
    dialogs_.erase(std::remove(dialogs_.begin(), dialogs_.end(), dialog), dialogs_.end());
}

HWND Win32Ui::front() const {
    return dialogs_.empty() ? nullptr : dialogs_.back()->hwnd();
}

}  // namespace tw::editor::win32
