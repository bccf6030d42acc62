#include "platform/wmi/stdregprov.h"

#include <cstdlib>

#include "platform/ascii.h"
#include "platform/wmi/regfile.h"
#include "platform/wmi/wmi_table.h"

namespace tw::platform {

namespace {

constexpr int32_t kDone = 0;
constexpr int32_t kTypeMismatch = 1;
constexpr int32_t kNotFound = 2;
constexpr int32_t kInvalidParameter = 87;
// ERROR_CANTWRITE: the store refused the write (the file is read-only, or
// would grow past what its readers take); nothing was written.
constexpr int32_t kCannotWrite = 1013;

std::optional<std::string> hiveName(const WmiObject* in) {
    uint32_t h = 0x80000002u;  // HKEY_LOCAL_MACHINE when not given
    if (in) {
        if (auto v = in->get("hDefKey")) {
            if (v->type == WmiType::Int32)
                h = static_cast<uint32_t>(v->i);
            else if (v->type == WmiType::String)
                h = static_cast<uint32_t>(std::strtoul(v->s.c_str(), nullptr, 10));
            else if (v->type != WmiType::Null)
                return std::nullopt;
        }
    }
    switch (h) {
        case 0x80000000u:
            return "HKEY_CLASSES_ROOT";
        case 0x80000001u:
            return "HKEY_CURRENT_USER";
        case 0x80000002u:
            return "HKEY_LOCAL_MACHINE";
        case 0x80000003u:
            return "HKEY_USERS";
        case 0x80000005u:
            return "HKEY_CURRENT_CONFIG";
        default:
            return std::nullopt;
    }
}

std::string textOf(const WmiObject* in, const char* name) {
    if (!in) return {};
    auto v = in->get(name);
    if (v && v->type == WmiType::String) return v->s;
    return {};
}

class StdRegProvConnection final : public WmiConnection {
  public:
    explicit StdRegProvConnection(SettingsStore& store) : store_(store) {}

    std::unique_ptr<WmiEnumerator> query(std::string_view wql) override {
        error_ = "queries are not served in ROOT\\DEFAULT: " + std::string(wql);
        return nullptr;
    }

    std::unique_ptr<WmiObject> getObject(std::string_view path) override {
        if (!equalsNoCase(path, "StdRegProv")) {
            error_ = "no object " + std::string(path) + " in ROOT\\DEFAULT";
            return nullptr;
        }
        return std::make_unique<WmiPropertyBag>();
    }

    std::unique_ptr<WmiObject> execMethod(std::string_view path, std::string_view method,
                                          const WmiObject* in) override {
        if (!equalsNoCase(path, "StdRegProv")) {
            error_ = "no object " + std::string(path) + " in ROOT\\DEFAULT";
            return nullptr;
        }
        const bool get = equalsNoCase(method, "GetStringValue");
        const bool create = equalsNoCase(method, "CreateKey");
        if (!get && !create && !equalsNoCase(method, "SetStringValue")) {
            error_ = "StdRegProv has no method " + std::string(method);
            return nullptr;
        }
        if (!store_.healthy()) {
            error_ = store_.lastError();
            return nullptr;
        }
        auto out = std::make_unique<WmiPropertyBag>();
        auto hive = hiveName(in);
        if (!hive) {
            out->set("ReturnValue", WmiValue::int32(kNotFound));
            if (get) out->set("sValue", WmiValue::null());
            return out;
        }
        std::string sub = textOf(in, "sSubKeyName");
        std::string key = *hive + (sub.empty() ? "" : "\\" + sub);
        std::string valueName = textOf(in, "sValueName");
        if (get) {
            auto v = store_.getValue(key, valueName);
            if (!v) {
                out->set("ReturnValue", WmiValue::int32(kNotFound));
                out->set("sValue", WmiValue::null());
            } else if (v->type != RegType::Sz && v->type != RegType::ExpandSz) {
                out->set("ReturnValue", WmiValue::int32(kTypeMismatch));
                out->set("sValue", WmiValue::null());
            } else {
                out->set("ReturnValue", WmiValue::int32(kDone));
                out->set("sValue", WmiValue::string(v->data));
            }
            return out;
        }
        // A name the settings file cannot hold would break it for every reader.
        if (!keyPathProblem(key).empty() || (!create && !valueNameProblem(valueName).empty())) {
            out->set("ReturnValue", WmiValue::int32(kInvalidParameter));
            return out;
        }
        if (create) {
            if (sub.empty()) {  // a hive itself is not created
                out->set("ReturnValue", WmiValue::int32(kInvalidParameter));
                return out;
            }
            if (!store_.createKey(key)) {
                error_ = store_.lastError();
                out->set("ReturnValue", WmiValue::int32(kCannotWrite));
                return out;
            }
            out->set("ReturnValue", WmiValue::int32(kDone));
            return out;
        }
        if (!store_.keyExists(key)) {
            out->set("ReturnValue", WmiValue::int32(kNotFound));
            return out;
        }
        if (!store_.setValue(key, valueName, RegValue::sz(textOf(in, "sValue")))) {
            error_ = store_.lastError();
            out->set("ReturnValue", WmiValue::int32(kCannotWrite));
            return out;
        }
        out->set("ReturnValue", WmiValue::int32(kDone));
        return out;
    }

    std::string lastError() const override { return error_; }

  private:
    SettingsStore& store_;
    std::string error_;
};

}  // namespace

std::unique_ptr<WmiConnection> makeStdRegProvConnection(SettingsStore& store) {
    return std::make_unique<StdRegProvConnection>(store);
}

}  // namespace tw::platform
