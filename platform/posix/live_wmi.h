// The live provider's classes: one file per group of classes that share
// their sources (processes, system, storage, network, hardware, services,
// event log). Each class declares its columns beside the builder that
// fills them, and rows are filled by column name.
// Shared by those files and the provider (live_wmi_provider.cpp) only.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ascii.h"
#include "platform/clock.h"
#include "platform/host_info.h"
#include "platform/posix/wmi_providers.h"
#include "platform/wmi/wmi_datetime.h"
#include "platform/wmi/wmi_table.h"
#include "platform/wmi/wql.h"

namespace tw::platform::livewmi {

// What every builder reads: the roots of /proc and /sys, the injected
// clock, this host's names and the kernel's units.
struct Context {
    LiveWmiRoots roots;
    Clock& clock;
    HostInfo& host;
    long ticks = sysconf(_SC_CLK_TCK) > 0 ? sysconf(_SC_CLK_TCK) : 100;
    long pageSize = sysconf(_SC_PAGESIZE) > 0 ? sysconf(_SC_PAGESIZE) : 4096;

    std::string proc(const std::string& rest) const { return roots.proc + "/" + rest; }
    std::string sys(const std::string& rest) const { return roots.sys + "/" + rest; }
    std::string computerName() const { return host.computerName().value_or(""); }

    // A WMI date-time text of an instant in the local zone.
    std::string dateText(int64_t utc) {
        long off = clock.localTime(utc).utcOffsetSeconds;
        return formatWmiDateTime(wmiDateTimeAt(utc, static_cast<int>(off / 60)));
    }
    // Now in Windows' 100-ns units since 1601 (Timestamp_Sys100NS).
    int64_t sys100ns() { return clock.nowNs() / 100 + 116444736000000000LL; }
};

struct LiveClass;

// The class's objects now; nullopt with err set when its source fails.
using Builder = std::function<std::optional<WmiTable>(const LiveClass&, Context&, const WqlQuery&,
                                                      std::string&)>;
// An object by path ("Class.Key=value"); nullptr with err set when none.
using ObjectReader = std::function<std::unique_ptr<WmiObject>(const LiveClass&, Context&,
                                                              std::string_view, std::string&)>;
// A method on an object by path; nullptr with err set when it cannot run.
using MethodRunner = std::function<std::unique_ptr<WmiObject>(
    const LiveClass&, Context&, std::string_view, std::string_view, std::string&)>;

struct LiveClass {
    std::shared_ptr<WmiClassShape> shape;
    Builder build;
    ObjectReader object;  // empty: the class has no object paths
    MethodRunner method;  // empty: the class has no methods

    // An empty table of the class.
    WmiTable table() const { return WmiTable{shape, {}}; }
};

LiveClass liveClass(const char* name, std::initializer_list<const char*> columns, Builder build);
// For the builders that do not look at the query.
template <class F>
Builder ignoringQuery(F f) {
    return [f](const LiveClass& cls, Context& c, const WqlQuery&, std::string& err) {
        return f(cls, c, err);
    };
}

// The classes, in the order meta_class lists them.
LiveClass perfProcessClass();
LiveClass processClass();
LiveClass processorClass();
LiveClass computerSystemClass();
LiveClass operatingSystemClass();
LiveClass perfMemoryClass();
LiveClass perfSystemClass();
LiveClass logicalDiskClass();
LiveClass serviceClass();
LiveClass ntLogEventClass();
LiveClass pageFileUsageClass();
LiveClass networkProtocolClass();
LiveClass networkInterfaceClass();
LiveClass baseBoardClass();
LiveClass batteryClass();
LiveClass motherboardClass();
LiveClass dataFileClass();
LiveClass directoryClass();

// Values as WMI types them: uint64 as text, small integers as 32 bits.
inline WmiValue str(std::string s) {
    return WmiValue::string(std::move(s));
}
inline WmiValue num(uint64_t v) {
    return WmiValue::string(std::to_string(v));
}
inline WmiValue i32(int64_t v) {
    return WmiValue::int32(static_cast<int32_t>(v));
}
inline WmiValue boolean(bool v) {
    return WmiValue::boolean(v);
}
// Whole small file; nullopt when it cannot be opened.
std::optional<std::string> readFile(const std::string& path);
// The first line without trailing blanks; empty for a file that is missing.
std::string firstLine(const std::optional<std::string>& s);
// The first line of the file when the query shows the property; otherwise
// the file is not read (the agent's per-cycle queries show few properties).
inline std::string firstLineIfShown(const WqlQuery& q, const char* property,
                                    const std::string& path) {
    return wqlReads(q, property) ? firstLine(readFile(path)) : std::string();
}

}  // namespace tw::platform::livewmi
