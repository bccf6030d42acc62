#include "editor/picklists.h"

#include <cstdint>

#include "editor/settingsform.h"

namespace tw::editor {

namespace {

// Buffers of the pick lists' query results.
constexpr size_t kPickBuffer = 102400;
constexpr size_t kDrivesPickBuffer = 2048;

// Gathers a query's entries as the dialog always has: each entry followed by
// ';' in a buffer of a fixed size (entries that no longer fit are dropped),
// then the buffer split at ';'.
class EntryBuffer {
  public:
    explicit EntryBuffer(size_t size) : size_(size) {}
    void add(std::string_view entry) {
        if (text_.size() + entry.size() + 1 >= size_) return;
        text_ += entry;
        text_ += ';';
    }
    std::vector<std::string> entries() const { return splitNonEmpty(text_); }

  private:
    size_t size_;
    std::string text_;
};

std::optional<std::string> stringProperty(const platform::WmiObject& o, const char* name) {
    auto v = o.get(name);
    if (!v || v->type != platform::WmiType::String) return std::nullopt;
    return v->s;
}

// A number text as WMI hands out 64-bit figures: its leading digits.
uint64_t leadingNumber(std::string_view s) {
    uint64_t v = 0;
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) v = v * 10 + (s[i] - '0');
    return v;
}

std::optional<std::string> processEntry(const platform::WmiObject& o) {
    auto name = stringProperty(o, "Name");
    if (!name || *name == "_Total") return std::nullopt;
    size_t exe = name->find(".exe");
    if (exe != std::string::npos && exe > 0) name->resize(exe);
    return name;
}

std::optional<std::string> driveEntry(const platform::WmiObject& o) {
    auto name = stringProperty(o, "Name");
    if (!name) return std::nullopt;
    std::string entry = *name + " ";
    auto type = o.get("DriveType");
    if (type && type->type == platform::WmiType::Int32 && type->i >= 2 && type->i <= 6)
        entry += stringProperty(o, "Description").value_or("");
    return entry;
}

std::optional<std::string> serviceEntry(const platform::WmiObject& o) {
    return stringProperty(o, "DisplayName");
}

std::optional<std::string> networkEntry(const platform::WmiObject& o) {
    auto name = stringProperty(o, "Name");
    if (!name) return std::nullopt;
    uint64_t bandwidth = 0;
    if (auto v = o.get("CurrentBandwidth")) {
        if (v->type == platform::WmiType::Int32)
            bandwidth = static_cast<uint32_t>(v->i);
        else if (v->type == platform::WmiType::String)
            bandwidth = leadingNumber(v->s);
    }
    return *name + " " + std::to_string(bandwidth / 1000000) + "Mbps";
}

std::string nameKey(const std::string& entry) {
    return entry + ":";
}

// A drive entry starts with its letter and colon, e.g. "C: Local Fixed Disk".
std::string driveKey(const std::string& entry) {
    return entry.substr(0, 2);
}

}  // namespace

const PickList kPickLists[4] = {
    {ctl::kProcsPick, ctl::kProcs, "SELECT Name FROM Win32_PerfRawData_PerfProc_Process",
     kPickBuffer, processEntry, nameKey,
     [](const Form&, const std::string& e) { return e + ":N:1 "; }, ""},
    {ctl::kDrivesPick, ctl::kDrives, "SELECT Name, DriveType, Description  FROM Win32_LogicalDisk",
     kDrivesPickBuffer, driveEntry, driveKey,
     [](const Form& f, const std::string& e) {
         return driveKey(e) + f.text(ctl::kDrivesWarning) + ":" + f.text(ctl::kDrivesPanic) + ":R ";
     },
     ""},
    {ctl::kServicesPick, ctl::kServices, "SELECT DisplayName, Started FROM Win32_Service",
     kPickBuffer, serviceEntry, nameKey,
     [](const Form&, const std::string& e) { return e + ":R:R:N"; }, ";"},
    {ctl::kNetIfsPick, ctl::kNetIfs,
     "SELECT Name, CurrentBandwidth FROM Win32_PerfRawData_Tcpip_NetworkInterface", kPickBuffer,
     networkEntry, nameKey, [](const Form&, const std::string& e) { return e + ":85:95:80:90"; },
     ";"},
};

const PickList* pickListOf(std::string_view control) {
    for (const auto& l : kPickLists)
        if (control == l.control) return &l;
    return nullptr;
}

void fillPickList(Form& form, WmiContext& wmi, const PickList& list,
                  const std::function<void(const platform::WmiObject&)>& seen) {
    form.setEntries(list.control, {});
    EntryBuffer buf(list.buffer);
    auto st = wmi.forEachObject(list.query, [&](const platform::WmiObject& o) {
        if (auto entry = list.entry(o)) buf.add(*entry);
        if (seen) seen(o);
        return true;
    });
    if (st == QueryStatus::Done) form.setEntries(list.control, buf.entries());
}

void pickEntry(Form& form, const PickList& list) {
    const std::string entry = form.selectedText(list.control);
    if (entry.empty()) return;
    std::string& text = form.ctrl(list.field).text;
    if (text.find(list.key(entry)) != std::string::npos) return;
    const std::string front = list.front(form, entry);
    text = text.empty() ? front : front + list.joiner + text;
}

}  // namespace tw::editor
