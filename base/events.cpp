#include "base/events.h"

#include "base/twlog.h"
#include "platform/settings_store.h"
#include "platform/system.h"

namespace tw {

void logevent(platform::EventLog& log, platform::EventType type, const std::string& text,
              uint32_t identifier) {
    log.report(kServiceName, type, identifier, {text});
}

uint32_t logerror(platform::EventLog& log, platform::System& system, const std::string& text) {
    uint32_t code = system.lastErrorCode();
    std::string first =
        strformat("%s error: %d", kServiceName, static_cast<int>(code)).substr(0, 255);
    log.report(kServiceName, platform::EventType::Error, 0, {first, text});
    return code;
}

void registereventsource(platform::SettingsStore& store, const std::string& programPath) {
    store.setValue(kEventSourceKey, "EventMessageFile",
                   platform::RegValue::expandSz(programPath.substr(0, 259)));
    store.setValue(kEventSourceKey, "TypesSupported", platform::RegValue::dw(7));
}

}  // namespace tw
