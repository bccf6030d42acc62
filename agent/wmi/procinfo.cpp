#include "agent/wmi/procinfo.h"

#include "agent/wmi/fetch.h"
#include "base/twlog.h"

namespace tw {

std::optional<std::vector<ProcessSample>> wmiprocinfo(WmiSession& session) {
    static const FetchDef def{"SELECT * FROM Win32_PerfRawData_PerfProc_Process",
                              kMaxProcessSamples, "in wmiprocinfo\n",
                              "size= %d leave wmiprocinfo\n"};
    return fetchrecords<ProcessSample>(session, def, [](const WmiRow& row, ProcessSample& p) {
        p.name = row.text("Name");
        size_t exe = p.name.find(".exe");
        if (exe != std::string::npos) p.name.resize(exe);
        p.pid = row.int32("IDProcess");
        p.cputime = row.stringNumber("PercentProcessorTime");
        p.timestamp = row.stringNumber("Timestamp_Sys100NS");
    });
}

std::optional<int> wminumcpu(WmiSession& session) {
    twlog("in wminumcpu\n");
    int cpus = 0;
    if (auto e = session.execquery("SELECT * FROM Win32_Processor")) {
        twlog("Count number of CPUs\n");
        int rows = 0;
        while (true) {
            std::unique_ptr<platform::WmiObject> obj;
            if (e->next(kWmiNextTimeoutMs, obj) != platform::WmiNext::Object || !obj) break;
            twlog("find a processor\n");
            WmiRow row(*obj);
            const int cores = row.int32("NumberOfCores");
            const int logprocs = row.int32("NumberOfLogicalProcessors");
            ++rows;
            twlog("cores = %d logprocs = %d number of numRecord = %d\n", cores, logprocs, rows);
            if (cores != 0 || logprocs != 0)
                cpus += cores > logprocs ? cores : logprocs;
            else
                cpus += 1;
        }
    }
    twlog("CPUs=%d leave wminumcpu\n", cpus);
    if (cpus > 0) return cpus;
    return std::nullopt;
}

}  // namespace tw
