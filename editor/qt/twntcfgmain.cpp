#include "editor/qt/twntcfgmain.h"

#include <signal.h>

#include "editor/qt/qtui.h"
#include "editor/qt/twntcfgdialog.h"
#include "editor/twntcfgapp.h"
#include "platform/platform.h"

namespace tw::editor::qt {

int runTwntcfg(const std::vector<std::string>& args) {
    auto host = platform::makeHostPlatform();
    // The host platform catches SIGINT and SIGTERM for the agent's loop; a
    // dialog program ends on them as any other.
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    QtUi ui;
    CtwntcfgApp app(host->get(), ui);
    if (auto code = app.InitInstance(args)) return *code;
    auto dlg = app.createDialog();
    if (auto code = dlg->OnInitDialog()) return *code;
    TwntcfgDialog window(*dlg);
    window.exec();
    return 0;
}

}  // namespace tw::editor::qt
