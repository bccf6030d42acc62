// The editor's Win32 dialogs under test: twntcfg started on a thread of its
// own with this machine's platform (the Wine prefix that
// scripts/windows-editor-test.sh prepared, with the agent installed), and a
// fixture that opens the main dialog before each test and closes the program
// after it.
#pragma once

#include <objbase.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "editor/twntcfgdlg.h"
#include "editor/win32/resource.h"
#include "editor/win32/twntcfgmain.h"
#include "platform/platform.h"
#include "test/support/dialog_driver.h"
#include "test/support/windows_bits.h"

namespace tw::testing {

inline std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

inline std::string fileText(const char* path) {
    std::string out;
    HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return out;
    char buf[65536];
    DWORD n = 0;
    while (ReadFile(f, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    CloseHandle(f);
    return out;
}

// twntcfg with these arguments on a thread of its own.
inline std::unique_ptr<UiThread> startEditor(std::vector<std::string> args = {}) {
    return std::make_unique<UiThread>([args] {
        const bool com = editor::win32::prepareThread();
        int code;
        {
            auto host = platform::makeHostPlatform();
            editor::win32::Win32Ui ui;
            code = editor::win32::runTwntcfg(host->get(), ui, args);
        }
        if (com) CoUninitialize();
        return code;
    });
}

class EditorDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ASSERT_FALSE(env("TWNTCFG_TEST_PORT").empty())
            << "run through scripts/windows-editor-test.sh (an installed agent is needed)";
        // With the diagnostic log, which tells how the settings were reached.
        editor_ = startEditor({"-d"});
        dlg_ = waitWindow(editor::kDialogTitle);
        ASSERT_NE(dlg_, nullptr) << "the main dialog did not open";
    }
    void TearDown() override {
        editor_.reset();
        CoUninitialize();
    }

    // "Quit", dropping unsaved changes; the program ends with exit code 0.
    void quit() {
        const bool asks = isEnabled(dlg_, IDC_SAVE);
        clickLater(dlg_, IDC_QUIT);
        if (asks) {
            ShownBox q = answerBox("Changes not saved", IDYES);
            EXPECT_EQ(q.text, "Continue without saving?");
        }
        EXPECT_EQ(editor_->wait(kDialogStepMs), 0);
    }

    std::unique_ptr<UiThread> editor_;
    HWND dlg_ = nullptr;
};

}  // namespace tw::testing
