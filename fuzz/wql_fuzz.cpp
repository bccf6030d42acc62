// The WQL subset: a query (before the first zero byte) is parsed and, when
// accepted, evaluated against one object whose properties all read as the
// text after the zero byte; LIKE patterns are matched on their own too.
#include <optional>
#include <string>

#include "fuzz/fuzz.h"
#include "platform/wmi/wql.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto [query, value] = tw::fuzz::split(tw::fuzz::text(data, size));
    tw::platform::wqlLike(value, query);
    tw::platform::WqlError error;
    auto q = tw::platform::parseWql(query, &error);
    if (!q) return 0;
    const std::string v(value);
    tw::platform::wqlMatches(*q, [&](size_t slot) -> std::optional<tw::platform::WmiValue> {
        switch (slot % 4) {
            case 0:
                return tw::platform::WmiValue::string(v);
            case 1:
                return tw::platform::WmiValue::int32(static_cast<int32_t>(v.size()));
            case 2:
                return std::nullopt;
            default:
                return tw::platform::WmiValue::boolean(v.empty());
        }
    });
    for (const auto& p : q->properties) tw::platform::wqlLowerTimeBound(*q, p);
    return 0;
}
