#include "editor/win32/wmitestviews.h"

#include <optional>
#include <string>

#include "editor/addwmitest.h"
#include "editor/win32/resource.h"
#include "editor/wmibrowser.h"
#include "editor/wmitestconfig.h"
#include "editor/wmithreshold.h"

namespace tw::editor::win32 {

const std::vector<ControlBinding>& wmiTestConfigControls() {
    static const std::vector<ControlBinding> kControls = {
        {"WMI Test List", IDC_WMITEST_LIST}, {"Add", IDC_WMITEST_ADD},   {"Edit", IDC_WMITEST_EDIT},
        {"Delete", IDC_WMITEST_DELETE},      {"Save", IDC_WMITEST_SAVE}, {"Quit", IDC_WMITEST_QUIT},
    };
    return kControls;
}

const std::vector<ControlBinding>& addWmiTestControls() {
    static const std::vector<ControlBinding> kControls = {
        {"TW Test Name", IDC_TEST_NAME},
        {"Data Type", IDC_DATA_TYPE},
        {AddWMITest::kQueryField, IDC_WMI_QUERY},
        {"Threshold", IDC_THRESHOLD},
        {"Trend", IDC_TREND},
        {"TW Page Format", IDC_PAGE_FORMAT},
        {"Test Query", IDC_TEST_QUERY},
        {"Browser", IDC_BROWSER},
        {"Show Class", IDC_SHOW_CLASS},
        {"OK", IDOK},
        {"Cancel", IDCANCEL},
    };
    return kControls;
}

const std::vector<ControlBinding>& numThresholdControls() {
    static const std::vector<ControlBinding> kControls = {
        {"Warning", IDC_NUM_WARNING},
        {"Panic", IDC_NUM_PANIC},
        {"or", IDC_NUM_OR},
        {"Panic Min Value", IDC_PANIC_MIN},
        {"Warning Min Value", IDC_WARNING_MIN},
        {"Warning Max Value", IDC_WARNING_MAX},
        {"Panic Max Value", IDC_PANIC_MAX},
        {"OK", IDOK},
        {"Cancel", IDCANCEL},
    };
    return kControls;
}

const std::vector<ControlBinding>& strThresholdControls() {
    static const std::vector<ControlBinding> kControls = {
        {"Warning String(s)", IDC_STR_WARNING},
        {"Panic String(s)", IDC_STR_PANIC},
        {"OK", IDOK},
        {"Cancel", IDCANCEL},
    };
    return kControls;
}

const std::vector<ControlBinding>& wmiBrowserControls() {
    static const std::vector<ControlBinding> kControls = {
        {"WMI Class Name", IDC_CLASS_LIST},
        {"WMI Class Property", IDC_PROPERTY_LIST},
        {"OK", IDOK},
        {"Cancel", IDCANCEL},
    };
    return kControls;
}

namespace {

// Posted by "New WMI Test" to itself: the "Threshold" field got the focus;
// then, once the focus has moved on, the threshold dialog to open (wParam:
// the model's ThresholdDialog).
constexpr UINT kThresholdFocused = WM_APP + 10;
constexpr UINT kOpenThreshold = WM_APP + 11;

// A dialog bound by a table of names; the table names its controls for
// assistive technology and for the focus moves of its model.
class BoundDialog : public ModalDialog {
  public:
    BoundDialog(Win32Ui& ui, const std::vector<ControlBinding>& controls)
        : ModalDialog(ui), controls_(controls) {}
    HWND named(std::string_view name) const override {
        return namedControl(hwnd_, controls_, name);
    }

  protected:
    void nameAll() { nameControls(hwnd_, controls_); }
    // Set while the controls are brought in line with the model.
    bool updating_ = false;

  private:
    const std::vector<ControlBinding>& controls_;
};

std::string entryAt(HWND combo, int index) {
    if (index < 0) return {};
    const LRESULT len = SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (len < 0) return {};
    std::string s(static_cast<size_t>(len) + 1, '\0');
    SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(s.data()));
    s.resize(static_cast<size_t>(len));
    return s;
}

// ---- "Numerical Threshold" --------------------------------------------------------

class NumThresholdView final : public BoundDialog {
  public:
    NumThresholdView(WMINumThreshold& model, Win32Ui& ui)
        : BoundDialog(ui, numThresholdControls()), m_(model) {}

