// A dialog as a form: its caption and a list of named controls (the name is
// the label the dialog shows; the static texts are controls too) that a
// view binds generically, the rules each kind of control keeps (digits
// only, length), and three tables the dialog's model fills: what a button
// does (an action that answers what the view has to do next), what follows
// an edit of a control, and what follows when a control loses the input
// focus.
//
// A view shows caption() and controls() and, after every call into the
// form, reads them again; it passes the person's edits in with setText(),
// setChecked(), select(), click() and focusLost(), and does what click()
// answers: it opens sub() over the dialog (closeSub() once that one has
// closed) or closes the dialog. The window's close box and Escape press the
// button closeBox() and escape() name.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::editor {

enum class ControlKind {
    Text,         // free text (limit: most characters)
    Digits,       // digits only
    Percent,      // digits only, at most 3
    CheckBox,     // checked
    Choice,       // a drop-down choice: entries (sorted), selected
    List,         // a list: entries, selected
    PickList,     // a pick list beside a field: entries (sorted); choosing one edits the field
    Radio,        // a mode button: checked; text is the caption
    Button,       // text is the caption
    Label,        // a static text (a field's label, a group's title, a unit): text
    MultiLine,    // free text over several lines, its line breaks CR LF
    EditChoice,   // a text with entries to choose from (in the model's order);
                  // choosing one is its edit, typing is not
    Table,        // rows of cells under headings: entries are the headings,
                  // rows the cells, selected the row; its action is a double
                  // click on a row
    DialogField,  // a read-only text; the input focus on it counts as its
                  // click (the dialog that fills it)
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
    std::vector<std::vector<std::string>> rows;  // a Table's cells
    std::string buddy;                           // a Label: the control it names, empty for none
};

// The name of the label that names a field.
inline constexpr const char* kOkButton = "OK";
inline constexpr const char* kCancelButton = "Cancel";

inline std::string labelOf(std::string_view field) {
    return std::string(field) + " label";
}

// What the view does after a click, beyond showing the controls again.
enum class ViewStep {
    None,
    OpenDialog,   // shows sub() modally over this dialog, then closeSub()
    CloseOk,      // closes this dialog: done
    CloseCancel,  // closes this dialog: nothing done
};

class Form {
  public:
    using Action = std::function<ViewStep()>;
    using Hook = std::function<void()>;

    explicit Form(std::string caption = {}) : caption_(std::move(caption)) {}
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // ---- building --------------------------------------------------------------
    // A new control; the caption of a button, check box or mode button
    // starts as its name.
    Control& add(std::string name, ControlKind kind, size_t limit = 0);
    // A static text; buddy is the control it names (empty for none).
    Control& addLabel(std::string name, std::string text, std::string buddy = {});
    // A field's label: named labelOf(field), showing the field's name.
    Control& addLabelOf(std::string field);
    // The action of a button or mode button.
    void onClick(std::string_view name, Action run);
    // Another name a control answers to (a button whose caption changes).
    void alias(std::string other, std::string name);
    // What follows an edit of the control; controls without one run onOtherEdit's.
    void onEdit(std::string_view name, Hook run);
    void onOtherEdit(Hook run) { otherEdit_ = std::move(run); }
    void onFocusLost(std::string_view name, Hook run);
    // The button the window's close box presses, and Escape too when escape.
    void closeWith(std::string button, bool escape);
    // "OK" and "Cancel": OK closes the dialog once accept() answers true;
    // Cancel (also the close box and Escape) runs cancel and closes.
    void addOkCancel(std::function<bool()> accept, Hook cancel = {});
    // What follows when the dialog sub() was showing has closed.
    void onSubClosed(Hook run) { subClosed_ = std::move(run); }

    // ---- reading ---------------------------------------------------------------
    const std::string& caption() const { return caption_; }
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
    // The dialog to show over this one: answers ViewStep::OpenDialog.
    ViewStep open(std::unique_ptr<Form> dialog);

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
    // The window's close box, and Escape: the click of the button closeWith()
    // named; nothing when there is none.
    std::optional<ViewStep> closeBox();
    std::optional<ViewStep> escape();

    // ---- the dialog over this one ----------------------------------------------
    // The dialog the last ViewStep::OpenDialog opened, nullptr when none.
    Form* sub() const { return sub_.get(); }
    // The view closed it: what follows runs, and it goes.
    void closeSub();

  private:
    template <typename T>
    struct Entry {
        std::string name;
        T run;
    };
    template <typename T>
    static const T* find(const std::vector<Entry<T>>& table, std::string_view name);
    void edited(std::string_view name);
    void ownEdit(std::string_view name);

    std::vector<Control> controls_;
    std::vector<Entry<Action>> actions_;
    std::vector<Entry<Hook>> edits_;
    std::vector<Entry<Hook>> focusLost_;
    std::vector<Entry<std::string>> aliases_;
    Hook otherEdit_;
    Hook subClosed_;
    std::string caption_;
    std::string closeButton_;
    bool escapeCloses_ = false;
    std::unique_ptr<Form> sub_;
};

}  // namespace tw::editor
