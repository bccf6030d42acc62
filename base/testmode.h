// The test mode table parsed from Tests, and the lookup every test makes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tw {

class TestModes {
  public:
    struct Entry {
        std::string name;  // at most 256 characters
        char mode;         // as written; the lookup upper-cases it
    };

    // Rebuilds the table from a Tests text: items "name:L" separated by
    // exactly one character, at most 1024 of them. A trailing name with a
    // colon but no letter makes no entry.
    void parse(std::string_view text);
    // The upper-cased mode letter of the first entry whose name matches
    // without regard to case; 'P' when none does.
    char testmode(std::string_view name) const;
    const std::vector<Entry>& entries() const { return entries_; }

  private:
    std::vector<Entry> entries_;
};

}  // namespace tw
