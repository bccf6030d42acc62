// The netdata test: inbound and outbound traffic of the configured network
// interfaces as a share of each interface's bandwidth, from the raw byte
// counters of two successive cycles, with yellow or red lines when a share
// reaches its thresholds. The only built-in test that keeps state between
// cycles. Test word "netdata".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "agent/tests/framework.h"

namespace tw {

class WmiSession;

// One NetworkInterfaces entry:
// "<name> <n>MBPS:<in yellow>:<in red>:<out yellow>:<out red>".
struct InterfaceLimit {
    std::string name;    // upper-cased, at most 1023 characters
    double bandwidth{};  // bits per second as configured (the shares use WMI's figure)
    double inYellow{}, inRed{}, outYellow{}, outRed{};  // percent
};

inline constexpr size_t kMaxInterfaceLimits = 50;

// One row of Win32_PerfRawData_Tcpip_NetworkInterface.
struct InterfaceSample {
    std::string name;    // at most 1022 characters
    double bandwidth{};  // CurrentBandwidth, bits per second
    double received{};   // BytesReceivedPerSec, the raw byte counter
    double sent{};       // BytesSentPerSec
};

inline constexpr size_t kMaxInterfaceSamples = 1023;

// What the test keeps from one cycle to the next.
struct NetdataState {
    std::optional<std::vector<InterfaceSample>> previous;
    std::optional<int64_t> previousTime;
};

// The accepted entries of a NetworkInterfaces text, at most 50; each
// rejected one is logged and passed over.
std::vector<InterfaceLimit> parseinterfaces(std::string_view text);

// "SELECT Name, CurrentBandwidth, BytesReceivedPerSec, BytesSentPerSec FROM
// Win32_PerfRawData_Tcpip_NetworkInterface"; nullopt when the query fails.
std::optional<std::vector<InterfaceSample>> wminetworkif(WmiSession& session);

struct NetdataSettings : TestSettings {
    std::vector<InterfaceLimit> limits;  // the NetworkInterfaces entries
};

// Runs the test on the limits and the counters kept in state: the first
// cycle only keeps the counters, later ones report on the difference.
void netdatatest(const TestContext<NetdataSettings>& t, NetdataState& state);

}  // namespace tw
