// The event log from the systemd journal: the records since the query's
// lower time bound (or the newest ones), stopped at a row and time limit.
#include <algorithm>
#include <cstring>
#include <map>

#include "platform/posix/library_loaders.h"
#include "platform/posix/linux_sources.h"
#include "platform/posix/live_wmi.h"

namespace tw::platform::livewmi {

namespace {

constexpr size_t kJournalRows = 20480;
constexpr int64_t kJournalMs = 10000;

std::optional<WmiTable> buildNTLogEvent(const LiveClass& cls, Context& c, const WqlQuery& q,
                                        std::string& err) {
#ifdef TW_HAVE_SYSTEMD
    if (!c.roots.journal) {
        err = "no journal";
        return std::nullopt;
    }
    // A journal without files has no records; its reader is not even loaded.
    if (!journalHasFiles(journalDirectories())) return cls.table();
    const JournalLibrary* lib = journalLibrary();
    sd_journal* j = nullptr;
    if (!lib || lib->open(&j, SD_JOURNAL_LOCAL_ONLY) < 0) {
        err = "the systemd journal cannot be opened";
        return std::nullopt;
    }
    WmiTable t = cls.table();
    auto bw = wqlLowerTimeBound(q, "TimeWritten");
    auto bg = wqlLowerTimeBound(q, "TimeGenerated");
    std::optional<int64_t> bound = bw;
    if (bg && (!bound || *bg > *bound)) bound = bg;
    bool ok;
    if (bound) {
        ok = lib->seekRealtimeUsec(
                 j, static_cast<uint64_t>(std::max<int64_t>(*bound, 0)) * 1000000) >= 0;
    } else {
        // Without a time condition: the newest records, up to the row limit.
        ok = lib->seekTail(j) >= 0;
        if (ok) lib->previousSkip(j, kJournalRows);
        if (ok) lib->previous(j);
    }
    static const char* kFields[] = {"MESSAGE",         "PRIORITY",
                                    "SYSLOG_FACILITY", "SYSLOG_IDENTIFIER",
                                    "_COMM",           "_TRANSPORT",
                                    "_SYSTEMD_UNIT",   "_SYSTEMD_USER_UNIT",
                                    "_HOSTNAME",       "_SOURCE_REALTIME_TIMESTAMP"};
    static const char* kTypeWords[] = {"", "Error", "Warning", "Information"};
    const int64_t deadline = c.clock.monotonicMs() + kJournalMs;
    int32_t record = 0;
    while (ok && t.rows.size() < kJournalRows && lib->next(j) > 0) {
        if (c.clock.monotonicMs() > deadline) break;
        std::map<std::string, std::string> fields;
        for (const char* f : kFields) {
            const void* data = nullptr;
            size_t len = 0;
            if (lib->getData(j, f, &data, &len) >= 0) {
                const size_t skip = std::strlen(f) + 1;
                if (len >= skip)
                    fields[f] = std::string(static_cast<const char*>(data) + skip, len - skip);
            }
        }
        uint64_t rt = 0;
        lib->getRealtimeUsec(j, &rt);
        linuxsrc::JournalEvent e = linuxsrc::mapJournalRecord(fields, static_cast<int64_t>(rt));
        ++record;
        WmiRowValues& r = t.addRow();
        t.set(r, "LogFile", str(e.logFile));
        t.set(r, "EventType", i32(e.eventType));
        t.set(r, "Type", str(kTypeWords[e.eventType]));
        t.set(r, "SourceName", str(e.source));
        t.set(r, "EventIdentifier", i32(0));
        t.set(r, "EventCode", i32(0));
        t.set(r, "Message", str(e.message));
        t.set(r, "TimeGenerated", str(c.dateText(e.generatedUs / 1000000)));
        t.set(r, "TimeWritten", str(c.dateText(e.writtenUs / 1000000)));
        t.set(r, "ComputerName", str(e.computer));
        t.set(r, "RecordNumber", i32(record));
    }
    lib->close(j);
    return t;
#else
    (void)cls;
    (void)c;
    (void)q;
    err = "this build has no journal support";
    return std::nullopt;
#endif
}

}  // namespace

LiveClass ntLogEventClass() {
    return liveClass("Win32_NTLogEvent",
                     {"LogFile", "EventType", "Type", "SourceName", "EventIdentifier", "EventCode",
                      "Message", "TimeGenerated", "TimeWritten", "ComputerName", "RecordNumber"},
                     buildNTLogEvent);
}

}  // namespace tw::platform::livewmi
