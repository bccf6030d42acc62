#include "tools/twsetting/settingscopy.h"

#include <vector>

#include "base/exportfile.h"
#include "base/settings.h"
#include "base/text.h"
#include "platform/settings_store.h"

namespace tw::setting {

namespace {

std::string settingKey(const std::string& name) {
    return std::string(kHklm) + kSettingsKey + name;
}

// A text as the change lines show it: on one line, and the KeyCode as the
// agent's log shows it, never in clear.
std::string shownText(const SettingDef& setting, const std::optional<std::string>& text) {
    if (!text) return "(none)";
    if (&setting == findsetting("KeyCode") && !text->empty()) return "****************";
    return visibleText(*text);
}

}  // namespace

std::optional<std::string> exportSettings(platform::SettingsStore& store, std::string& why,
                                          std::ostream& warn) {
    if (!store.healthy()) {
        why = store.lastError();
        return std::nullopt;
    }
    std::string lines;
    for (const char* name : kExportOrder) {
        const SettingDef& setting = *findsetting(name);
        std::string text;
        if (auto v = store.getValue(settingKey(setting.name), "")) {
            if (v->type != platform::RegType::Sz && v->type != platform::RegType::ExpandSz) {
                why =
                    std::string(setting.name) + " is not a text; the export file holds texts only";
                return std::nullopt;
            }
            text = v->data;
        }
        if (text.size() >= setting.bufsize)
            warn << "twsetting: warning: " << setting.name << " holds " << text.size()
                 << " characters, more than the " << setting.bufsize - 1
                 << " its setting keeps (the agent reads it as empty)\n";
        // A text that would read back as something else (a line break in a
        // setting of one line, a line of its own that looks like a setting's)
        // is refused rather than copied wrong.
        const std::string line = exportLine(setting.editorName, text);
        auto back = readExportText(textModeLines(line), nullptr);
        if (!back || back->size() != 1 || back->front().text != text) {
            why = std::string(setting.name) +
                  " cannot be written to the export file: it would read back otherwise (" +
                  visibleText(text.substr(0, 60)) + (text.size() > 60 ? "...)" : ")");
            return std::nullopt;
        }
        lines += line;
    }
    if (auto keys = store.subkeys(std::string(kHklm) + kSettingsKey)) {
        for (const std::string& k : *keys)
            if (!findsetting(k))
                warn << "twsetting: not exported: " << visibleText(k)
                     << " is not one of the agent's settings\n";
    }
    return textModeLines(lines);
}

int importSettings(std::string_view text, const std::string& source, bool dryRun,
                   platform::SettingsStore& store, std::ostream& out, std::ostream& err) {
    ExportReadError error;
    auto entries = readExportText(text, &error);
    if (!entries) {
        err << "twsetting: " << source << ":" << error.line << ": " << error.what
            << " (nothing imported)\n";
        return 1;
    }
    for (const ExportEntry& e : *entries) {
        if (e.text.size() >= e.setting->bufsize) {
            err << "twsetting: " << source << ":" << e.line << ": " << e.name << " holds "
                << e.text.size() << " characters, more than the " << e.setting->bufsize - 1
                << " its setting keeps (nothing imported)\n";
            return 1;
        }
    }
    if (!store.healthy()) {
        err << "twsetting: " << store.lastError() << "\n";
        return 1;
    }
    // An empty text for a setting the store lacks changes nothing the agent
    // sees (both read as empty) and is left out, so that an export of a
    // machine with few settings does not fill another with empty ones.
    std::vector<const ExportEntry*> todo;
    std::vector<std::optional<platform::RegValue>> before;
    for (const ExportEntry& e : *entries) {
        auto now = store.getValue(settingKey(e.setting->name), "");
        if (!now && e.text.empty()) continue;
        todo.push_back(&e);
        before.push_back(std::move(now));
    }
    std::vector<platform::ValueWrite> writes;
    for (const ExportEntry* e : todo)
        writes.push_back({settingKey(e->setting->name), "", platform::RegValue::sz(e->text)});
    if (!dryRun && !store.setValues(writes, &before)) {
        err << "twsetting: nothing imported: " << store.lastError() << "\n";
        return 1;
    }
    for (size_t i = 0; i < todo.size(); ++i) {
        const ExportEntry& e = *todo[i];
        std::optional<std::string> old;
        if (i < before.size() && before[i]) {
            const platform::RegValue& v = *before[i];
            // A value of another type is a change even with the same text.
            if (v.type == platform::RegType::Sz && v.data == e.text) continue;
            old = v.type == platform::RegType::Dword ? std::to_string(v.dword) : v.data;
        }
        out << e.name << ": " << shownText(*e.setting, old) << " -> "
            << shownText(*e.setting, e.text) << "\n";
    }
    return 0;
}

}  // namespace tw::setting
