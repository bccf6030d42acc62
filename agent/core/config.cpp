#include "agent/core/config.h"

#include "base/settings.h"
#include "base/text.h"
#include "base/twlog.h"
#include "platform/ascii.h"
#include "platform/host_info.h"

namespace tw {

std::string cleandestinations(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (char c : text)
        if (c >= 0x20 && c <= 0x7e) s.push_back(c);
    size_t lead = s.find_first_not_of(';');
    s.erase(0, lead == std::string::npos ? s.size() : lead);
    std::string folded;
    folded.reserve(s.size());
    for (char c : s)
        if (!(c == ';' && !folded.empty() && folded.back() == ';')) folded.push_back(c);
    while (!folded.empty() && folded.back() == ';') folded.pop_back();
    return folded;
}

std::string filteralias(std::string_view text) {
    std::string out;
    for (char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_' || c == '.')
            out.push_back(c);
    }
    return out;
}

namespace {

std::string yesNo(const std::string& text) {
    return !text.empty() && (text[0] == 'Y' || text[0] == 'y') ? "Y" : "N";
}

std::string upperFirst(std::string text) {
    if (!text.empty()) text[0] = upperAscii(text[0]);
    return text;
}

// FQDN Y: dots become commas; otherwise the name ends at its first dot.
std::string shapeName(std::string name, const std::string& fqdn) {
    if (fqdn == "Y") {
        for (char& c : name)
            if (c == '.') c = ',';
    } else {
        size_t dot = name.find('.');
        if (dot != std::string::npos) name.resize(dot);
    }
    return name;
}

}  // namespace

StatusChannel statuschannel(const Config& cfg, platform::Sockets* sockets, platform::Clock* clock) {
    StatusChannel ch;
    ch.sockets = sockets;
    ch.clock = clock;
    ch.keycode = cfg.keycode;
    ch.keycodeUnusable = cfg.keycodeUnusable;
    ch.port = cfg.port();
    ch.sendPageAlerts = cfg.sendPageAlerts;
    ch.pagelevels = cfg.pagelevels;
    ch.twpage = cfg.twpage;
    return ch;
}

PluginView pluginview(const Config& cfg, StatusChannel channel) {
    return {cfg.host.compName, cfg.externalpath, cfg.externalpathAsWritten, cfg.twdisplay,
            std::move(channel)};
}

LoadResult loadconfig(Settings& settings, platform::HostInfo& host, Config& cfg,
                      const std::function<void(const std::string&)>& onExternals) {
    LoadResult result;

    std::string display = settings.readsetting("TWDISPLAY");
    if (display.empty()) {
        twlog("TWDISPLAY is not set");
        result.outcome = LoadOutcome::NoDisplay;
        return result;
    }
    cfg.twdisplay = cleandestinations(display);
    std::string page = settings.readsetting("TWPAGE");
    if (page.empty()) page = display;
    cfg.twpage = cleandestinations(page);

    cfg.fqdn = yesNo(settings.readsetting("FQDN"));
    std::string port = settings.readsetting("IPport");
    cfg.ipport = port.empty() ? 1984 : decimalNumber(port);
    if (cfg.ipport < 1) cfg.ipport = 1984;

    cfg.aliasName = settings.readsetting("AliasName");
    cfg.tests = settings.readsetting("Tests");
    cfg.modes.parse(cfg.tests);
    cfg.networkInterfaces = settings.readsetting("NetworkInterfaces");
    cfg.interfaceLimits = parseinterfaces(cfg.networkInterfaces);
    cfg.wmitests = settings.readsetting("WMITests");
    cfg.wmipool = settings.readsetting("WMIPool");

    twlog("TWDISPLAY = <%s>\r\n", cfg.twdisplay.c_str());
    twlog("TWPAGE    = <%s>\r\n", cfg.twpage.c_str());
    twlog("FQDN   = <%s>\r\n", cfg.fqdn.c_str());
    twlog("IPport = <%d>\r\n", cfg.ipport);
    twlog("Tests = <%s>\r\n", cfg.tests.c_str());
    twlog("Networkinterfaces = <%s>\r\n", cfg.networkInterfaces.c_str());
    twlog("WMITests = <%s>\r\n", cfg.wmitests.c_str());
    twlog("WMIPool = <%s>\r\n", cfg.wmipool.c_str());

    // Host identity.
    std::string hostName = host.hostName().value_or("");
    if (hostName.size() > 255) hostName.resize(255);
    auto entry = host.resolve(hostName);
    if (!entry) {
        result.outcome = LoadOutcome::HostNotResolved;
        result.hostName = hostName;
        return result;
    }
    HostIdentity& id = cfg.host;
    id.realcompName = entry->officialName.substr(0, 255);
    id.twcompName = shapeName(id.realcompName, cfg.fqdn);
    if (!cfg.aliasName.empty()) {
        cfg.aliasName = shapeName(filteralias(cfg.aliasName), cfg.fqdn);
        if (!cfg.aliasName.empty()) id.twcompName = cfg.aliasName;
    }
    id.machineIP.clear();
    for (char c : entry->firstIPv4)
        if (c != '.') id.machineIP.push_back(c);
    twlog("twcompName = <%s>\r\n", id.twcompName.c_str());
    twlog("RealcompName = <%s>\r\n", id.realcompName.c_str());
    twlog("Machine IP = <%s>\r\n", id.machineIP.c_str());
    twlog("aliasName = <%s>\r\n", cfg.aliasName.c_str());
    id.compName = id.twcompName;
    twlog("compName = <%s>\r\n", id.compName.c_str());

    cfg.cpurebootmins = decimalNumber(settings.readsetting("CPUrebootmins"));
    if (cfg.cpurebootmins < 0) cfg.cpurebootmins = 0;
    cfg.cpurebootcolor = upperFirst(settings.readsetting("CPUrebootcolor"));
    twlog("cpurebootmins = <%d>\r\n", cfg.cpurebootmins);
    twlog("cpurebootcolor = <%s>\r\n", cfg.cpurebootcolor.c_str());

    cfg.cpuupdays = decimalNumber(settings.readsetting("CPUupdays"));
    if (cfg.cpuupdays < 1) cfg.cpuupdays = 999;
    cfg.cpuupdayscolor = upperFirst(settings.readsetting("CPUupdayscolor"));
    twlog("cpuupdays = <%d>\r\n", cfg.cpuupdays);
    twlog("cpuupdayscolor = <%s>\r\n", cfg.cpuupdayscolor.c_str());

    cfg.sendPageAlerts = yesNo(settings.readsetting("SendPageAlerts"));
    twlog("SendPageAlerts = <%s>\r\n", cfg.sendPageAlerts.c_str());

    std::string timer = settings.readsetting("Timer");
    cfg.timer = timer.empty() ? 300 : decimalNumber(timer);
    if (cfg.timer < 1) cfg.timer = 300;
    twlog("Timer = <%d>\r\n", cfg.timer);

    cfg.keycode = settings.readsetting("KeyCode");
    cfg.keycodeUnusable =
        cfg.keycode.empty() && !settings.readsetting("KeyCode", kUnlimitedSetting).empty();
    if (!cfg.keycode.empty())
        twlog("Key code = <****************> --- What do you expect !!!\r\n");
    else
        twlog("Key code = <> It is either unset or too many characters were specified\r\n");

    cfg.procs = settings.readsetting("Procs");
    twlog("Procs = <%s>\r\n", cfg.procs.c_str());
    std::string disk = settings.readsetting("DiskList");
    twlog("DiskList = <%s>\r\n", disk.c_str());
    cfg.disklist = toUpper(disk);
    cfg.services = settings.readsetting("Services");
    twlog("Services = <%s>\r\n", cfg.services.c_str());
    cfg.externals = settings.readsetting("Externals");
    twlog("Externals = <%s>\r\n", cfg.externals.c_str());
    if (onExternals) onExternals(cfg.externals);

    cfg.defaults = settings.readsetting("Defaults");
    cfg.thresholds = parsedefaults(cfg.defaults);
    twlog("\r\nDefaults = <%s>\r\n", toUpper(cfg.defaults).c_str());

    cfg.memlevels = settings.readsetting("MemLevels");
    twlog("\r\nmMemlevels = <%s>\r\n", cfg.memlevels.c_str());

    std::string levels = settings.readsetting("PageLevels");
    cfg.pagelevels = levels.empty() ? "red purple " : levels + " ";
    twlog("\r\nmPagelevels = <%s>\r\n", cfg.pagelevels.c_str());

    cfg.msglevels = toUpper(settings.readsetting("MsgLevels"));
    twlog("MsgLevels = <%s>\r\n", cfg.msglevels.c_str());
    cfg.ignoremsgs = toUpper(settings.readsetting("IgnoreMsgs"));
    twlog("IgnoreMsgs = <%s>\r\n", cfg.ignoremsgs.c_str());
    cfg.externalpathAsWritten = settings.readsetting("ExternalPath");
    cfg.externalpath = toUpper(cfg.externalpathAsWritten);
    twlog("External Path = <%s>\r\n", cfg.externalpath.c_str());
    return result;
}

}  // namespace tw
