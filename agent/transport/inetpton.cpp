#include "agent/transport/inetpton.h"

#include <cstdint>
#include <cstring>

namespace tw {

namespace {

// Four decimal parts of one to three digits, each at most 255, without
// leading zeros, separated by single dots, nothing else.
bool parseIPv4(const char* text, unsigned char out[4]) {
    unsigned char bytes[4];
    int parts = 0;
    const char* p = text;
    while (true) {
        int digits = 0;
        int value = 0;
        const char* start = p;
        while (*p >= '0' && *p <= '9') {
            if (++digits > 3) return false;
            value = value * 10 + (*p - '0');
            ++p;
        }
        if (digits == 0 || value > 255) return false;
        if (digits > 1 && *start == '0') return false;
        bytes[parts++] = static_cast<unsigned char>(value);
        if (parts == 4) break;
        if (*p != '.') return false;
        ++p;
    }
    if (*p != '\0') return false;
    std::memcpy(out, bytes, 4);
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Hexadecimal groups separated by ':', each at most 0xFFFF; one "::" stands
// for one or more zero groups; the last 32 bits may be an IPv4 part; the
// result is exactly 16 bytes.
bool parseIPv6(const char* text, unsigned char out[16]) {
    unsigned char bytes[16] = {};
    int filled = 0;
    int gap = -1;  // where "::" stood, in bytes
    const char* p = text;
    if (*p == ':') {
        if (p[1] != ':') return false;
        ++p;  // the second ':' below opens the gap
    }
    const char* groupStart = p;
    bool inGroup = false;
    uint32_t value = 0;
    while (*p) {
        char c = *p++;
        int h = hexValue(c);
        if (h >= 0) {
            value = (value << 4) | static_cast<uint32_t>(h);
            if (value > 0xFFFF) return false;
            inGroup = true;
            continue;
        }
        if (c == ':') {
            groupStart = p;
            if (!inGroup) {
                if (gap >= 0) return false;  // a second "::", or ":::"
                gap = filled;
                continue;
            }
            if (*p == '\0') return false;  // a single ':' at the end
            if (filled + 2 > 16) return false;
            bytes[filled++] = static_cast<unsigned char>(value >> 8);
            bytes[filled++] = static_cast<unsigned char>(value & 0xFF);
            inGroup = false;
            value = 0;
            continue;
        }
        if (c == '.' && filled + 4 <= 16 && parseIPv4(groupStart, bytes + filled)) {
            filled += 4;
            inGroup = false;
            break;  // the IPv4 part ends the text
        }
        return false;
    }
    if (inGroup) {
        if (filled + 2 > 16) return false;
        bytes[filled++] = static_cast<unsigned char>(value >> 8);
        bytes[filled++] = static_cast<unsigned char>(value & 0xFF);
    }
    if (gap >= 0) {
        if (filled == 16) return false;  // "::" must stand for at least one group
        int tail = filled - gap;
        std::memmove(bytes + 16 - tail, bytes + gap, static_cast<size_t>(tail));
        std::memset(bytes + gap, 0, static_cast<size_t>(16 - tail - gap));
        filled = 16;
    }
    if (filled != 16) return false;
    std::memcpy(out, bytes, 16);
    return true;
}

}  // namespace

int inet_pton(int family, const char* text, void* out) {
    if (family != kAfInet && family != kAfInet6) return -1;
    if (!text || !out) return 0;
    unsigned char* bytes = static_cast<unsigned char*>(out);
    if (family == kAfInet) return parseIPv4(text, bytes) ? 1 : 0;
    return parseIPv6(text, bytes) ? 1 : 0;
}

}  // namespace tw
