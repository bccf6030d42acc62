#include "agent/wmi/fetch.h"

#include <cstdlib>

#include "agent/wmi/wmidate.h"

namespace tw {

using platform::WmiType;

std::optional<platform::WmiValue> WmiRow::value(std::string_view property) const {
    return obj_.get(property);
}

std::string WmiRow::text(std::string_view property, size_t fieldSize) const {
    auto v = obj_.get(property);
    if (!v || v->type != WmiType::String || fieldSize == 0) return {};
    return v->s.substr(0, fieldSize - 1);
}

double WmiRow::stringNumber(std::string_view property) const {
    auto v = obj_.get(property);
    if (!v || v->type != WmiType::String) return 0;
    return std::strtod(v->s.c_str(), nullptr);
}

double WmiRow::number(std::string_view property) const {
    auto v = obj_.get(property);
    if (!v) return 0;
    if (v->type == WmiType::Int32) return v->i;
    if (v->type == WmiType::String) return std::strtod(v->s.c_str(), nullptr);
    return 0;
}

int32_t WmiRow::int32(std::string_view property) const {
    auto v = obj_.get(property);
    return v && v->type == WmiType::Int32 ? v->i : 0;
}

std::string WmiRow::boolText(std::string_view property) const {
    auto v = obj_.get(property);
    if (!v || v->type != WmiType::Bool) return {};
    return v->b ? "true" : "false";
}

int64_t WmiRow::datetime(std::string_view property) const {
    auto v = obj_.get(property);
    if (!v || v->type != WmiType::String) return 0;
    return wmidatetotime(v->s).value_or(0);
}

size_t eachobject(platform::WmiEnumerator& objects,
                  const std::function<void(const WmiRow&)>& each) {
    size_t n = 0;
    while (true) {
        std::unique_ptr<platform::WmiObject> obj;
        // A timeout or a broken enumeration ends the walk with what came.
        if (objects.next(kWmiNextTimeoutMs, obj) != platform::WmiNext::Object || !obj) break;
        each(WmiRow(*obj));
        ++n;
    }
    return n;
}

std::optional<size_t> fetchobjects(WmiSession& session, const FetchDef& def,
                                   const std::function<void(const WmiRow&)>& each) {
    twlog("%s", def.enterLine.c_str());
    auto e = session.execquery(def.query);
    if (!e) return std::nullopt;
    size_t n = 0;
    while (n < def.maxRecords) {
        std::unique_ptr<platform::WmiObject> obj;
        // A timeout or a broken enumeration ends the fetch with what came.
        if (e->next(kWmiNextTimeoutMs, obj) != platform::WmiNext::Object || !obj) break;
        each(WmiRow(*obj));
        ++n;
    }
    if (def.leaveFormat) twlog(def.leaveFormat, static_cast<int>(n));
    return n;
}

}  // namespace tw
