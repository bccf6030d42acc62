// How deep arrays and objects nest in a JSON text, found before it is
// parsed: the JSON library's serializer and copies recurse once per level,
// so a text nested deeply enough would overflow the stack of whoever reads
// it. No text of ours nests anywhere near the limit.
#pragma once

#include <string_view>

namespace tw::platform {

inline constexpr int kMaxJsonDepth = 64;

// Whether arrays and objects nest deeper than the limit anywhere in the
// text (brackets inside strings do not count). One pass, before the parse:
// the library's own depth callback slows a large text down many times.
inline bool nestedTooDeep(std::string_view text, int limit = kMaxJsonDepth) {
    int depth = 0;
    bool inString = false, escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return true;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return false;
}

}  // namespace tw::platform
