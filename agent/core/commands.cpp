#include "agent/core/commands.h"

#include <cstdio>

#include "agent/core/agent.h"
#include "agent/core/config.h"
#include "agent/core/drycycle.h"
#include "agent/core/dryreport.h"
#include "agent/core/service.h"
#include "agent/wmitests/definitions.h"
#include "base/events.h"
#include "base/text.h"
#include "base/twlog.h"
#include "platform/ascii.h"

namespace tw {

namespace {

const char* kProgram = "twnt";
const char* kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\uninstall";
const char* kOldProductName = "Tallwatch System and Network Monitor Client";

// The table's settings in order, but with `moved` right after `after`:
// install writes PageLevels, and remove deletes PluginTimer, right after
// ExternalPath.
std::vector<const SettingDef*> tableorder(const char* moved, const char* after) {
    std::vector<const SettingDef*> order;
    for (const SettingDef& def : kSettingsTable) {
        if (equalsNoCase(def.name, moved)) continue;
        order.push_back(&def);
        if (equalsNoCase(def.name, after)) order.push_back(findsetting(moved));
    }
    return order;
}

struct Words {
    std::string command;
    std::vector<std::string> params;  // at most three
};

Words splitwords(const std::string& joined) {
    Words w;
    size_t i = 0;
    int n = 0;
    while (n < 4) {
        while (i < joined.size() && (joined[i] == ' ' || joined[i] == '\t' || joined[i] == '\n'))
            ++i;
        if (i >= joined.size()) break;
        size_t start = i;
        while (i < joined.size() && joined[i] != ' ' && joined[i] != '\t' && joined[i] != '\n' &&
               i - start < 254)
            ++i;
        std::string word = joined.substr(start, i - start);
        if (n == 0)
            w.command = word;
        else
            w.params.push_back(word);
        ++n;
    }
    return w;
}

class Commands {
  public:
    Commands(Agent& a, const Console& c) : a_(a), c_(c), mem_(true) {}

    int usage() {
        out(strformat("Usage:\t%s\r\n", kProgram));
        out(strformat("\t%s -install TWDISPLAY [FQDN] [IPPORT]\r\n", kProgram));
        out(strformat("\t%s -upgrade\r\n", kProgram));
        out(strformat("\t%s -remove\r\n", kProgram));
        out(strformat("\t%s -test [--json]\r\n", kProgram));
        return 1;
    }

    // One cycle run dry: its messages printed, nothing sent or changed.
    int test(const Words& w) {
        bool json = false;
        for (const std::string& p : w.params) {
            if (p != "--json") return usage();
            json = true;
        }
        const DryRun run = drycycle(a_.p);
        out(json ? dryjson(run) : drytext(run));
        if (!run.loaded) err("twnt -test: " + run.failure + "\n");
        return drystatus(run);
    }

    int install(const Words& w) {
        if (w.params.empty()) return usage();
        if (w.params.size() >= 2 && !equalsNoCase(w.params[1], "Y") &&
            !equalsNoCase(w.params[1], "N"))
            return usage();
        if (w.params.size() >= 3 && decimalNumber(w.params[2]) == 0) return usage();

        // A settings file that cannot be read must not be overwritten.
        if (!a_.p.settings.healthy()) {
            err(strformat("\r\n%s could not be installed: %s\r\n\r\n", kShortDisplayName,
                          a_.p.settings.lastError().c_str()));
            return 1;
        }
        if (alreadyinstalled()) {
            out(strformat("\r\n%s is already installed !!!\r\n\r\n", kShortDisplayName));
            return usage();
        }
        Settings& s = a_.settings;
        if (!createservice()) {
            out(strformat("\r\n%s could not be installed !!!\r\n\r\n", kShortDisplayName));
            return usage();
        }
        mem_.set("TWDISPLAY", w.params[0]);
        mem_.set("TWPAGE", w.params[0]);
        mem_.set("IPport", w.params.size() >= 3 ? w.params[2] : "1984");
        mem_.set("FQDN", w.params.size() >= 2 ? w.params[1] : "Y");
        mem_.set("AliasName", localaliasname());
        for (const SettingDef* def : tableorder("PageLevels", "ExternalPath"))
            s.writesetting(def->name, mem_.get(def->name));
        registersource();
        return 0;
    }

