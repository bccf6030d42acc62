#include "editor/win32/dialogkit.h"

#include <oleacc.h>

#include <algorithm>
#include <new>

namespace tw::editor::win32 {

HWND namedControl(HWND dialog, const std::vector<ControlBinding>& controls, std::string_view name) {
    for (const auto& c : controls)
        if (name == c.name) return GetDlgItem(dialog, c.id);
    return nullptr;
}

void nameControls(HWND dialog, const std::vector<ControlBinding>& controls) {
    for (const auto& c : controls) setAccessibleName(GetDlgItem(dialog, c.id), c.name);
}

bool DropDownChoice::chosen(int id, int code) {
    switch (code) {
        case CBN_DROPDOWN:
            open_ = id;
            cancelled_ = false;
            return false;
        case CBN_SELENDCANCEL:
            if (open_ == id) cancelled_ = true;
            return false;
        case CBN_SELCHANGE:
            return open_ != id;
        case CBN_CLOSEUP:
            if (open_ != id) return false;
            open_ = 0;
            return !cancelled_;
    }
    return false;
}

HINSTANCE resources() {
    return GetModuleHandleA(nullptr);
}

// ---- texts and entries --------------------------------------------------------------

std::string windowText(HWND h) {
    int n = GetWindowTextLengthA(h);
    if (n <= 0) return {};
    std::string s(static_cast<size_t>(n) + 1, '\0');
    n = GetWindowTextA(h, s.data(), n + 1);
    s.resize(static_cast<size_t>(std::max(n, 0)));
    return s;
}

bool showText(HWND h, const std::string& text) {
    if (windowText(h) == text) return false;
    SetWindowTextA(h, text.c_str());
    // A long text shows from its beginning.
    SendMessageA(h, EM_SETSEL, 0, 0);
    SendMessageA(h, EM_SCROLLCARET, 0, 0);
    return true;
}

std::string itemText(HWND dialog, int id) {
    return windowText(GetDlgItem(dialog, id));
}

namespace {

bool isCombo(HWND h) {
    char cls[32] = {};
    GetClassNameA(h, cls, sizeof cls);
    return lstrcmpiA(cls, "ComboBox") == 0;
}

std::vector<std::string> shownEntries(HWND h, bool combo) {
    const UINT countMsg = combo ? CB_GETCOUNT : LB_GETCOUNT;
    const UINT lenMsg = combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
    const UINT textMsg = combo ? CB_GETLBTEXT : LB_GETTEXT;
    std::vector<std::string> out;
    const LRESULT n = SendMessageA(h, countMsg, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        const LRESULT len = SendMessageA(h, lenMsg, static_cast<WPARAM>(i), 0);
        std::string s(static_cast<size_t>(std::max<LRESULT>(len, 0)) + 1, '\0');
        SendMessageA(h, textMsg, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(s.data()));
        s.resize(static_cast<size_t>(std::max<LRESULT>(len, 0)));
        out.push_back(std::move(s));
    }
    return out;
}

}  // namespace

void showEntries(HWND h, const std::vector<std::string>& entries, int selected) {
    const bool combo = isCombo(h);
    if (shownEntries(h, combo) != entries) {
        SendMessageA(h, WM_SETREDRAW, FALSE, 0);
        SendMessageA(h, combo ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
        for (const auto& e : entries)
            SendMessageA(h, combo ? CB_ADDSTRING : LB_ADDSTRING, 0,
                         reinterpret_cast<LPARAM>(e.c_str()));
        SendMessageA(h, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(h, nullptr, TRUE);
    }
    showSelection(h, selected);
}

void showSelection(HWND h, int selected) {
    const bool combo = isCombo(h);
    if (selection(h) != selected)
        SendMessageA(h, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

int selection(HWND h) {
    LRESULT r = SendMessageA(h, isCombo(h) ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
    return r < 0 ? -1 : static_cast<int>(r);
}

void widenToEntries(HWND listBox, const std::vector<std::string>& entries) {
    HDC dc = GetDC(listBox);
    if (!dc) return;
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(listBox, WM_GETFONT, 0, 0)));
    LONG widest = 0;
    for (const auto& e : entries) {
        SIZE size{};
        if (GetTextExtentPoint32A(dc, e.c_str(), static_cast<int>(e.size()), &size))
            widest = std::max(widest, size.cx);
    }
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(listBox, dc);
    SendMessageA(listBox, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + tm.tmAveCharWidth),
                 0);
}

void showCaption(HWND h, const std::string& text) {
    if (windowText(h) != text) SetWindowTextA(h, text.c_str());
}

void showChecked(HWND h, bool on) {
    const WPARAM state = on ? BST_CHECKED : BST_UNCHECKED;
    if (static_cast<WPARAM>(SendMessageA(h, BM_GETCHECK, 0, 0)) != state)
        SendMessageA(h, BM_SETCHECK, state, 0);
}

bool isChecked(HWND h) {
    return SendMessageA(h, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void showEnabled(HWND h, bool on) {
    if ((IsWindowEnabled(h) != FALSE) != on) EnableWindow(h, on);
}

std::string toEditLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

// ---- accessible names ----------------------------------------------------------------

namespace {

// The system's accessible object of a control with another name. Every call
// but the name of the control itself goes to the system's object.
class NamedAccessible final : public IAccessible {
  public:
    NamedAccessible(IAccessible* inner, std::wstring name)
        : inner_(inner), name_(std::move(name)) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        // IAccessible's identifier comes from the header (__uuidof), not from
        // oleacc's import library: mingw-w64's 64-bit one resolves
        // IID_IAccessible to code rather than to the identifier.
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        // Enumeration of children, the window behind the object and the like
        // are the system's.
        return inner_->QueryInterface(riid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        return inner_->GetTypeInfoCount(n);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID lcid, ITypeInfo** info) override {
        return inner_->GetTypeInfo(i, lcid, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT n, LCID lcid,
                                            DISPID* ids) override {
        return inner_->GetIDsOfNames(riid, names, n, lcid, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                                     UINT* arg) override {
        return inner_->Invoke(id, riid, lcid, flags, params, result, info, arg);
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** p) override {
        return inner_->get_accParent(p);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* n) override {
        return inner_->get_accChildCount(n);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** p) override {
        return inner_->get_accChild(child, p);
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (child.vt == VT_I4 && child.lVal == CHILDID_SELF) {
            if (!name) return E_POINTER;
            *name = SysAllocStringLen(name_.data(), static_cast<UINT>(name_.size()));
            return *name ? S_OK : E_OUTOFMEMORY;
        }
        return inner_->get_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* v) override {
        return inner_->get_accValue(child, v);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* d) override {
        return inner_->get_accDescription(child, d);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* r) override {
        return inner_->get_accRole(child, r);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* s) override {
        return inner_->get_accState(child, s);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* h) override {
        return inner_->get_accHelp(child, h);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        return inner_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* k) override {
        return inner_->get_accKeyboardShortcut(child, k);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* f) override { return inner_->get_accFocus(f); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* s) override {
        return inner_->get_accSelection(s);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* a) override {
        return inner_->get_accDefaultAction(child, a);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        return inner_->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* x, LONG* y, LONG* w, LONG* h,
                                          VARIANT child) override {
        return inner_->accLocation(x, y, w, h, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG dir, VARIANT start, VARIANT* end) override {
        return inner_->accNavigate(dir, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override {
        return inner_->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return inner_->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR n) override {
        return inner_->put_accName(child, n);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR v) override {
        return inner_->put_accValue(child, v);
    }

  private:
    ~NamedAccessible() { inner_->Release(); }

    LONG refs_ = 1;
    IAccessible* inner_;
    std::wstring name_;
};

constexpr UINT_PTR kNameSubclass = 0x7477;  // "tw"

LRESULT CALLBACK namedProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* name = reinterpret_cast<std::wstring*>(data);
    if (msg == WM_GETOBJECT && static_cast<DWORD>(lp) == static_cast<DWORD>(OBJID_CLIENT)) {
        IAccessible* standard = nullptr;
        if (SUCCEEDED(CreateStdAccessibleObject(h, OBJID_CLIENT, __uuidof(IAccessible),
                                                reinterpret_cast<void**>(&standard))) &&
            standard) {
            auto* named = new (std::nothrow) NamedAccessible(standard, *name);
            if (!named) {
                standard->Release();
                return DefSubclassProc(h, msg, wp, lp);
            }
            LRESULT r = LresultFromObject(__uuidof(IAccessible), wp, named);
            named->Release();
            return r;
        }
    } else if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(h, namedProc, kNameSubclass);
        delete name;
    }
    return DefSubclassProc(h, msg, wp, lp);
}

std::wstring wide(const std::string& s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

// The 64-bit build's import library of comctl32 (mingw-w64's) has no
// GetWindowSubclass, which comctl32 itself exports by name: that build looks
// it up there. The product (32-bit) links it as usual.
BOOL windowSubclass(HWND control, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR* data) {
#ifdef _WIN64
    using Fn = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR*);
    static const Fn fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("comctl32.dll"), "GetWindowSubclass")));
    return fn && fn(control, proc, id, data);
#else
    return GetWindowSubclass(control, proc, id, data);
#endif
}

}  // namespace

void setAccessibleName(HWND control, const std::string& name) {
    if (!control) return;
    DWORD_PTR old = 0;
    if (windowSubclass(control, namedProc, kNameSubclass, &old)) {
        *reinterpret_cast<std::wstring*>(old) = wide(name);
        return;
    }
    auto* held = new std::wstring(wide(name));
    if (!SetWindowSubclass(control, namedProc, kNameSubclass, reinterpret_cast<DWORD_PTR>(held)))
        delete held;
}

}  // namespace tw::editor::win32
