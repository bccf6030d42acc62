#include "test/support/e2e.h"

#include <algorithm>
#include <filesystem>

#include <csignal>

#include "base/settings.h"
#include "platform/posix/file_settings_store.h"
#include "test/support/process.h"

namespace tw::testing {

bool setAgentSetting(const std::string& file, const std::string& name, const std::string& text,
                     std::string* error) {
    auto store = platform::makeFileSettingsStore(file);
    bool ok =
        store->setValue(std::string(kHklm) + kSettingsKey + name, "", platform::RegValue::sz(text));
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

bool AgentRun::start() {
    std::error_code ec;
    std::filesystem::create_directories(dir.file("out"), ec);
    return recv.start({"--out", dir.file("out"), "--bind", "127.0.0.1"}) &&
           set("TWDISPLAY", "127.0.0.1:" + std::to_string(recv.port())) && set("FQDN", "N") &&
           set("AliasName", "e2ehost");
}

bool AgentRun::set(const std::string& name, const std::string& text, std::string* why) {
    return setAgentSetting(reg, name, text, why);
}

bool AgentRun::runUntil(const std::string& fixture, const std::function<bool()>& done, int waitMs,
                        std::string& why) {
    writeFile(dir.file("fixture.json"), fixture);
    Process agent(binaryPath("twnt"), {"-app"}, agentEnv(dir.path(), dir.file("fixture.json")),
                  dir.path());
    const bool arrived = waitFor(done, waitMs);
    agent.signal(SIGTERM);
    const std::optional<int> status = agent.wait(kAgentStopMs);
    why = std::string(arrived ? "" : "what was waited for did not come\n") +
          (status == 0 ? "" : "the agent did not end with status 0\n") + agent.err() +
          readFile(dir.file("ev.log"));
    return arrived && status == 0;
}

std::vector<std::string> AgentRun::received() const {
    std::vector<std::string> texts;
    for (const std::string& f : receivedFiles(dir.file("out"))) texts.push_back(readFile(f));
    return texts;
}

}  // namespace tw::testing
