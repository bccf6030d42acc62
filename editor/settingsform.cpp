#include "editor/settingsform.h"

#include <algorithm>

#include "base/text.h"
#include "editor/servicecontrol.h"
#include "editor/wmicontext.h"
#include "platform/ascii.h"

namespace tw::editor {

namespace {

// The text fields that show a setting as it is.
struct PlainField {
    DialogSetting setting;
    const char* control;
};
constexpr PlainField kPlainFields[] = {
    {kAliasName, ctl::kAlias},       {kCpuRebootMins, ctl::kRebootMins},
    {kStartDelay, ctl::kStartDelay}, {kCpuUpDays, ctl::kUpDays},
    {kPageLevels, ctl::kPageLevels}, {kExternalPath, ctl::kLogLocation},
    {kMsgLevels, ctl::kMsgLevels},   {kIgnoreMsgs, ctl::kIgnoreMsgs},
    {kProcs, ctl::kProcs},           {kDiskList, ctl::kDrives},
    {kServices, ctl::kServices},     {kNetworkInterfaces, ctl::kNetIfs},
    {kExternals, ctl::kExternals},   {kKeyCode, ctl::kKeyCode},
    {kIpPort, ctl::kIpPort},         {kTimer, ctl::kTimer},
    {kPluginTimer, ctl::kLogsTimer},
};

struct CheckField {
    DialogSetting setting;
    const char* control;
};
constexpr CheckField kCheckFields[] = {
    {kActivatelog, ctl::kActivateLog},
    {kFqdn, ctl::kFqdn},
    {kSendPageAlerts, ctl::kSendAlerts},
};

// A warning/panic pair of a keyword in Defaults or MemLevels.
struct PercentPair {
    DialogSetting setting;
    const char* keyword;
    const char* warning;
    const char* panic;
};
constexpr PercentPair kPercentPairs[] = {
    {kDefaults, "CPU:", ctl::kCpuWarning, ctl::kCpuPanic},
    {kDefaults, "DISK:", ctl::kDrivesWarning, ctl::kDrivesPanic},
    {kDefaults, "PAGEFILE:", ctl::kPageFileWarning, ctl::kPageFilePanic},
    {kMemLevels, "PHYS:", ctl::kPhysWarning, ctl::kPhysPanic},
    {kMemLevels, "COMMIT:", ctl::kCommitWarning, ctl::kCommitPanic},
};

constexpr const char* kColours[] = {"Green", "Yellow", "Red"};

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equalsNoCase(s.substr(0, prefix.size()), prefix);
}

std::string trimBlanks(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return std::string(s.substr(b, e - b));
}

// The warning and panic figures after a keyword: up to the next ':', then up
// to the next blank or the end. A missing keyword gives two empty figures.
std::pair<std::string, std::string> figuresAfter(std::string_view text, std::string_view keyword) {
    size_t at = text.find(keyword);
    if (at == std::string_view::npos) return {};
    size_t from = at + keyword.size();
    size_t colon = text.find(':', from);
    if (colon == std::string_view::npos) {
        size_t end = text.find(' ', from);
        return {std::string(text.substr(from, end - from)), {}};
    }
    size_t end = text.find(' ', colon + 1);
    return {std::string(text.substr(from, colon - from)),
            std::string(text.substr(colon + 1, end - (colon + 1)))};
}

}  // namespace

std::vector<std::string> splitAll(std::string_view text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t semi = text.find(';', start);
        out.emplace_back(text.substr(start, semi - start));
        if (semi == std::string_view::npos) break;
        start = semi + 1;
    }
    return out;
}

std::vector<std::string> splitNonEmpty(std::string_view text) {
    std::vector<std::string> out;
    for (auto& piece : splitAll(text))
        if (!piece.empty()) out.push_back(std::move(piece));
    return out;
}

