#include "test/support/e2e.h"

#include <algorithm>
#include <filesystem>

#include "platform/posix/file_settings_store.h"

namespace tw::testing {

bool setAgentSetting(const std::string& file, const std::string& name, const std::string& text,
                     std::string* error) {
    auto store = platform::makeFileSettingsStore(file);
    bool ok =
        store->setValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\" + name,
                        "", platform::RegValue::sz(text));
    if (!ok && error) *error = store->lastError();
    return ok;
}

std::map<std::string, std::string> agentEnv(const std::string& dir, const std::string& fixture) {
    return {{"TWNT_REGISTRY", dir + "/registry.reg"},
            {"TWNT_WMI_FIXTURE", fixture},
            {"TWNT_EVENTLOG", dir + "/ev.log"},
            {"TEMP", dir}};
}

std::vector<std::string> receivedFiles(const std::string& outDir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto& e : std::filesystem::directory_iterator(outDir, ec))
        if (e.is_regular_file()) names.push_back(e.path().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tw::testing