    int remove() {
        Settings& s = a_.settings;
        int count = 0;
        if (s.enumOpen(kUninstallKey)) {
            while (auto name = s.enumNext()) {
                if (findNoCase(*name, kShortDisplayName) == 0 ||
                    findNoCase(*name, kOldProductName) == 0)
                    ++count;
            }
            s.enumClose();
        }
        if (count >= 2) return 0;

        std::string key = kSettingsKey;
        if (!keyexists(kSettingsKey) && keyexists(kOldSettingsKey)) key = kOldSettingsKey;
        removeservice();
        Settings found(a_.p.settings, key);
        for (const SettingDef* def : tableorder("PluginTimer", "ExternalPath"))
            found.deletesetting(def->name);
        found.deletesetting("");
        return 0;
    }

    int upgrade() {
        auto& sm = a_.p.services;
        // Wait while a stop is under way; a missing service is no error here.
        if (sm.openManager(true) && sm.openService(kServiceName)) {
            for (int i = 0; i < 600; ++i) {
                auto st = sm.queryState();
                if (!st || *st != platform::ServiceState::StopPending) break;
                a_.p.clock.sleepSeconds(1);
            }
        }
        sm.closeAll();
        if (!updateservice()) {
            err(strformat("Couldn't set new display name: %s not installed\r\n", "TWNT"));
            return 1;
        }

        Settings& s = a_.settings;
        if (!a_.p.settings.healthy()) {
            err(strformat("Couldn't access registry tree\r\n%s\r\n",
                          a_.p.settings.lastError().c_str()));
            return 1;
        }
        std::string key;
        std::vector<std::string> names;
        for (const char* candidate : {kSettingsKey, kOldSettingsKey}) {
            if (s.enumOpen(candidate)) {
                key = candidate;
                while (auto n = s.enumNext()) names.push_back(*n);
                s.enumClose();
                break;
            }
        }
        if (key.empty()) {
            err("Couldn't access registry tree\r\n");
            return 1;
        }

        // Clean: earlier switches become mode letters; unknown subkeys go.
        Settings found(a_.p.settings, key);
        for (const auto& name : names) {
            if (findsetting(name)) continue;
            for (const EarlierSwitch& old : kEarlierSwitches) {
                if (!equalsNoCase(name, old.name)) continue;
                std::string v = found.readsetting(name, old.bufsize);
                if (!v.empty() && (v[0] == 'Y' || v[0] == 'y')) alwaysgreen(old.testItem);
            }
            found.deletesetting(name);
        }

        if (key == kOldSettingsKey) {
            // Only the settings that exist move, with their stored text as is,
            // so that the filling below completes the rest from the defaults.
            for (const auto& def : kSettingsTable) {
                std::string from = std::string(kHklm) + kOldSettingsKey + def.name;
                auto value = a_.p.settings.getValue(from, "");
                if (!value) continue;
                std::string text =
                    value->type == platform::RegType::Dword ? std::string() : value->data;
                found.deletesetting(def.name);
                s.writesetting(def.name, text);
            }
            found.deletesetting("");
        }

        std::string defaults = s.readsetting("Defaults");
        // An empty Defaults gets the whole default (the page-file item alone
        // would leave the cpu and disk items to the built-in thresholds); an
        // absent one is filled below. A text that cannot take the item within
        // its 127 characters stays as the administrator wrote it.
        if (defaults.empty()) {
            s.deletesetting("Defaults");
            s.writesetting("Defaults", mem_.get("Defaults"));
        } else if (defaults.find("PAGEFILE") == std::string::npos) {
            if (defaults.size() + 15 < settingsize("Defaults")) {
                defaults += " PAGEFILE:80:90";
                s.deletesetting("Defaults");
                s.writesetting("Defaults", defaults);
                mem_.set("Defaults", defaults);
            } else {
                err("Defaults left as it is: appending \" PAGEFILE:80:90\" would pass its 127 "
                    "characters\r\n");
            }
        }

        std::vector<std::string> present;
        if (s.enumOpen(kSettingsKey)) {
            while (auto n = s.enumNext()) present.push_back(*n);
            s.enumClose();
            for (const auto& [name, text] : mem_.all()) {
                bool there = false;
                for (const auto& p : present) there = there || equalsNoCase(p, name);
                if (!there) s.writesetting(name, text);
            }
        }
        registersource();
        out(strformat("%s upgraded\r\n", kShortDisplayName));
        return 0;
    }

