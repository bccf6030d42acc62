// Address-text parsing for the status channel. The agent's own rules, not the
// C library's: they decide whether a destination is an address (resolved
// numerically) or a name. Exported by the agent as "_inet_pton@12".
#pragma once

namespace tw {

inline constexpr int kAfInet = 2;    // IPv4
inline constexpr int kAfInet6 = 23;  // IPv6, by the Windows numbering

// 1 when text is a valid address of the family (out receives 4 or 16 bytes
// in network order), 0 when it is not (out untouched), -1 for any other
// family. A null text is not an address.
int inet_pton(int family, const char* text, void* out);

}  // namespace tw
