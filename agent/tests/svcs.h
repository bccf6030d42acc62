// The svcs test: configured Windows services checked against the state
// they should be in (running or stopped), each reported on a line; a
// service in the wrong state can be stopped, or stopped and started again.
// Test word "svcs".
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "agent/tests/framework.h"

namespace tw {

class WmiSession;

// One row of Win32_Service.
struct ServiceSample {
    std::string name;         // Name, the handle for the service methods
    std::string displayName;  // DisplayName, what Services entries name
    std::string state;        // "Running", "Stopped", "Start Pending", ...
};

inline constexpr size_t kMaxServiceSamples = 20479;
// The part of the Services setting the test reads.
inline constexpr size_t kServicesUsed = 4095;

// One Services entry: "display name[:colour[:state[:action]]]".
struct ServiceEntry {
    std::string name;  // as written, colons kept
    Colour alarm = Colour::Red;
    bool expectRunning = true;
    bool action = false;  // stop, or stop and start, a service in the wrong state
};

// The entries of a Services text in order; empty entries are passed over.
// An entry with more than three colons takes its options from the last
// three, so a display name may hold colons.
std::vector<ServiceEntry> parseservices(std::string_view text);

// What names are compared by: lower case, all white space removed.
std::string servicekey(std::string_view name);

// "Stop" or "Start" a service by its Name; negative when the call failed.
using ServiceControl = std::function<int(std::string_view action, std::string_view name)>;

struct SvcsResult {
    Colour colour = Colour::Green;
    std::string lines;
};

// Checks every entry against the rows (each entry finds the first row with
// its key through an index of the rows) and carries out the actions.
SvcsResult checkservices(const std::vector<ServiceEntry>& entries,
                         const std::vector<ServiceSample>& rows, char mode,
                         const ServiceControl& control);

// "SELECT Name,DisplayName,State FROM Win32_Service"; nullopt when the
// query fails.
std::optional<std::vector<ServiceSample>> wmisvcs(WmiSession& session);

struct SvcsSettings : TestSettings {
    std::string services;  // Services
};

// Runs the test: fetch with retry, report, send, page. The actions go to
// control when it is set (twnt -test), else to the session's service
// methods.
void svcstest(const TestContext<SvcsSettings>& t, const ServiceControl& control = {});

}  // namespace tw
