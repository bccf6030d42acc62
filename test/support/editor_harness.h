// What an editor model test stands on: a settings store in memory, the
// fixture WMI provider over a JSON file (wrapped in failure switches), files
// in memory, an active editor log, a scripted UI port and the WMI context,
// all wired into a Platform.
#pragma once

#include <memory>
#include <stdexcept>
#include <utility>
#include <string>
#include <vector>

#include "editor/editorlog.h"
#include "editor/twntcfgdlg.h"
#include "editor/wmicontext.h"
#include "platform/platform.h"
#include "platform/wmi/fixture_wmi_provider.h"
#include "test/support/editor_fixture.h"
#include "test/support/fake_platform.h"
#include "test/support/memory_files.h"
#include "test/support/scripted_ui.h"
#include "test/support/switch_wmi_provider.h"

namespace tw::testing {

struct EditorHarness {
    explicit EditorHarness(const std::string& fixtureJson = kEditorFixture)
        : fixturePath(dir.file("fixture.json")),
          fixture((writeFile(fixturePath, fixtureJson),
                   platform::makeFixtureWmiProvider(fixturePath, clock, store, &host))),
          provider(*fixture),
          log(&files, "twntcfg.log"),
          wmi(&provider, &store, log, ui) {
        log.start();
        log.shareWithWmi();
        files.files.clear();
        p.settings = &store;
        p.clock = &clock;
        p.system = &system;
        p.host = &host;
        p.wmi = &provider;
        p.files = &files;
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

    TempDir dir;
    std::string fixturePath;
    MemorySettingsStore store;
    ManualClock clock;
    FakeSystem system;
    FakeHostInfo host;
    MemoryFiles files;
    ScriptedUi ui;
    std::unique_ptr<platform::WmiProvider> fixture;
    SwitchWmiProvider provider;
    editor::EditorLog log;
    editor::WmiContext wmi;
    platform::Platform p;
};

// The main dialog over the harness, its settings store filled or not.
struct DialogHarness : EditorHarness {
    explicit DialogHarness(bool complete = true, const std::string& fixtureJson = kEditorFixture)
        : EditorHarness(fixtureJson), dlg(p, log, ui) {
        if (complete)
            for (const auto& [name, text] : kCompleteSettings) store.setSetting(name, text);
    }
    // Starts the dialog; the start's messages are kept in ui.
    void start() {
        auto code = dlg.OnInitDialog();
        if (code) throw std::runtime_error("the dialog did not start");
    }

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
