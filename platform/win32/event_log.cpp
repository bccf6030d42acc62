// The Application event log: RegisterEventSource, one ReportEvent, and
// DeregisterEventSource per entry. The source's messages come from the
// program's own message table (messages.mc: identifier 256 is "%1" CR LF).
#include <vector>

#include "platform/win32/win32.h"

namespace tw::platform::win32 {

namespace {

class Win32EventLog final : public EventLog {
  public:
    bool report(const std::string& source, EventType type, uint32_t identifier,
                const std::vector<std::string>& texts) override {
        HANDLE h = RegisterEventSourceA(nullptr, source.c_str());
        if (!h) return false;
        WORD wtype = type == EventType::Error     ? EVENTLOG_ERROR_TYPE
                     : type == EventType::Warning ? EVENTLOG_WARNING_TYPE
                                                  : EVENTLOG_INFORMATION_TYPE;
        std::vector<const char*> strings;
        for (const auto& t : texts) strings.push_back(t.c_str());
        BOOL ok = ReportEventA(h, wtype, 0, identifier, nullptr, static_cast<WORD>(strings.size()),
                               0, strings.empty() ? nullptr : strings.data(), nullptr);
        DeregisterEventSource(h);
        return ok != FALSE;
    }
};

}  // namespace

std::unique_ptr<EventLog> makeEventLog() {
    return std::make_unique<Win32EventLog>();
}

}  // namespace tw::platform::win32
