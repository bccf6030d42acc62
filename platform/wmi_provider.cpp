#include "platform/wmi_provider.h"

#include "platform/ascii.h"

namespace tw::platform {

namespace {}  // namespace

bool isLocalWmiServer(const std::string& server, HostInfo* host) {
    if (server.empty() || server == "." || equalsNoCase(server, "localhost")) return true;
    if (!host) return false;
    const std::string_view first = std::string_view(server).substr(0, server.find('.'));
    if (auto name = host->computerName(); name && !name->empty() && equalsNoCase(first, *name))
        return true;
    // A host name longer than a computer name may be: its computer name is a
    // cut of it, so the whole first label is compared, never its cut.
    auto hostName = host->hostName();
    if (!hostName) return false;
    const std::string_view mine = std::string_view(*hostName).substr(0, hostName->find('.'));
    return !mine.empty() && equalsNoCase(first, mine);
}

void WmiPropertyBag::set(std::string name, WmiValue value) {
    for (auto& p : props_)
        if (equalsNoCase(p.first, name)) {
            p.second = std::move(value);
            return;
        }
    props_.emplace_back(std::move(name), std::move(value));
}

std::optional<WmiValue> WmiPropertyBag::get(std::string_view name) const {
    for (const auto& p : props_)
        if (equalsNoCase(p.first, name)) return p.second;
    return std::nullopt;
}

std::vector<std::string> WmiPropertyBag::propertyNames() const {
    std::vector<std::string> names;
    for (const auto& p : props_) names.push_back(p.first);
    return names;
}

}  // namespace tw::platform
