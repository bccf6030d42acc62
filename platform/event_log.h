// The system's application event log: one entry per report() call under a
// source name. Failures are answered, never thrown; callers that do not care
// ignore them, as the agent does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tw::platform {

enum class EventType { Error, Warning, Information };

class EventLog {
  public:
    virtual ~EventLog() = default;
    virtual bool report(const std::string& source, EventType type, uint32_t identifier,
                        const std::vector<std::string>& texts) = 0;
};

}  // namespace tw::platform