  protected:
    INT_PTR message(UINT msg, WPARAM wp, LPARAM) override {
        if (msg == WM_INITDIALOG) {
            nameAll();
            refresh();
            return TRUE;
        }
        if (msg != WM_COMMAND || updating_) return FALSE;
        const int id = LOWORD(wp);
        const int code = HIWORD(wp);
        if (code == EN_CHANGE) {
            if (std::string* field = fieldOf(id)) *field = itemText(hwnd_, id);
        } else if (id == IDC_NUM_OR && code == BN_CLICKED) {
            m_.setOr(isChecked(item(IDC_NUM_OR)));
            refresh();
        } else if (id == IDOK) {
            if (m_.ok()) EndDialog(hwnd_, IDOK);
        } else if (id == IDCANCEL) {
            EndDialog(hwnd_, IDCANCEL);
        }
        return TRUE;
    }

  private:
    std::string* fieldOf(int id) {
        switch (id) {
            case IDC_NUM_WARNING:
                return &m_.warning;
            case IDC_NUM_PANIC:
                return &m_.panic;
            case IDC_PANIC_MIN:
                return &m_.panicMin;
            case IDC_WARNING_MIN:
                return &m_.warningMin;
            case IDC_WARNING_MAX:
                return &m_.warningMax;
            case IDC_PANIC_MAX:
                return &m_.panicMax;
        }
        return nullptr;
    }

    void refresh() {
        updating_ = true;
        for (int id : {IDC_NUM_WARNING, IDC_NUM_PANIC, IDC_PANIC_MIN, IDC_WARNING_MIN,
                       IDC_WARNING_MAX, IDC_PANIC_MAX})
            showText(item(id), *fieldOf(id));
        showChecked(item(IDC_NUM_OR), m_.orSet);
        for (int id : {IDC_NUM_WARNING, IDC_NUM_PANIC})
            showEnabled(item(id), m_.warningPanicEnabled());
        for (int id : {IDC_PANIC_MIN, IDC_WARNING_MIN, IDC_WARNING_MAX, IDC_PANIC_MAX})
            showEnabled(item(id), m_.rangeFieldsEnabled());
        updating_ = false;
    }

    WMINumThreshold& m_;
};

// ---- "String Threshold" --------------------------------------------------------------

class StrThresholdView final : public BoundDialog {
  public:
    StrThresholdView(WMIStrThreshold& model, Win32Ui& ui)
        : BoundDialog(ui, strThresholdControls()), m_(model) {}

  protected:
    INT_PTR message(UINT msg, WPARAM wp, LPARAM) override {
        if (msg == WM_INITDIALOG) {
            nameAll();
            updating_ = true;
            showText(item(IDC_STR_WARNING), m_.warning);
            showText(item(IDC_STR_PANIC), m_.panic);
            updating_ = false;
            return TRUE;
        }
        if (msg != WM_COMMAND || updating_) return FALSE;
        const int id = LOWORD(wp);
        if (HIWORD(wp) == EN_CHANGE) {
            if (id == IDC_STR_WARNING) m_.warning = itemText(hwnd_, id);
            if (id == IDC_STR_PANIC) m_.panic = itemText(hwnd_, id);
        } else if (id == IDOK) {
            if (m_.ok()) EndDialog(hwnd_, IDOK);
        } else if (id == IDCANCEL) {
            EndDialog(hwnd_, IDCANCEL);
        }
        return TRUE;
    }

  private:
    WMIStrThreshold& m_;
};

// ---- "WMI Win32 Class Browser" -------------------------------------------------------

class WmiBrowserView final : public BoundDialog {
  public:
    WmiBrowserView(WMIBrowser& model, Win32Ui& ui)
        : BoundDialog(ui, wmiBrowserControls()), m_(model) {}

  protected:
    INT_PTR message(UINT msg, WPARAM wp, LPARAM) override {
        if (msg == WM_INITDIALOG) {
            nameAll();
            refresh();
            widenToEntries(item(IDC_CLASS_LIST), m_.classes);
            return TRUE;
        }
        if (msg != WM_COMMAND || updating_) return FALSE;
        const int id = LOWORD(wp);
        const int code = HIWORD(wp);
        if (id == IDC_CLASS_LIST && code == LBN_SELCHANGE) {
            m_.selectClass(selection(item(id)));
            refresh();
        } else if (id == IDC_PROPERTY_LIST && code == LBN_SELCHANGE) {
            m_.selectProperty(selection(item(id)));
        } else if (id == IDOK) {
            m_.ok();
            EndDialog(hwnd_, IDOK);
        } else if (id == IDCANCEL) {
            EndDialog(hwnd_, IDCANCEL);
        }
        return TRUE;
    }

  private:
    void refresh() {
        updating_ = true;
        showEntries(item(IDC_CLASS_LIST), m_.classes, m_.selectedClass);
        showEntries(item(IDC_PROPERTY_LIST), m_.properties, m_.selectedProperty);
        widenToEntries(item(IDC_PROPERTY_LIST), m_.properties);
        updating_ = false;
    }

