#include "editor/remoteselect.h"

#include <algorithm>

#include "platform/ascii.h"

namespace tw::editor {

namespace {

constexpr char kRemoteCaption[] = "Remote Machine Directory";

// Whether the text has an entry that begins with prefix: at its start or
// after a ";" and blanks. A mere substring (the tail of a longer path) is
// another program.
bool hasentry(std::string_view text, std::string_view prefix) {
    for (size_t at = text.find(prefix); at != std::string_view::npos;
         at = text.find(prefix, at + 1)) {
        size_t before = at;
        while (before > 0 && text[before - 1] == ' ') --before;
        if (before == 0 || text[before - 1] == ';') return true;
    }
    return false;
}

// A name picked from a remote list: asks first, collects the names with the
// wait cursor shown, offers them in "Remote Select". failure is shown when
// the list cannot be had or is empty (and when there is no connection).
std::optional<std::string> pickremote(WmiContext& wmi, const char* question, const char* wql,
                                      const char* failure) {
    UiPort& ui = wmi.ui();
    if (!wmi.connected()) {
        ui.messageBox(failure, kErrorCaption, MessageKind::Error);
        return std::nullopt;
    }
    if (!ui.askYesNo(question, kRemoteCaption)) return std::nullopt;
    std::optional<std::vector<std::string>> blocks;
    {
        WaitCursor wait(ui);
        blocks = collectremotenames(wmi, wql);
    }
    if (!blocks || blocks->empty()) {
        ui.messageBox(failure, kErrorCaption, MessageKind::Error);
        return std::nullopt;
    }
    RemoteSelect select(*blocks);
    if (select.run(ui).empty()) return std::nullopt;
    return select.result;
}

// Whether a picked text fits the field it goes into; a path that does not
// fit is told, never dropped in silence.
bool fits(const Form& form, const char* field, const std::string& text) {
    const Control* c = form.control(field);
    return c && (!c->limit || text.size() <= c->limit);
}

}  // namespace

std::optional<std::vector<std::string>> collectremotenames(WmiContext& wmi, std::string_view wql) {
    std::vector<std::string> blocks(1);
    QueryStatus status = wmi.forEachObject(wql, [&](const platform::WmiObject& obj) {
        std::optional<platform::WmiValue> v = obj.get("Name");
        if (!v || v->type != platform::WmiType::String) return true;
        if (blocks.back().size() > kNameBlockFull) {
            if (blocks.size() == kNameBlocksMax) return false;
            blocks.emplace_back();
        }
        blocks.back() += v->s + ";";
        return true;
    });
    if (status == QueryStatus::NotConnected || status == QueryStatus::QueryFailed)
        return std::nullopt;
    if (blocks.back().empty()) blocks.pop_back();
    return blocks;
}

RemoteSelect::RemoteSelect(const std::vector<std::string>& blocks) {
    for (const std::string& block : blocks) {
        size_t start = 0;
        while (start < block.size()) {
            size_t end = block.find(';', start);
            if (end == std::string::npos) end = block.size();
            if (end > start) names.push_back(block.substr(start, end - start));
            start = end + 1;
        }
    }
    std::stable_sort(names.begin(), names.end(), lessNoCase);
}

const std::string& RemoteSelect::run(UiPort& ui) {
    result = ui.chooseFromList(kCaption, names).value_or("");
    return result;
}

bool AddExternal(Form& form, WmiContext& wmi) {
    std::optional<std::string> path;
    if (wmi.targetIsLocal())
        path = wmi.ui().pickLocalFile();
    else
        path = pickremote(wmi,
                          "It may take long time to retrieve the remote machine file list, do you "
                          "want to continue?",
                          "SELECT Name FROM CIM_DataFile",
                          "Can not retrieve the file list from remote machine.");
    if (!path || path->empty()) return false;
    const std::string& old = form.text(ctl::kExternals);
    std::string after = addexternalentry(old, *path);
    if (after == old) return false;
    if (!fits(form, ctl::kExternals, after)) {
        wmi.ui().messageBox("Can not add " + *path + ": the Externals List would be longer than " +
                                std::to_string(form.control(ctl::kExternals)->limit) +
                                " characters.",
                            kErrorCaption, MessageKind::Error);
        return false;
    }
    return form.setText(ctl::kExternals, std::move(after));
}

bool BrowseSaveLogLocation(Form& form, WmiContext& wmi) {
    std::optional<std::string> dir;
    if (wmi.targetIsLocal())
        dir = wmi.ui().pickLocalFolder("Pick a Directory");
    else
        dir = pickremote(wmi,
                         "It may take long time to retrieve the remote machine directory list, do "
                         "you want to continue?",
                         "SELECT Name FROM Win32_Directory",
                         "Can not retrieve the directory list from remote machine.");
    if (!dir || dir->empty() || dir == form.text(ctl::kLogLocation)) return false;
    if (!fits(form, ctl::kLogLocation, *dir)) {
        wmi.ui().messageBox("Can not use " + *dir + ": the Save Log Location takes at most " +
                                std::to_string(form.control(ctl::kLogLocation)->limit) +
                                " characters.",
                            kErrorCaption, MessageKind::Error);
        return false;
    }
    return form.setText(ctl::kLogLocation, *dir);
}

std::string addexternalentry(std::string_view externals, std::string_view path) {
    std::string entry = std::string(path) + " /INT=";
    if (hasentry(externals, entry)) return std::string(externals);
    if (externals.empty()) return entry + "300";
    return entry + "300;" + std::string(externals);
}

}  // namespace tw::editor
