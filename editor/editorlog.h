// The editor's diagnostic log "twntcfg.log" in the current directory. Each
// line is written by opening the file for appending, writing the text and a
// line break, and closing it again, so the file is complete at any moment;
// a line that cannot be written is dropped. Two flags say whether lines are
// written: one for the dialogs, and a copy of it for the WMI functions
// (connection, registry access, service control, class browser), set from
// the first when the application starts.
//
// Line breaks are stored as CR LF (text mode) on every platform.
#pragma once

#include <string>
#include <string_view>

#include "base/twlog.h"

namespace tw::platform {
class FileWriter;
}

namespace tw::editor {

inline constexpr const char* kEditorLogFile = "twntcfg.log";

class EditorLog {
  public:
    explicit EditorLog(platform::FileWriter& files, std::string path = kEditorLogFile)
        : files_(files), path_(std::move(path)) {}

    // Creates the file anew with the line "twntcfg started" and activates
    // the dialogs' lines; false (and nothing activated) when it cannot be
    // created.
    bool start();
    // Copies the dialogs' flag to the WMI functions' flag.
    void shareWithWmi() { wmiActive_ = active_; }

    bool active() const { return active_; }
    bool wmiActive() const { return wmiActive_; }
    const std::string& path() const { return path_; }

    // A line of the dialogs, written while active().
    void write(std::string_view line) const;
    void writef(const char* fmt, ...) const TW_PRINTF_FORMAT(2, 3);
    // A line of the WMI functions, written while wmiActive().
    void wmi(std::string_view line) const;
    void wmif(const char* fmt, ...) const TW_PRINTF_FORMAT(2, 3);

  private:
    void append(std::string_view line) const;

    platform::FileWriter& files_;
    std::string path_;
    bool active_ = false;
    bool wmiActive_ = false;
};

}  // namespace tw::editor
