// The export file TWNT.cfg: after every save, the 27 texts just saved and the
// WMITests setting as the target machine holds it then, one "[name]text" line
// each, written as a private file in the temporary directory of the machine
// the editor runs on. Nothing reads it back; it records the last saved
// configuration (the KeyCode included, hence owner-only access).
#pragma once

#include <string>

#include "editor/dialogsettings.h"
#include "editor/wmicontext.h"
#include "platform/files.h"
#include "platform/system.h"

namespace tw::editor {

inline constexpr const char* kExportFile = "TWNT.cfg";
// Paths of the editor's own files stay below this many bytes.
inline constexpr size_t kEditorPathLimit = 260;

// The directory of the editor's files, with its trailing separator: TEMP,
// else TMP, else the platform's temporary folder.
std::string editorFileDirectory(platform::System& system);

// The text of TWNT.cfg (LF line ends; the file stores them as CR LF).
std::string exportText(const SettingTexts& saved, const std::string& wmiTests);

// Writes TWNT.cfg; reads WMITests with ReadRegKey (the context must be on
// ROOT\DEFAULT). Failures are silent: false when the file was not written.
bool ExportSettings(const SettingTexts& saved, WmiContext& wmi, platform::System& system,
                    platform::FileWriter& files);

}  // namespace tw::editor
