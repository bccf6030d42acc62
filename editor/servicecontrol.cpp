#include "editor/servicecontrol.h"

#include <string>

#include "platform/ascii.h"

namespace tw::editor {

namespace {

// Win32_Service's answer when a start finds the service running.
constexpr int32_t kAlreadyRunning = 10;

}  // namespace

bool ServiceControl(WmiContext& wmi, std::string_view action, std::string_view name) {
    const std::string act = toUpper(action.substr(0, 99));
    const char* method = act == "START" ? "StartService" : act == "STOP" ? "StopService" : nullptr;
    if (act != "CREATE" && !method) return false;
    const std::string path = "Win32_Service.Name='" + std::string(name) + "'";
    if (path.size() > 99) return false;
    platform::WmiConnection* c = wmi.connection();
    if (!c || !c->getObject(path)) return false;
    // Creating the service is not the editor's business.
    if (!method) return false;
    auto out = c->execMethod(path, method, nullptr);
    if (!out) return false;
    auto rv = out->get("ReturnValue");
    if (!rv || rv->type != platform::WmiType::Int32 || rv->i == 0) return true;
    return act == "START" && rv->i == kAlreadyRunning;
}

}  // namespace tw::editor