    int startstop(bool start) {
        auto& sm = a_.p.services;
        auto fail = [&](const std::string& text) {
            err(text);
            a_.p.clock.sleepSeconds(5);
            return 1;
        };
        if (!a_.p.host.computerName() || !sm.openManager(false))
            return fail("Can't retrieve Computer Name\r\n");
        if (!sm.openService(kServiceName))
            return fail(strformat("Can't Open %s service\r\n", kShortDisplayName));
        auto state = sm.queryState();
        if (!state)
            return fail(strformat("Can't retrieve %s service status\r\n", kShortDisplayName));
        if (start) {
            if (*state != platform::ServiceState::Running && !sm.startService())
                return fail(strformat("Can't start %s service\r\n", kShortDisplayName));
            out(strformat("%s service started\r\n", kShortDisplayName));
        } else {
            if (*state != platform::ServiceState::Stopped && !sm.stopService())
                return fail(strformat("Can't stop %s service\r\n", kShortDisplayName));
            out(strformat("%s service stopped\r\n", kShortDisplayName));
        }
        sm.closeAll();
        a_.p.clock.sleepSeconds(2);
        return 0;
    }

  private:
    void out(const std::string& s) { c_.out(s); }
    void err(const std::string& s) { c_.err(s); }

    std::string smerror() {
        auto e = a_.p.services.lastError();
        return lasterrortext(e.message, e.code);
    }

    bool keyexists(const char* path) {
        std::string key = std::string(kHklm) + path;
        key.pop_back();
        return a_.p.settings.keyExists(key);
    }

    void alwaysgreen(const char* item) {
        std::string tests = mem_.get("Tests");
        size_t at = tests.find(item);
        if (at != std::string::npos && at + std::string(item).size() < tests.size())
            tests[at + std::string(item).size()] = 'G';
        mem_.set("Tests", tests);
    }

    bool alreadyinstalled() {
        Settings& s = a_.settings;
        bool open = s.enumOpen(kSettingsKey) || s.enumOpen(kOldSettingsKey);
        bool found = false;
        if (open) {
            while (auto n = s.enumNext()) found = found || equalsNoCase(*n, "TWDISPLAY");
            s.enumClose();
        }
        return found;
    }

    bool createservice() {
        auto path = a_.p.system.programPath();
        if (!path) {
            uint32_t code = a_.p.system.lastErrorCode();
            out(strformat("Unable to install %s - %s\r\n", kDisplayName,
                          lasterrortext(a_.p.system.errorText(code), code).c_str()));
            return false;
        }
        auto& sm = a_.p.services;
        if (!sm.openManager(true)) {
            out(strformat("OpenSCManager failed - %s\r\n", smerror().c_str()));
            return false;
        }
        if (sm.createService({kServiceName, kDisplayName, path->substr(0, 511)}))
            out(strformat("%s installed.\r\n", kDisplayName));
        else
            out(strformat("CreateService failed - %s\r\n", smerror().c_str()));
        sm.closeAll();
        return true;
    }

    bool updateservice() {
        auto path = a_.p.system.programPath();
        if (!path) {
            uint32_t code = a_.p.system.lastErrorCode();
            out(strformat("Unable to install/upgrade %s - %s\r\n", kDisplayName,
                          lasterrortext(a_.p.system.errorText(code), code).c_str()));
            return false;
        }
        auto& sm = a_.p.services;
        bool ok = sm.openManager(true) && sm.openService(kServiceName) &&
                  sm.changeService(path->substr(0, 511), kDisplayName);
        sm.closeAll();
        return ok;
    }

