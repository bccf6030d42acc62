// The editor's UI port on Windows: message boxes owned by the dialog in
// front, the hourglass, the input focus on a control by its name, the
// common file-open dialog, the shell's folder picker, the "Remote Select"
// list and the shell's "open" for the maker's web address; and the modal
// dialog, which it keeps in front while it is open.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/uiport.h"
#include "editor/win32/dialogkit.h"

namespace tw::editor::win32 {

class Win32Ui;

// A modal dialog from the program's resources. The dialog in front is known
// to the UI port (message box owner, focus by name) while it is open.
class ModalDialog {
  public:
    explicit ModalDialog(Win32Ui& ui) : ui_(ui) {}
    virtual ~ModalDialog() = default;
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    // Shows the dialog over the dialog in front and waits until it ends;
    // EndDialog's code, -1 when the dialog could not be created.
    INT_PTR run(int resource);
    HWND hwnd() const { return hwnd_; }
    // The control that a model names, nullptr when this dialog has none.
    virtual HWND named(std::string_view name) const;

  protected:
    // The dialog's messages, as a dialog procedure answers them.
    virtual INT_PTR message(UINT msg, WPARAM wp, LPARAM lp) = 0;
    HWND item(int id) const { return GetDlgItem(hwnd_, id); }
    Win32Ui& ui() { return ui_; }

    HWND hwnd_ = nullptr;

  private:
    static INT_PTR CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    Win32Ui& ui_;
    HWND pendingFocus_ = nullptr;
};

class Win32Ui final : public UiPort {
  public:
    Win32Ui() = default;
    Win32Ui(const Win32Ui&) = delete;
    Win32Ui& operator=(const Win32Ui&) = delete;

    void messageBox(const std::string& text, const std::string& caption, MessageKind kind) override;
    bool askYesNo(const std::string& text, const std::string& caption) override;
    void beginWait() override;
    void endWait() override;
    // Looks for the control in the dialog in front, then in the ones behind
    // it; a dialog behind a message box or another dialog takes the focus
    // once it is enabled again.
    void setFocus(const std::string& control) override;
    std::optional<std::string> pickLocalFile() override;
    std::optional<std::string> pickLocalFolder(const std::string& title) override;
    std::optional<std::string> chooseFromList(const std::string& title,
                                              const std::vector<std::string>& names) override;
    void openWebAddress(const std::string& address) override;

    // The open dialogs, the one in front last.
    void push(ModalDialog* dialog) { dialogs_.push_back(dialog); }
    void pop(ModalDialog* dialog);
    // The dialog in front (the owner of what opens next), nullptr when none.
    HWND front() const;
    bool waiting() const { return waitDepth_ > 0; }

  private:
    std::vector<ModalDialog*> dialogs_;
    int waitDepth_ = 0;
    HCURSOR before_ = nullptr;
};

}  // namespace tw::editor::win32