namespace {

void addMainLabels(Form& form) {
    for (const char* group : {ctl::kHostsGroup, ctl::kIdentityGroup, ctl::kThresholdsGroup,
                              ctl::kExternalsGroup, ctl::kServiceGroup, ctl::kTestsGroup})
        form.addLabel(group, group);
    for (const char* field :
         {ctl::kDisplayHosts, ctl::kPagerHosts,   ctl::kIpPort,     ctl::kKeyCode,
          ctl::kPageLevels,   ctl::kComputerName, ctl::kAlias,      ctl::kLogLocation,
          ctl::kRebootColor,  ctl::kRebootMins,   ctl::kStartDelay, ctl::kUpDays,
          ctl::kUpDaysColor,  ctl::kExternals,    ctl::kTimer,      ctl::kLogsTimer,
          ctl::kSetTest,      ctl::kProcs,        ctl::kDrives,     ctl::kServices,
          ctl::kNetIfs,       ctl::kMsgLevels,    ctl::kIgnoreMsgs})
        form.addLabelOf(field);
    for (const char* heading : {ctl::kWarningHeading, ctl::kPanicHeading, ctl::kSetTestAs})
        form.addLabel(heading, heading);
    for (const auto& row : kThresholdRows) form.addLabel(row.label, row.label, row.warning);
    const std::pair<const char*, const char*> units[] = {
        {ctl::kRebootMins, "mins"}, {ctl::kStartDelay, "mins"}, {ctl::kUpDays, "days"},
        {ctl::kTimer, "secs"},      {ctl::kLogsTimer, "secs"},
    };
    for (const auto& [field, unit] : units) form.addLabel(unitOf(field), unit);
    form.addLabel(ctl::kServiceNote, "The agent reads its settings when it starts.");
}

}  // namespace

void addMainControls(Form& form) {
    auto add = [&](const char* name, ControlKind kind, size_t limit = 0) -> Control& {
        return form.add(name, kind, limit);
    };
    auto textLimit = [](DialogSetting s) { return dialogSetting(s).bufsize - 1; };
    add(ctl::kDisplayHosts, ControlKind::List);
    add(ctl::kDisplayEntry, ControlKind::Text);
    add(ctl::kDisplayAdd, ControlKind::Button).enabled = false;
    add(ctl::kDisplayDel, ControlKind::Button);
    add(ctl::kPagerHosts, ControlKind::List);
    add(ctl::kPagerEntry, ControlKind::Text);
    add(ctl::kPagerAdd, ControlKind::Button).enabled = false;
    add(ctl::kPagerDel, ControlKind::Button);
    for (const char* button : {ctl::kDisplayAdd, ctl::kPagerAdd}) form.ctrl(button).text = "Add";
    for (const char* button : {ctl::kDisplayDel, ctl::kPagerDel}) form.ctrl(button).text = "Del";
    add(ctl::kComputerName, ControlKind::Text);
    add(ctl::kLoad, ControlKind::Button);
    add(ctl::kAlias, ControlKind::Text, textLimit(kAliasName));
    for (const auto& c : kCheckFields) add(c.control, ControlKind::CheckBox);
    for (const auto& p : kPercentPairs) {
        add(p.warning, ControlKind::Percent, 3);
        add(p.panic, ControlKind::Percent, 3);
    }
    std::vector<std::string> colours(std::begin(kColours), std::end(kColours));
    std::sort(colours.begin(), colours.end(), lessNoCase);
    add(ctl::kRebootColor, ControlKind::Choice).entries = colours;
    add(ctl::kRebootMins, ControlKind::Digits, textLimit(kCpuRebootMins));
    add(ctl::kStartDelay, ControlKind::Digits, textLimit(kStartDelay));
    add(ctl::kUpDays, ControlKind::Digits, textLimit(kCpuUpDays));
    add(ctl::kUpDaysColor, ControlKind::Choice).entries = colours;
    add(ctl::kPageLevels, ControlKind::Text, textLimit(kPageLevels));
    add(ctl::kLogLocation, ControlKind::Text, textLimit(kExternalPath));
    add(ctl::kLogLocationBrowse, ControlKind::Button).text = "...";
    add(ctl::kMsgLevels, ControlKind::Text, textLimit(kMsgLevels));
    add(ctl::kIgnoreMsgs, ControlKind::Text, textLimit(kIgnoreMsgs));
    add(ctl::kProcs, ControlKind::Text, textLimit(kProcs));
    add(ctl::kProcsPick, ControlKind::PickList);
    add(ctl::kDrives, ControlKind::Text, textLimit(kDiskList));
    add(ctl::kDrivesPick, ControlKind::PickList);
    add(ctl::kServices, ControlKind::Text, textLimit(kServices));
    add(ctl::kServicesPick, ControlKind::PickList);
    add(ctl::kNetIfs, ControlKind::Text, textLimit(kNetworkInterfaces));
    add(ctl::kNetIfsPick, ControlKind::PickList);
    add(ctl::kExternals, ControlKind::Text, textLimit(kExternals));
    add(ctl::kAddExternal, ControlKind::Button);
    add(ctl::kKeyCode, ControlKind::Text, textLimit(kKeyCode));
    add(ctl::kIpPort, ControlKind::Digits, textLimit(kIpPort));
    add(ctl::kTimer, ControlKind::Digits, textLimit(kTimer));
    add(ctl::kLogsTimer, ControlKind::Digits, textLimit(kPluginTimer));
    add(ctl::kSetTest, ControlKind::Choice);
    for (const char* mode : {ctl::kPerform, ctl::kPerformTrend, ctl::kAlwaysGreen, ctl::kDisable})
        add(mode, ControlKind::Radio);
    add(ctl::kService, ControlKind::Button).text = kStartServiceCaption;
    add(ctl::kWmiTestConfig, ControlKind::Button);
    add(ctl::kSave, ControlKind::Button).enabled = false;
    add(ctl::kQuit, ControlKind::Button);
    // The logo shows the maker's picture, no caption.
    add(ctl::kLogo, ControlKind::Button).text.clear();
    addMainLabels(form);
}

