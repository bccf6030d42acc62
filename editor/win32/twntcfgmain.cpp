#include "editor/win32/twntcfgmain.h"

// clang-format off
#include "editor/win32/dialogkit.h"
#include <objbase.h>
#include <shellapi.h>
// clang-format on

#include "editor/twntcfgapp.h"
#include "editor/win32/twntcfgview.h"

namespace tw::editor::win32 {

bool prepareThread() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    return SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
}

std::vector<std::string> commandLineArgs() {
    std::vector<std::string> args;
    int n = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!argv) return args;
    for (int i = 1; i < n; ++i) {
        int len = WideCharToMultiByte(CP_ACP, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string a(static_cast<size_t>(len > 0 ? len : 1), '\0');
        WideCharToMultiByte(CP_ACP, 0, argv[i], -1, a.data(), len, nullptr, nullptr);
        a.resize(a.size() - 1);
        args.push_back(std::move(a));
    }
    LocalFree(argv);
    return args;
}

int runTwntcfg(platform::Platform& platform, Win32Ui& ui, const std::vector<std::string>& args) {
    CtwntcfgApp app(platform, ui);
    if (auto code = app.InitInstance(args)) return *code;
    auto model = app.createDialog();
    TwntcfgView view(*model, ui);
    return view.run();
}

}  // namespace tw::editor::win32
