// Services from systemd: the service units (loaded, and installed but never
// loaded) as Win32_Service objects, one by path, and StartService and
// StopService queued through systemctl. systemctl runs under a time limit.
#include <cctype>
#include <map>
#include <set>

#include "platform/posix/linux_sources.h"
#include "platform/posix/live_wmi.h"
#include "platform/posix/subprocess.h"

namespace tw::platform::livewmi {

namespace {

constexpr int kSystemctlMs = 10000;

std::string stateOf(const std::string& active) {
    if (active == "active") return "Running";
    if (active == "activating" || active == "reloading") return "Start Pending";
    if (active == "deactivating") return "Stop Pending";
    return "Stopped";
}

std::string startModeOf(const std::string& fileState) {
    if (fileState == "enabled" || fileState == "enabled-runtime" || fileState == "alias")
        return "Auto";
    if (fileState == "disabled" || fileState == "masked" || fileState == "masked-runtime")
        return "Disabled";
    return "Manual";
}

std::string serviceName(const std::string& unit) {
    return unit.substr(0, unit.size() - 8);
}

void addService(WmiTable& t, const std::string& name, const std::string& description,
                const std::string& active, const std::string& fileState) {
    const std::string state = stateOf(active);
    WmiRowValues& r = t.addRow();
    t.set(r, "Name", str(name));
    t.set(r, "DisplayName", str(description.empty() ? name : description));
    t.set(r, "Caption", str(description.empty() ? name : description));
    t.set(r, "Description", str(description));
    t.set(r, "State", str(state));
    t.set(r, "Started", boolean(state == "Running"));
    t.set(r, "StartMode", str(startModeOf(fileState)));
    t.set(r, "Status", str(active == "failed" ? "Degraded" : "OK"));
    t.set(r, "ServiceType", str("Own Process"));
}

// A unit name that systemctl must not take for an option or a pattern.
bool plainUnitName(const std::string& n) {
    if (n.empty() || n.size() > 200 || n[0] == '-') return false;
    for (char ch : n)
        if (!(std::isalnum(static_cast<unsigned char>(ch)) || ch == '-' || ch == '_' || ch == '.' ||
              ch == '@' || ch == ':' || ch == '\\'))
            return false;
    return true;
}

// The service that a path "Win32_Service.Name='X'" names; nullopt for
// another path, a name systemctl must not see, or no service manager.
std::optional<std::string> servicePath(const Context& c, std::string_view path) {
    const std::string prefix = "WIN32_SERVICE.NAME=";
    if (toUpper(path.substr(0, prefix.size())) != prefix) return std::nullopt;
    std::string_view v = path.substr(prefix.size());
    if (v.size() >= 2 && (v.front() == '\'' || v.front() == '"') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    std::string name(v);
    if (c.roots.systemctl.empty() || !plainUnitName(name)) return std::nullopt;
    return name;
}

std::optional<WmiTable> buildService(const LiveClass& cls, Context& c, std::string& err) {
    if (c.roots.systemctl.empty()) {
        err = "no service manager";
        return std::nullopt;
    }
    auto units = runCommand({c.roots.systemctl, "list-units", "--type=service", "--all", "--plain",
                             "--no-legend", "--no-pager"},
                            kSystemctlMs);
    if (!units || units->exitStatus != 0) {
        err = "systemctl list-units failed (is systemd running?)";
        return std::nullopt;
    }
    auto files = runCommand(
        {c.roots.systemctl, "list-unit-files", "--type=service", "--no-legend", "--no-pager"},
        kSystemctlMs);
    std::map<std::string, std::string> fileState;
    if (files && files->exitStatus == 0)
        for (const auto& f : linuxsrc::parseListUnitFiles(files->out)) fileState[f.unit] = f.state;
    WmiTable t = cls.table();
    std::set<std::string> listed;
    for (const auto& u : linuxsrc::parseListUnits(units->out)) {
        if (u.load == "not-found" || !listed.insert(u.unit).second) continue;
        addService(t, serviceName(u.unit), u.description, u.active, fileState[u.unit]);
    }
    // Installed but never loaded (disabled, not started since boot): stopped.
    for (const auto& [unit, state] : fileState) {
        if (listed.count(unit) || unit.find('@') != std::string::npos) continue;
        addService(t, serviceName(unit), {}, "inactive", state);
    }
    return t;
}

std::unique_ptr<WmiObject> readService(const LiveClass& cls, Context& c, std::string_view path,
                                       std::string& err) {
    auto name = servicePath(c, path);
    if (!name) {
        err = "no object " + std::string(path);
        return nullptr;
    }
    auto show =
        runCommand({c.roots.systemctl, "show", "-p", "Id", "-p", "Description", "-p", "ActiveState",
                    "-p", "LoadState", "-p", "UnitFileState", "--", *name + ".service"},
                   kSystemctlMs);
    if (!show || show->exitStatus != 0) {
        err = "systemctl show failed for " + *name;
        return nullptr;
    }
    auto kv = linuxsrc::parseKeyValues(show->out);
    if (kv["LoadState"] != "loaded") {
        err = "no service " + *name;
        return nullptr;
    }
    WmiTable t = cls.table();
    addService(t, *name, kv["Description"], kv["ActiveState"], kv["UnitFileState"]);
    return makeTableObject(t.shape, std::move(t.rows[0]));
}

std::unique_ptr<WmiObject> runServiceMethod(const LiveClass&, Context& c, std::string_view path,
                                            std::string_view method, std::string& err) {
    auto name = servicePath(c, path);
    const std::string m = toUpper(method);
    if (!name || (m != "STARTSERVICE" && m != "STOPSERVICE")) {
        err = "no method " + std::string(method) + " on " + std::string(path);
        return nullptr;
    }
    // Queued, not awaited, as the service manager's start and stop
    // return once the request is accepted.
    auto r = runCommand({c.roots.systemctl, "--no-block", m == "STARTSERVICE" ? "start" : "stop",
                         "--", *name + ".service"},
                        kSystemctlMs);
    if (!r || r->timedOut) {
        err = "systemctl could not be run for " + *name;
        return nullptr;
    }
    auto out = std::make_unique<WmiPropertyBag>();
    // Win32_Service return codes: 0 done, 2 access denied, 8 unknown failure.
    const int code = r->exitStatus == 0 ? 0 : (r->exitStatus == 4 ? 2 : 8);
    out->set("ReturnValue", WmiValue::int32(code));
    return out;
}

}  // namespace

LiveClass serviceClass() {
    LiveClass cls = liveClass("Win32_Service",
                              {"Name", "DisplayName", "Caption", "Description", "State", "Started",
                               "StartMode", "Status", "ServiceType"},
                              ignoringQuery(buildService));
    cls.object = readService;
    cls.method = runServiceMethod;
    return cls;
}

}  // namespace tw::platform::livewmi
