#include "editor/wmicontext.h"

#include "base/settings.h"
#include "platform/ascii.h"

namespace tw::editor {

namespace {

using platform::WmiNext;
using platform::WmiObject;
using platform::WmiPropertyBag;
using platform::WmiType;
using platform::WmiValue;

// What the log shows of an HRESULT where the platform gives only a reason
// text: WBEM_E_FAILED.
constexpr unsigned kWbemFailed = 0x80041001u;
// StdRegProv's answer for a key or value that does not exist.
constexpr int32_t kErrorFileNotFound = 2;
// HKEY_LOCAL_MACHINE, as StdRegProv takes it.
constexpr const char* kHklmNumber = "2147483650";

bool isBlank(std::string_view s) {
    for (char c : s)
        if (c != ' ' && c != '\t') return false;
    return true;
}

// The registry value of a method's answer: 0 when it is missing (as a
// provider that does not report one), else the number.
int32_t returnValue(const WmiObject& out) {
    auto v = out.get("ReturnValue");
    if (!v || v->type != WmiType::Int32) return 0;
    return v->i;
}

}  // namespace

WmiContext::WmiContext(platform::WmiProvider& provider, platform::SettingsStore& store,
                       const EditorLog& log, UiPort& ui)
    : provider_(provider), store_(store), log_(log), ui_(ui) {}

WmiContext::~WmiContext() = default;

void WmiContext::start() {
    initialised_ = true;
}

void WmiContext::end() {
    current_.reset();
    connected_ = false;
    initialised_ = false;
}

bool WmiContext::fieldBlank() const {
    return isBlank(machineField_);
}

std::unique_ptr<platform::WmiConnection> WmiContext::connectTo(const std::string& machine,
                                                               const char* ns) {
    const std::string path = machine.empty() ? std::string(ns) : machine + "\\" + ns;
    if (path.size() >= kNamespacePathLimit) return nullptr;
    // The provider takes the machine's name without the leading "\\".
    size_t skip = 0;
    while (skip < machine.size() && machine[skip] == '\\') ++skip;
    auto r = provider_.connect(machine.substr(skip), ns);
    return std::move(r.connection);
}

bool WmiContext::fetchSystemType(platform::WmiConnection& c) {
    auto e = c.query("SELECT SystemType from Win32_ComputerSystem");
    if (!e) return false;
    std::unique_ptr<WmiObject> obj;
    if (e->next(kFetchTimeoutMs, obj) != WmiNext::Object) return true;
    auto v = obj->get("SystemType");
    if (v && v->type == WmiType::String) systemType_ = v->s.substr(0, kSystemTypeMax);
    return true;
}

void WmiContext::ConnectWMIDB(int kind) {
    log_.wmi("ConnectWMIDB::enter.");
    const char* ns = kind == kRootCimv2     ? platform::kCimv2
                     : kind == kRootDefault ? platform::kDefaultNamespace
                                            : nullptr;
    const bool remote = !fieldBlank() && machineField_ != localMachineName();
    // The replaced connection goes before the new one is made.
    current_.reset();
    connected_ = false;
    if (initialised_ && ns) {
        current_ = connectTo(remote ? machineField_ : std::string(), ns);
        if (current_ && kind == kRootCimv2 && systemType_.empty() && !fetchSystemType(*current_))
            current_.reset();
        connected_ = current_ != nullptr;
    }
    if (remote) {
        if (connected_) {
            log_.wmi("ConnectWMIDB::remote WMI connection success.");
        } else {
            log_.wmi("ConnectWMIDB::remote WMI connection failed.");
            ui_.messageBox("Remote WMI connection to " + machineField_ + " failed.", kErrorCaption,
                           MessageKind::Error);
        }
    } else if (connected_) {
        log_.wmi("ConnectWMIDB::Local WMI connection success.");
    } else {
        log_.wmi("ConnectWMIDB::Local WMI connection failed.");
        ui_.messageBox("Local WMI connection failed.", kErrorCaption, MessageKind::Error);
    }
}

std::optional<std::string> WmiContext::wmireadregistry(const std::string& fullKey,
                                                       ReadStatus& why) {
    log_.wmif("wmireadregistry enter: %s", fullKey.c_str());
    // Until the provider answers, the setting could not be asked for.
    why = ReadStatus::Failed;
    platform::WmiConnection* c = connection();
    if (!c || !c->getObject("StdRegProv")) {
        log_.wmif("wmireadregistry:failed at GetObject. Errcode: %x", kWbemFailed);
        return std::nullopt;
    }
    WmiPropertyBag in;
    in.set("hDefKey", WmiValue::string(kHklmNumber));
    if (fullKey.size() >= kNamespacePathLimit) {
        log_.wmif("wmireadregistry:failed at Put1. Errcode: %x", kWbemFailed);
        return std::nullopt;
    }
    in.set("sSubKeyName", WmiValue::string(fullKey));
    log_.wmi("wmireadregistry:ExecMethod");
    auto out = c->execMethod("StdRegProv", "GetStringValue", &in);
    if (!out) {
        log_.wmif("wmireadregistry:failed at ExecMethod. Errcode: %x", kWbemFailed);
        return std::nullopt;
    }
    auto v = out->get("sValue");
    const int32_t rv = returnValue(*out);
    if (!v || v->type != WmiType::String || rv != 0 || v->s.size() >= kSettingTextLimit) {
        // "The system cannot find the file specified", or no value at all
        // from a provider that tells no reason: the setting is not there. A
        // value of another type or one too long exists but cannot be read.
        const bool text = v && v->type == WmiType::String;
        if (rv == kErrorFileNotFound || (rv == 0 && !text)) why = ReadStatus::NotFound;
        log_.wmi("wmireadregistry:failed");
        return std::nullopt;
    }
    log_.wmif("wmireadregistry:success. Errcode: %x", 0u);
    why = ReadStatus::Read;
    return v->s;
}

std::string WmiContext::ReadRegKey(std::string_view name) {
    log_.wmi("ReadRegKey::enter.");
    success_ = true;
    log_.wmi(is64Bit() ? "ReadRegKey::64 bit" : "ReadRegKey::32 bit");
    const std::string fullKey = keyPath() + std::string(name);
    if (auto text = wmireadregistry(fullKey, lastRead_)) {
        // The passphrase never reaches the log in clear.
        const bool secret = equalsNoCase(name, "KeyCode") && !text->empty();
        log_.wmif("ReadRegKey::%s:%s", fullKey.c_str(),
                  secret ? "****************" : text->c_str());
        return *text;
    }
    log_.wmi("ReadRegKey::failed on wmi, try RegOpenKeyEx");
    if (!targetIsLocal()) {
        // No fallback on another machine: the log tells a missing setting
        // from one that could not be asked for.
        log_.wmif(lastRead_ == ReadStatus::NotFound
                      ? "ReadRegKey::%s not found on the remote machine"
                      : "ReadRegKey::%s could not be read from the remote machine",
                  fullKey.c_str());
        return {};
    }
    const std::string key = kHklm + fullKey;
    if (!store_.keyExists(key)) {
        success_ = false;
        lastRead_ = store_.healthy() ? ReadStatus::NotFound : ReadStatus::Failed;
        log_.wmif("ReadRegKey::failed at %s (RegOpenKeyEx)", fullKey.c_str());
        return {};
    }
    auto v = store_.getValue(key, "");
    if (!v || (v->type != platform::RegType::Sz && v->type != platform::RegType::ExpandSz) ||
        v->data.size() >= kLocalReadLimit) {
        success_ = false;
        // A key without a text is a setting that is not there; a value of
        // another type or one too long is there but unread.
        lastRead_ = !v && store_.healthy() ? ReadStatus::NotFound : ReadStatus::Failed;
        log_.wmif("ReadRegKey::failed at %s (RegQueryValueEx)", fullKey.c_str());
        return {};
    }
    lastRead_ = ReadStatus::Read;
    return v->data;
}

bool WmiContext::wmiwriteregistry(const std::string& fullKey, std::string_view text) {
    platform::WmiConnection* c = connection();
    if (!c || !c->getObject("StdRegProv") || fullKey.size() >= kNamespacePathLimit) return false;
    WmiPropertyBag in;
    in.set("hDefKey", WmiValue::string(kHklmNumber));
    in.set("sSubKeyName", WmiValue::string(fullKey));
    in.set("sValue", WmiValue::string(std::string(text)));
    auto out = c->execMethod("StdRegProv", "SetStringValue", &in);
    if (!out) {
        log_.wmif("wmiwriteregistry:failed at ExecMethod. Errcode: %x", kWbemFailed);
        return false;
    }
    if (const int32_t rv = returnValue(*out); rv != 0) {
        log_.wmif("wmiwriteregistry:failed. ReturnValue: %d", rv);
        return false;
    }
    return true;
}

bool WmiContext::wmicreatekey(const std::string& fullKey) {
    platform::WmiConnection* c = connection();
    if (!c || !c->getObject("StdRegProv")) return false;
    WmiPropertyBag in;
    in.set("hDefKey", WmiValue::string(kHklmNumber));
    in.set("sSubKeyName", WmiValue::string(fullKey));
    auto out = c->execMethod("StdRegProv", "CreateKey", &in);
    if (!out) {
        log_.wmif("wmicreatekey:failed at ExecMethod. Errcode: %x", kWbemFailed);
        return false;
    }
    if (const int32_t rv = returnValue(*out); rv != 0) {
        log_.wmif("wmicreatekey:failed. ReturnValue: %d", rv);
        return false;
    }
    return true;
}

void WmiContext::showWriteFailure(std::string_view name) {
    ui_.messageBox("Can not save the setting: " + std::string(name), kErrorCaption,
                   MessageKind::Error);
}

bool WmiContext::WriteRegKey(std::string_view name, std::string_view text) {
    success_ = true;
    log_.wmi(is64Bit() ? "WriteRegKey::64 bit" : "WriteRegKey::32 bit");
    const std::string fullKey = keyPath() + std::string(name);
    if (wmiwriteregistry(fullKey, text)) return true;
    log_.wmi("WriteRegKey::failed on wmi, try CRegKey ");
    if (targetIsLocal()) {
        const std::string key = kHklm + fullKey;
        if (!store_.createKey(key)) {
            log_.wmif("WriteRegKey::failed at %s (RegCreateKeyEx)", fullKey.c_str());
        } else if (!store_.setValue(key, "", platform::RegValue::sz(std::string(text)))) {
            log_.wmif("WriteRegKey::failed at %s (RegSetValueEx)", fullKey.c_str());
        } else {
            return true;
        }
    } else {
        // The registry provider does not create a missing key on a write.
        log_.wmi("WriteRegKey::try CreateKey");
        if (wmicreatekey(fullKey) && wmiwriteregistry(fullKey, text)) return true;
        log_.wmif("WriteRegKey::failed at %s (CreateKey)", fullKey.c_str());
    }
    success_ = false;
    showWriteFailure(name);
    return false;
}

const std::string& WmiContext::localMachineName() {
    if (!localName_.empty() || !initialised_) return localName_;
    // A connection of its own, so that the current one stays as it is.
    std::unique_ptr<platform::WmiConnection> c = connectTo("", platform::kCimv2);
    if (!c) return localName_;
    auto e = c->query("SELECT Name FROM Win32_ComputerSystem");
    std::unique_ptr<WmiObject> obj;
    if (!e || e->next(kFetchTimeoutMs, obj) != WmiNext::Object) return localName_;
    auto v = obj->get("Name");
    if (v && v->type == WmiType::String && !v->s.empty()) localName_ = "\\\\" + v->s.substr(0, 99);
    return localName_;
}

std::string WmiContext::targetMachineName() {
    return fieldBlank() ? localMachineName() : machineField_;
}

bool WmiContext::targetIsLocal() {
    return fieldBlank() || machineField_ == localMachineName();
}

QueryStatus WmiContext::forEachObject(std::string_view wql,
                                      const std::function<bool(const WmiObject&)>& visit) {
    platform::WmiConnection* c = connection();
    if (!c) return QueryStatus::NotConnected;
    auto e = c->query(wql);
    if (!e) return QueryStatus::QueryFailed;
    for (;;) {
        std::unique_ptr<WmiObject> obj;
        switch (e->next(kFetchTimeoutMs, obj)) {
            case WmiNext::Object:
                if (!visit(*obj)) return QueryStatus::Done;
                break;
            case WmiNext::End:
                return QueryStatus::Done;
            case WmiNext::Timeout:
            case WmiNext::Failed:
                return QueryStatus::FetchFailed;
        }
    }
}

}  // namespace tw::editor
