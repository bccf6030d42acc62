#include "editor/twntcfgdlg.h"

#include <algorithm>

#include "base/testmode.h"
#include "base/text.h"
#include "editor/exportsettings.h"
#include "editor/servicecontrol.h"
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

// The default Tests text, which also names the ten tests and their order.
constexpr const char* kDefaultTests = findsetting("Tests")->install;

// The tests whose mode cannot carry performance data.
constexpr const char* kNoTrendTests[] = {"msgs", "netprotl", "pagefile", "procs", "svcs"};

// The controls that a test's mode enables or disables.
struct TestFields {
    const char* test;
    const char* controls[2];
};
constexpr TestFields kTestFields[] = {
    {"disk", {ctl::kDrives, ctl::kDrivesPick}},     {"msgs", {ctl::kMsgLevels, ctl::kIgnoreMsgs}},
    {"netdata", {ctl::kNetIfs, ctl::kNetIfsPick}},  {"procs", {ctl::kProcs, ctl::kProcsPick}},
    {"svcs", {ctl::kServices, ctl::kServicesPick}}, {"wmitest", {ctl::kWmiTestConfig, nullptr}},
};

// The mode buttons in the order a click looks at them, with their letters.
struct ModeButton {
    const char* control;
    char mode;
};
constexpr ModeButton kModeButtons[] = {
    {ctl::kPerform, 'P'},
    {ctl::kPerformTrend, 'T'},
    {ctl::kAlwaysGreen, 'G'},
    {ctl::kDisable, 'D'},
};

constexpr const char* kColours[] = {"Green", "Yellow", "Red"};

// Buffers of the pick lists' query results.
constexpr size_t kPickBuffer = 102400;
constexpr size_t kDrivesPickBuffer = 2048;

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equalsNoCase(s.substr(0, prefix.size()), prefix);
}

std::string trimBlanks(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return std::string(s.substr(b, e - b));
}

// The pieces of a text split at ';', empty ones included.
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

// The non-empty pieces of a text split at ';'.
std::vector<std::string> splitNonEmpty(std::string_view text) {
    std::vector<std::string> out;
    for (auto& piece : splitAll(text))
        if (!piece.empty()) out.push_back(std::move(piece));
    return out;
}

bool allDigits(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
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

// A number text as WMI hands out 64-bit figures: its leading digits.
uint64_t leadingNumber(std::string_view s) {
    uint64_t v = 0;
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) v = v * 10 + (s[i] - '0');
    return v;
}

}  // namespace

const char* defaultTestsText() {
    return kDefaultTests;
}

