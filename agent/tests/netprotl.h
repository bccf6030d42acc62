// The netprotl test: the network protocols with some of their capabilities
// and their status; yellow when a protocol is "Degraded", red when one is
// "Pred Fail". It has no setting of its own and no always-green mode. Test
// word "netprotl" (mode D under "netprotl" or "netprol" disables it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "agent/tests/framework.h"

namespace tw {

class WmiSession;

// One row of Win32_NetworkProtocol; booleans as "true"/"false", empty when
// the property cannot be read.
struct ProtocolSample {
    std::string caption;
    std::string connectionlessService;
    std::string description;
    std::string guaranteesDelivery;
    std::string guaranteesSequencing;
    std::string installDate;
    int32_t maximumAddressSize = 0;
    int32_t maximumMessageSize = 0;
    std::string messageOriented;
    int32_t minimumAddressSize = 0;
    std::string name;
    std::string pseudoStreamOriented;
    std::string status;
    std::string supportsBroadcasting;
    std::string supportsConnectData;
    std::string supportsDisconnectData;
    std::string supportsEncryption;
    std::string supportsExpeditedData;
    std::string supportsFragmentation;
    std::string supportsGracefulClosing;
    std::string supportsGuaranteedBandwidth;
    std::string supportsMulticasting;
    std::string supportsQualityofService;
};

inline constexpr size_t kMaxProtocolSamples = 5119;

// "SELECT * FROM Win32_NetworkProtocol"; nullopt when the query fails.
std::optional<std::vector<ProtocolSample>> wminetworkprotocol(WmiSession& session);

// Its settings are the common ones; the mode is D when either test word
// disables it.
using NetprotlSettings = TestSettings;

// Runs the test: fetch, report, send, page.
void netprotltest(const TestContext<NetprotlSettings>& t);

}  // namespace tw
