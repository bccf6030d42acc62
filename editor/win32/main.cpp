// twntcfg: the Tallwatch client configuration editor.
// clang-format off
#include "editor/win32/dialogkit.h"
#include <objbase.h>
// clang-format on

#include "editor/win32/twntcfgmain.h"
#include "editor/win32/win32ui.h"
#include "platform/platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const bool com = tw::editor::win32::prepareThread();
    int code;
    {
        auto host = tw::platform::makeHostPlatform();
        tw::editor::win32::Win32Ui ui;
        code = tw::editor::win32::runTwntcfg(host->get(), ui, tw::editor::win32::commandLineArgs());
    }
    if (com) CoUninitialize();
    return code;
}
