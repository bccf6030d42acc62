// The editor's one way to the person at the screen. The dialog models never
// draw anything: they ask this port to show a message, ask a Yes/No
// question, show the wait cursor, put the input focus on a control (by its
// name, the label the dialog shows, e.g. "Network IFs"), offer the local
// file and folder pickers, let the person choose one name of a long list
// (the remote file and folder pickers) and open the maker's web address.
//
// The Qt and Win32 views implement it with their message boxes and pickers;
// tests implement it with a scripted port that records every call and gives
// prepared answers.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tw::editor {

// The icon a message box carries. Errors are captioned "twntcfg Error" or
// "ERROR"; information "twntcfg Info", "INFO" or the dialog's own title.
enum class MessageKind { Error, Warning, Information };

class UiPort {
  public:
    virtual ~UiPort() = default;

    // A modal message with one OK button.
    virtual void messageBox(const std::string& text, const std::string& caption,
                            MessageKind kind) = 0;
    // A modal question with Yes and No; true for Yes.
    virtual bool askYesNo(const std::string& text, const std::string& caption) = 0;
    // The hourglass while a long operation runs. Calls nest: the normal
    // cursor returns with the last endWait(). Use WaitCursor below.
    virtual void beginWait() = 0;
    virtual void endWait() = 0;
    // Moves the input focus to the named control of the dialog in front.
    virtual void setFocus(const std::string& control) = 0;
    // The platform's file-open picker on this machine (read-only check box
    // hidden); the chosen file's full path, nothing when cancelled.
    virtual std::optional<std::string> pickLocalFile() = 0;
    // The platform's folder picker with a title; the chosen folder's full
    // path, nothing when cancelled.
    virtual std::optional<std::string> pickLocalFolder(const std::string& title) = 0;
    // The "Remote Select" dialog: the names in the order given (already
    // sorted by the model), the chosen one, nothing on Cancel or when none
    // is selected.
    virtual std::optional<std::string> chooseFromList(const std::string& title,
                                                      const std::vector<std::string>& names) = 0;
    // Opens a web address in the default browser; the outcome is not checked.
    virtual void openWebAddress(const std::string& address) = 0;
};

// The wait cursor for the lifetime of a scope.
class WaitCursor {
  public:
    explicit WaitCursor(UiPort& ui) : ui_(ui) { ui_.beginWait(); }
    ~WaitCursor() { ui_.endWait(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

  private:
    UiPort& ui_;
};

// The two captions of the editor's error messages.
inline constexpr const char* kErrorCaption = "twntcfg Error";
inline constexpr const char* kShortErrorCaption = "ERROR";

}  // namespace tw::editor
