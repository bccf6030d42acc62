// tw_service_button: the editor's service button on this machine, through
// the editor's model and the host's WMI provider, without a window. Used
// where a real service manager runs the agent (scripts/systemd-package-test.sh).
//   tw_service_button          prints the button's caption
//   tw_service_button click    clicks it, then prints the caption and every
//                              message the editor showed
// Exits 1 when the editor did not start or showed a message.
#include <cstdio>
#include <string>

#include "editor/twntcfgapp.h"
#include "editor/twntcfgdlg.h"
#include "platform/platform.h"
#include "test/support/scripted_ui.h"

int main(int argc, char** argv) {
    using namespace tw;
    auto host = platform::makeHostPlatform();
    testing::ScriptedUi ui;
    editor::CtwntcfgApp app(host->get(), ui);
    app.InitInstance({});
    auto model = app.createDialog();
    model->OnInitDialog();
    if (argc > 1 && std::string(argv[1]) == "click") model->click(editor::ctl::kService);
    std::printf("%s\n", model->text(editor::ctl::kService).c_str());
    for (const auto& m : ui.messages) std::printf("message: %s\n", m.text.c_str());
    return ui.messages.empty() ? 0 : 1;
}
