// The settings store kept in one registry-export text file. Reads are
// answered from a parse that is refreshed when the file changes; writes take
// an exclusive lock, re-read, change, write a temporary file and rename it
// over the old one, so a reader never sees a half-written file.
#pragma once

#include <memory>
#include <string>

#include "platform/settings_store.h"

namespace tw::platform {

// TWNT_REGISTRY, else /var/lib/twnt/registry.reg for root, else
// $HOME/.local/state/twnt/registry.reg.
std::string defaultRegistryPath();

std::unique_ptr<SettingsStore> makeFileSettingsStore(const std::string& path);

}  // namespace tw::platform
