#include "agent/core/instances.h"

#include "agent/wmi/procinfo.h"
#include "base/twlog.h"
#include "platform/ascii.h"

namespace tw {

bool istwntrunning(WmiSession& session, bool serviceMode) {
    twlog("In istwntrunning() %d\r\n", 0);
    auto snapshot = wmiprocinfo(session);
    if (!snapshot) return false;
    const int limit = serviceMode ? 2 : 1;
    int count = 0;
    bool res = false;
    for (const auto& row : *snapshot) {
        twlog("proc name:%s\r\n", row.name.c_str());
        if (equalsNoCase(row.name, "twnt") || equalsNoCase(row.name, "twnt.exe")) {
            if (++count > limit) {
                res = true;
                break;
            }
        }
    }
    twlog("proctwnt=%d res=%d\r\n", count, res ? 1 : 0);
    return res;
}

}  // namespace tw
