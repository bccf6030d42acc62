// The settings store of the logic tests: registry keys and values in
// memory, with the registry's rules (names match without regard to case, a
// key with subkeys cannot be deleted) and a health switch.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/settings_store.h"
#include "platform/wmi/regfile.h"

namespace tw::testing {

class MemorySettingsStore : public platform::SettingsStore {
  public:
    bool healthy() override { return healthy_; }
    bool keyExists(const std::string& key) override;
    std::optional<platform::RegValue> getValue(const std::string& key,
                                               const std::string& name) override;
    bool setValue(const std::string& key, const std::string& name,
                  const platform::RegValue& value) override;
    bool createKey(const std::string& key) override;
    bool deleteKey(const std::string& key) override;
    bool deleteValue(const std::string& key, const std::string& name) override;
    std::optional<std::vector<std::string>> subkeys(const std::string& key) override;
    std::string lastError() const override { return error_; }

    // Sets a setting of the agent's settings key.
    void setSetting(const std::string& name, const std::string& text);
    std::optional<std::string> setting(const std::string& name);
    void setHealthy(bool ok, std::string error = {}) {
        healthy_ = ok;
        error_ = std::move(error);
    }
    platform::RegTree& tree() { return tree_; }

  private:
    platform::RegTree tree_;
    bool healthy_ = true;
    std::string error_;
};

}  // namespace tw::testing
