// What the editor's Win32 dialogs share: the system headers, the texts and
// entries of controls in the ANSI code page (the model's texts), and
// accessible names. (The modal dialog itself is kept with the UI port that
// knows which dialog is in front, editor/win32/win32ui.h.)
//
// Accessible names: every control a model names carries that name for
// assistive technology (MSAA), also where the visible label is shorter
// ("Add" beside "DISPLAY hosts" is "DISPLAY hosts Add"). The control answers
// WM_GETOBJECT with the system's own accessible object, whose name is
// replaced by ours; everything else is the system's.
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
// clang-format on

#include <string>
#include <string_view>
#include <vector>

namespace tw::editor::win32 {

// Posted to a dialog to move its input focus to a control (wParam). A
// dialog that is disabled (a message box or another dialog in front of it)
// moves it once it is enabled again, so that nothing behind the one in
// front takes the keyboard.
inline constexpr UINT kMoveFocus = WM_APP + 1;

// A model's control name and the identifier of its control in a dialog
// resource.
struct ControlBinding {
    std::string name;
    int id;
};
// The control of a dialog that has that name, nullptr when none has.
HWND namedControl(HWND dialog, const std::vector<ControlBinding>& controls, std::string_view name);
// Gives every bound control of a dialog its name as its accessible name.
void nameControls(HWND dialog, const std::vector<ControlBinding>& controls);

// The choice in a drop-down list counts when it is made, not while the
// person moves through the open list.
class DropDownChoice {
  public:
    // A combo box notification: whether it makes a choice (a change of the
    // closed box, or the list closing on an entry).
    bool chosen(int id, int code);
    // Whether that combo box's list is open.
    bool isOpen(int id) const { return open_ == id; }

  private:
    int open_ = 0;
    bool cancelled_ = false;
};

// The module whose resources the dialogs come from (the program itself).
HINSTANCE resources();

// Text in the ANSI code page.
std::string windowText(HWND h);
// Sets the text unless the control already shows it; the caret goes to
// the beginning. Answers whether the text changed.
bool showText(HWND h, const std::string& text);
std::string itemText(HWND dialog, int id);

// The entries of a list box or a combo box, replaced when they differ from
// the ones shown; the selection (-1: none) is set either way.
void showEntries(HWND h, const std::vector<std::string>& entries, int selected);
void showSelection(HWND h, int selected);
int selection(HWND h);
// A list box's horizontal scroll range: the widest entry plus one average
// character width.
void widenToEntries(HWND listBox, const std::vector<std::string>& entries);

// A caption or static text, set unless the control already shows it.
void showCaption(HWND h, const std::string& text);
void showChecked(HWND h, bool on);
bool isChecked(HWND h);
void showEnabled(HWND h, bool on);

// Gives a control its accessible name (see above) for the rest of its life.
void setAccessibleName(HWND control, const std::string& name);
// A text's line breaks as a multi-line edit control wants them: every line
// feed after a carriage return.
std::string toEditLineEnds(std::string_view text);

}  // namespace tw::editor::win32
