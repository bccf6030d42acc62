// Record fetches: the one way every built-in test reads WMI, so that all
// fetchers behave alike.
//
//   1. The fetcher's entry line is logged ("in wmidisk\n").
//   2. The query runs on the agent's session; when it cannot run (or the
//      session is closed) the fetch answers nullopt: no records.
//   3. Objects are taken one at a time, waiting at most 30 s for each, until
//      none comes or maxRecords records are filled (the rest is ignored).
//   4. Each object is read into a default-constructed record by the
//      caller's reader through WmiRow's typed reads; a property that cannot
//      be read leaves its field as the record's initialiser set it.
//   5. The exit line is logged with the record count ("size=%d leave wmidisk\n").
//
// Example, the disk test's drive fetch:
//
//   struct DiskSample { std::string name; int type = 0; double size = 0, free = 0;
//                       std::string volume; };
//   std::optional<std::vector<DiskSample>> wmidisk(WmiSession& s) {
//       static const FetchDef def{"SELECT * FROM Win32_LogicalDisk", 1023,
//                                   "in wmidisk\n", "size=%d leave wmidisk\n"};
//       return fetchrecords<DiskSample>(s, def, [](const WmiRow& row, DiskSample& d) {
//           d.name = row.text("Name");            // at most 99 characters
//           d.type = row.int32("DriveType");
//           d.size = row.number("Size");          // uint64 delivered as text
//           d.free = row.number("FreeSpace");
//           d.volume = row.text("VolumeName");
//       });
//   }
//
// and with retry (disk, services): fetchwithretry<DiskSample>(s, [&] { return wmidisk(s); }).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "agent/wmi/wmi.h"
#include "base/twlog.h"

namespace tw {

// The common text field of the records: 100 bytes, so 99 characters.
inline constexpr size_t kWmiFieldSize = 100;
// How long a record fetch waits for the next object.
inline constexpr int kWmiNextTimeoutMs = 30000;

// One object as a record fetch reads it.
class WmiRow {
  public:
    explicit WmiRow(const platform::WmiObject& object) : obj_(object) {}

    // A string property as text for a field of fieldSize bytes (at most
    // fieldSize - 1 characters); "" when it is not a string.
    std::string text(std::string_view property, size_t fieldSize = kWmiFieldSize) const;
    // A figure: a string (64-bit counters and sizes arrive as text) read as
    // a floating-point number, or a 32-bit integer; 0 otherwise.
    double number(std::string_view property) const;
    // Only a string read as a floating-point number; 0 otherwise.
    double stringNumber(std::string_view property) const;
    // A 32-bit integer; 0 when it is not one.
    int32_t int32(std::string_view property) const;
    // A boolean as "true" or "false"; "" when it is not a boolean.
    std::string boolText(std::string_view property) const;
    // A date-time text as seconds since 1970; 0 when absent or unreadable.
    int64_t datetime(std::string_view property) const;
    // The raw value; nullopt when the read fails.
    std::optional<platform::WmiValue> value(std::string_view property) const;

    const platform::WmiObject& object() const { return obj_; }

  private:
    const platform::WmiObject& obj_;
};

struct FetchDef {
    std::string query;      // WQL
    size_t maxRecords = 0;  // records filled at most
    std::string enterLine;  // logged on entry, e.g. "in wmidisk\n"
    const char* leaveFormat =
        nullptr;  // logged on exit with the count, e.g. "size=%d leave wmidisk\n"
};

// Runs def.query and calls each(row) for every object, up to maxRecords
// objects; answers the number of objects handed over, or nullopt when the
// query could not run. Logs the entry and exit lines. The untyped core of
// fetchrecords, for fetches that do not build records.
std::optional<size_t> fetchobjects(WmiSession& session, const FetchDef& def,
                                   const std::function<void(const WmiRow&)>& each);

// Hands every object of a query the caller has run (session.execquery) to
// each, waiting at most 30 s for each one; answers how many there were. For
// fetches that log their own steps between running the query and reading it.
size_t eachobject(platform::WmiEnumerator& objects, const std::function<void(const WmiRow&)>& each);

template <class R>
std::optional<std::vector<R>> fetchrecords(WmiSession& session, const FetchDef& def,
                                           const std::function<void(const WmiRow&, R&)>& read) {
    std::vector<R> records;
    auto n = fetchobjects(session, def, [&](const WmiRow& row) {
        records.emplace_back();
        read(row, records.back());
    });
    if (!n) return std::nullopt;
    return records;
}

// Fetch with retry: calls fetch until it answers at least one record, at
// most `attempts` times, sleeping waitMs (through the agent's clock) after
// each empty answer. nullopt after the last empty attempt, at once when the
// session is closed (it will not reopen) or when a stop is requested during
// a sleep.
template <class R>
std::optional<std::vector<R>> fetchwithretry(
    WmiSession& session, const std::function<std::optional<std::vector<R>>()>& fetch,
    int attempts = 100, int64_t waitMs = 5000) {
    for (int i = 0; i < attempts; ++i) {
        if (!session.isOpen()) return std::nullopt;
        auto r = fetch();
        if (r && !r->empty()) return r;
        if (i + 1 < attempts && !session.clock().sleepMs(waitMs)) return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace tw
