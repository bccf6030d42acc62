// Hardware from /sys: the base board and the motherboard from the DMI
// tables, batteries from the power-supply class.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/posix/live_wmi.h"

namespace tw::platform::livewmi {

static std::optional<WmiTable> buildBaseBoard(const LiveClass& cls, Context& c, std::string&) {
    WmiTable t = cls.table();
    auto product = readFile(c.sys("class/dmi/id/board_name"));
    if (!product) return t;
    WmiRowValues& r = t.addRow();
    t.set(r, "Name", str("Base Board"));
    t.set(r, "Caption", str("Base Board"));
    t.set(r, "Manufacturer", str(firstLine(readFile(c.sys("class/dmi/id/board_vendor")))));
    t.set(r, "Product", str(firstLine(product)));
    t.set(r, "Version", str(firstLine(readFile(c.sys("class/dmi/id/board_version")))));
    t.set(r, "SerialNumber", str(firstLine(readFile(c.sys("class/dmi/id/board_serial")))));
    t.set(r, "Status", str("OK"));
    t.set(r, "Tag", str("Base Board"));
    return t;
}

LiveClass baseBoardClass() {
    return liveClass(
        "Win32_BaseBoard",
        {"Name", "Caption", "Manufacturer", "Product", "Version", "SerialNumber", "Status", "Tag"},
        ignoringQuery(buildBaseBoard));
}

static std::optional<WmiTable> buildBattery(const LiveClass& cls, Context& c, std::string&) {
    WmiTable t = cls.table();
    const std::string dir = c.sys("class/power_supply");
    DIR* d = opendir(dir.c_str());
    if (!d) return t;
    std::vector<std::string> names;
    while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const auto& n : names) {
        const std::string base = dir + "/" + n + "/";
        if (firstLine(readFile(base + "type")) != "Battery") continue;
        const std::string status = firstLine(readFile(base + "status"));
        const std::string health = firstLine(readFile(base + "health"));
        int batteryStatus = 2;  // on mains, not discharging
        if (status == "Discharging")
            batteryStatus = 1;
        else if (status == "Charging")
            batteryStatus = 6;
        else if (status == "Full")
            batteryStatus = 3;
        std::string wmiStatus = "OK";
        if (health == "Dead" || health == "Unspecified failure")
            wmiStatus = "Error";
        else if (health == "Overheat" || health == "Over voltage" || health == "Cold")
            wmiStatus = "Degraded";
        std::string model = firstLine(readFile(base + "model_name"));
        std::string cap = firstLine(readFile(base + "capacity"));
        WmiRowValues& r = t.addRow();
        t.set(r, "Name", str(model.empty() ? n : model));
        t.set(r, "DeviceID", str(n));
        t.set(r, "Caption", str("Internal Battery"));
        t.set(r, "Status", str(wmiStatus));
        t.set(r, "BatteryStatus", i32(batteryStatus));
        t.set(r, "EstimatedChargeRemaining",
              cap.empty() ? WmiValue::null() : i32(std::atoi(cap.c_str())));
    }
    return t;
}

LiveClass batteryClass() {
    return liveClass(
        "Win32_Battery",
        {"Name", "DeviceID", "Caption", "Status", "BatteryStatus", "EstimatedChargeRemaining"},
        ignoringQuery(buildBattery));
}

static std::optional<WmiTable> buildMotherboard(const LiveClass& cls, Context& c, std::string&) {
    WmiTable t = cls.table();
    if (!readFile(c.sys("class/dmi/id/board_name"))) return t;
    struct stat st {};
    const bool pci = stat(c.sys("bus/pci").c_str(), &st) == 0;
    WmiRowValues& r = t.addRow();
    t.set(r, "Name", str("Motherboard"));
    t.set(r, "DeviceID", str("Motherboard"));
    t.set(r, "Caption", str("Motherboard"));
    t.set(r, "Status", str("OK"));
    t.set(r, "PrimaryBusType", pci ? str("PCI") : WmiValue::null());
    return t;
}

LiveClass motherboardClass() {
    return liveClass("Win32_MotherboardDevice",
                     {"Name", "DeviceID", "Caption", "Status", "PrimaryBusType"},
                     ignoringQuery(buildMotherboard));
}

}  // namespace tw::platform::livewmi
