// What an editor model test stands on: the platform of fakes (a settings
// store in memory, the fixture WMI provider over a JSON file wrapped in
// failure switches, files in memory), an active editor log, a scripted UI
// port and the WMI context.
#pragma once

#include <string>
#include <vector>

#include "editor/editorlog.h"
#include "editor/twntcfgdlg.h"
#include "editor/wmicontext.h"
#include "platform/platform.h"
#include "test/support/editor_fixture.h"
#include "test/support/fake_platform.h"
#include "test/support/scripted_ui.h"

namespace tw::testing {

struct EditorHarness {
    explicit EditorHarness(const std::string& fixtureJson = kEditorFixture)
        : fp(fixtureJson), log(files, "twntcfg.log"), wmi(provider, store, log, ui) {
        log.start();
        log.shareWithWmi();
        files.files.clear();
    }

    // The log's lines since the start, without their line ends.
    std::vector<std::string> logLines() const {
        std::vector<std::string> out;
        auto it = files.files.find("twntcfg.log");
        if (it == files.files.end()) return out;
        const std::string& s = it->second;
        size_t start = 0;
        for (size_t i = 0; i + 1 < s.size(); ++i)
            if (s[i] == '\r' && s[i + 1] == '\n') {
                out.push_back(s.substr(start, i - start));
                start = i + 2;
                ++i;
            }
        return out;
    }
    std::string setting(const std::string& name) {
        return store.setting(name).value_or("<missing>");
    }

    FakePlatform fp;
    platform::Platform& p = fp.p;
    MemorySettingsStore& store = fp.settings;
    ManualClock& clock = fp.clock;
    FakeSystem& system = fp.system;
    FakeHostInfo& host = fp.host;
    MemoryFiles& files = fp.files;
    SwitchWmiProvider& provider = fp.wmi;
    ScriptedUi ui;
    editor::EditorLog log;
    editor::WmiContext wmi;
};

// The main dialog over the harness, its settings store filled or not.
struct DialogHarness : EditorHarness {
    explicit DialogHarness(bool complete = true, const std::string& fixtureJson = kEditorFixture)
        : EditorHarness(fixtureJson), dlg(p, log, ui) {
        if (complete)
            for (const auto& [name, text] : kCompleteSettings) store.setSetting(name, text);
    }
    // Starts the dialog; the start's messages are kept in ui.
    void start() { dlg.OnInitDialog(); }

    editor::CtwntcfgDlg dlg;
};

// The main dialog over the harness, started.
struct StartedDialog : DialogHarness {
    explicit StartedDialog(bool complete = true, const std::string& fixtureJson = kEditorFixture)
        : DialogHarness(complete, fixtureJson) {
        start();
    }
};

}  // namespace tw::testing
