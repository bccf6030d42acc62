#include "editor/twntcfgapp.h"

namespace tw::editor {

std::string versionText() {
    return strformat("Version: %s.%s (%s)", kProgramVersion, kProgramBuild, kBuildStamp);
}

void CmdLineInfo::ParseParam(std::string_view arg) {
    if (!arg.empty() && (arg.front() == '-' || arg.front() == '/')) arg.remove_prefix(1);
    if (arg == "v" || arg == "V")
        showVersion = true;
    else if (arg == "d" || arg == "D")
        log = true;
}

CtwntcfgApp::CtwntcfgApp(platform::Platform& platform, UiPort& ui)
    : platform_(platform), ui_(ui), log_(platform.files) {}

std::optional<int> CtwntcfgApp::InitInstance(const std::vector<std::string>& args) {
    for (const auto& a : args) cmdLine_.ParseParam(a);
    if (cmdLine_.showVersion) {
        ui_.messageBox(versionText(), kInfoCaption, MessageKind::Information);
        return 1;
    }
    if (cmdLine_.log && !log_.start())
        ui_.messageBox(std::string("Can not create log file: ") + kEditorLogFile, kErrorCaption,
                       MessageKind::Error);
    log_.shareWithWmi();
    return std::nullopt;
}

std::unique_ptr<CtwntcfgDlg> CtwntcfgApp::createDialog() {
    return std::make_unique<CtwntcfgDlg>(platform_, log_, ui_);
}

}  // namespace tw::editor
