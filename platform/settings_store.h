// The settings store: the registry as the agent sees it. Keys are full paths
// from the hive ("HKEY_LOCAL_MACHINE\SOFTWARE\..."), matched without regard to
// case; a value name of "" is the key's default value. Implementations never
// throw; a failed call answers false/nullopt and leaves a text in lastError().
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tw::platform {

enum class RegType { Sz, ExpandSz, Dword, Binary };

struct RegValue {
    RegType type = RegType::Sz;
    std::string data;    // Sz/ExpandSz: the text without its terminator; Binary: raw bytes
    uint32_t dword = 0;  // Dword only

    static RegValue sz(std::string text) { return {RegType::Sz, std::move(text), 0}; }
    static RegValue expandSz(std::string text) { return {RegType::ExpandSz, std::move(text), 0}; }
    static RegValue dw(uint32_t v) { return {RegType::Dword, {}, v}; }
};

// One value to set in a step of several.
struct ValueWrite {
    std::string key;
    std::string name;
    RegValue value;
};

class SettingsStore {
  public:
    virtual ~SettingsStore() = default;

    // Whether the store can be read at all. A store that cannot be parsed
    // answers false and names the file and line in lastError(); every read
    // then fails and every write is refused, so nothing is lost.
    virtual bool healthy() = 0;

    virtual bool keyExists(const std::string& key) = 0;
    // nullopt: the key or the value does not exist (or the store is unreadable).
    virtual std::optional<RegValue> getValue(const std::string& key, const std::string& name) = 0;
    // Creates the key and its parents when needed.
    virtual bool setValue(const std::string& key, const std::string& name,
                          const RegValue& value) = 0;
    // Sets every value in one step: all of them, or on failure none, with no
    // other writer in between. before (when given) receives each value as
    // the store held it just before (nullopt: there was none). A store that
    // has no such step (the Windows registry) sets them one after another,
    // stopping at the first refusal.
    virtual bool setValues(const std::vector<ValueWrite>& writes,
                           std::vector<std::optional<RegValue>>* before) {
        if (before) before->clear();
        for (const ValueWrite& w : writes) {
            if (before) before->push_back(getValue(w.key, w.name));
            if (!setValue(w.key, w.name, w.value)) return false;
        }
        return true;
    }
    virtual bool createKey(const std::string& key) = 0;
    // Deletes a key that has no subkeys (as the registry does); values go with it.
    virtual bool deleteKey(const std::string& key) = 0;
    virtual bool deleteValue(const std::string& key, const std::string& name) = 0;
    // Names of the direct subkeys in the store's order; nullopt when the key
    // does not exist.
    virtual std::optional<std::vector<std::string>> subkeys(const std::string& key) = 0;

    virtual std::string lastError() const = 0;
};

}  // namespace tw::platform
