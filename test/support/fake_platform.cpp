#include "test/support/fake_platform.h"

#include <cstdio>
#include <stdexcept>

#include "base/settings.h"
#include "platform/crypto_library.h"
#include "platform/wmi/fixture_wmi_provider.h"

namespace tw::testing {

using platform::normaliseKey;

bool MemorySettingsStore::keyExists(const std::string& key) {
    return healthy_ && tree_.count(normaliseKey(key));
}

std::optional<platform::RegValue> MemorySettingsStore::getValue(const std::string& key,
                                                                const std::string& name) {
    if (!healthy_) return std::nullopt;
    auto it = tree_.find(normaliseKey(key));
    if (it == tree_.end()) return std::nullopt;
    for (auto& v : it->second.values)
        if (normaliseKey(v.name) == normaliseKey(name)) return v.value;
    return std::nullopt;
}

bool MemorySettingsStore::setValue(const std::string& key, const std::string& name,
                                   const platform::RegValue& value) {
    if (!healthy_) return false;
    auto& k = platform::ensureKey(tree_, key);
    for (auto& v : k.values) {
        if (normaliseKey(v.name) == normaliseKey(name)) {
            v.value = value;
            return true;
        }
    }
    k.values.push_back({name, value});
    return true;
}

bool MemorySettingsStore::createKey(const std::string& key) {
    if (!healthy_) return false;
    platform::ensureKey(tree_, key);
    return true;
}

bool MemorySettingsStore::deleteKey(const std::string& key) {
    if (!healthy_) return false;
    std::string norm = normaliseKey(key);
    auto it = tree_.find(norm);
    if (it == tree_.end()) return false;
    if (hasSubkeys(tree_, norm)) return false;
    tree_.erase(it);
    return true;
}

bool MemorySettingsStore::deleteValue(const std::string& key, const std::string& name) {
    auto it = tree_.find(normaliseKey(key));
    if (it == tree_.end()) return false;
    auto& vals = it->second.values;
    for (auto v = vals.begin(); v != vals.end(); ++v) {
        if (normaliseKey(v->name) == normaliseKey(name)) {
            vals.erase(v);
            return true;
        }
    }
    return false;
}

std::optional<std::vector<std::string>> MemorySettingsStore::subkeys(const std::string& key) {
    std::string norm = normaliseKey(key);
    if (!healthy_ || !tree_.count(norm)) return std::nullopt;
    std::vector<std::string> out;
    std::string prefix = norm + "\\";
    for (auto it = tree_.lower_bound(prefix); it != tree_.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0) break;
        if (it->first.find('\\', prefix.size()) != std::string::npos) continue;
        out.push_back(it->second.path.substr(it->second.path.find_last_of('\\') + 1));
    }
    return out;
}

void MemorySettingsStore::setSetting(const std::string& name, const std::string& text) {
    setValue(std::string(kHklm) + kSettingsKey + name, "", platform::RegValue::sz(text));
}

std::optional<std::string> MemorySettingsStore::setting(const std::string& name) {
    auto v = getValue(std::string(kHklm) + kSettingsKey + name, "");
    if (!v) return std::nullopt;
    return v->data;
}

namespace {
class PlainMutex : public platform::CycleMutex {
  public:
    PlainMutex() { mu.lock(); }
    void lock() override { mu.lock(); }
    void unlock() override { mu.unlock(); }
    std::mutex mu;
};
}  // namespace

std::unique_ptr<platform::CycleMutex> FakeSystem::createCycleMutex(const std::string&) {
    return std::make_unique<PlainMutex>();
}

std::FILE* FakeSystem::createPrivateFile(const std::string& path, std::string& why) {
    auto it = refusedFiles.find(path);
    if (it != refusedFiles.end()) {
        why = it->second;
        return nullptr;
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) why = "cannot be created";
    return f;
}

void FakeSystem::exitProcess(int status) {
    throw std::runtime_error("exitProcess(" + std::to_string(status) + ")");
}

FakePlatform::FakePlatform(std::optional<std::string> wmiFixture, const Replacements& r)
    : fixture((writeFile(fixturePath(), wmiFixture.value_or("{}")),
               platform::makeFixtureWmiProvider(fixturePath(), clock, settings, &host))),
      wmi(*fixture),
      p(with(r)) {
    if (!wmiFixture) wmi.refuse = {platform::kCimv2, platform::kDefaultNamespace};
    clock.stopFlag = &system.stop;
}

platform::Platform FakePlatform::with(const Replacements& r) {
    return {.settings = r.settings ? *r.settings : settings,
            .events = events,
            .host = host,
            .clock = r.clock ? *r.clock : clock,
            .system = r.system ? *r.system : system,
            .dispatcher = dispatcher,
            .services = services,
            .sockets = r.sockets ? *r.sockets : sockets,
            .wmi = r.wmi ? *r.wmi : wmi,
            .launcher = r.launcher ? *r.launcher : launcher,
            .directory = r.directory ? *r.directory : directory,
            .files = r.files ? *r.files : files,
            // The real cipher library: envelopes are checked against twrecv.
            .crypto = platform::cryptoLibrary};
}

}  // namespace tw::testing
