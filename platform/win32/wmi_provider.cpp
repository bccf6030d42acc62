// WMI over COM. Opening a connection enables SeSecurityPrivilege, enters the
// multithreaded apartment (a thread that has an apartment of its own keeps
// it), sets the process's COM security, and, for a 32-bit program on 64-bit
// Windows, asks for the 64-bit providers through a context; then the
// locator connects to the namespace and the proxy gets its security
// blanket. Every COM reference is held by a wrapper that releases it on
// every path; the connection leaves the apartment last.

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <utility>

// The system headers come after windows.h.
// clang-format off
#include "platform/win32/win32.h"
#include <oleauto.h>
#include <wbemidl.h>
// clang-format on

namespace tw::platform::win32 {

namespace {

// ---- RAII holders --------------------------------------------------------------

template <class T>
class ComRef {
  public:
    ComRef() = default;
    explicit ComRef(T* p) : p_(p) {}
    ~ComRef() { reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef(ComRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComRef& operator=(ComRef&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters: releases what was held first.
    T** out() {
        reset();
        return &p_;
    }
    void** outVoid() { return reinterpret_cast<void**>(out()); }

  private:
    T* p_ = nullptr;
};

std::wstring widen(std::string_view text) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string narrow(const wchar_t* text, size_t len) {
    if (!text || len == 0) return {};
    int n =
        WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(len), out.data(), n, nullptr, nullptr);
    return out;
}

class Bstr {
  public:
    explicit Bstr(std::string_view text) {
        std::wstring w = widen(text);
        b_ = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
    }
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return b_; }

  private:
    BSTR b_ = nullptr;
};

class Variant {
  public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &v_; }
    const VARIANT& ref() const { return v_; }

  private:
    VARIANT v_;
};

class SafeArray {
  public:
    ~SafeArray() {
        if (a_) SafeArrayDestroy(a_);
    }
    SAFEARRAY** out() { return &a_; }
    SAFEARRAY* get() const { return a_; }

  private:
    SAFEARRAY* a_ = nullptr;
};

std::string comError(const std::string& what, HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(hr));
    std::string text = systemErrorText(static_cast<DWORD>(hr));
    return what + " failed: " + code + (text.empty() ? "" : " " + text);
}

// ---- values ----------------------------------------------------------------------

// WMI's VARIANT mapping as the agent reads it: strings (uint64, sint64 and
// datetime included) as text, the small and 32-bit integers as one 32-bit
// integer, booleans, and everything else as Other.
WmiValue fromVariant(const VARIANT& v) {
    switch (v.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return WmiValue::null();
        case VT_BSTR:
            return WmiValue::string(narrow(v.bstrVal, SysStringLen(v.bstrVal)));
        case VT_I4:
            return WmiValue::int32(v.lVal);
        case VT_INT:
            return WmiValue::int32(v.intVal);
        case VT_UI4:
            return WmiValue::int32(static_cast<int32_t>(v.ulVal));
        case VT_UINT:
            return WmiValue::int32(static_cast<int32_t>(v.uintVal));
        case VT_I2:
            return WmiValue::int32(v.iVal);
        case VT_UI2:
            return WmiValue::int32(v.uiVal);
        case VT_I1:
            return WmiValue::int32(v.cVal);
        case VT_UI1:
            return WmiValue::int32(v.bVal);
        case VT_BOOL:
            return WmiValue::boolean(v.boolVal != VARIANT_FALSE);
        default: {
            char what[32];
            std::snprintf(what, sizeof what, "VARIANT type %u", static_cast<unsigned>(v.vt));
            return WmiValue::other(what);
        }
    }
}

// False for a value that has no VARIANT form (Other).
bool toVariant(const WmiValue& value, Variant& v) {
    VARIANT* p = v.get();
    switch (value.type) {
        case WmiType::Null:
            p->vt = VT_NULL;
            return true;
        case WmiType::Int32:
            p->vt = VT_I4;
            p->lVal = value.i;
            return true;
        case WmiType::String: {
            std::wstring w = widen(value.s);
            p->bstrVal = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
            if (!p->bstrVal) return false;
            p->vt = VT_BSTR;
            return true;
        }
        case WmiType::Bool:
            p->vt = VT_BOOL;
            p->boolVal = value.b ? VARIANT_TRUE : VARIANT_FALSE;
            return true;
        default:
            return false;
    }
}

// ---- objects and enumerations ------------------------------------------------------

class Win32WmiObject final : public WmiObject {
  public:
    explicit Win32WmiObject(ComRef<IWbemClassObject> obj) : obj_(std::move(obj)) {}

