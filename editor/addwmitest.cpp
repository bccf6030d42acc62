#include "editor/addwmitest.h"

#include <algorithm>

#include "editor/testquery.h"
#include "editor/wmibrowser.h"
#include "editor/wmithreshold.h"
#include "platform/ascii.h"

namespace tw::editor {

namespace {

constexpr char kInfo[] = "INFO";
constexpr char kShowClass[] = "Show Class";

void showerror(UiPort& ui, const std::string& text) {
    ui.messageBox(text, kShortErrorCaption, MessageKind::Error);
}

// "Numerical" or "String" for either word in any letter case; "" otherwise.
std::string knowntype(std::string_view type) {
    for (const char* t : AddWMITest::kDataTypes)
        if (equalsNoCase(type, t)) return t;
    return {};
}

}  // namespace

std::vector<std::string> poolqueries(std::string_view pool) {
    std::vector<std::string> queries;
    size_t start = 0;
    while (start <= pool.size()) {
        size_t bar = pool.find('|', start);
        if (bar == std::string_view::npos) bar = pool.size();
        std::string entry = trimmed(pool.substr(start, bar - start));
        start = bar + 1;
        if (entry.empty()) continue;
        size_t word = entry.find(" perf ");
        size_t wordlen = 6;
        if (word == std::string::npos) {
            word = entry.find(" noperf ");
            wordlen = 8;
        }
        if (word == std::string::npos) continue;
        size_t open = entry.find('"', word + wordlen);
        if (open == std::string::npos) continue;
        size_t close = entry.find('"', open + 1);
        if (close == std::string::npos) close = entry.size();
        std::string q = trimmed(std::string_view(entry).substr(open + 1, close - open - 1));
        if (!q.empty()) queries.push_back(std::move(q));
    }
    return queries;
}

AddWMITest::AddWMITest(std::vector<WmiTestRow>& list, std::string_view pool, WmiContext& wmi,
                       std::optional<WmiTestRow> edited, size_t editedAt)
    : Form(kCaption),
      list_(list),
      pool_(pool),
      wmi_(wmi),
      edited_(std::move(edited)),
      editedAt_(editedAt) {
    auto field = [&](const char* name, ControlKind kind) -> Control& {
        addLabelOf(name);
        return add(name, kind);
    };
    field(kName, ControlKind::Text);
    // The two types in this order, not sorted as a choice's entries.
    field(kType, ControlKind::Choice).entries.assign(std::begin(kDataTypes), std::end(kDataTypes));
    Control& query = field(kQueryField, ControlKind::EditChoice);
    query.entries.push_back("");
    for (std::string& q : poolqueries(pool_)) query.entries.push_back(std::move(q));
    field(kThreshold, ControlKind::DialogField);
    add(kTrend, ControlKind::CheckBox);
    field(kPageFormat, ControlKind::MultiLine);
    for (const char* button : {kTestQuery, kBrowser, kShowClass}) add(button, ControlKind::Button);
    addOkCancel([this] { return ok(); }, [this] { cancel(); });

    onEdit(kType, [this] { setType(selectedText(kType)); });
    onEdit(kQueryField, [this] { chooseQuery(text(kQueryField)); });
    onClick(kThreshold, [this] { return thresholdFocused(); });
    onClick(kTestQuery, [this] {
        testQuery();
        return ViewStep::None;
    });
    onClick(kBrowser, [this] {
        // The browser sets the "WMI Query" text on OK.
        return open(std::make_unique<WMIBrowser>(wmi_, ctrl(kQueryField).text));
    });
    onClick(kShowClass, [this] {
        showClass();
        return ViewStep::None;
    });

    WmiTestRow t;
    t.pageformat = kDefaultPageFormat;
    if (edited_) {
        t = *edited_;
        t.pageformat = sequencestolinebreaks(t.pageformat);
    }
    show(t);
    ctrl(kQueryField).text = t.query;
}

void AddWMITest::show(const WmiTestRow& t) {
    ctrl(kName).text = t.name;
    ctrl(kPageFormat).text = t.pageformat;
    ctrl(kThreshold).text = t.threshold;
    const std::string type = knowntype(t.type);
    Control& choice = ctrl(kType);
    choice.selected = -1;
    for (size_t i = 0; i < choice.entries.size(); ++i)
        if (choice.entries[i] == type) choice.selected = static_cast<int>(i);
    Control& trend = ctrl(kTrend);
    trend.enabled = type == "Numerical";
    trend.checked = trend.enabled && t.trend == "Y";
}

void AddWMITest::chooseQuery(std::string_view chosen) {
    WmiTestRow t;
    t.type = "String";
    t.pageformat = kDefaultPageFormat;
    size_t at = chosen.empty() ? std::string::npos : pool_.find(chosen, 1);
    if (at != std::string::npos) {
        size_t bar = pool_.rfind('|', at);
        size_t start = bar == std::string::npos ? 0 : bar + 1;
        size_t end = pool_.find('|', at);
        if (end == std::string::npos) end = pool_.size();
        t = parsewmitestentry(trimmed(std::string_view(pool_).substr(start, end - start)), false);
    }
    show(t);
    ctrl(kQueryField).text = chosen;
}

void AddWMITest::setType(std::string_view newType) {
    const std::string type = knowntype(newType);
    Control& choice = ctrl(kType);
    choice.selected = type.empty() ? -1 : type == kDataTypes[0] ? 0 : 1;
    Control& trend = ctrl(kTrend);
    trend.enabled = type == "Numerical";
    if (!trend.enabled) trend.checked = false;
}

ViewStep AddWMITest::thresholdFocused() {
    wmi_.ui().setFocus(kQueryField);
    const std::string type = selectedText(kType);
    if (type.empty()) {
        showerror(wmi_.ui(), "Please select data type first");
        return ViewStep::None;
    }
    // The dialog replaces the "Threshold" text on OK.
    std::string& threshold = ctrl(kThreshold).text;
    if (type == "Numerical") return open(std::make_unique<WMINumThreshold>(threshold, wmi_.ui()));
    return open(std::make_unique<WMIStrThreshold>(threshold, wmi_.ui()));
}

void AddWMITest::showClass() {
    UiPort& ui = wmi_.ui();
    if (!ui.askYesNo("It may take a few minutes to retrieve all values for a WMI class, do you "
                     "want to continue?",
                     kShowClass))
        return;
    std::vector<std::string> words = firstwords(trimmed(text(kQueryField)), 4);
    words.resize(4);
    if (!equalsNoCase(words[0], "select")) {
        showerror(ui, "Query must start with 'select'");
        return;
    }
    if (!equalsNoCase(words[2], "from")) {
        showerror(ui, "Query must follow the format of 'select oneobject from...'");
        return;
    }
    std::optional<std::string> detail;
    {
        WaitCursor wait(ui);
        detail = ClassDetail(wmi_, words[3]);
    }
    if (detail)
        ui.messageBox(*detail, kShowClass, MessageKind::Information);
    else
        showerror(ui, "Can't query WMI Class " + words[3]);
}

WmiTestRow AddWMITest::collect() const {
    return {trimmed(text(kName)),        selectedText(kType),        trimmed(text(kThreshold)),
            checked(kTrend) ? "Y" : "N", trimmed(text(kQueryField)), text(kPageFormat)};
}

bool AddWMITest::TestQuery(const WmiTestRow& t, bool showMessages) {
    UiPort& ui = wmi_.ui();
    if (std::optional<std::string> problem = checkwmitest(t, list_)) {
        if (showMessages) showerror(ui, *problem);
        return false;
    }
    WmiQueryRun run = runwmiquery(wmi_, t.query);
    if (!run.ok) {
        if (showMessages)
            ui.messageBox("WMI Query Failure: " + run.reason, kInfo, MessageKind::Information);
        return false;
    }
    if (showMessages) ui.messageBox(previewtext(t, run.value), kInfo, MessageKind::Information);
    return true;
}

bool AddWMITest::testQuery() {
    return TestQuery(collect(), true);
}

bool AddWMITest::ok() {
    WmiTestRow t = collect();
    if (!TestQuery(t, false)) {
        showerror(wmi_.ui(), "Error: use 'Test Query' to validate it.");
        return false;
    }
    t.pageformat = linebreakstosequences(t.pageformat);
    list_.push_back(std::move(t));
    edited_.reset();  // the edit is done: a later Cancel has nothing to restore
    return true;
}

void AddWMITest::cancel() {
    if (!edited_) return;
    list_.insert(list_.begin() + static_cast<std::ptrdiff_t>(std::min(editedAt_, list_.size())),
                 *edited_);
    edited_.reset();
}

}  // namespace tw::editor