void showSettings(Form& form, const SettingTexts& loaded) {
    const auto& t = loaded.text;
    auto hosts = [&](const char* list, DialogSetting s) {
        const std::string& text = t[s];
        form.setEntries(list, text.empty() ? std::vector<std::string>{} : splitAll(text));
        Control& c = form.ctrl(list);
        c.selected = c.entries.empty() ? -1 : 0;
    };
    hosts(ctl::kDisplayHosts, kTwdisplay);
    hosts(ctl::kPagerHosts, kTwpage);
    form.ctrl(ctl::kComputerName).text = loaded.machine;
    for (const auto& f : kPlainFields) form.ctrl(f.control).text = t[f.setting];
    for (const auto& f : kCheckFields) form.ctrl(f.control).checked = t[f.setting] == "Y";
    for (const auto& p : kPercentPairs) {
        auto [warning, panic] = figuresAfter(t[p.setting], p.keyword);
        form.ctrl(p.warning).text = warning;
        form.ctrl(p.panic).text = panic;
    }
    auto colour = [&](const char* choice, DialogSetting s) {
        Control& c = form.ctrl(choice);
        // An empty colour shows the install default.
        const std::string text = t[s].empty() ? dialogSetting(s).install : t[s];
        c.selected = -1;
        for (size_t i = 0; i < c.entries.size() && c.selected < 0; ++i)
            if (startsWithNoCase(text, c.entries[i])) c.selected = static_cast<int>(i);
        for (size_t i = 0; i < c.entries.size() && c.selected < 0; ++i)
            if (startsWithNoCase(c.entries[i], text)) c.selected = static_cast<int>(i);
    };
    colour(ctl::kRebootColor, kCpuRebootColor);
    colour(ctl::kUpDaysColor, kCpuUpDaysColor);
}

const char* fieldOf(std::string_view setting) {
    for (const auto& f : kPlainFields)
        if (equalsNoCase(dialogSetting(f.setting).name, setting)) return f.control;
    if (equalsNoCase(setting, "WMITests")) return ctl::kWmiTestConfig;
    return nullptr;
}

SettingTexts collectSettings(const Form& form, const std::string& tests) {
    SettingTexts out;
    auto& t = out.text;
    auto join = [&](const char* list) {
        const std::vector<std::string>& all = form.entries(list);
        std::string joined;
        for (const auto& e : all) {
            if (&e != &all.front()) joined += ';';
            joined += e;
        }
        return joined;
    };
    auto text = [&](const char* name) -> const std::string& { return form.text(name); };
    t[kTwdisplay] = join(ctl::kDisplayHosts);
    t[kTwpage] = join(ctl::kPagerHosts);
    for (const auto& f : kPlainFields) t[f.setting] = text(f.control);
    // One letter set as a character: GCC 12 -O3 for 32-bit Windows took the
    // copy of a one-letter literal for an overlapping one and stopped.
    for (const auto& f : kCheckFields) t[f.setting].assign(1, form.checked(f.control) ? 'Y' : 'N');
    t[kDefaults] = "CPU:" + text(ctl::kCpuWarning) + ":" + text(ctl::kCpuPanic) +
                   " DISK:" + text(ctl::kDrivesWarning) + ":" + text(ctl::kDrivesPanic) +
                   " PAGEFILE:" + text(ctl::kPageFileWarning) + ":" + text(ctl::kPageFilePanic);
    t[kMemLevels] = "PHYS:" + text(ctl::kPhysWarning) + ":" + text(ctl::kPhysPanic) +
                    " COMMIT:" + text(ctl::kCommitWarning) + ":" + text(ctl::kCommitPanic);
    t[kCpuRebootColor] = form.selectedText(ctl::kRebootColor);
    t[kCpuUpDaysColor] = form.selectedText(ctl::kUpDaysColor);
    t[kTests] = tests;
    out.machine = text(ctl::kComputerName);
    return out;
}

