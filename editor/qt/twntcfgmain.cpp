#include "editor/qt/twntcfgmain.h"

#include "editor/qt/qtui.h"
#include "editor/qt/twntcfgdialog.h"
#include "editor/twntcfgapp.h"

namespace tw::editor::qt {

int runTwntcfg(platform::Platform& host, const std::vector<std::string>& args) {
    QtUi ui;
    CtwntcfgApp app(host, ui);
    if (auto code = app.InitInstance(args)) return *code;
    auto dlg = app.createDialog();
    dlg->OnInitDialog();
    TwntcfgDialog window(*dlg);
    window.exec();
    return 0;
}

}  // namespace tw::editor::qt