    WMIBrowser& m_;
};

// ---- "New WMI Test" -------------------------------------------------------------------

class AddWmiTestView final : public BoundDialog {
  public:
    AddWmiTestView(AddWMITest& model, Win32Ui& ui)
        : BoundDialog(ui, addWmiTestControls()), m_(model) {}

  protected:
    INT_PTR message(UINT msg, WPARAM wp, LPARAM) override {
        switch (msg) {
            case WM_INITDIALOG: {
                nameAll();
                updating_ = true;
                showEntries(item(IDC_DATA_TYPE),
                            {std::begin(AddWMITest::kDataTypes), std::end(AddWMITest::kDataTypes)},
                            -1);
                showEntries(item(IDC_WMI_QUERY), m_.queryChoices, -1);
                updating_ = false;
                refresh();
                return TRUE;
            }
            case kThresholdFocused: {
                // The model moves the focus on (posted, so it comes first)
                // and names the dialog to open.
                const auto open = m_.thresholdFocused();
                if (open != AddWMITest::ThresholdDialog::None)
                    PostMessageA(hwnd_, kOpenThreshold, static_cast<WPARAM>(open), 0);
                return TRUE;
            }
            case kOpenThreshold:
                openThreshold(static_cast<AddWMITest::ThresholdDialog>(wp));
                return TRUE;
            case WM_COMMAND:
                if (!updating_) command(LOWORD(wp), HIWORD(wp));
                return TRUE;
        }
        return FALSE;
    }

  private:
    void command(int id, int code) {
        switch (id) {
            case IDC_TEST_NAME:
                if (code == EN_CHANGE) m_.name = itemText(hwnd_, id);
                return;
            case IDC_PAGE_FORMAT:
                if (code == EN_CHANGE) m_.pageformat = itemText(hwnd_, id);
                return;
            case IDC_WMI_QUERY:
                if (code == CBN_EDITCHANGE) {
                    m_.query = itemText(hwnd_, id);
                } else if (dropDown_.chosen(id, code)) {
                    m_.chooseQuery(entryAt(item(id), selection(item(id))));
                    refresh();
                }
                return;
            case IDC_DATA_TYPE:
                if (dropDown_.chosen(id, code)) {
                    m_.setType(entryAt(item(id), selection(item(id))));
                    refresh();
                }
                return;
            case IDC_TREND:
                if (code == BN_CLICKED) m_.trend = isChecked(item(id));
                refresh();
                return;
            case IDC_THRESHOLD:
                if (code == EN_SETFOCUS) PostMessageA(hwnd_, kThresholdFocused, 0, 0);
                return;
            case IDC_TEST_QUERY:
                m_.testQuery();
                return;
            case IDC_BROWSER: {
                WMIBrowser browser = m_.browser();
                WmiBrowserView(browser, ui()).run(IDD_WMIBROWSER);
                refresh();
                return;
            }
            case IDC_SHOW_CLASS:
                m_.showClass();
                return;
            case IDOK:
                if (m_.ok()) EndDialog(hwnd_, IDOK);
                return;
            case IDCANCEL:
                m_.cancel();
                EndDialog(hwnd_, IDCANCEL);
                return;
        }
    }

    void openThreshold(AddWMITest::ThresholdDialog which) {
        if (which == AddWMITest::ThresholdDialog::Numerical) {
            WMINumThreshold t(m_.threshold, ui());
            NumThresholdView(t, ui()).run(IDD_NUMTHRESHOLD);
        } else if (which == AddWMITest::ThresholdDialog::String) {
            WMIStrThreshold t(m_.threshold, ui());
            StrThresholdView(t, ui()).run(IDD_STRTHRESHOLD);
        }
        refresh();
    }

    void refresh() {
        updating_ = true;
        showText(item(IDC_TEST_NAME), m_.name);
        showText(item(IDC_THRESHOLD), m_.threshold);
        showText(item(IDC_PAGE_FORMAT), toEditLineEnds(m_.pageformat));
        int type = -1;
        for (int i = 0; i < 2; ++i)
            if (m_.type == AddWMITest::kDataTypes[i]) type = i;
        showSelection(item(IDC_DATA_TYPE), type);
        showChecked(item(IDC_TREND), m_.trend);
        showEnabled(item(IDC_TREND), m_.trendEnabled);
        if (itemText(hwnd_, IDC_WMI_QUERY) != m_.query)
            SetWindowTextA(item(IDC_WMI_QUERY), m_.query.c_str());
        updating_ = false;
    }

