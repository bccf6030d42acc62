#include "base/settings.h"

#include "platform/settings_store.h"

namespace tw {

std::string Settings::fullKey(const std::string& name) const {
    std::string key = std::string(kHklm) + keyPath_ + name;
    // "SOFTWARE\...\twnt\" with an empty name names the key itself.
    while (!key.empty() && key.back() == '\\') key.pop_back();
    return key;
}

std::string Settings::readsetting(const std::string& name, size_t bufsize) {
    std::string sub = keyPath_ + name;
    if (sub.size() > 255) return {};
    auto value = store_.getValue(fullKey(name), "");
    if (!value) return {};
    std::string text;
    if (value->type == platform::RegType::Dword) {
        // The registry hands back the four bytes; read as text they end at a NUL.
        for (int i = 0; i < 4; ++i) {
            char c = static_cast<char>((value->dword >> (8 * i)) & 0xff);
            if (c == '\0') break;
            text.push_back(c);
        }
    } else {
        text = value->data;
        size_t nul = text.find('\0');
        if (nul != std::string::npos) text.resize(nul);
    }
    if (text.size() + 1 > bufsize) return {};
    size_t start = text.find_first_not_of(" \t\r\n\v\f");
    if (start == std::string::npos) return {};
    return text.substr(start);
}

void Settings::writesetting(const std::string& name, const std::string& text) {
    if ((keyPath_ + name).size() > 255) return;
    store_.setValue(fullKey(name), "", platform::RegValue::sz(text));
}

void Settings::deletesetting(const std::string& name) {
    store_.deleteKey(fullKey(name));
}

bool Settings::enumOpen(const std::string& keyPath) {
    enumClose();
    std::string key = std::string(kHklm) + keyPath;
    while (!key.empty() && key.back() == '\\') key.pop_back();
    auto names = store_.subkeys(key);
    if (!names) return false;
    enumNames_ = std::move(*names);
    enumIndex_ = 0;
    enumIsOpen_ = true;
    return true;
}

std::optional<std::string> Settings::enumNext() {
    if (!enumIsOpen_ || enumIndex_ >= enumNames_.size()) return std::nullopt;
    const std::string& name = enumNames_[enumIndex_++];
    // The name buffer holds 64 characters with its terminator.
    if (name.size() > 63) return std::nullopt;
    return name;
}

void Settings::enumClose() {
    enumNames_.clear();
    enumIndex_ = 0;
    enumIsOpen_ = false;
}

}  // namespace tw