    std::optional<WmiValue> get(std::string_view name) const override {
        Bstr n(name);
        Variant v;
        if (FAILED(obj_->Get(n.get(), 0, v.get(), nullptr, nullptr))) return std::nullopt;
        return fromVariant(v.ref());
    }

    std::vector<std::string> propertyNames() const override {
        std::vector<std::string> names;
        SafeArray arr;
        if (FAILED(obj_->GetNames(nullptr, WBEM_FLAG_NONSYSTEM_ONLY, nullptr, arr.out())) ||
            !arr.get())
            return names;
        LONG lo = 0, hi = -1;
        SafeArrayGetLBound(arr.get(), 1, &lo);
        SafeArrayGetUBound(arr.get(), 1, &hi);
        for (LONG i = lo; i <= hi; ++i) {
            BSTR b = nullptr;
            if (SUCCEEDED(SafeArrayGetElement(arr.get(), &i, &b)) && b) {
                names.push_back(narrow(b, SysStringLen(b)));
                SysFreeString(b);
            }
        }
        return names;
    }

    IWbemClassObject* com() const { return obj_.get(); }

  private:
    ComRef<IWbemClassObject> obj_;
};

class Win32WmiEnumerator final : public WmiEnumerator {
  public:
    explicit Win32WmiEnumerator(ComRef<IEnumWbemClassObject> e) : e_(std::move(e)) {}

    WmiNext next(int timeoutMs, std::unique_ptr<WmiObject>& out) override {
        out.reset();
        ComRef<IWbemClassObject> obj;
        ULONG returned = 0;
        LONG wait = timeoutMs < 0 ? static_cast<LONG>(WBEM_INFINITE) : timeoutMs;
        HRESULT hr = e_->Next(wait, 1, obj.out(), &returned);
        if (hr == WBEM_S_TIMEDOUT) return WmiNext::Timeout;
        if (FAILED(hr)) {
            error_ = comError("IEnumWbemClassObject::Next", hr);
            return WmiNext::Failed;
        }
        if (returned == 0 || !obj) return WmiNext::End;
        try {
            out = std::make_unique<Win32WmiObject>(std::move(obj));
        } catch (const std::bad_alloc&) {
            error_ = "out of memory";
            return WmiNext::Failed;
        }
        return WmiNext::Object;
    }

    std::string lastError() const override { return error_; }

  private:
    ComRef<IEnumWbemClassObject> e_;
    std::string error_;
};

// ---- the session's preparations ----------------------------------------------------

// Enables or disables one privilege in the token: a first adjustment with
// the privilege's entry (attributes 0) obtains its previous state; that state,
// with SE_PRIVILEGE_ENABLED set or cleared, is then applied. Succeeds when
// neither adjustment left an error.
bool setprivilege(HANDLE token, const char* name, bool enable) {
    LUID luid;
    if (!LookupPrivilegeValueA(nullptr, name, &luid)) return false;
    TOKEN_PRIVILEGES tp{};
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Luid = luid;
    tp.Privileges[0].Attributes = 0;
    TOKEN_PRIVILEGES previous{};
    DWORD size = sizeof previous;
    SetLastError(ERROR_SUCCESS);
    AdjustTokenPrivileges(token, FALSE, &tp, sizeof tp, &previous, &size);
    if (GetLastError() != ERROR_SUCCESS) return false;
    previous.PrivilegeCount = 1;
    previous.Privileges[0].Luid = luid;
    if (enable)
        previous.Privileges[0].Attributes |= SE_PRIVILEGE_ENABLED;
    else
        previous.Privileges[0].Attributes &= ~static_cast<DWORD>(SE_PRIVILEGE_ENABLED);
    SetLastError(ERROR_SUCCESS);
    AdjustTokenPrivileges(token, FALSE, &previous, size, nullptr, nullptr);
    return GetLastError() == ERROR_SUCCESS;
}

void enableSecurityPrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;  // go on without it
    setprivilege(token, "SeSecurityPrivilege", true);
    CloseHandle(token);
}

// True on 64-bit Windows: a 64-bit build runs nowhere else, a 32-bit one
// asks IsWow64Process, looked up at run time (Windows versions without it
// are 32-bit only).
bool on64BitWindows() {
    if (sizeof(void*) == 8) return true;
    using Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel = GetModuleHandleA("kernel32");
    if (!kernel) return false;
    auto fn =
        reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
    if (!fn) return false;
    BOOL wow = FALSE;
    return fn(GetCurrentProcess(), &wow) && wow;
}

