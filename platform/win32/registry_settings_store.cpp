// The settings store on Windows: the registry itself. Keys are full paths
// from the hive. A 32-bit agent on 64-bit Windows works in the 32-bit view
// (SOFTWARE\Wow6432Node) as every 32-bit program does, which is where the
// editor and earlier versions find the settings. A path that names
// Wow6432Node itself (the editor's path on a 64-bit target) is opened in
// the 64-bit view, where that name means the 32-bit view's keys, so that it
// is not redirected a second time. A 64-bit build of the same programs asks
// for the 32-bit view on every other path, so that its settings lie exactly
// where the 32-bit product's do.
#include <string_view>
#include <vector>

#include "platform/ascii.h"
#include "platform/win32/win32.h"

namespace tw::platform::win32 {

namespace {

struct Hive {
    const char* name;
    HKEY key;
};

const Hive kHives[] = {
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKCU", HKEY_CURRENT_USER},
    {"HKEY_USERS", HKEY_USERS},
    {"HKU", HKEY_USERS},
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKCR", HKEY_CLASSES_ROOT},
};

// A key handle that closes itself.
class Key {
  public:
    Key() = default;
    ~Key() {
        if (h_) RegCloseKey(h_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* out() { return &h_; }
    HKEY get() const { return h_; }

  private:
    HKEY h_ = nullptr;
};

class RegistrySettingsStore final : public SettingsStore {
  public:
    bool healthy() override { return true; }

    bool keyExists(const std::string& key) override {
        Key k;
        return open(key, KEY_READ, k);
    }

    std::optional<RegValue> getValue(const std::string& key, const std::string& name) override {
        Key k;
        if (!open(key, KEY_QUERY_VALUE, k)) return std::nullopt;
        // The value may grow between the size query and the read: try again.
        std::vector<BYTE> buf(256);
        DWORD type = 0;
        LONG rc;
        for (int attempt = 0;; ++attempt) {
            DWORD size = static_cast<DWORD>(buf.size());
            rc = RegQueryValueExA(k.get(), name.c_str(), nullptr, &type, buf.data(), &size);
            if (rc == ERROR_MORE_DATA && attempt < 8) {
                buf.resize(static_cast<size_t>(size) + 2);
                continue;
            }
            if (rc != ERROR_SUCCESS) {
                fail(rc, "RegQueryValueEx " + key);
                return std::nullopt;
            }
            buf.resize(size);
            break;
        }
        RegValue v;
        switch (type) {
            case REG_SZ:
            case REG_EXPAND_SZ: {
                v.type = type == REG_SZ ? RegType::Sz : RegType::ExpandSz;
                std::string text(reinterpret_cast<const char*>(buf.data()), buf.size());
                // The stored terminator (or several) is not part of the text.
                while (!text.empty() && text.back() == '\0') text.pop_back();
                v.data = std::move(text);
                break;
            }
            case REG_DWORD:
                v.type = RegType::Dword;
                for (size_t i = 0; i < 4 && i < buf.size(); ++i)
                    v.dword |= static_cast<uint32_t>(buf[i]) << (8 * i);
                break;
            default:
                v.type = RegType::Binary;
                v.data.assign(reinterpret_cast<const char*>(buf.data()), buf.size());
                break;
        }
        return v;
    }

    bool setValue(const std::string& key, const std::string& name, const RegValue& value) override {
        Key k;
        if (!create(key, KEY_SET_VALUE, k)) return false;
        LONG rc;
        if (value.type == RegType::Dword) {
            DWORD d = value.dword;
            rc = RegSetValueExA(k.get(), name.c_str(), 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&d), sizeof d);
        } else {
            DWORD type = value.type == RegType::Sz         ? REG_SZ
                         : value.type == RegType::ExpandSz ? REG_EXPAND_SZ
                                                           : REG_BINARY;
            std::string data = value.data;
            if (type != REG_BINARY) data.push_back('\0');
            rc = RegSetValueExA(k.get(), name.c_str(), 0, type,
                                reinterpret_cast<const BYTE*>(data.data()),
                                static_cast<DWORD>(data.size()));
        }
        return rc == ERROR_SUCCESS || fail(rc, "RegSetValueEx " + key);
    }

    bool createKey(const std::string& key) override {
        Key k;
        return create(key, KEY_READ, k);
    }

    bool deleteKey(const std::string& key) override {
        size_t cut = key.find_last_of('\\');
        if (cut == std::string::npos) return fail(ERROR_INVALID_PARAMETER, "not a subkey: " + key);
        Key parent;
        if (!open(key.substr(0, cut), KEY_WRITE, parent)) return false;
        // RegDeleteKeyEx refuses a key with subkeys, as the interface
        // promises; it deletes in the view the key was opened in.
        LONG rc =
            RegDeleteKeyExA(parent.get(), key.substr(cut + 1).c_str(), view(key.substr(0, cut)), 0);
        return rc == ERROR_SUCCESS || fail(rc, "RegDeleteKey " + key);
    }

    bool deleteValue(const std::string& key, const std::string& name) override {
        Key k;
        if (!open(key, KEY_SET_VALUE, k)) return false;
        LONG rc = RegDeleteValueA(k.get(), name.c_str());
        return rc == ERROR_SUCCESS || fail(rc, "RegDeleteValue " + key);
    }

    std::optional<std::vector<std::string>> subkeys(const std::string& key) override {
        Key k;
        if (!open(key, KEY_ENUMERATE_SUB_KEYS, k)) return std::nullopt;
        std::vector<std::string> names;
        for (DWORD i = 0;; ++i) {
            char name[256];  // key names have at most 255 characters
            DWORD len = sizeof name;
            LONG rc = RegEnumKeyExA(k.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_NO_MORE_ITEMS) break;
            if (rc != ERROR_SUCCESS) {
                fail(rc, "RegEnumKeyEx " + key);
                return std::nullopt;
            }
            names.emplace_back(name, len);
        }
        return names;
    }

    std::string lastError() const override { return lastError_; }

  private:
    // The view flag of a path: the 64-bit view for one through Wow6432Node,
    // otherwise the 32-bit view (a 32-bit program has it without asking).
    static REGSAM view(const std::string& rest) {
        constexpr std::string_view kWow = "WOW6432NODE";
        for (size_t at = 0; at + kWow.size() <= rest.size(); ++at) {
            const bool starts = at == 0 || rest[at - 1] == '\\';
            const size_t end = at + kWow.size();
            const bool ends = end == rest.size() || rest[end] == '\\';
            if (starts && ends &&
                equalsNoCase(std::string_view(rest).substr(at, kWow.size()), kWow))
                return KEY_WOW64_64KEY;
        }
        return sizeof(void*) == 8 ? KEY_WOW64_32KEY : 0;
    }

    // Splits "HIVE\rest" into the hive's handle and the rest.
    bool split(const std::string& key, HKEY& hive, std::string& rest) {
        size_t cut = key.find('\\');
        std::string_view head = std::string_view(key).substr(0, cut);
        for (const auto& h : kHives) {
            if (equalsNoCase(head, h.name)) {
                hive = h.key;
                rest = cut == std::string::npos ? std::string() : key.substr(cut + 1);
                while (!rest.empty() && rest.back() == '\\') rest.pop_back();
                return true;
            }
        }
        return fail(ERROR_INVALID_PARAMETER, "unknown hive in " + key);
    }

    bool open(const std::string& key, REGSAM access, Key& k) {
        HKEY hive;
        std::string rest;
        if (!split(key, hive, rest)) return false;
        LONG rc = RegOpenKeyExA(hive, rest.c_str(), 0, access | view(rest), k.out());
        return rc == ERROR_SUCCESS || fail(rc, "RegOpenKeyEx " + key);
    }

    bool create(const std::string& key, REGSAM access, Key& k) {
        HKEY hive;
        std::string rest;
        if (!split(key, hive, rest)) return false;
        LONG rc = RegCreateKeyExA(hive, rest.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  access | view(rest), nullptr, k.out(), nullptr);
        return rc == ERROR_SUCCESS || fail(rc, "RegCreateKeyEx " + key);
    }

    bool fail(LONG rc, const std::string& what) {
        std::string text = systemErrorText(static_cast<DWORD>(rc));
        lastError_ = what + ": " + (text.empty() ? "error " + std::to_string(rc) : text);
        // Registry calls answer their error; hand it on as the last error too,
        // as callers that report GetLastError() expect.
        SetLastError(static_cast<DWORD>(rc));
        return false;
    }

    std::string lastError_;
};

}  // namespace

std::unique_ptr<SettingsStore> makeRegistrySettingsStore() {
    return std::make_unique<RegistrySettingsStore>();
}

}  // namespace tw::platform::win32
