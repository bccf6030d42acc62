#include "editor/form.h"

#include <algorithm>
#include <cstdlib>

#include "platform/ascii.h"

namespace tw::editor {

namespace {

bool allDigits(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

template <typename T>
const T* Form::find(const std::vector<Entry<T>>& table, std::string_view name) {
    for (const auto& e : table)
        if (e.name == name) return &e.run;
    return nullptr;
}

Form::~Form() = default;

// ---- building ------------------------------------------------------------------

Control& Form::add(std::string name, ControlKind kind, size_t limit) {
    Control c{std::move(name), kind, {}, false, {}, -1, true, limit, {}, {}};
    if (kind == ControlKind::Button || kind == ControlKind::CheckBox || kind == ControlKind::Radio)
        c.text = c.name;
    controls_.push_back(std::move(c));
    return controls_.back();
}

Control& Form::addLabel(std::string name, std::string text, std::string buddy) {
    Control& c = add(std::move(name), ControlKind::Label);
    c.text = std::move(text);
    c.buddy = std::move(buddy);
    return c;
}

Control& Form::addLabelOf(std::string field) {
    std::string name = labelOf(field);
    return addLabel(std::move(name), field, field);
}

void Form::addOkCancel(std::function<bool()> accept, Hook cancel) {
    add(kOkButton, ControlKind::Button);
    add(kCancelButton, ControlKind::Button);
    onClick(kOkButton, [accept] { return accept() ? ViewStep::CloseOk : ViewStep::None; });
    onClick(kCancelButton, [cancel] {
        if (cancel) cancel();
        return ViewStep::CloseCancel;
    });
    closeWith(kCancelButton, true);
}

void Form::closeWith(std::string button, bool escape) {
    closeButton_ = std::move(button);
    escapeCloses_ = escape;
}

void Form::onClick(std::string_view name, Action run) {
    actions_.push_back({std::string(name), std::move(run)});
}

void Form::alias(std::string other, std::string name) {
    aliases_.push_back({std::move(other), std::move(name)});
}

void Form::onEdit(std::string_view name, Hook run) {
    edits_.push_back({std::string(name), std::move(run)});
}

void Form::onFocusLost(std::string_view name, Hook run) {
    focusLost_.push_back({std::string(name), std::move(run)});
}

// ---- reading ---------------------------------------------------------------------

std::string_view Form::canonical(std::string_view name) const {
    const std::string* own = find(aliases_, name);
    return own ? std::string_view(*own) : name;
}

const Control* Form::control(std::string_view name) const {
    for (const auto& c : controls_)
        if (c.name == name) return &c;
    return nullptr;
}

Control& Form::ctrl(std::string_view name) {
    for (auto& c : controls_)
        if (c.name == name) return c;
    std::abort();
}

const std::string& Form::text(std::string_view name) const {
    static const std::string none;
    const Control* c = control(name);
    return c ? c->text : none;
}

bool Form::checked(std::string_view name) const {
    const Control* c = control(name);
    return c && c->checked;
}

bool Form::enabled(std::string_view name) const {
    const Control* c = control(name);
    return c && c->enabled;
}

const std::vector<std::string>& Form::entries(std::string_view name) const {
    static const std::vector<std::string> none;
    const Control* c = control(name);
    return c ? c->entries : none;
}

int Form::selected(std::string_view name) const {
    const Control* c = control(name);
    return c ? c->selected : -1;
}

std::string Form::selectedText(std::string_view name) const {
    const Control* c = control(name);
    if (!c || c->selected < 0 || c->selected >= static_cast<int>(c->entries.size())) return {};
    return c->entries[static_cast<size_t>(c->selected)];
}

// ---- the model's changes ------------------------------------------------------------

void Form::setEntries(std::string_view name, std::vector<std::string> entries) {
    Control& c = ctrl(name);
    std::stable_sort(entries.begin(), entries.end(), lessNoCase);
    c.entries = std::move(entries);
    c.selected = -1;
}

ViewStep Form::open(std::unique_ptr<Form> dialog) {
    sub_ = std::move(dialog);
    return ViewStep::OpenDialog;
}

void Form::closeSub() {
    if (subClosed_) subClosed_();
    sub_.reset();
}

int Form::insertSorted(std::string_view name, std::string entry) {
    Control& c = ctrl(name);
    auto at = std::upper_bound(c.entries.begin(), c.entries.end(), entry, lessNoCase);
    const int index = static_cast<int>(at - c.entries.begin());
    c.entries.insert(at, std::move(entry));
    return index;
}

// ---- the person's edits ----------------------------------------------------------------

void Form::edited(std::string_view name) {
    if (const Hook* run = find(edits_, name))
        (*run)();
    else if (otherEdit_)
        otherEdit_();
}

void Form::ownEdit(std::string_view name) {
    if (const Hook* run = find(edits_, name)) (*run)();
}

bool Form::setText(std::string_view name, std::string text) {
    const Control* found = control(name);
    if (!found || !found->enabled) return false;
    Control& c = ctrl(name);
    switch (c.kind) {
        case ControlKind::Digits:
        case ControlKind::Percent:
            if (!allDigits(text)) return false;
            [[fallthrough]];
        case ControlKind::Text:
        case ControlKind::MultiLine:
        case ControlKind::EditChoice:
            if (c.limit && text.size() > c.limit) return false;
            break;
        default:
            return false;
    }
    if (c.text == text) return true;
    c.text = std::move(text);
    // Typing in an editable choice chooses nothing.
    if (c.kind != ControlKind::EditChoice) edited(name);
    return true;
}

void Form::setChecked(std::string_view name, bool on) {
    const Control* c = control(name);
    if (!c || c->kind != ControlKind::CheckBox || !c->enabled) return;
    ctrl(name).checked = on;
    edited(name);
}

void Form::select(std::string_view name, int index) {
    const Control* found = control(name);
    if (!found || !found->enabled) return;
    Control& c = ctrl(name);
    const size_t count = c.kind == ControlKind::Table ? c.rows.size() : c.entries.size();
    if (index < -1 || index >= static_cast<int>(count)) return;
    switch (c.kind) {
        case ControlKind::Choice:
            if (c.selected == index) return;
            c.selected = index;
            edited(name);
            break;
        case ControlKind::List:
        case ControlKind::Table:
            // A selection is no change of the dialog's data: only the
            // control's own hook follows.
            c.selected = index;
            ownEdit(name);
            break;
        case ControlKind::EditChoice:
            c.selected = index;
            if (index < 0) return;
            c.text = c.entries[static_cast<size_t>(index)];
            edited(name);
            break;
        case ControlKind::PickList:
            c.selected = index;
            if (index >= 0) edited(name);
            break;
        default:
            break;
    }
}

std::optional<ViewStep> Form::click(std::string_view name) {
    name = canonical(name);
    const Control* c = control(name);
    if (!c || !c->enabled) return std::nullopt;
    const Action* run = find(actions_, name);
    if (!run) return std::nullopt;
    return (*run)();
}

void Form::focusLost(std::string_view name) {
    if (const Hook* run = find(focusLost_, name)) (*run)();
}

std::optional<ViewStep> Form::closeBox() {
    if (closeButton_.empty()) return std::nullopt;
    return click(closeButton_);
}

std::optional<ViewStep> Form::escape() {
    if (!escapeCloses_) return std::nullopt;
    return closeBox();
}

}  // namespace tw::editor
