#include "editor/wmibrowser.h"

#include <algorithm>

#include "agent/core/text.h"

namespace tw::editor {

namespace {

constexpr int kObjectWaitMs = 30000;
constexpr size_t kDetailMargin = 10240;
constexpr char kMoreMarker[] = "..................................\n";

// Names of the objects a query yields, read from one property, as long as
// they fit a buffer of bytes (each name and its separator).
std::vector<std::string> collectnames(platform::WmiConnection* cimv2, const std::string& wql,
                                      bool propertyNamesOfFirst, size_t bytes) {
    std::vector<std::string> names;
    if (!cimv2) return names;
    std::unique_ptr<platform::WmiEnumerator> e = cimv2->query(wql);
    if (!e) return names;
    size_t used = 0;
    auto add = [&](std::string name, size_t max) {
        if (name.size() > max) name.resize(max);
        if (used + name.size() + 1 > bytes - 1) return false;
        used += name.size() + 1;
        names.push_back(std::move(name));
        return true;
    };
    std::unique_ptr<platform::WmiObject> obj;
    while (e->next(kObjectWaitMs, obj) == platform::WmiNext::Object && obj) {
        if (propertyNamesOfFirst) {
            for (std::string& p : obj->propertyNames())
                if (!add(std::move(p), kPropertyNameMax)) break;
            break;
        }
        std::optional<platform::WmiValue> v = obj->get("__Class");
        if (v && v->type == platform::WmiType::String && !add(v->s, SIZE_MAX)) break;
    }
    return names;
}

}  // namespace

std::vector<std::string> classproperties(platform::WmiConnection* cimv2,
                                         std::string_view className) {
    std::string wql = "SELECT * FROM meta_class WHERE __Class = \"" +
                      std::string(className.substr(0, kClassNameMax)) + "\"";
    return collectnames(cimv2, wql, true, kPropertyListBytes);
}

std::optional<std::string> ClassDetail(platform::WmiConnection* cimv2, std::string_view className,
                                       size_t bufsize) {
    std::vector<std::string> props = classproperties(cimv2, className);
    if (props.empty()) return std::nullopt;
    std::string text = "WMI Class " + std::string(className) + ":\n\nProperties:\n";
    for (const std::string& p : props) text += p + "|";
    text.back() = '\n';
    text += "\nValues:\n";

    const size_t limit = bufsize > 0 ? bufsize - 1 : 0;
    std::unique_ptr<platform::WmiEnumerator> e =
        cimv2->query("SELECT * FROM " + std::string(className));
    std::unique_ptr<platform::WmiObject> obj;
    while (e && e->next(kObjectWaitMs, obj) == platform::WmiNext::Object && obj) {
        for (const std::string& p : props) {
            std::optional<platform::WmiValue> v = obj->get(p);
            if (!v) continue;
            if (v->type == platform::WmiType::Int32)
                text += std::to_string(v->i) + "|";
            else if (v->type == platform::WmiType::String)
                text += v->s + "|";
        }
        text.back() = '\n';
        if (text.size() + kDetailMargin > bufsize) {
            const size_t marker = sizeof kMoreMarker - 1;
            if (text.size() + marker > limit) text.resize(limit > marker ? limit - marker : 0);
            text += kMoreMarker;
            break;
        }
    }
    if (text.size() > limit) text.resize(limit);
    return text;
}

WMIBrowser::WMIBrowser(platform::WmiConnection* cimv2, std::string& query)
    : cimv2_(cimv2), query_(query) {
    classes = collectnames(cimv2_, "SELECT * FROM meta_class Where __Class Like \"Win32%\"", false,
                           kClassListBytes);
    // The list keeps its entries sorted, without regard to case.
    std::stable_sort(
        classes.begin(), classes.end(),
        [](const std::string& a, const std::string& b) { return toLower(a) < toLower(b); });
    if (!classes.empty()) selectClass(0);
}

void WMIBrowser::selectClass(int index) {
    if (index < 0 || index >= static_cast<int>(classes.size())) return;
    selectedClass = index;
    properties = classproperties(cimv2_, classes[static_cast<size_t>(index)]);
    selectedProperty = properties.empty() ? -1 : 0;
}

void WMIBrowser::selectProperty(int index) {
    if (index >= 0 && index < static_cast<int>(properties.size())) selectedProperty = index;
}

std::string WMIBrowser::queryText() const {
    if (selectedClass < 0 || selectedProperty < 0) return {};
    return "select " + properties[static_cast<size_t>(selectedProperty)] + " from " +
           classes[static_cast<size_t>(selectedClass)];
}

void WMIBrowser::ok() {
    std::string q = queryText();
    if (!q.empty()) query_ = q;
}

}  // namespace tw::editor