    void removeservice() {
        auto& sm = a_.p.services;
        if (!sm.openManager(true)) {
            out(strformat("OpenSCManager failed - %s\r\n", smerror().c_str()));
            return;
        }
        if (!sm.openService(kServiceName)) {
            out(strformat("OpenService failed - %s\r\n", smerror().c_str()));
            sm.closeAll();
            return;
        }
        if (sm.stopService()) {
            out(strformat("Stopping %s.", kDisplayName));
            std::optional<platform::ServiceState> st;
            // Bounded: a service that never leaves its stop counts as failed.
            for (int i = 0; i < 120; ++i) {
                a_.p.clock.sleepSeconds(1);
                st = sm.queryState();
                if (!st || *st != platform::ServiceState::StopPending) break;
                out(".");
            }
            if (st && *st == platform::ServiceState::Stopped)
                out(strformat("\r\n%s stopped.\r\n", kDisplayName));
            else
                out(strformat("\r\n%s failed to stop.\r\n", kDisplayName));
        }
        if (sm.deleteService())
            out(strformat("%s removed.\r\n", kDisplayName));
        else
            out(strformat("DeleteService failed - %s\r\n", smerror().c_str()));
        sm.closeAll();
    }

    // The resolver's official name of this host; the socket layer is started
    // around it (Windows Sockets must run for name resolution).
    std::string localaliasname() {
        platform::Sockets& sockets = a_.p.sockets;
        if (!sockets.start()) return {};
        std::string alias;
        if (auto name = a_.p.host.hostName()) {
            auto entry = a_.p.host.resolve(name->substr(0, 255));
            if (entry) alias = entry->officialName;
        }
        sockets.stop();
        return alias;
    }

    void registersource() {
        auto path = a_.p.system.programPath();
        registereventsource(a_.p.settings, path.value_or(""));
    }

    Agent& a_;
    const Console& c_;
    InstallDefaults mem_;
};

}  // namespace

Console Console::standard() {
    return {[](const std::string& s) {
                std::fwrite(s.data(), 1, s.size(), stdout);
                std::fflush(stdout);
            },
            [](const std::string& s) {
                std::fwrite(s.data(), 1, s.size(), stderr);
                std::fflush(stderr);
            }};
}

InstallDefaults::InstallDefaults(bool withPool) {
    for (const SettingDef& def : kSettingsTable)
        values_.emplace_back(def.name, def.install ? std::string(def.install)
                                       : withPool  ? defaultwmipool()
                                                   : std::string());
}

const std::string& InstallDefaults::get(const std::string& name) const {
    static const std::string empty;
    for (const auto& [n, v] : values_)
        if (equalsNoCase(n, name)) return v;
    return empty;
}

void InstallDefaults::set(const std::string& name, const std::string& text) {
    for (auto& [n, v] : values_)
        if (equalsNoCase(n, name)) v = text;
}

std::string lasterrortext(const std::string& message, uint32_t code) {
    if (message.empty() || message.size() + 14 > 256) return {};
    return strformat("%s (0x%x)", message.c_str(), code);
}

int rundispatcher(Agent& agent, const std::string& joined, const Console& console) {
    if (joined.empty()) {
        Service service(agent);
        return service.start();
    }
    Words w = splitwords(joined);
    if (joined[0] != '-' && joined[0] != '/') return 0;
    Commands c(agent, console);
    std::string word = w.command.substr(1);
    if (equalsNoCase(word, "install")) return c.install(w);
    if (equalsNoCase(word, "remove") || equalsNoCase(word, "unregserver")) return c.remove();
    if (equalsNoCase(word, "upgrade")) return c.upgrade();
    if (equalsNoCase(word, "start")) return c.startstop(true);
    if (equalsNoCase(word, "stop")) return c.startstop(false);
    if (equalsNoCase(word, "test")) return c.test(w);
    return c.usage();
}

}  // namespace tw