// The multithreaded apartment for the life of a connection.
class Apartment {
  public:
    Apartment() = default;
    ~Apartment() {
        if (entered_) CoUninitialize();
    }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    // A thread that already lives in a single-threaded apartment (the
    // editor's dialog thread: the shell's pickers need one) keeps it.
    HRESULT enter() {
        HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        entered_ = SUCCEEDED(hr);
        return hr == RPC_E_CHANGED_MODE ? S_OK : hr;
    }

  private:
    bool entered_ = false;
};

// ---- the connection ------------------------------------------------------------------

class Win32WmiConnection final : public WmiConnection {
  public:
    // Released in the reverse order of declaration: services, locator,
    // context, then the apartment.
    Apartment apartment;
    ComRef<IWbemContext> context;
    ComRef<IWbemLocator> locator;
    ComRef<IWbemServices> services;
    bool remote = false;

    std::unique_ptr<WmiEnumerator> query(std::string_view wql) override {
        Bstr language("WQL");
        Bstr text(wql);
        ComRef<IEnumWbemClassObject> e;
        // Semi-synchronous, and without the context: queries go to the
        // providers the connection was opened for.
        HRESULT hr = services->ExecQuery(language.get(), text.get(), WBEM_FLAG_RETURN_IMMEDIATELY,
                                         nullptr, e.out());
        if (FAILED(hr) || !e) {
            error_ = comError("ExecQuery", hr);
            return nullptr;
        }
        if (remote) blanket(e.get());
        return std::make_unique<Win32WmiEnumerator>(std::move(e));
    }

    std::unique_ptr<WmiObject> getObject(std::string_view path) override {
        Bstr p(path);
        ComRef<IWbemClassObject> obj;
        HRESULT hr = services->GetObject(p.get(), 0, nullptr, obj.out(), nullptr);
        if (FAILED(hr) || !obj) {
            error_ = comError("GetObject", hr);
            return nullptr;
        }
        return std::make_unique<Win32WmiObject>(std::move(obj));
    }

    std::unique_ptr<WmiObject> execMethod(std::string_view path, std::string_view method,
                                          const WmiObject* in) override {
        ComRef<IWbemClassObject> built;
        IWbemClassObject* inParams = nullptr;
        if (auto* native = dynamic_cast<const Win32WmiObject*>(in)) {
            // An object this connection handed out goes as it is.
            inParams = native->com();
        } else if (in) {
            if (!buildInParams(path, method, *in, built)) return nullptr;
            inParams = built.get();
        }
        Bstr p(path);
        Bstr m(method);
        ComRef<IWbemClassObject> out;
        HRESULT hr =
            services->ExecMethod(p.get(), m.get(), 0, context.get(), inParams, out.out(), nullptr);
        if (FAILED(hr)) {
            error_ = comError("ExecMethod", hr);
            return nullptr;
        }
        if (!out) return std::make_unique<WmiPropertyBag>();
        return std::make_unique<Win32WmiObject>(std::move(out));
    }

    std::string lastError() const override { return error_; }

    void blanket(IUnknown* proxy) {
        CoSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                          RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    }

  private:
    // The method's input parameters from a caller's property bag: an
    // instance of the method's in-signature with each value put.
    bool buildInParams(std::string_view path, std::string_view method, const WmiObject& in,
                       ComRef<IWbemClassObject>& built) {
        std::string_view cls = path.substr(0, path.find('.'));
        Bstr c(cls);
        ComRef<IWbemClassObject> classObj;
        HRESULT hr = services->GetObject(c.get(), 0, nullptr, classObj.out(), nullptr);
        if (FAILED(hr) || !classObj) {
            error_ = comError("GetObject", hr);
            return false;
        }
        std::wstring m = widen(method);
        ComRef<IWbemClassObject> signature;
        hr = classObj->GetMethod(m.c_str(), 0, signature.out(), nullptr);
        if (FAILED(hr)) {
            error_ = comError("GetMethod", hr);
            return false;
        }
        if (!signature) return true;  // the method takes no parameters
        hr = signature->SpawnInstance(0, built.out());
        if (FAILED(hr) || !built) {
            error_ = comError("SpawnInstance", hr);
            return false;
        }
        for (const std::string& name : in.propertyNames()) {
            auto value = in.get(name);
            Variant v;
            if (!value || !toVariant(*value, v)) continue;
            std::wstring n = widen(name);
            hr = built->Put(n.c_str(), 0, v.get(), 0);
            if (hr == static_cast<HRESULT>(WBEM_E_TYPE_MISMATCH))
                hr = putAsInteger(built.get(), n, *value);
            if (FAILED(hr)) {
                error_ = comError("Put " + name, hr);
                return false;
            }
        }
        return true;
    }

