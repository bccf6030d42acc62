#include "editor/editorlog.h"

#include <cstdarg>

#include "base/text.h"
#include "platform/files.h"

namespace tw::editor {

bool EditorLog::start() {
    if (!files_.create(path_, textModeLines("twntcfg started\n"))) return false;
    active_ = true;
    return true;
}

void EditorLog::append(std::string_view line) const {
    std::string text(line);
    text += '\n';
    files_.append(path_, textModeLines(text));
}

void EditorLog::write(std::string_view line) const {
    if (active_) append(line);
}

void EditorLog::wmi(std::string_view line) const {
    if (wmiActive_) append(line);
}

void EditorLog::writef(const char* fmt, ...) const {
    if (!active_) return;
    va_list ap;
    va_start(ap, fmt);
    std::string line = vstrformat(fmt, ap);
    va_end(ap);
    append(line);
}

void EditorLog::wmif(const char* fmt, ...) const {
    if (!wmiActive_) return;
    va_list ap;
    va_start(ap, fmt);
    std::string line = vstrformat(fmt, ap);
    va_end(ap);
    append(line);
}

}  // namespace tw::editor