std::optional<Problem> checkSettings(const Form& form, const SettingTexts& edited) {
    if (edited.text[kTwdisplay].empty())
        return Problem{"A DISPALY host is required", ctl::kDisplayHosts};
    struct Required {
        const char* control;
        const char* message;
    };
    static constexpr Required kRequired[] = {
        {ctl::kDrivesWarning, "Disk warning value is required"},
        {ctl::kDrivesPanic, "Disk Panic value is required"},
        {ctl::kCpuWarning, "CPU warning value is required"},
        {ctl::kCpuPanic, "CPU Panic value is required"},
        {ctl::kPhysWarning, "Physical Memory warning value is required"},
        {ctl::kPhysPanic, "Physical Memory Panic value is required"},
        {ctl::kCommitWarning, "Commit Charge warning value is required"},
        {ctl::kCommitPanic, "Commit Charge panic value is required"},
        {ctl::kPageFileWarning, "Page File warning value is required"},
        {ctl::kPageFilePanic, "Page File panic value is required"},
        {ctl::kRebootMins, "\"CPU reboot message duration\" value is required"},
        {ctl::kStartDelay, "\"Start monitoring after\" value is required"},
        {ctl::kUpDays, "\"CPU warning when computer has been up\" value is required"},
    };
    for (const auto& r : kRequired)
        if (form.text(r.control).empty()) return Problem{r.message, r.control};
    struct Ordered {
        const char* warning;
        const char* panic;
        const char* message;
    };
    static constexpr Ordered kOrdered[] = {
        {ctl::kDrivesWarning, ctl::kDrivesPanic, "Disk warning value is invalid"},
        {ctl::kCpuWarning, ctl::kCpuPanic, "CPU warning value is invalid"},
        {ctl::kPhysWarning, ctl::kPhysPanic, "Physical Memory warning value is invalid"},
        {ctl::kCommitWarning, ctl::kCommitPanic, "Commit Charge warning value is invalid"},
        {ctl::kPageFileWarning, ctl::kPageFilePanic, "Page File Usage warning value is invalid"},
    };
    for (const auto& o : kOrdered)
        if (decimalNumber(form.text(o.warning)) > decimalNumber(form.text(o.panic)))
            return Problem{o.message, o.warning};
    if (auto message = checkNetworkInterfaces(form.text(ctl::kNetIfs)))
        return Problem{*message, ctl::kNetIfs};
    return std::nullopt;
}

std::optional<std::string> checkNetworkInterfaces(std::string_view all) {
    all = all.substr(0, kSettingTextLimit - 1);
    for (const auto& piece : splitNonEmpty(all)) {
        const std::string entry = toUpper(std::string_view(piece).substr(0, 1023));
        size_t mbps = entry.find("MBPS");
        if (mbps == std::string::npos) return "Mbps missing in network interface definition";
        // The interface name and the bandwidth before "MBPS" are not checked;
        // four figures follow it, each after a ':'.
        size_t colons[4];
        size_t found = 0;
        for (size_t p = entry.find(':', mbps + 4); p != std::string::npos && found < 4;
             p = entry.find(':', p + 1))
            colons[found++] = p;
        if (found < 4) return "thresholds error in network interface definition";
        auto figure = [&](size_t i) {
            const size_t from = colons[i] + 1;
            const size_t to = i < 3 ? colons[i + 1] : entry.size();
            return decimalNumber(std::string_view(entry).substr(from, to - from));
        };
        const int t1 = figure(0), t2 = figure(1), t3 = figure(2), t4 = figure(3);
        if (!(t1 >= 0 && t2 >= 0 && t2 > t1 && t3 >= 0 && t4 >= 0 && t4 > t3))
            return "thresholds error in network interface definition";
    }
    return std::nullopt;
}

void addHost(Form& form, const char* list, const char* entry, const char* add) {
    const std::string host = trimBlanks(form.text(entry));
    const auto& all = form.entries(list);
    const bool listed = std::any_of(
        all.begin(), all.end(), [&](const std::string& e) { return startsWithNoCase(e, host); });
    if (!host.empty() && !listed) form.ctrl(list).selected = form.insertSorted(list, host);
    form.ctrl(entry).text.clear();
    form.ctrl(add).enabled = false;
}

void delHost(Form& form, const char* list) {
    Control& l = form.ctrl(list);
    if (l.selected >= 0 && l.selected < static_cast<int>(l.entries.size()))
        l.entries.erase(l.entries.begin() + l.selected);
    l.selected = l.entries.empty() ? -1 : 0;
}

}  // namespace tw::editor
