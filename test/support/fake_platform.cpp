#include "test/support/fake_platform.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "agent/core/base/settings.h"

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
    auto next = std::next(it);
    if (next != tree_.end() && next->first.rfind(norm + "\\", 0) == 0) return false;
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

// The manual clock's calendar is plain arithmetic on days (no C library
// time functions, which differ between platforms).
platform::LocalTime ManualClock::localTime(int64_t when) {
    using namespace std::chrono;
    platform::LocalTime lt;
    int64_t local = when + utcOffset;
    int64_t days = local >= 0 ? local / 86400 : -((-local + 86399) / 86400);
    int64_t secs = local - days * 86400;
    sys_days day{std::chrono::days{days}};
    year_month_day ymd{day};
    lt.tm.tm_year = static_cast<int>(ymd.year()) - 1900;
    lt.tm.tm_mon = static_cast<int>(static_cast<unsigned>(ymd.month())) - 1;
    lt.tm.tm_mday = static_cast<int>(static_cast<unsigned>(ymd.day()));
    lt.tm.tm_hour = static_cast<int>(secs / 3600);
    lt.tm.tm_min = static_cast<int>(secs / 60 % 60);
    lt.tm.tm_sec = static_cast<int>(secs % 60);
    lt.tm.tm_wday = static_cast<int>(weekday{day}.c_encoding());
    lt.tm.tm_yday = static_cast<int>((day - sys_days{ymd.year() / January / 1}).count());
    lt.tm.tm_isdst = 0;
    lt.utcOffsetSeconds = utcOffset;
    lt.zoneName = zone;
    return lt;
}

std::optional<int64_t> ManualClock::fromLocalTime(const std::tm& tm) {
    using namespace std::chrono;
    // Normalises out-of-range months, days and times as timegm() would.
    int64_t month = tm.tm_mon;
    int64_t year =
        1900 + static_cast<int64_t>(tm.tm_year) + (month >= 0 ? month / 12 : (month - 11) / 12);
    month = ((month % 12) + 12) % 12;
    sys_days first{std::chrono::year{static_cast<int>(year)} /
                   std::chrono::month{static_cast<unsigned>(month + 1)} / 1};
    int64_t days = first.time_since_epoch().count() + tm.tm_mday - 1;
    return days * 86400 + static_cast<int64_t>(tm.tm_hour) * 3600 + tm.tm_min * 60 + tm.tm_sec -
           utcOffset;
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

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

}  // namespace tw::testing
