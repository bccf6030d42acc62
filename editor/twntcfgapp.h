// The twntcfg program before its main dialog: the command line (CmdLineInfo),
// the version message, the editor's log, and the main dialog's creation.
//
// A view's main():
//   CtwntcfgApp app(platform, ui);
//   if (auto code = app.InitInstance(args)) return *code;   // version shown
//   auto dlg = app.createDialog();
//   dlg->OnInitDialog();
//   ... run the dialog until dlg->closed() ...; return 0;
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/editorlog.h"
#include "editor/twntcfgdlg.h"
#include "editor/uiport.h"
#include "platform/platform.h"

namespace tw::editor {

inline constexpr const char* kProgramVersion = "5.01";
inline constexpr const char* kProgramBuild = "681";
inline constexpr const char* kBuildStamp = "Tue, 09 Oct 2012 20:03:06 GMT";
inline constexpr const char* kProgramDescription = "Tallwatch Client Configuration Editor";
inline constexpr const char* kInfoCaption = "twntcfg Info";

// "Version: 5.01.681 (Tue, 09 Oct 2012 20:03:06 GMT)".
std::string versionText();

// The options of the command line: "v"/"V" shows the version, "d"/"D"
// starts the log; one leading "-" or "/" is removed first; anything else is
// ignored.
struct CmdLineInfo {
    bool showVersion = false;
    bool log = false;

    void ParseParam(std::string_view arg);
};

class CtwntcfgApp {
  public:
    CtwntcfgApp(platform::Platform& platform, UiPort& ui);

    // Reads the arguments (without the program's name), shows the version
    // or starts the log, and hands the log flag to the WMI functions.
    // Answers the exit code (1) when the program ends here.
    std::optional<int> InitInstance(const std::vector<std::string>& args);
    const CmdLineInfo& cmdLine() const { return cmdLine_; }
    const EditorLog& log() const { return log_; }

    // The main dialog, bound to this application's platform, log and port.
    std::unique_ptr<CtwntcfgDlg> createDialog();

  private:
    platform::Platform& platform_;
    UiPort& ui_;
    CmdLineInfo cmdLine_;
    EditorLog log_;
};

}  // namespace tw::editor
