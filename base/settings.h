// The agent's setting operations. A setting is a subkey of a key path whose
// default value holds the text: the settings key, or the older one that
// upgrade and remove still find.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "base/settingstable.h"

namespace tw::platform {
class SettingsStore;
}

namespace tw {

inline constexpr const char* kHklm = "HKEY_LOCAL_MACHINE\\";
inline constexpr const char* kSettingsKey = "SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\";
inline constexpr const char* kOldSettingsKey = "SOFTWARE\\Tallwatch\\twnt\\";
inline constexpr size_t kUnlimitedSetting = static_cast<size_t>(-1);

class Settings {
  public:
    // The settings under keyPath, below HKEY_LOCAL_MACHINE with a trailing
    // backslash.
    explicit Settings(platform::SettingsStore& store, const std::string& keyPath = kSettingsKey)
        : store_(store), keyPath_(keyPath.substr(0, 1023)) {}

    const std::string& keyPath() const { return keyPath_; }

    // The setting's text when it and its terminator fit in bufsize (any
    // length with kUnlimitedSetting), with
    // leading white space removed; empty when missing, unreadable or too long.
    std::string readsetting(const std::string& name, size_t bufsize);
    // One of the table's settings with its own buffer size.
    std::string readsetting(SettingName setting) {
        return readsetting(setting.name(), setting.bufsize());
    }
    // Stores the text as the subkey's default value. Failures are silent.
    void writesetting(const std::string& name, const std::string& text);
    // Deletes the subkey; an empty name deletes the key path itself.
    void deletesetting(const std::string& name);

    // One enumeration at a time, as the agent's commands use it.
    bool enumOpen(const std::string& keyPath);
    // The next subkey name (at most 63 characters), or nullopt at the end.
    std::optional<std::string> enumNext();
    void enumClose();

    platform::SettingsStore& store() { return store_; }

  private:
    std::string fullKey(const std::string& name) const;

    platform::SettingsStore& store_;
    const std::string keyPath_;
    std::vector<std::string> enumNames_;
    size_t enumIndex_ = 0;
    bool enumIsOpen_ = false;
};

}  // namespace tw
