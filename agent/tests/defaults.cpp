#include "agent/tests/defaults.h"

#include "base/text.h"
#include "base/twlog.h"
#include "platform/ascii.h"

namespace tw {

namespace {

// word:yellow:red, where the second colon is simply the next one in the text
// (it may belong to a later item).
void take(const std::string& text, const char* word, int& yellow, int& red, bool zeroOk) {
    size_t at = text.find(word);
    if (at == std::string::npos) return;
    size_t c1 = text.find(':', at);
    if (c1 == std::string::npos) return;
    int y = decimalNumber(std::string_view(text).substr(c1 + 1));
    if (zeroOk ? y >= 0 : y > 0) yellow = y;
    size_t c2 = text.find(':', c1 + 1);
    if (c2 == std::string::npos) return;
    int r = decimalNumber(std::string_view(text).substr(c2 + 1));
    if (zeroOk ? r >= 0 : r > 0) red = r;
}

}  // namespace

Thresholds parsedefaults(const std::string& text) {
    Thresholds t;
    twlog("\r\nSet CPU/DISK defaults values with <%s>\r\n", text.c_str());
    twlog("Program default CPU values -  yellow: <%d> red: <%d>\r\n", t.cpuYellow, t.cpuRed);
    twlog("Program default DISK values -  yellow: <%d> red: <%d>\r\n", t.diskYellow, t.diskRed);
    twlog("Program default PAGEFILE values -  yellow: <%d> red: <%d>\r\n", t.pagefileYellow,
          t.pagefileRed);
    std::string up = toUpper(text);
    take(up, "CPU", t.cpuYellow, t.cpuRed, true);
    take(up, "DISK", t.diskYellow, t.diskRed, false);
    take(up, "PAGEFILE", t.pagefileYellow, t.pagefileRed, false);
    twlog("Setting CPU values -  yellow: <%d> red: <%d>\r\n", t.cpuYellow, t.cpuRed);
    twlog("Setting DISK values -  yellow: <%d> red: <%d>\r\n", t.diskYellow, t.diskRed);
    twlog("Setting PAGEFILE values -  yellow: <%d> red: <%d>\r\n", t.pagefileYellow, t.pagefileRed);
    return t;
}

}  // namespace tw
