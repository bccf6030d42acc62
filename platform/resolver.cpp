#include "platform/resolver.h"

namespace tw::platform {

std::string oneLineErrorText(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    if (text.size() > 1024) text.resize(1024);
    return text;
}

ResolveResult resolveWithin(std::function<ResolveResult()> lookup, const WaitBound& bound,
                            int timedOutCode) {
    ResolveResult result;
    if (runbounded(std::move(lookup), bound, result) == WaitEnd::Done) return result;
    result = ResolveResult{};
    result.error = timedOutCode;
    result.timedOut = true;
    return result;
}

std::optional<HostEntry> resolveHostWithin(std::function<std::optional<HostEntry>()> lookup) {
    std::optional<HostEntry> entry;
    if (runbounded(std::move(lookup), WaitBound{kHostResolveTimeoutMs, {}}, entry) != WaitEnd::Done)
        return std::nullopt;
    return entry;
}

}  // namespace tw::platform
