#include "editor/win32/formview.h"

#include <algorithm>
#include <cstdlib>

namespace tw::editor::win32 {

namespace {

// Posted to itself (wParam: the control's identifier): a field lost the
// focus, a field that opens a dialog got it; then the dialog the form opened.
constexpr UINT kFocusLost = WM_APP + 20;
constexpr UINT kFieldFocused = WM_APP + 21;
constexpr UINT kOpenSub = WM_APP + 22;

bool isText(ControlKind k) {
    return k == ControlKind::Text || k == ControlKind::Digits || k == ControlKind::Percent ||
           k == ControlKind::MultiLine;
}

}  // namespace

FormView::FormView(Form& form, Win32Ui& ui, int resource,
                   const std::vector<ControlBinding>& controls,
                   const std::vector<ControlBinding>& labels)
    : ModalDialog(ui), form_(form), resource_(resource), controls_(controls), labels_(labels) {}

HWND FormView::named(std::string_view name) const {
    return namedControl(hwnd_, controls_, form_.canonical(name));
}

const ControlBinding* FormView::bindingOf(int id) const {
    for (const auto& b : controls_)
        if (b.id == id) return &b;
    return nullptr;
}

INT_PTR FormView::message(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_INITDIALOG:
            init();
            return TRUE;
        case WM_COMMAND:
            command(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
            return TRUE;
        case WM_NOTIFY:
            if (!updating_) notify(*reinterpret_cast<const NMHDR*>(lp));
            return TRUE;
        case WM_CLOSE:
            after(form_.closeBox());
            return TRUE;
        case kFocusLost: {
            // Only a move to another control of this dialog counts: not to a
            // message box, another dialog or another program, and not when
            // the focus has come back already.
            HWND to = GetFocus();
            const ControlBinding* b = bindingOf(static_cast<int>(wp));
            if (!b || !to || !IsChild(hwnd_, to) || to == item(b->id)) return TRUE;
            form_.focusLost(b->name);
            refresh();
            return TRUE;
        }
        case kFieldFocused:
            if (const ControlBinding* b = bindingOf(static_cast<int>(wp)))
                after(form_.click(b->name));
            return TRUE;
        case kOpenSub:
            if (Form* sub = form_.sub()) {
                runDialogFor(*sub, ui());
                form_.closeSub();
                refresh();
            }
            return TRUE;
    }
    return FALSE;
}

void FormView::init() {
    SetWindowTextA(hwnd_, form_.caption().c_str());
    for (const auto* table : {&controls_, &labels_}) {
        for (const auto& b : *table) {
            const Control* c = form_.control(b.name);
            // The resource and the form name the same controls.
            if (!c || !item(b.id) || (c->kind == ControlKind::Label) != (table == &labels_))
                std::abort();
        }
    }
    for (const auto& c : form_.controls())
        if (!namedControl(hwnd_, c.kind == ControlKind::Label ? labels_ : controls_, c.name))
            std::abort();
    for (const auto& b : controls_) {
        const Control* c = form_.control(b.name);
        HWND h = item(b.id);
        setAccessibleName(h, b.name);
        if (isText(c->kind)) SendMessageA(h, EM_LIMITTEXT, c->limit ? c->limit : 0x7FFFFFFE, 0);
        if (c->kind == ControlKind::Table) {
            SendMessageA(h, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                         LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
            for (size_t i = 0; i < c->entries.size(); ++i) {
                LVCOLUMNA col{};
                col.mask = LVCF_TEXT | LVCF_SUBITEM;
                col.pszText = const_cast<char*>(c->entries[i].c_str());
                col.iSubItem = static_cast<int>(i);
                SendMessageA(h, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&col));
            }
        }
    }
    if (!start()) return;
    refresh();
}

// ---- the person's edits ------------------------------------------------------------------

void FormView::command(int id, int code, HWND control) {
    if (updating_) return;
    const ControlBinding* b = bindingOf(id);
    if (!b) {
        // Escape where no "Cancel" is bound (Enter without "OK" does nothing).
        if (id == IDCANCEL) after(form_.escape());
        return;
    }
    const Control* c = form_.control(b->name);
    switch (c->kind) {
        case ControlKind::Text:
        case ControlKind::Digits:
        case ControlKind::Percent:
        case ControlKind::MultiLine:
            if (code == EN_KILLFOCUS) {
                // Handled once the focus has moved, not in the middle of it.
                PostMessageA(hwnd_, kFocusLost, static_cast<WPARAM>(id), 0);
                return;
            }
            if (code != EN_CHANGE) return;
            form_.setText(b->name, windowText(control));
            break;
        case ControlKind::DialogField:
            // The form moves the focus on: not in the middle of this move.
            if (code == EN_SETFOCUS) PostMessageA(hwnd_, kFieldFocused, static_cast<WPARAM>(id), 0);
            return;
        case ControlKind::CheckBox:
            if (code != BN_CLICKED) return;
            form_.setChecked(b->name, isChecked(control));
            break;
        case ControlKind::EditChoice:
            if (code == CBN_EDITCHANGE) {
                form_.setText(b->name, windowText(control));
                break;
            }
            [[fallthrough]];
        case ControlKind::Choice:
        case ControlKind::PickList:
            if (!dropDown_.chosen(id, code)) {
                // A list closed without a choice shows the form's again.
                if (code == CBN_CLOSEUP) refresh();
                return;
            }
            form_.select(b->name, selection(control));
            break;
        case ControlKind::List:
            if (code == LBN_DBLCLK) return after(form_.click(b->name));
            if (code != LBN_SELCHANGE) return;
            form_.select(b->name, selection(control));
            break;
        case ControlKind::Radio:
        case ControlKind::Button:
            if (code != BN_CLICKED) return;
            return after(form_.click(b->name));
        case ControlKind::Table:
        case ControlKind::Label:
            return;
    }
    after(std::nullopt);
}

void FormView::notify(const NMHDR& n) {
    const ControlBinding* b = bindingOf(static_cast<int>(n.idFrom));
    if (!b || form_.control(b->name)->kind != ControlKind::Table) return;
    if (n.code == LVN_ITEMCHANGED) {
        form_.select(b->name,
                     static_cast<int>(SendMessageA(n.hwndFrom, LVM_GETNEXTITEM,
                                                   static_cast<WPARAM>(-1), LVNI_SELECTED)));
        after(std::nullopt);
    } else if (n.code == NM_DBLCLK && reinterpret_cast<const NMITEMACTIVATE&>(n).iItem >= 0) {
        // A double click on a row, not on the empty space below the rows.
        after(form_.click(b->name));
    }
}

void FormView::after(std::optional<ViewStep> step) {
    refresh();
    switch (step.value_or(ViewStep::None)) {
        case ViewStep::None:
            break;
        case ViewStep::OpenDialog:
            // What the click changed shows before the next dialog opens.
            PostMessageA(hwnd_, kOpenSub, 0, 0);
            break;
        case ViewStep::CloseOk:
            EndDialog(hwnd_, IDOK);
            break;
        case ViewStep::CloseCancel:
            EndDialog(hwnd_, IDCANCEL);
            break;
    }
}

// ---- form to controls ----------------------------------------------------------------------

void FormView::refresh() {
    updating_ = true;
    for (const auto* table : {&controls_, &labels_}) {
        for (const auto& b : *table) {
            const Control* c = form_.control(b.name);
            HWND h = item(b.id);
            showEnabled(h, c->enabled);
            switch (c->kind) {
                case ControlKind::Text:
                case ControlKind::Digits:
                case ControlKind::Percent:
                case ControlKind::DialogField:
                    showText(h, c->text);
                    break;
                case ControlKind::MultiLine:
                    showText(h, toEditLineEnds(c->text));
                    break;
                case ControlKind::CheckBox:
                case ControlKind::Radio:
                    showChecked(h, c->checked);
                    showCaption(h, c->text);
                    break;
                case ControlKind::Choice:
                case ControlKind::PickList:
                    // A list that is open keeps what the person is moving through.
                    if (!dropDown_.isOpen(b.id)) showEntries(h, c->entries, c->selected);
                    break;
                case ControlKind::EditChoice:
                    // The text is the person's, whatever entry it matches.
                    if (dropDown_.isOpen(b.id)) break;
                    showEntries(h, c->entries, selection(h));
                    showCaption(h, c->text);
                    break;
                case ControlKind::List:
                    showEntries(h, c->entries, c->selected);
                    if (shownEntries_[b.id] != c->entries) {
                        shownEntries_[b.id] = c->entries;
                        widenToEntries(h, c->entries);
                    }
                    break;
                case ControlKind::Table:
                    showTable(*c, h);
                    break;
                case ControlKind::Button:
                case ControlKind::Label:
                    // A caption can change (the service button says what a
                    // click does); the logo has none.
                    if (!c->text.empty() || c->kind == ControlKind::Label) showCaption(h, c->text);
                    break;
            }
        }
    }
    updating_ = false;
}

void FormView::showTable(const Control& c, HWND list) {
    auto& shown = shownRows_[GetDlgCtrlID(list)];
    if (shown != c.rows) {
        shown = c.rows;
        SendMessageA(list, WM_SETREDRAW, FALSE, 0);
        SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
        for (size_t r = 0; r < c.rows.size(); ++r) {
            for (size_t col = 0; col < c.rows[r].size(); ++col) {
                LVITEMA it{};
                it.mask = LVIF_TEXT;
                it.iItem = static_cast<int>(r);
                it.iSubItem = static_cast<int>(col);
                it.pszText = const_cast<char*>(c.rows[r][col].c_str());
                SendMessageA(list, col == 0 ? LVM_INSERTITEMA : LVM_SETITEMTEXTA, r,
                             reinterpret_cast<LPARAM>(&it));
            }
        }
        // Each column as wide as its heading or its widest cell; the last
        // one takes the rest.
        const int last = static_cast<int>(c.entries.size()) - 1;
        for (int col = 0; col <= last; ++col) {
            int width = 0;
            for (int how : {LVSCW_AUTOSIZE, LVSCW_AUTOSIZE_USEHEADER}) {
                if (col == last && how == LVSCW_AUTOSIZE) continue;
                SendMessageA(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(col), how);
                width =
                    std::max(width, static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH,
                                                                  static_cast<WPARAM>(col), 0)));
            }
            SendMessageA(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(col), width);
        }
        SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    }
    const int now = static_cast<int>(
        SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (now == c.selected) return;
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    if (c.selected < 0) return;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(c.selected),
                 reinterpret_cast<LPARAM>(&state));
}

}  // namespace tw::editor::win32
