// The editor's UI port on Windows: message boxes owned by the dialog in
// front, the hourglass, the input focus on a control by its name, the
// common file-open dialog, the shell's folder picker, the "Remote Select"
// list and the shell's "open" for the maker's web address.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "editor/uiport.h"
#include "editor/win32/dialogkit.h"

namespace tw::editor::win32 {

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