CtwntcfgDlg::CtwntcfgDlg(platform::Platform& platform, const EditorLog& log, UiPort& ui)
    : platform_(platform), log_(log), ui_(ui), wmi_(platform.wmi, platform.settings, log, ui) {
    auto add = [&](const char* name, ControlKind kind, size_t limit = 0) -> Control& {
        controls_.push_back(Control{name, kind, {}, false, {}, -1, true, limit});
        return controls_.back();
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
    add(ctl::kLogLocationBrowse, ControlKind::Button);
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
    for (const auto& m : kModeButtons) add(m.control, ControlKind::Radio);
    add(ctl::kService, ControlKind::Button).text = kStartServiceCaption;
    add(ctl::kWmiTestConfig, ControlKind::Button);
    add(ctl::kSave, ControlKind::Button).enabled = false;
    add(ctl::kQuit, ControlKind::Button);
    add(ctl::kLogo, ControlKind::Button);
    for (auto& c : controls_)
        if (c.kind == ControlKind::Button && c.text.empty()) c.text = c.name;
}

CtwntcfgDlg::~CtwntcfgDlg() = default;

// ---- controls ------------------------------------------------------------------

const Control* CtwntcfgDlg::control(std::string_view name) const {
    for (const auto& c : controls_)
        if (c.name == name) return &c;
    return nullptr;
}

Control& CtwntcfgDlg::ctrl(std::string_view name) {
    for (auto& c : controls_)
        if (c.name == name) return c;
    // Every name the model uses is one of its own controls.
    std::abort();
}

const std::string& CtwntcfgDlg::text(std::string_view name) const {
    static const std::string none;
    const Control* c = control(name);
    return c ? c->text : none;
}

bool CtwntcfgDlg::checked(std::string_view name) const {
    const Control* c = control(name);
    return c && c->checked;
}

bool CtwntcfgDlg::enabled(std::string_view name) const {
    const Control* c = control(name);
    return c && c->enabled;
}

const std::vector<std::string>& CtwntcfgDlg::entries(std::string_view name) const {
    static const std::vector<std::string> none;
    const Control* c = control(name);
    return c ? c->entries : none;
}

int CtwntcfgDlg::selected(std::string_view name) const {
    const Control* c = control(name);
    return c ? c->selected : -1;
}

std::string CtwntcfgDlg::selectedText(std::string_view name) const {
    const Control* c = control(name);
    if (!c || c->selected < 0 || c->selected >= static_cast<int>(c->entries.size())) return {};
    return c->entries[static_cast<size_t>(c->selected)];
}

void CtwntcfgDlg::setEntries(Control& c, std::vector<std::string> entries) {
    std::stable_sort(entries.begin(), entries.end(), lessNoCase);
    c.entries = std::move(entries);
    c.selected = -1;
}

int CtwntcfgDlg::insertSorted(Control& c, std::string entry) {
    auto at = std::upper_bound(c.entries.begin(), c.entries.end(), entry, lessNoCase);
    int index = static_cast<int>(at - c.entries.begin());
    c.entries.insert(at, std::move(entry));
    return index;
}

// ---- the person's edits -------------------------------------------------------------

bool CtwntcfgDlg::setText(std::string_view name, std::string text) {
    const Control* found = control(name);
    if (!found || !found->enabled) return false;
    Control& c = ctrl(name);
    switch (c.kind) {
        case ControlKind::Digits:
        case ControlKind::Percent:
            if (!allDigits(text)) return false;
            [[fallthrough]];
        case ControlKind::Text:
            if (c.limit && text.size() > c.limit) return false;
            break;
        default:
            return false;
    }
    if (c.text == text) return true;
    c.text = std::move(text);
    if (name == ctl::kComputerName) {
        // A typed machine name enables nothing: LOAD hands it over. Until
        // then every action stays on the machine that was loaded.
    } else if (name == ctl::kDisplayEntry) {
        ctrl(ctl::kDisplayAdd).enabled = !c.text.empty();
    } else if (name == ctl::kPagerEntry) {
        ctrl(ctl::kPagerAdd).enabled = !c.text.empty();
    } else {
        enableSave();
    }
    return true;
}

void CtwntcfgDlg::setChecked(std::string_view name, bool on) {
    const Control* c = control(name);
    if (!c || c->kind != ControlKind::CheckBox || !c->enabled) return;
    ctrl(name).checked = on;
    enableSave();
}

void CtwntcfgDlg::select(std::string_view name, int index) {
    const Control* found = control(name);
    if (!found || !found->enabled) return;
    Control& c = ctrl(name);
    if (index < -1 || index >= static_cast<int>(c.entries.size())) return;
    switch (c.kind) {
        case ControlKind::Choice:
            if (c.selected == index) return;
            c.selected = index;
            if (name == ctl::kSetTest)
                showSelectedMode();
            else
                enableSave();
            break;
        case ControlKind::List:
            c.selected = index;
            break;
        case ControlKind::PickList:
            c.selected = index;
            if (index >= 0) pick(name, index);
            break;
        default:
            break;
    }
}

bool CtwntcfgDlg::click(std::string_view name) {
    if (name == kStopServiceCaption) name = ctl::kService;
    const Control* c = control(name);
    if (!c || !c->enabled) return false;
    if (name == ctl::kDisplayAdd) {
        addHost(ctl::kDisplayHosts, ctl::kDisplayEntry, ctl::kDisplayAdd);
    } else if (name == ctl::kPagerAdd) {
        addHost(ctl::kPagerHosts, ctl::kPagerEntry, ctl::kPagerAdd);
    } else if (name == ctl::kDisplayDel) {
        delHost(ctl::kDisplayHosts);
    } else if (name == ctl::kPagerDel) {
        delHost(ctl::kPagerHosts);
    } else if (c->kind == ControlKind::Radio) {
        clickMode(name);
    } else if (name == ctl::kLoad) {
        clickLoad();
    } else if (name == ctl::kService) {
        clickService();
    } else if (name == ctl::kWmiTestConfig) {
        // The WMI test editor, opened by the view, may change WMITests.
        enableSave();
    } else if (name == ctl::kSave) {
        SaveSettings();
    } else if (name == ctl::kQuit) {
        clickQuit();
    } else if (name == ctl::kLogo) {
        ui_.openWebAddress(kWebAddress);
    } else {
        return false;
    }
    return true;
}

void CtwntcfgDlg::focusLost(std::string_view name) {
    // The focus that leaves for "Save" reaches here while Save checks the
    // same text itself: one message is enough.
    if (saving_) return;
    if (name == ctl::kNetIfs && !ValidateNetworkInterfaces()) ui_.setFocus(ctl::kNetIfs);
}

// ---- start and load ----------------------------------------------------------------------

std::optional<int> CtwntcfgDlg::OnInitDialog() {
    ctrl(ctl::kSave).enabled = false;
    if (!wmi_.start()) {
        log_.write("OnInitDialog::Can not initialize WMI, exit");
        ui_.messageBox("Can not initialize WMI, exit", kErrorCaption, MessageKind::Error);
        return 1;
    }
    log_.write("OnInitDialog::WMI initialization success.");
    wmi_.clearLocalMachineName();
    // A remote or slow machine keeps the first load busy.
    WaitCursor wait(ui_);
    InitializeComponentValues();
    return std::nullopt;
}

void CtwntcfgDlg::InitializeComponentValues() {
    log_.write("InitializeComponentValues::enter.");
    log_.write("InitializeComponentValues::DEFAULT connect.");
    wmi_.clearSystemType();
    wmi_.ConnectWMIDB(kRootCimv2);
    wmi_.ConnectWMIDB(kRootDefault);
    GetRegistryValues();
    fillFields();
    buildTestModes();
    log_.write("InitializeComponentValues::CIMV2 connect.");
    wmi_.ConnectWMIDB(kRootCimv2);
    ProcListCombo();
    DiskListCombo();
    ServiceListCombo();
    NetworkListCombo();
    StartStopService();
    ctrl(ctl::kSave).enabled = false;
    ctrl(ctl::kDisplayAdd).enabled = false;
    ctrl(ctl::kPagerAdd).enabled = false;
    shownAtLoad_ = collected();
    reportUnread();
}

void CtwntcfgDlg::GetRegistryValues() {
    log_.write("GetRegistryValues::enter.");
    for (auto& t : loaded_.text) t.clear();
    unread_.fill(true);
    for (int i = 0; i < kDialogSettings; ++i) {
        // After a failed local read the remaining settings stay empty.
        if (i > 0 && !wmi_.success()) break;
        const auto at = static_cast<size_t>(i);
        loaded_.text[at] = wmi_.ReadRegKey(dialogSetting(i).editorName);
        unread_[at] = wmi_.lastRead() == ReadStatus::Failed;
    }
    loaded_.machine = wmi_.targetMachineName();
}

std::vector<std::string> CtwntcfgDlg::UnreadSettings() const {
    std::vector<std::string> out;
    for (int i = 0; i < kDialogSettings; ++i)
        if (unread_[static_cast<size_t>(i)]) out.emplace_back(dialogSetting(i).editorName);
    return out;
}

// An empty field must not pass for an empty setting: the administrator
// hears once, after the load, which settings were not read.
void CtwntcfgDlg::reportUnread() {
    const std::vector<std::string> unread = UnreadSettings();
    if (unread.empty()) return;
    std::string names;
    for (const auto& n : unread) names += (names.empty() ? "" : ", ") + n;
    log_.writef("InitializeComponentValues::not read: %s", names.c_str());
    ui_.messageBox("These settings could not be read from " + loaded_.machine + ": " + names +
                       ". Their fields show empty; Save leaves these settings as they are "
                       "unless you change their fields.",
                   kErrorCaption, MessageKind::Error);
}

void CtwntcfgDlg::fillFields() {
    const auto& t = loaded_.text;
    auto hosts = [&](const char* list, DialogSetting s) {
        Control& c = ctrl(list);
        const std::string& text = t[s];
        setEntries(c, text.empty() ? std::vector<std::string>{} : splitAll(text));
        c.selected = c.entries.empty() ? -1 : 0;
    };
    hosts(ctl::kDisplayHosts, kTwdisplay);
    hosts(ctl::kPagerHosts, kTwpage);
    ctrl(ctl::kComputerName).text = loaded_.machine;
    wmi_.setMachineField(loaded_.machine);
    for (const auto& f : kPlainFields) ctrl(f.control).text = t[f.setting];
    for (const auto& f : kCheckFields) ctrl(f.control).checked = t[f.setting] == "Y";
    for (const auto& p : kPercentPairs) {
        auto [warning, panic] = figuresAfter(t[p.setting], p.keyword);
        ctrl(p.warning).text = warning;
        ctrl(p.panic).text = panic;
    }
    auto colour = [&](const char* choice, DialogSetting s) {
        Control& c = ctrl(choice);
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

// ---- tests mode -------------------------------------------------------------------

void CtwntcfgDlg::buildTestModes() {
    TestModes scan;
    scan.parse(kDefaultTests);
    testModes_.clear();
    std::vector<std::string> names;
    for (const auto& e : scan.entries()) {
        testModes_.push_back({e.name, 'D'});
        names.push_back(e.name);
    }
    setEntries(ctrl(ctl::kSetTest), names);
    std::string& tests = loaded_.text[kTests];
    if (tests.empty()) tests = kDefaultTests;
    scan.parse(tests);
    for (const auto& e : scan.entries())
        for (auto& m : testModes_)
            if (equalsNoCase(m.name, e.name)) m.mode = e.mode;
    for (const auto& m : testModes_) enableTestFields(m);
    ctrl(ctl::kSetTest).selected = testModes_.empty() ? -1 : 0;
    showSelectedMode();
}

void CtwntcfgDlg::enableTestFields(const TestModeEntry& e) {
    bool on;
    if (e.mode == 'D')
        on = false;
    else if (e.mode == 'P' || e.mode == 'G' || e.mode == 'T')
        on = true;
    else
        return;
    for (const auto& f : kTestFields)
        if (e.name == f.test)
            for (const char* c : f.controls)
                if (c) ctrl(c).enabled = on;
}

void CtwntcfgDlg::showSelectedMode() {
    const std::string name = selectedText(ctl::kSetTest);
    auto it = std::find_if(testModes_.begin(), testModes_.end(),
                           [&](const TestModeEntry& e) { return e.name == name; });
    if (it == testModes_.end()) return;
    const bool noTrend = std::any_of(std::begin(kNoTrendTests), std::end(kNoTrendTests),
                                     [&](const char* t) { return name == t; });
    ctrl(ctl::kPerformTrend).enabled = !noTrend;
    if (noTrend && it->mode == 'T') it->mode = 'P';
    const char shown = it->mode == 'T' || it->mode == 'G' || it->mode == 'D' ? it->mode : 'P';
    for (const auto& m : kModeButtons) ctrl(m.control).checked = m.mode == shown;
}

void CtwntcfgDlg::clickMode(std::string_view button) {
    for (const auto& m : kModeButtons) ctrl(m.control).checked = button == m.control;
    char mode = 'P';
    for (const auto& m : kModeButtons)
        if (ctrl(m.control).checked) {
            mode = m.mode;
            break;
        }
    const std::string name = selectedText(ctl::kSetTest);
    for (auto& e : testModes_)
        if (e.name == name) {
            e.mode = mode;
            enableTestFields(e);
        }
    std::string tests;
    for (const auto& e : testModes_) {
        if (!tests.empty()) tests += ' ';
        tests += e.name + ":" + e.mode;
    }
    loaded_.text[kTests] = tests;
    enableSave();
}

// ---- host lists ------------------------------------------------------------------------

void CtwntcfgDlg::addHost(const char* list, const char* entry, const char* add) {
    Control& l = ctrl(list);
    const std::string host = trimBlanks(ctrl(entry).text);
    const bool listed = std::any_of(l.entries.begin(), l.entries.end(), [&](const std::string& e) {
        return startsWithNoCase(e, host);
    });
    if (!host.empty() && !listed) l.selected = insertSorted(l, host);
    ctrl(entry).text.clear();
    ctrl(add).enabled = false;
    enableSave();
}

void CtwntcfgDlg::delHost(const char* list) {
    Control& l = ctrl(list);
    if (l.selected >= 0 && l.selected < static_cast<int>(l.entries.size()))
        l.entries.erase(l.entries.begin() + l.selected);
    l.selected = l.entries.empty() ? -1 : 0;
    enableSave();
}

// ---- pick lists -------------------------------------------------------------------------

void CtwntcfgDlg::fillPickList(const char* name, const std::vector<std::string>& entries) {
    setEntries(ctrl(name), entries);
}

namespace {

// Gathers a query's entries as the dialog always has: each entry followed by
// ';' in a buffer of a fixed size (entries that no longer fit are dropped),
// then the buffer split at ';'. Empty when the query fails.
class EntryBuffer {
  public:
    explicit EntryBuffer(size_t size) : size_(size) {}
    void add(std::string_view entry) {
        if (text_.size() + entry.size() + 1 >= size_) return;
        text_ += entry;
        text_ += ';';
    }
    std::vector<std::string> entries() const { return splitNonEmpty(text_); }

  private:
    size_t size_;
    std::string text_;
};

std::optional<std::string> stringProperty(const platform::WmiObject& o, const char* name) {
    auto v = o.get(name);
    if (!v || v->type != platform::WmiType::String) return std::nullopt;
    return v->s;
}

}  // namespace

void CtwntcfgDlg::ProcListCombo() {
    fillPickList(ctl::kProcsPick, {});
    EntryBuffer buf(kPickBuffer);
    auto st = wmi_.forEachObject("SELECT Name FROM Win32_PerfRawData_PerfProc_Process",
                                 [&](const platform::WmiObject& o) {
                                     auto name = stringProperty(o, "Name");
                                     if (!name || *name == "_Total") return true;
                                     size_t exe = name->find(".exe");
                                     if (exe != std::string::npos && exe > 0) name->resize(exe);
                                     buf.add(*name);
                                     return true;
                                 });
    if (st == QueryStatus::Done) fillPickList(ctl::kProcsPick, buf.entries());
}

void CtwntcfgDlg::DiskListCombo() {
    fillPickList(ctl::kDrivesPick, {});
    EntryBuffer buf(kDrivesPickBuffer);
    auto st = wmi_.forEachObject(
        "SELECT Name, DriveType, Description  FROM Win32_LogicalDisk",
        [&](const platform::WmiObject& o) {
            auto name = stringProperty(o, "Name");
            if (!name) return true;
            std::string entry = *name + " ";
            auto type = o.get("DriveType");
            if (type && type->type == platform::WmiType::Int32 && type->i >= 2 && type->i <= 6)
                entry += stringProperty(o, "Description").value_or("");
            buf.add(entry);
            return true;
        });
    if (st == QueryStatus::Done) fillPickList(ctl::kDrivesPick, buf.entries());
}

void CtwntcfgDlg::ServiceListCombo() {
    fillPickList(ctl::kServicesPick, {});
    // A machine without the agent's service shows "Start Service": the
    // state found on an earlier machine does not carry over.
    if (wmi_.connected()) serviceState_ = false;
    EntryBuffer buf(kPickBuffer);
    auto st = wmi_.forEachObject(
        "SELECT DisplayName, Started FROM Win32_Service", [&](const platform::WmiObject& o) {
            auto name = stringProperty(o, "DisplayName");
            if (!name) return true;
            buf.add(*name);
            if (name->find(kAgentDisplayMark) != std::string::npos) {
                auto started = o.get("Started");
                if (started && started->type == platform::WmiType::Bool)
                    serviceState_ = started->b;
                else if (started && started->type == platform::WmiType::Int32)
                    serviceState_ = started->i != 0;
                else
                    serviceState_ = false;
            }
            return true;
        });
    if (st == QueryStatus::Done) fillPickList(ctl::kServicesPick, buf.entries());
}

void CtwntcfgDlg::NetworkListCombo() {
    fillPickList(ctl::kNetIfsPick, {});
    EntryBuffer buf(kPickBuffer);
    auto st = wmi_.forEachObject(
        "SELECT Name, CurrentBandwidth FROM Win32_PerfRawData_Tcpip_NetworkInterface",
        [&](const platform::WmiObject& o) {
            auto name = stringProperty(o, "Name");
            if (!name) return true;
            uint64_t bandwidth = 0;
            if (auto v = o.get("CurrentBandwidth")) {
                if (v->type == platform::WmiType::Int32)
                    bandwidth = static_cast<uint32_t>(v->i);
                else if (v->type == platform::WmiType::String)
                    bandwidth = leadingNumber(v->s);
            }
            buf.add(*name + " " + std::to_string(bandwidth / 1000000) + "Mbps");
            return true;
        });
    if (st == QueryStatus::Done) fillPickList(ctl::kNetIfsPick, buf.entries());
}

void CtwntcfgDlg::pick(std::string_view list, int index) {
    enableSave();
    const std::string entry = ctrl(list).entries[static_cast<size_t>(index)];
    auto prepend = [&](const char* field, const std::string& front, const char* joiner) {
        std::string& text = ctrl(field).text;
        text = text.empty() ? front : front + joiner + text;
    };
    if (list == ctl::kProcsPick) {
        if (text(ctl::kProcs).find(entry + ":") == std::string::npos)
            prepend(ctl::kProcs, entry + ":N:1 ", "");
    } else if (list == ctl::kDrivesPick) {
        const std::string drive = entry.substr(0, 2);
        if (text(ctl::kDrives).find(drive) == std::string::npos)
            prepend(ctl::kDrives,
                    drive + text(ctl::kDrivesWarning) + ":" + text(ctl::kDrivesPanic) + ":R ", "");
    } else if (list == ctl::kServicesPick) {
        if (text(ctl::kServices).find(entry + ":") == std::string::npos)
            prepend(ctl::kServices, entry + ":R:R:N", ";");
    } else if (list == ctl::kNetIfsPick) {
        if (text(ctl::kNetIfs).find(entry + ":") == std::string::npos)
            prepend(ctl::kNetIfs, entry + ":85:95:80:90", ";");
    }
}

// ---- collect, check, save --------------------------------------------------------------

void CtwntcfgDlg::CollectSettings() {
    edited_ = collected();
}

SettingTexts CtwntcfgDlg::collected() const {
    SettingTexts out;
    auto& t = out.text;
    auto join = [&](const char* list) {
        const std::vector<std::string>& all = entries(list);
        std::string joined;
        for (const auto& e : all) {
            if (&e != &all.front()) joined += ';';
            joined += e;
        }
        return joined;
    };
    t[kTwdisplay] = join(ctl::kDisplayHosts);
    t[kTwpage] = join(ctl::kPagerHosts);
    for (const auto& f : kPlainFields) t[f.setting] = text(f.control);
    for (const auto& f : kCheckFields) t[f.setting] = checked(f.control) ? "Y" : "N";
    t[kDefaults] = "CPU:" + text(ctl::kCpuWarning) + ":" + text(ctl::kCpuPanic) +
                   " DISK:" + text(ctl::kDrivesWarning) + ":" + text(ctl::kDrivesPanic) +
                   " PAGEFILE:" + text(ctl::kPageFileWarning) + ":" + text(ctl::kPageFilePanic);
    t[kMemLevels] = "PHYS:" + text(ctl::kPhysWarning) + ":" + text(ctl::kPhysPanic) +
                    " COMMIT:" + text(ctl::kCommitWarning) + ":" + text(ctl::kCommitPanic);
    t[kCpuRebootColor] = selectedText(ctl::kRebootColor);
    t[kCpuUpDaysColor] = selectedText(ctl::kUpDaysColor);
    // Kept up to date by the mode buttons, never collected from a field.
    t[kTests] = loaded_.text[kTests];
    out.machine = text(ctl::kComputerName);
    return out;
}

bool CtwntcfgDlg::fail(const std::string& message, const char* focus) {
    ui_.messageBox(message, kErrorCaption, MessageKind::Error);
    ui_.setFocus(focus);
    return false;
}

bool CtwntcfgDlg::ValidateSettings() {
    if (edited_.text[kTwdisplay].empty())
        return fail("A DISPALY host is required", ctl::kDisplayHosts);
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
        if (text(r.control).empty()) return fail(r.message, r.control);
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
        if (decimalNumber(text(o.warning)) > decimalNumber(text(o.panic)))
            return fail(o.message, o.warning);
    if (!ValidateNetworkInterfaces()) {
        ui_.setFocus(ctl::kNetIfs);
        return false;
    }
    return true;
}

bool CtwntcfgDlg::ValidateNetworkInterfaces() {
    std::string_view all = text(ctl::kNetIfs);
    all = all.substr(0, kSettingTextLimit - 1);
    auto error = [&](const char* message) {
        ui_.messageBox(message, kErrorCaption, MessageKind::Error);
        return false;
    };
    for (const auto& piece : splitNonEmpty(all)) {
        const std::string entry = toUpper(std::string_view(piece).substr(0, 1023));
        size_t mbps = entry.find("MBPS");
        if (mbps == std::string::npos) return error("Mbps missing in network interface definition");
        // The interface name and the bandwidth before "MBPS" are not checked;
        // four figures follow it, each after a ':'.
        size_t colons[4];
        size_t found = 0;
        for (size_t p = entry.find(':', mbps + 4); p != std::string::npos && found < 4;
             p = entry.find(':', p + 1))
            colons[found++] = p;
        if (found < 4) return error("thresholds error in network interface definition");
        auto figure = [&](size_t i) {
            const size_t from = colons[i] + 1;
            const size_t to = i < 3 ? colons[i + 1] : entry.size();
            return decimalNumber(std::string_view(entry).substr(from, to - from));
        };
        const int t1 = figure(0), t2 = figure(1), t3 = figure(2), t4 = figure(3);
        if (!(t1 >= 0 && t2 >= 0 && t2 > t1 && t3 >= 0 && t4 >= 0 && t4 > t3))
            return error("thresholds error in network interface definition");
    }
    return true;
}

void CtwntcfgDlg::SaveSettings() {
    WaitCursor wait(ui_);
    saving_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{saving_};
    CollectSettings();
    if (!ValidateSettings()) return;
    wmi_.ConnectWMIDB(kRootDefault);
    bool written = true;
    for (int i = 0; i < kDialogSettings && written; ++i) {
        const auto at = static_cast<size_t>(i);
        const char* name = dialogSetting(i).editorName;
        // A setting the load could not read keeps its value on the machine
        // until the administrator gives its field one.
        if (unread_[at] && edited_.text[at] == shownAtLoad_.text[at]) {
            log_.writef("SaveSettings::%s not written: it was not read", name);
            continue;
        }
        written = wmi_.WriteRegKey(name, edited_.text[at]);
        if (written) unread_[at] = false;
    }
    if (written) {
        ctrl(ctl::kSave).enabled = false;
        ui_.setFocus(ctl::kQuit);
    }
    // The export records what the save wrote, also when a write failed.
    if (platform_.system && platform_.files)
        ExportSettings(edited_, wmi_, *platform_.system, *platform_.files);
    wmi_.ConnectWMIDB(kRootCimv2);
}

// ---- leaving, reloading, service -----------------------------------------------------------

void CtwntcfgDlg::clickQuit() {
    if (enabled(ctl::kSave) && !ui_.askYesNo("Continue without saving?", "Changes not saved"))
        return;
    wmi_.end();
    closed_ = true;
}

void CtwntcfgDlg::clickLoad() {
    WaitCursor wait(ui_);
    if (enabled(ctl::kSave) && !ui_.askYesNo("Continue without saving?", "Changes not saved"))
        return;
    // Only now does a typed machine name become the target.
    wmi_.setMachineField(text(ctl::kComputerName));
    InitializeComponentValues();
}

void CtwntcfgDlg::StartStopService() {
    log_.wmi("StartStopService::enter.");
    if (wmi_.connected())
        ctrl(ctl::kService).text = serviceState_ ? kStopServiceCaption : kStartServiceCaption;
}

void CtwntcfgDlg::clickService() {
    std::string& caption = ctrl(ctl::kService).text;
    if (caption.find("Start") == std::string::npos) {
        ServiceControl(wmi_, "Stop", kAgentServiceName);
        caption = kStartServiceCaption;
        return;
    }
    // A start is a restart when the service runs.
    ServiceControl(wmi_, "Stop", kAgentServiceName);
    if (ServiceControl(wmi_, "Start", kAgentServiceName)) {
        caption = kStopServiceCaption;
    } else {
        ui_.messageBox("Can not start the twnt service", kErrorCaption, MessageKind::Error);
    }
}

}  // namespace tw::editor