    // A number's text put into an integer property: Windows' WMI converts
    // it (StdRegProv's hDefKey is commonly given as "2147483650"), other
    // implementations want the integer itself. The figure goes as its 32-bit
    // pattern, whether the property is declared signed or unsigned (the
    // hive numbers are above the signed range).
    static HRESULT putAsInteger(IWbemClassObject* obj, const std::wstring& name,
                                const WmiValue& value) {
        CIMTYPE type = 0;
        if (value.type != WmiType::String || value.s.empty() ||
            FAILED(obj->Get(name.c_str(), 0, nullptr, &type, nullptr)))
            return WBEM_E_TYPE_MISMATCH;
        if (type != CIM_UINT8 && type != CIM_UINT16 && type != CIM_UINT32 && type != CIM_SINT8 &&
            type != CIM_SINT16 && type != CIM_SINT32)
            return WBEM_E_TYPE_MISMATCH;
        char* end = nullptr;
        errno = 0;
        const long long n = std::strtoll(value.s.c_str(), &end, 10);
        if (errno || *end || n < INT32_MIN || n > static_cast<long long>(UINT32_MAX))
            return WBEM_E_TYPE_MISMATCH;
        Variant v;
        v.get()->vt = VT_I4;
        v.get()->lVal = static_cast<LONG>(static_cast<uint32_t>(n));
        return obj->Put(name.c_str(), 0, v.get(), 0);
    }

    std::string error_;
};

class Win32WmiProvider final : public WmiProvider {
  public:
    explicit Win32WmiProvider(HostInfo& host) : host_(host) {}

    WmiConnectResult connect(const std::string& server, const std::string& ns) override {
        WmiConnectResult r;
        auto c = std::make_unique<Win32WmiConnection>();

        enableSecurityPrivilege();

        HRESULT hr = c->apartment.enter();
        if (FAILED(hr)) {
            r.error = comError("CoInitializeEx", hr);
            return r;
        }
        hr = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                  RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
        // Security is set once per process; a later connection finds it set.
        if (FAILED(hr) && hr != RPC_E_TOO_LATE) {
            r.error = comError("CoInitializeSecurity", hr);
            return r;
        }

        if (on64BitWindows()) {
            hr = CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemContext, c->context.outVoid());
            if (SUCCEEDED(hr) && c->context) {
                Variant arch;
                arch.get()->vt = VT_I4;
                arch.get()->lVal = 64;
                Variant required;
                required.get()->vt = VT_BOOL;
                required.get()->boolVal = VARIANT_TRUE;
                c->context->SetValue(L"__ProviderArchitecture", 0, arch.get());
                c->context->SetValue(L"__RequiredArchitecture", 0, required.get());
                r.notices.push_back("Use 64 bit WMI provider");
            } else {
                c->context.reset();
                r.notices.push_back("Can't set 64 bit WMI provider, using 32 bit instead");
            }
        }

        hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              c->locator.outVoid());
        if (FAILED(hr) || !c->locator) {
            r.error = comError("CoCreateInstance(WbemLocator)", hr);
            return r;
        }

        c->remote = !isLocalWmiServer(server, &host_);
        std::string path = c->remote ? "\\\\" + server + "\\" + ns : ns;
        Bstr resource(path);
        hr = c->locator->ConnectServer(resource.get(), nullptr, nullptr, nullptr, 0, nullptr,
                                       c->context.get(), c->services.out());
        if (FAILED(hr) || !c->services) {
            r.error = comError("ConnectServer", hr);
            return r;
        }

        hr = CoSetProxyBlanket(c->services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                               RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                               EOAC_NONE);
        if (FAILED(hr)) {
            r.error = comError("CoSetProxyBlanket", hr);
            return r;
        }
        r.connection = std::move(c);
        return r;
    }

  private:
    HostInfo& host_;
};

}  // namespace

std::unique_ptr<WmiProvider> makeWmiProvider(HostInfo& host) {
    return std::make_unique<Win32WmiProvider>(host);
}

}  // namespace tw::platform::win32
