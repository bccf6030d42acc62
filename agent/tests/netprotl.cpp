#include "agent/tests/netprotl.h"

#include "base/builtintests.h"
#include "base/datestamp.h"
#include "base/twlog.h"
#include "agent/tests/reporttext.h"
#include "agent/wmi/fetch.h"

namespace tw {

std::optional<std::vector<ProtocolSample>> wminetworkprotocol(WmiSession& session) {
    static const FetchDef def{"SELECT * FROM Win32_NetworkProtocol", kMaxProtocolSamples,
                              "in wminetworkprotocol\n", "size=%d leave wminetworkprotocol\n"};
    return fetchrecords<ProtocolSample>(session, def, [](const WmiRow& row, ProtocolSample& p) {
        p.caption = row.text("Caption");
        p.connectionlessService = row.boolText("ConnectionlessService");
        p.description = row.text("Description");
        p.guaranteesDelivery = row.boolText("GuaranteesDelivery");
        p.guaranteesSequencing = row.boolText("GuaranteesSequencing");
        p.installDate = row.text("InstallDate");
        p.maximumAddressSize = row.int32("MaximumAddressSize");
        p.maximumMessageSize = row.int32("MaximumMessageSize");
        p.messageOriented = row.boolText("MessageOriented");
        p.minimumAddressSize = row.int32("MinimumAddressSize");
        p.name = row.text("Name");
        p.pseudoStreamOriented = row.boolText("PseudoStreamOriented");
        p.status = row.text("Status");
        p.supportsBroadcasting = row.boolText("SupportsBroadcasting");
        p.supportsConnectData = row.boolText("SupportsConnectData");
        p.supportsDisconnectData = row.boolText("SupportsDisconnectData");
        p.supportsEncryption = row.boolText("SupportsEncryption");
        p.supportsExpeditedData = row.boolText("SupportsExpeditedData");
        p.supportsFragmentation = row.boolText("SupportsFragmentation");
        p.supportsGracefulClosing = row.boolText("SupportsGracefulClosing");
        p.supportsGuaranteedBandwidth = row.boolText("SupportsGuaranteedBandwidth");
        p.supportsMulticasting = row.boolText("SupportsMulticasting");
        p.supportsQualityofService = row.boolText("SupportsQualityofService");
    });
}

void netprotltest(const TestContext<NetprotlSettings>& t) {
    const NetprotlSettings& s = t.settings;
    if (testdisabled(s.mode, kNetprotlTest.word)) return;
    logentering("twnetworkprotocol service");
    auto protocols = wminetworkprotocol(t.wmi);
    if (!protocols) {
        logleaving("twnetworkprotocol service");
        return;
    }
    Colour colour = Colour::Green;
    std::string body = realnamehead(s.realcompName);
    body +=
        "\r\n                              Name                     ConnectionlessService    "
        "GuaranteesDelivery       Status   SupportsBroadcasting     SupportsEncryption\r\n";
    for (const ProtocolSample& p : *protocols) {
        if (p.status == "Degraded") raise(colour, Colour::Yellow);
        if (p.status == "Pred Fail") raise(colour, Colour::Red);
        body += strformat("          %30s\t%12s\t%20s\t%14s\t%15s\t%25s\n",
                          fitwidth(p.name, 40).c_str(), p.connectionlessService.c_str(),
                          p.guaranteesDelivery.c_str(), p.status.c_str(),
                          p.supportsBroadcasting.c_str(), p.supportsEncryption.c_str());
    }
    std::string report =
        statusmessage(s.compName, kNetprotlTest.word, colourword(colour), datestamp(t.clock), body);
    fitreport(report);
    sendpage(t.delivery, report);
    logleaving("twnetworkprotocol service");
}

}  // namespace tw
