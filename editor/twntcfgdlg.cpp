#include "editor/twntcfgdlg.h"

#include "editor/exportsettings.h"
#include "editor/picklists.h"
#include "editor/remoteselect.h"
#include "editor/servicecontrol.h"
#include "editor/wmitestconfig.h"

namespace tw::editor {

CtwntcfgDlg::CtwntcfgDlg(platform::Platform& platform, const EditorLog& log, UiPort& ui)
    : Form(kDialogTitle),
      platform_(platform),
      log_(log),
      ui_(ui),
      wmi_(platform.wmi, platform.settings, log, ui),
      testModes_(*this, [this](const std::string& tests) {
          loaded_.text[kTests] = tests;
          enableSave();
      }) {
    addMainControls(*this);
    bindActions();
}

CtwntcfgDlg::~CtwntcfgDlg() = default;

// The buttons' actions and what follows an edit.
void CtwntcfgDlg::bindActions() {
    auto done = [](auto run) {
        return [run] {
            run();
            return ViewStep::None;
        };
    };
    struct HostList {
        const char* list;
        const char* entry;
        const char* add;
        const char* del;
    };
    for (const auto& h :
         {HostList{ctl::kDisplayHosts, ctl::kDisplayEntry, ctl::kDisplayAdd, ctl::kDisplayDel},
          HostList{ctl::kPagerHosts, ctl::kPagerEntry, ctl::kPagerAdd, ctl::kPagerDel}}) {
        onClick(h.add, done([this, h] {
                    addHost(*this, h.list, h.entry, h.add);
                    enableSave();
                }));
        onClick(h.del, done([this, h] {
                    delHost(*this, h.list);
                    enableSave();
                }));
        // Typing a host name enables its Add, nothing else.
        onEdit(h.entry, [this, h] { ctrl(h.add).enabled = !text(h.entry).empty(); });
    }
    onClick(ctl::kLoad, done([this] { clickLoad(); }));
    onClick(ctl::kService, done([this] { clickService(); }));
    alias(kStopServiceCaption, ctl::kService);
    onClick(ctl::kWmiTestConfig, [this] {
        // The WMI test editor may change WMITests.
        enableSave();
        return open(std::make_unique<WMITestConfig>(wmi_, platform_));
    });
    onClick(ctl::kSave, done([this] { SaveSettings(); }));
    onClick(ctl::kQuit, [this] {
        clickQuit();
        return closed_ ? ViewStep::CloseOk : ViewStep::None;
    });
    // The close box asks as "Quit" does; Escape closes nothing.
    closeWith(ctl::kQuit, false);
    onClick(ctl::kLogo, done([this] { ui_.openWebAddress(kWebAddress); }));
    onClick(ctl::kAddExternal, done([this] { AddExternal(*this, wmi_); }));
    onClick(ctl::kLogLocationBrowse, done([this] { BrowseSaveLogLocation(*this, wmi_); }));
    for (const auto& p : kPickLists)
        onEdit(p.control, [this, &p] {
            enableSave();
            pickEntry(*this, p);
        });
    // A typed machine name enables nothing: LOAD hands it over. Until then
    // every action stays on the machine that was loaded.
    onEdit(ctl::kComputerName, [] {});
    onOtherEdit([this] { enableSave(); });
    onFocusLost(ctl::kNetIfs, [this] {
        // The focus that leaves for "Save" reaches here while Save checks
        // the same text itself: one message is enough.
        if (saving_) return;
        if (auto message = checkNetworkInterfaces(text(ctl::kNetIfs))) {
            ui_.messageBox(*message, kErrorCaption, MessageKind::Error);
            ui_.setFocus(ctl::kNetIfs);
        }
    });
}

// ---- start and load ----------------------------------------------------------------------

void CtwntcfgDlg::OnInitDialog() {
    ctrl(ctl::kSave).enabled = false;
    wmi_.start();
    log_.write("OnInitDialog::WMI initialization success.");
    wmi_.clearLocalMachineName();
    // A remote or slow machine keeps the first load busy.
    WaitCursor wait(ui_);
    InitializeComponentValues();
}

void CtwntcfgDlg::InitializeComponentValues() {
    log_.write("InitializeComponentValues::enter.");
    log_.write("InitializeComponentValues::DEFAULT connect.");
    wmi_.clearSystemType();
    wmi_.ConnectWMIDB(kRootCimv2);
    wmi_.ConnectWMIDB(kRootDefault);
    GetRegistryValues();
    showSettings(*this, loaded_);
    wmi_.setMachineField(loaded_.machine);
    testModes_.load(loaded_.text[kTests]);
    log_.write("InitializeComponentValues::CIMV2 connect.");
    wmi_.ConnectWMIDB(kRootCimv2);
    FillPickLists();
    StartStopService();
    ctrl(ctl::kSave).enabled = false;
    ctrl(ctl::kDisplayAdd).enabled = false;
    ctrl(ctl::kPagerAdd).enabled = false;
    shownAtLoad_ = collectSettings(*this, loaded_.text[kTests]);
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

void CtwntcfgDlg::FillPickLists() {
    for (const auto& list : kPickLists) {
        if (list.control != std::string_view(ctl::kServicesPick)) {
            fillPickList(*this, wmi_, list);
            continue;
        }
        // A machine without the agent's service shows "Start Service": the
        // state found on an earlier machine does not carry over.
        if (wmi_.connected()) serviceState_ = false;
        fillPickList(*this, wmi_, list, [this](const platform::WmiObject& o) {
            auto name = o.get("DisplayName");
            if (!name || name->type != platform::WmiType::String ||
                name->s.find(kAgentDisplayMark) == std::string::npos)
                return;
            auto started = o.get("Started");
            if (started && started->type == platform::WmiType::Bool)
                serviceState_ = started->b;
            else if (started && started->type == platform::WmiType::Int32)
                serviceState_ = started->i != 0;
            else
                serviceState_ = false;
        });
    }
}

// ---- collect, check, save --------------------------------------------------------------

void CtwntcfgDlg::CollectSettings() {
    // Tests is kept up to date by the mode buttons, never collected from a field.
    edited_ = collectSettings(*this, loaded_.text[kTests]);
}

bool CtwntcfgDlg::ValidateSettings() {
    auto problem = checkSettings(*this, edited_);
    if (!problem) return true;
    ui_.messageBox(problem->message, kErrorCaption, MessageKind::Error);
    ui_.setFocus(problem->focus);
    return false;
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
    ExportSettings(edited_, wmi_, platform_.system, platform_.files);
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
