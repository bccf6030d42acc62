// Networking: the kernel's protocols from /proc/net/protocols and the
// interfaces' raw counters from /proc/net/dev (link speed from /sys).
#include <cstdlib>

#include "platform/posix/linux_sources.h"
#include "platform/posix/live_wmi.h"

namespace tw::platform::livewmi {

namespace {

struct ProtocolTraits {
    bool connectionless, delivery, sequencing, message, broadcast;
    int addr, maxMessage;
};

ProtocolTraits traitsOf(const std::string& name) {
    const std::string n = toUpper(name);
    const bool v6 = n.find("V6") != std::string::npos;
    const int addr = v6 ? 28 : 16;
    if (n.rfind("TCP", 0) == 0 || n.rfind("MPTCP", 0) == 0)
        return {false, true, true, false, false, addr, 0};
    if (n.rfind("SCTP", 0) == 0) return {false, true, true, true, false, addr, 0};
    if (n.rfind("UDP", 0) == 0) return {true, false, false, true, !v6, addr, 65507};
    if (n.rfind("RAW", 0) == 0 || n.rfind("PING", 0) == 0)
        return {true, false, false, true, !v6, addr, 65507};
    if (n == "UNIX") return {false, true, true, false, false, 110, 0};
    if (n == "PACKET") return {true, false, false, true, true, 20, 65535};
    if (n == "NETLINK") return {true, false, true, true, true, 12, 0};
    return {true, false, false, true, false, 0, 0};
}

}  // namespace

static std::optional<WmiTable> buildNetworkProtocol(const LiveClass& cls, Context& c,
                                                    std::string& err) {
    auto text = readFile(c.proc("net/protocols"));
    if (!text) {
        err = "cannot read " + c.proc("net/protocols");
        return std::nullopt;
    }
    WmiTable t = cls.table();
    for (const auto& p : linuxsrc::parseNetProtocols(*text)) {
        ProtocolTraits tr = traitsOf(p);
        WmiRowValues& r = t.addRow();
        t.set(r, "Name", str(p));
        t.set(r, "Caption", str(p));
        t.set(r, "Description", str("Linux kernel protocol " + p));
        t.set(r, "Status", str("OK"));
        t.set(r, "ConnectionlessService", boolean(tr.connectionless));
        t.set(r, "GuaranteesDelivery", boolean(tr.delivery));
        t.set(r, "GuaranteesSequencing", boolean(tr.sequencing));
        t.set(r, "MessageOriented", boolean(tr.message));
        t.set(r, "PseudoStreamOriented", boolean(false));
        t.set(r, "SupportsBroadcasting", boolean(tr.broadcast));
        t.set(r, "SupportsConnectData", boolean(false));
        t.set(r, "SupportsDisconnectData", boolean(false));
        t.set(r, "SupportsEncryption", boolean(false));
        t.set(r, "MaximumAddressSize", i32(tr.addr));
        t.set(r, "MinimumAddressSize", i32(tr.addr));
        t.set(r, "MaximumMessageSize", i32(tr.maxMessage));
        t.set(r, "InstallDate", WmiValue::null());
    }
    return t;
}

LiveClass networkProtocolClass() {
    return liveClass(
        "Win32_NetworkProtocol",
        {"Name", "Caption", "Description", "Status", "ConnectionlessService", "GuaranteesDelivery",
         "GuaranteesSequencing", "MessageOriented", "PseudoStreamOriented", "SupportsBroadcasting",
         "SupportsConnectData", "SupportsDisconnectData", "SupportsEncryption",
         "MaximumAddressSize", "MinimumAddressSize", "MaximumMessageSize", "InstallDate"},
        ignoringQuery(buildNetworkProtocol));
}

static std::optional<WmiTable> buildNetworkInterface(const LiveClass& cls, Context& c,
                                                     std::string& err) {
    auto text = readFile(c.proc("net/dev"));
    if (!text) {
        err = "cannot read " + c.proc("net/dev");
        return std::nullopt;
    }
    const std::string stamp = std::to_string(c.sys100ns());
    WmiTable t = cls.table();
    for (const auto& d : linuxsrc::parseNetDev(*text)) {
        long long mbps =
            std::atoll(firstLine(readFile(c.sys("class/net/" + d.name + "/speed"))).c_str());
        uint64_t bw = mbps > 0 ? static_cast<uint64_t>(mbps) * 1000000ULL : 0;
        WmiRowValues& r = t.addRow();
        t.set(r, "Name", str(d.name));
        t.set(r, "BytesReceivedPerSec", num(d.rxBytes));
        t.set(r, "BytesSentPerSec", num(d.txBytes));
        t.set(r, "BytesTotalPerSec", num(d.rxBytes + d.txBytes));
        t.set(r, "PacketsReceivedPerSec", num(d.rxPackets));
        t.set(r, "PacketsSentPerSec", num(d.txPackets));
        t.set(r, "PacketsPerSec", num(d.rxPackets + d.txPackets));
        t.set(r, "CurrentBandwidth", num(bw));
        t.set(r, "Timestamp_Sys100NS", str(stamp));
        t.set(r, "Frequency_Sys100NS", str("10000000"));
    }
    return t;
}

LiveClass networkInterfaceClass() {
    return liveClass("Win32_PerfRawData_Tcpip_NetworkInterface",
                     {"Name", "BytesReceivedPerSec", "BytesSentPerSec", "BytesTotalPerSec",
                      "PacketsReceivedPerSec", "PacketsSentPerSec", "PacketsPerSec",
                      "CurrentBandwidth", "Timestamp_Sys100NS", "Frequency_Sys100NS"},
                     ignoringQuery(buildNetworkInterface));
}

}  // namespace tw::platform::livewmi