    AddWMITest& m_;
    DropDownChoice dropDown_;
};

// ---- "WMI Test Configuration" ---------------------------------------------------------

class WmiTestConfigView final : public BoundDialog {
  public:
    WmiTestConfigView(CtwntcfgDlg& dlg, Win32Ui& ui)
        : BoundDialog(ui, wmiTestConfigControls()), dlg_(dlg) {}

  protected:
    INT_PTR message(UINT msg, WPARAM wp, LPARAM lp) override {
        switch (msg) {
            case WM_INITDIALOG:
                nameAll();
                model_.emplace(dlg_);
                columns();
                refresh();
                return TRUE;
            case WM_NOTIFY: {
                const auto* n = reinterpret_cast<const NMHDR*>(lp);
                if (!updating_ && n->idFrom == IDC_WMITEST_LIST && n->code == LVN_ITEMCHANGED)
                    model_->selected =
                        static_cast<int>(SendMessageA(item(IDC_WMITEST_LIST), LVM_GETNEXTITEM,
                                                      static_cast<WPARAM>(-1), LVNI_SELECTED));
                return TRUE;
            }
            case WM_COMMAND:
                if (!updating_) command(LOWORD(wp));
                return TRUE;
            case WM_CLOSE:
                quit();
                return TRUE;
        }
        return FALSE;
    }

  private:
    void command(int id) {
        switch (id) {
            case IDC_WMITEST_ADD: {
                AddWMITest add = model_->add();
                refresh();
                AddWmiTestView(add, ui()).run(IDD_ADDWMITEST);
                break;
            }
            case IDC_WMITEST_EDIT:
                if (std::optional<AddWMITest> edit = model_->edit()) {
                    refresh();
                    AddWmiTestView(*edit, ui()).run(IDD_ADDWMITEST);
                }
                break;
            case IDC_WMITEST_DELETE:
                model_->remove();
                break;
            case IDC_WMITEST_SAVE:
                model_->save();
                break;
            case IDC_WMITEST_QUIT:
            case IDCANCEL:  // Escape
                quit();
                return;
            default:
                return;
        }
        refresh();
    }

    void quit() {
        if (model_->quit()) EndDialog(hwnd_, 0);
    }

    void columns() {
        HWND list = item(IDC_WMITEST_LIST);
        SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                     LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
        // Widths in dialog units, as the resource's.
        const int widths[6] = {70, 44, 60, 28, 150, 110};
        for (int i = 0; i < 6; ++i) {
            RECT r{0, 0, widths[i], 0};
            MapDialogRect(hwnd_, &r);
            LVCOLUMNA col{};
            col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
            col.cx = r.right;
            col.pszText = const_cast<char*>(kWmiTestColumns[i]);
            col.iSubItem = i;
            SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(&col));
        }
    }

    void refresh() {
        updating_ = true;
        HWND list = item(IDC_WMITEST_LIST);
        SendMessageA(list, WM_SETREDRAW, FALSE, 0);
        SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
        for (size_t r = 0; r < model_->rows.size(); ++r) {
            const WmiTestRow& row = model_->rows[r];
            const std::string* cells[6] = {&row.name,  &row.type,  &row.threshold,
                                           &row.trend, &row.query, &row.pageformat};
            LVITEMA it{};
            it.mask = LVIF_TEXT;
            it.iItem = static_cast<int>(r);
            it.pszText = const_cast<char*>(cells[0]->c_str());
            SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&it));
            for (int c = 1; c < 6; ++c) {
                LVITEMA sub{};
                sub.iSubItem = c;
                sub.pszText = const_cast<char*>(cells[c]->c_str());
                SendMessageA(list, LVM_SETITEMTEXTA, r, reinterpret_cast<LPARAM>(&sub));
            }
        }
        if (model_->selected >= 0) {
            LVITEMA sel{};
            sel.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
            sel.state = LVIS_SELECTED | LVIS_FOCUSED;
            SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(model_->selected),
                         reinterpret_cast<LPARAM>(&sel));
        }
        SendMessageA(list, WM_SETREDRAW, TRUE, 0);
        showEnabled(item(IDC_WMITEST_SAVE), model_->saveEnabled);
        updating_ = false;
    }

    CtwntcfgDlg& dlg_;
    std::optional<WMITestConfig> model_;
};

}  // namespace

void runWmiTestConfig(CtwntcfgDlg& dlg, Win32Ui& ui) {
    WmiTestConfigView(dlg, ui).run(IDD_WMITESTCONFIG);
}

}  // namespace tw::editor::win32
