#include "agent/tests/pagefile.h"

#include "base/builtintests.h"
#include "base/datestamp.h"
#include "base/twlog.h"
#include "agent/tests/reporttext.h"
#include "agent/wmi/fetch.h"

namespace tw {

std::optional<std::vector<PageFileSample>> wmipagefileusage(WmiSession& session) {
    static const FetchDef def{"SELECT * FROM Win32_PageFileUsage", kMaxPageFileSamples,
                              "in wmipagefileusage\n", "size=%d leave wmipagefileusage\n"};
    return fetchrecords<PageFileSample>(session, def, [](const WmiRow& row, PageFileSample& p) {
        p.allocated = row.int32("AllocatedBaseSize");
        p.caption = row.text("Caption");
        p.current = row.int32("CurrentUsage");
        p.description = row.text("Description");
        p.installDate = row.text("InstallDate");
        p.name = row.text("Name");
        p.peak = row.int32("PeakUsage");
        p.status = row.text("Status");
        p.temporary = row.int32("TempPageFile");
    });
}

void pagefiletest(const TestContext<PagefileSettings>& t) {
    const PagefileSettings& s = t.settings;
    const char mode = s.mode;
    if (testdisabled(mode, kPagefileTest.word)) return;
    logentering("twpagefileusage service");
    auto files = wmipagefileusage(t.wmi);
    if (!files) {
        logleaving("pagefileusage service");
        return;
    }

    const int yellow = s.yellow;
    const int red = s.red;
    Colour colour = Colour::Green;
    std::string body = realnamehead(s.realcompName);
    std::string table =
        "\r\nName                Allocated(MB)    Current(MB)     Peak(MB)    Usage\r\n";
    for (const PageFileSample& f : *files) {
        // A paging file being created or removed (no allocated size yet, or
        // a size that does not read as one) shows as a blank row.
        const bool sized = f.allocated > 0;
        const std::string name = sized ? f.name : std::string(5, ' ');
        const int allocated = sized ? f.allocated : 0;
        const int current = sized ? f.current : 0;
        const int peak = sized ? f.peak : 0;
        // 64-bit product: a usage figure above 21 million MB must not wrap.
        const int usage =
            sized ? truncint(static_cast<double>(static_cast<int64_t>(current) * 100 / allocated))
                  : 0;
        if (sized && evaluates(mode)) {
            if (usage >= red) {
                raise(colour, Colour::Red);
                body += strformat("&red /%s/ (%d%c) has reached the PANIC level (%d%c)\r\n",
                                  name.c_str(), usage, '%', red, '%');
            } else if (usage >= yellow) {
                raise(colour, Colour::Yellow);
                body += strformat("&yellow /%s/ (%d%c) has reached the WARNING level (%d%c)\r\n",
                                  name.c_str(), usage, '%', yellow, '%');
            }
        }
        table += strformat("%20s%8d%15d%15d%10d%c\n", fitwidth(name, 20).c_str(), allocated,
                           current, peak, usage, '%');
    }
    body += table;
    std::string report =
        statusmessage(s.compName, kPagefileTest.word, colourword(colour), datestamp(t.clock), body);
    fitreport(report);
    sendpage(t.delivery, report);
    logleaving("pagefileusage service");
}

}  // namespace tw
