#include "editor/wmibrowser.h"

namespace tw::editor {

namespace {

constexpr size_t kDetailMargin = 10240;
constexpr char kMoreMarker[] = "..................................\n";

// Adds names to a list as long as they fit a buffer of bytes (each name and
// its separator); false once one does not.
class NameBuffer {
  public:
    NameBuffer(std::vector<std::string>& names, size_t bytes) : names_(names), bytes_(bytes) {}
    bool add(std::string name) {
        if (used_ + name.size() + 1 > bytes_ - 1) return false;
        used_ += name.size() + 1;
        names_.push_back(std::move(name));
        return true;
    }

  private:
    std::vector<std::string>& names_;
    size_t bytes_;
    size_t used_ = 0;
};

}  // namespace

std::vector<std::string> classproperties(WmiContext& wmi, std::string_view className) {
    std::vector<std::string> names;
    NameBuffer buffer(names, kPropertyListBytes);
    std::string wql = "SELECT * FROM meta_class WHERE __Class = \"" +
                      std::string(className.substr(0, kClassNameMax)) + "\"";
    wmi.forEachObject(wql, [&](const platform::WmiObject& cls) {
        for (std::string& p : cls.propertyNames())
            if (!buffer.add(p.substr(0, kPropertyNameMax))) break;
        return false;  // one class object
    });
    return names;
}

std::optional<std::string> ClassDetail(WmiContext& wmi, std::string_view className,
                                       size_t bufsize) {
    std::vector<std::string> props = classproperties(wmi, className);
    if (props.empty()) return std::nullopt;
    std::string text = "WMI Class " + std::string(className) + ":\n\nProperties:\n";
    for (const std::string& p : props) text += p + "|";
    text.back() = '\n';
    text += "\nValues:\n";

    const size_t limit = bufsize > 0 ? bufsize - 1 : 0;
    wmi.forEachObject("SELECT * FROM " + std::string(className),
                      [&](const platform::WmiObject& obj) {
                          for (const std::string& p : props) {
                              std::optional<platform::WmiValue> v = obj.get(p);
                              if (!v) continue;
                              if (v->type == platform::WmiType::Int32)
                                  text += std::to_string(v->i) + "|";
                              else if (v->type == platform::WmiType::String)
                                  text += v->s + "|";
                          }
                          text.back() = '\n';
                          if (text.size() + kDetailMargin <= bufsize) return true;
                          const size_t marker = sizeof kMoreMarker - 1;
                          if (text.size() + marker > limit)
                              text.resize(limit > marker ? limit - marker : 0);
                          text += kMoreMarker;
                          return false;
                      });
    if (text.size() > limit) text.resize(limit);
    return text;
}

WMIBrowser::WMIBrowser(WmiContext& wmi, std::string& query)
    : Form(kCaption), wmi_(wmi), query_(query) {
    addLabelOf(kClasses);
    add(kClasses, ControlKind::List);
    addLabelOf(kProperties);
    add(kProperties, ControlKind::List);
    addLabel(kQuery, "");
    addOkCancel([this] {
        std::string q = queryText();
        if (!q.empty()) query_ = q;
        return true;
    });
    onEdit(kClasses, [this] { classChosen(); });
    onEdit(kProperties, [this] { ctrl(kQuery).text = queryText(); });

    std::vector<std::string> classes;
    NameBuffer buffer(classes, kClassListBytes);
    wmi_.forEachObject("SELECT * FROM meta_class Where __Class Like \"Win32%\"",
                       [&](const platform::WmiObject& cls) {
                           std::optional<platform::WmiValue> v = cls.get("__Class");
                           return !v || v->type != platform::WmiType::String || buffer.add(v->s);
                       });
    // The list keeps its entries sorted, without regard to case.
    setEntries(kClasses, std::move(classes));
    select(kClasses, entries(kClasses).empty() ? -1 : 0);
}

void WMIBrowser::classChosen() {
    Control& properties = ctrl(kProperties);
    properties.entries.clear();
    if (selected(kClasses) >= 0) properties.entries = classproperties(wmi_, selectedText(kClasses));
    properties.selected = properties.entries.empty() ? -1 : 0;
    ctrl(kQuery).text = queryText();
}

std::string WMIBrowser::queryText() const {
    const std::string property = selectedText(kProperties), cls = selectedText(kClasses);
    if (property.empty() || cls.empty()) return {};
    return "select " + property + " from " + cls;
}

}  // namespace tw::editor
