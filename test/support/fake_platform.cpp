#include "test/support/fake_platform.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "base/settings.h"
#include "platform/crypto_library.h"

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

FakePlatform::FakePlatform() {
    p.settings = &settings;
    p.events = &events;
    p.host = &host;
    p.clock = &clock;
    p.system = &system;
    p.dispatcher = &dispatcher;
    // The real cipher library: envelopes are checked against twrecv.
    p.crypto = &platform::cryptoLibrary;
    clock.stopFlag = &system.stop;
}

TempDir::TempDir() {
    std::random_device rd;
    std::mt19937_64 gen(rd());
    auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "twtest.%012llx",
                      static_cast<unsigned long long>(gen() & 0xffffffffffffULL));
        std::error_code ec;
        if (std::filesystem::create_directory(base / name, ec)) {
            path_ = (base / name).string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string commandOutput(const std::string& command) {
    std::string out;
    FILE* f = popen(command.c_str(), "r");
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    pclose(f);
    return out;
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

}  // namespace tw::testing
