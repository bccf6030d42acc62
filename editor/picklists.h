// The main dialog's four pick lists ("Processes List", "Drives List",
// "Services List", "Network IFs"): one table row each says which WMI query
// fills the list, how big its result buffer is, which entry a result row
// gives, and what a chosen entry puts in front of its field.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "editor/form.h"
#include "editor/wmicontext.h"
#include "platform/wmi_provider.h"

namespace tw::editor {

struct PickList {
    const char* control;  // the pick list
    const char* field;    // the field a chosen entry goes into
    const char* query;
    // The query's entries are gathered as each entry followed by ';' in a
    // buffer of this size; entries that no longer fit are dropped.
    size_t buffer;
    // The entry of a result row; nothing skips the row.
    std::optional<std::string> (*entry)(const platform::WmiObject& row);
    // What the field already holds when the entry is in it.
    std::string (*key)(const std::string& entry);
    // What goes in front of the field, and what joins it to the old text.
    std::string (*front)(const Form& form, const std::string& entry);
    const char* joiner;
};

// The four pick lists, in the order the dialog fills them.
extern const PickList kPickLists[4];
// The table row of a pick list control; nullptr for another control.
const PickList* pickListOf(std::string_view control);

// Fills a pick list from its query on the current connection; every result
// row is also handed to seen (when given). The list stays empty when the
// query fails.
void fillPickList(Form& form, WmiContext& wmi, const PickList& list,
                  const std::function<void(const platform::WmiObject&)>& seen = {});
// The pick list's selected entry goes in front of its field, once.
void pickEntry(Form& form, const PickList& list);

}  // namespace tw::editor
