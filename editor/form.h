// A dialog as a form: a list of named controls (the name is the label the
// dialog shows) that a view binds generically, the rules each kind of
// control keeps (digits only, length), and three tables the dialog's model
// fills: what a button does (an action that answers what the view has to
// do next), what follows an edit of a control, and what follows when a
// control loses the input focus.
//
// A view shows controls() and, after every call into the form, reads them
// again; it passes the person's edits in with setText(), setChecked(),
// select(), click() and focusLost(), and does what click() answers.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::editor {

enum class ControlKind {
    Text,      // free text (limit: most characters)
    Digits,    // digits only
    Percent,   // digits only, at most 3
    CheckBox,  // checked
    Choice,    // a drop-down choice: entries (sorted), selected
    List,      // a list: entries, selected
    PickList,  // a pick list beside a field: entries (sorted); choosing one edits the field
    Radio,     // a mode button: checked
    Button,    // text is the caption
};

struct Control {
    std::string name;
    ControlKind kind;
    std::string text;
    bool checked = false;
    std::vector<std::string> entries;
    int selected = -1;  // index into entries, -1: none
    bool enabled = true;
    size_t limit = 0;  // most characters a Text/Digits/Percent control takes; 0: no limit
};

// What the view does after a click, beyond showing the controls again.
enum class ViewStep {
    None,
    OpenWmiTestConfig,  // the "WMI Test Config" window, modal
};

class Form {
  public:
    using Action = std::function<ViewStep()>;
    using Hook = std::function<void()>;

    Form() = default;
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // ---- building --------------------------------------------------------------
    // A new control; a button's caption starts as its name.
    Control& add(std::string name, ControlKind kind, size_t limit = 0);
    // The action of a button or mode button.
    void onClick(std::string_view name, Action run);
    // Another name a control answers to (a button whose caption changes).
    void alias(std::string other, std::string name);
    // What follows an edit of the control; controls without one run onOtherEdit's.
    void onEdit(std::string_view name, Hook run);
    void onOtherEdit(Hook run) { otherEdit_ = std::move(run); }
    void onFocusLost(std::string_view name, Hook run);

    // ---- reading ---------------------------------------------------------------
    const std::vector<Control>& controls() const { return controls_; }
    // The control's own name for an alias, else the name as given.
    std::string_view canonical(std::string_view name) const;
    // nullptr for an unknown name.
    const Control* control(std::string_view name) const;
    const std::string& text(std::string_view name) const;
    bool checked(std::string_view name) const;
    bool enabled(std::string_view name) const;
    const std::vector<std::string>& entries(std::string_view name) const;
    int selected(std::string_view name) const;
    // The selected entry's text, empty when none.
    std::string selectedText(std::string_view name) const;

    // ---- the model's changes ------------------------------------------------------
    // A control the model names; a name it does not have is a fault of the
    // model and ends the program.
    Control& ctrl(std::string_view name);
    // New entries, sorted without regard to case; nothing selected.
    void setEntries(std::string_view name, std::vector<std::string> entries);
    // Inserts an entry at its sorted place; answers its index.
    int insertSorted(std::string_view name, std::string entry);

    // ---- the person's edits -----------------------------------------------------
    // Replaces a text control's text; false (nothing changed) when the text
    // breaks the control's rule (digits only, length) or the control is
    // disabled.
    bool setText(std::string_view name, std::string text);
    void setChecked(std::string_view name, bool on);
    // Selects an entry of a choice, list or pick list (-1: none).
    void select(std::string_view name, int index);
    // Buttons and mode buttons: what the view does next; nothing when the
    // form has no action for that name or the control is disabled.
    std::optional<ViewStep> click(std::string_view name);
    // A control lost the input focus.
    void focusLost(std::string_view name);

  private:
    template <typename T>
    struct Entry {
        std::string name;
        T run;
    };
    template <typename T>
    static const T* find(const std::vector<Entry<T>>& table, std::string_view name);
    void edited(std::string_view name);

    std::vector<Control> controls_;
    std::vector<Entry<Action>> actions_;
    std::vector<Entry<Hook>> edits_;
    std::vector<Entry<Hook>> focusLost_;
    std::vector<Entry<std::string>> aliases_;
    Hook otherEdit_;
};

}  // namespace tw::editor
