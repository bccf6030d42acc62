// The editor's UI port on Qt Widgets: message boxes and Yes/No questions
// with the editor's captions, the wait cursor, the input focus on a control
// found by its name in the window in front, the desktop's file and folder
// pickers, the "Remote Select" list and the desktop's URL opener.
// setFocus() finds the control by the name every widget carries (setNames).
#pragma once

#include "editor/qt/viewkit.h"
#include "editor/uiport.h"

namespace tw::editor::qt {

// A message text longer than this many lines (or characters) is shown in a
// scrolling box instead of a plain message box.
inline constexpr int kLongMessageLines = 30;
inline constexpr int kLongMessageChars = 3000;

class QtUi : public UiPort {
  public:
    void messageBox(const std::string& text, const std::string& caption, MessageKind kind) override;
    bool askYesNo(const std::string& text, const std::string& caption) override;
    void beginWait() override;
    void endWait() override;
    void setFocus(const std::string& control) override;
    std::optional<std::string> pickLocalFile() override;
    std::optional<std::string> pickLocalFolder(const std::string& title) override;
    std::optional<std::string> chooseFromList(const std::string& title,
                                              const std::vector<std::string>& names) override;
    void openWebAddress(const std::string& address) override;

    // Whether the wait cursor is shown now.
    bool waiting() const { return waitDepth_ > 0; }

  private:
    int waitDepth_ = 0;
};

}  // namespace tw::editor::qt
