#include "platform/wmi/regfile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "platform/ascii.h"

namespace tw::platform {

namespace {

const char* kHeader = "Windows Registry Editor Version 5.00";

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool parseHexBytes(std::string_view s, std::string& out) {
    out.clear();
    s = trim(s);
    if (s.empty()) return true;
    size_t i = 0;
    while (true) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i + 2 > s.size()) return false;
        int hi = hexDigit(s[i]), lo = hexDigit(s[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i == s.size()) return true;
        if (s[i] != ',') return false;
        ++i;
    }
}

// Reads a quoted string starting at s[pos] == '"'; pos ends after the quote.
bool parseQuoted(std::string_view s, size_t& pos, std::string& out) {
    out.clear();
    if (pos >= s.size() || s[pos] != '"') return false;
    ++pos;
    while (pos < s.size()) {
        char c = s[pos];
        if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"')) {
            out.push_back(s[pos + 1]);
            pos += 2;
            continue;
        }
        if (c == '"') {
            ++pos;
            return true;
        }
        out.push_back(c);
        ++pos;
    }
    return false;
}

bool parseData(std::string_view data, RegValue& v, std::string& why) {
    data = trim(data);
    if (!data.empty() && data.front() == '"') {
        size_t pos = 0;
        std::string text;
        if (!parseQuoted(data, pos, text) || !trim(data.substr(pos)).empty()) {
            why = "unterminated or malformed string";
            return false;
        }
        v = RegValue::sz(std::move(text));
        return true;
    }
    const std::string lower = toLower(data.substr(0, std::min<size_t>(data.size(), 8)));
    if (lower.rfind("dword:", 0) == 0) {
        std::string_view digits = trim(data.substr(6));
        if (digits.empty() || digits.size() > 8) {
            why = "malformed dword";
            return false;
        }
        uint32_t n = 0;
        for (char c : digits) {
            int d = hexDigit(c);
            if (d < 0) {
                why = "malformed dword";
                return false;
            }
            n = n * 16 + static_cast<uint32_t>(d);
        }
        v = RegValue::dw(n);
        return true;
    }
    if (lower.rfind("hex", 0) == 0) {
        size_t colon = data.find(':');
        if (colon == std::string_view::npos) {
            why = "malformed hex value";
            return false;
        }
        std::string kind = toUpper(data.substr(0, colon));
        std::string bytes;
        if (!parseHexBytes(data.substr(colon + 1), bytes)) {
            why = "malformed hex bytes";
            return false;
        }
        if (kind == "HEX(1)" || kind == "HEX(2)") {
            v.type = kind == "HEX(1)" ? RegType::Sz : RegType::ExpandSz;
            v.data = bytesFromUtf16le(bytes);
        } else if (kind == "HEX(4)" && bytes.size() == 4) {
            v = RegValue::dw(static_cast<uint32_t>(static_cast<unsigned char>(bytes[0])) |
                             static_cast<uint32_t>(static_cast<unsigned char>(bytes[1])) << 8 |
                             static_cast<uint32_t>(static_cast<unsigned char>(bytes[2])) << 16 |
                             static_cast<uint32_t>(static_cast<unsigned char>(bytes[3])) << 24);
        } else if (kind.rfind("HEX", 0) == 0) {
            v.type = RegType::Binary;
            v.data = std::move(bytes);
        } else {
            why = "unknown value type";
            return false;
        }
        return true;
    }
    why = "unknown value type";
    return false;
}

std::string quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

bool plainPrintable(std::string_view s) {
    for (unsigned char c : s)
        if (c < 0x20 || c > 0x7e) return false;
    return true;
}

std::string hexLine(std::string_view prefix, std::string_view bytes, size_t firstWidth) {
    // A value of megabytes becomes tens of megabytes of text here; built
    // in one buffer, digit by digit, so that writing it stays well inside
    // the time a remote editor waits for the answer.
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out(prefix.size() + bytes.size() * 3 + (bytes.size() / 24 + 1) * 4, '\0');
    char* p = out.data();
    p = std::copy(prefix.begin(), prefix.end(), p);
    size_t width = firstWidth;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        *p++ = kDigits[b >> 4];
        *p++ = kDigits[b & 0xF];
        if (i + 1 < bytes.size()) {
            *p++ = ',';
            width += 3;
            if (width > 76) {
                p = std::copy_n("\\\n  ", 4, p);
                width = 2;
            }
        }
    }
    out.resize(static_cast<size_t>(p - out.data()));
    return out;
}

}  // namespace

std::string foldKeyPath(std::string_view path) {
    std::string p(path);
    while (!p.empty() && p.back() == '\\') p.pop_back();
    static const std::string wow = "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432NODE";
    std::string up = toUpper(p);
    if (up.rfind(wow, 0) == 0 && (up.size() == wow.size() || up[wow.size()] == '\\')) {
        const size_t cut = std::string("HKEY_LOCAL_MACHINE\\SOFTWARE").size();
        p.erase(cut, wow.size() - cut);
    }
    return p;
}

std::string normaliseKey(std::string_view path) {
    return toUpper(foldKeyPath(path));
}

namespace {

void putUnit(std::string& out, unsigned unit) {
    out.push_back(static_cast<char>(unit & 0xff));
    out.push_back(static_cast<char>(unit >> 8));
}

void putUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xc0 | cp >> 6));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xe0 | cp >> 12));
        out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    } else {
        out.push_back(static_cast<char>(0xf0 | cp >> 18));
        out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    }
}

// The code point of the UTF-8 sequence at s[i] and its length; length 0
// when the bytes there are not one (overlong forms and surrogates included).
uint32_t utf8At(std::string_view s, size_t i, size_t& len) {
    len = 0;
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned c = b(0);
    size_t n = c < 0x80             ? 1
               : (c & 0xe0) == 0xc0 ? 2
               : (c & 0xf0) == 0xe0 ? 3
               : (c & 0xf8) == 0xf0 ? 4
                                    : 0;
    if (n == 0 || i + n > s.size()) return 0;
    uint32_t cp = n == 1 ? c : n == 2 ? c & 0x1f : n == 3 ? c & 0x0f : c & 0x07;
    for (size_t k = 1; k < n; ++k) {
        if ((b(k) & 0xc0) != 0x80) return 0;
        cp = cp << 6 | (b(k) & 0x3f);
    }
    static const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return 0;
    len = n;
    return cp;
}

bool hasControl(std::string_view s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7f) return true;
    return false;
}

}  // namespace

std::string keyPathProblem(std::string_view path) {
    if (hasControl(path)) return "a key name holds a control character";
    std::string folded = foldKeyPath(path);
    if (folded.empty() || folded.front() == '\\' || folded.find("\\\\") != std::string::npos)
        return "empty key name";
    if (folded.front() == '-') return "a key path that begins with '-'";
    return {};
}

std::string valueNameProblem(std::string_view name) {
    return hasControl(name) ? "a value name holds a control character" : "";
}

std::string utf16leFromBytes(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2 + 2);
    for (size_t i = 0; i < text.size();) {
        size_t len = 0;
        uint32_t cp = utf8At(text, i, len);
        if (len == 0) {
            putUnit(out, 0xdc00 | static_cast<unsigned char>(text[i]));
            ++i;
            continue;
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            putUnit(out, 0xd800 | cp >> 10);
            putUnit(out, 0xdc00 | (cp & 0x3ff));
        } else {
            putUnit(out, cp);
        }
    }
    putUnit(out, 0);
    return out;
}

std::string bytesFromUtf16le(std::string_view utf16) {
    std::string out;
    out.reserve(utf16.size() / 2);
    const size_t units = utf16.size() / 2;
    const auto unitAt = [&](size_t k) {
        return static_cast<unsigned>(static_cast<unsigned char>(utf16[2 * k])) |
               static_cast<unsigned>(static_cast<unsigned char>(utf16[2 * k + 1])) << 8;
    };
    for (size_t k = 0; k < units; ++k) {
        const unsigned u = unitAt(k);
        if (u >= 0xd800 && u <= 0xdbff && k + 1 < units && unitAt(k + 1) >= 0xdc00 &&
            unitAt(k + 1) <= 0xdfff) {
            putUtf8(out, 0x10000 + ((u - 0xd800) << 10) + (unitAt(k + 1) - 0xdc00));
            ++k;
        } else if (u >= 0xdc80 && u <= 0xdcff) {
            out.push_back(static_cast<char>(u & 0xff));  // a byte that was not UTF-8
        } else if (u >= 0xd800 && u <= 0xdfff) {
            putUtf8(out, 0xfffd);
        } else {
            putUtf8(out, u);
        }
    }
    // The terminator goes; a zero inside the data stays, so that writing
    // the value again keeps all of it (readers stop at the first zero).
    if (!out.empty() && out.back() == '\0') out.pop_back();
    return out;
}

RegFileKey& ensureKey(RegTree& tree, const std::string& path) {
    const std::string folded = foldKeyPath(path);
    const std::string norm = toUpper(folded);
    auto [it, added] = tree.try_emplace(norm);
    if (!added) return it->second;
    it->second.path = folded;
    // Its ancestors too, so that listing a parent finds its children: the
    // nearest first, up to the first one there already (every key in the
    // tree has all of its own). Walking every ancestor of every key made a
    // file of deep keys quadratic to read.
    for (size_t cut = folded.rfind('\\'); cut != std::string::npos && cut > 0;
         cut = folded.rfind('\\', cut - 1)) {
        auto [parent, fresh] = tree.try_emplace(norm.substr(0, cut));
        if (!fresh) break;
        parent->second.path = folded.substr(0, cut);
    }
    return it->second;
}

bool hasSubkeys(const RegTree& tree, const std::string& norm) {
    // The first key at or after "KEY\": a sibling such as "KEY!" sorts
    // between a key and its subkeys.
    const std::string below = norm + "\\";
    auto sub = tree.lower_bound(below);
    return sub != tree.end() && sub->first.compare(0, below.size(), below) == 0;
}

std::optional<RegTree> parseRegFile(std::string_view text, RegParseError* error) {
    auto fail = [&](int line, std::string what) -> std::optional<RegTree> {
        if (error) *error = {line, std::move(what)};
        return std::nullopt;
    };
    // A UTF-8 byte-order mark is tolerated.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

    RegTree tree;
    RegFileKey* current = nullptr;
    int lineNo = 0;
    bool sawHeader = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string line(text.substr(pos, end - pos));
        pos = end + 1;
        ++lineNo;
        const int startLine = lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();

        if (!sawHeader) {
            if (trim(line).empty()) continue;
            if (trim(line) != kHeader)
                return fail(startLine, "missing \"" + std::string(kHeader) + "\" header");
            sawHeader = true;
            continue;
        }
        std::string_view t = trim(line);
        if (t.empty() || t.front() == ';') continue;
        if (t.front() == '[') {
            if (t.back() != ']' || t.size() < 3) return fail(startLine, "malformed key line");
            std::string_view path = t.substr(1, t.size() - 2);
            if (path.front() == '-') return fail(startLine, "key deletion is not supported");
            // A key name is never empty: a path that begins with a backslash
            // would give a nameless ancestor that no file can hold.
            if (path.find("\\\\") != std::string_view::npos || path.front() == '\\')
                return fail(startLine, "empty key name");
            current = &ensureKey(tree, std::string(path));
            continue;
        }
        if (!current) return fail(startLine, "value outside of a key");

        // Value line: @=data or "name"=data; hex data may continue on the next
        // lines after a trailing backslash.
        std::string name;
        size_t p = 0;
        std::string whole(t);
        if (whole[0] == '@') {
            p = 1;
        } else if (whole[0] == '"') {
            if (!parseQuoted(whole, p, name)) return fail(startLine, "malformed value name");
        } else {
            return fail(startLine, "unexpected text");
        }
        while (p < whole.size() && (whole[p] == ' ' || whole[p] == '\t')) ++p;
        if (p >= whole.size() || whole[p] != '=') return fail(startLine, "missing '='");
        std::string data = whole.substr(p + 1);
        std::string asRead = data;
        std::string_view dtrim = trim(data);
        if (dtrim.size() >= 3 && (dtrim[0] == 'h' || dtrim[0] == 'H')) {
            while (true) {
                // Trimmed in place: copying the gathered text at every
                // continuation line made long values quadratic to read.
                std::string_view td = trim(data);
                if (td.empty() || td.back() != '\\') break;
                const size_t lead = static_cast<size_t>(td.data() - data.data());
                data.resize(lead + td.size() - 1);
                data.erase(0, lead);
                if (pos >= text.size()) return fail(lineNo, "continuation at end of file");
                size_t e = text.find('\n', pos);
                if (e == std::string_view::npos) e = text.size();
                std::string next(text.substr(pos, e - pos));
                pos = e + 1;
                ++lineNo;
                // Every carriage return at the end goes, not only a CR LF's: one
                // kept would be read as the line's end after the next write.
                while (!next.empty() && next.back() == '\r') next.pop_back();
                asRead += '\n';
                asRead += next;
                data += std::string(trim(next));
            }
        }
        if (trim(data) == "-") return fail(startLine, "value deletion is not supported");
        RegValue v;
        std::string why;
        if (!parseData(data, v, why)) return fail(startLine, why);
        bool replaced = false;
        for (auto& existing : current->values) {
            if (toUpper(existing.name) == toUpper(name)) {
                existing.value = v;
                existing.asRead = std::move(asRead);
                replaced = true;
                break;
            }
        }
        if (!replaced) current->values.push_back({name, std::move(v), std::move(asRead)});
    }
    if (!sawHeader && !text.empty()) {
        bool blank = trim(text).empty();
        if (!blank) return fail(1, "missing header");
    }
    return tree;
}

std::string writeRegFile(const RegTree& tree) {
    std::string out = std::string(kHeader) + "\n";
    for (const auto& [norm, key] : tree) {
        out += "\n[" + key.path + "]\n";
        // The default value first, as the registry editor writes it.
        for (int pass = 0; pass < 2; ++pass) {
            for (const auto& v : key.values) {
                if ((pass == 0) != v.name.empty()) continue;
                std::string lhs = v.name.empty() ? "@" : quote(v.name);
                lhs += "=";
                if (!v.asRead.empty()) {
                    out += lhs + v.asRead + "\n";
                    continue;
                }
                switch (v.value.type) {
                    case RegType::Sz:
                        if (plainPrintable(v.value.data))
                            out += lhs + quote(v.value.data) + "\n";
                        else
                            out += hexLine(lhs + "hex(1):", utf16leFromBytes(v.value.data),
                                           lhs.size() + 7) +
                                   "\n";
                        break;
                    case RegType::ExpandSz:
                        out += hexLine(lhs + "hex(2):", utf16leFromBytes(v.value.data),
                                       lhs.size() + 7) +
                               "\n";
                        break;
                    case RegType::Dword: {
                        char buf[16];
                        std::snprintf(buf, sizeof buf, "dword:%08x", v.value.dword);
                        out += lhs + buf + "\n";
                        break;
                    }
                    case RegType::Binary:
                        out += hexLine(lhs + "hex:", v.value.data, lhs.size() + 4) + "\n";
                        break;
                }
            }
        }
    }
    return out;
}

}  // namespace tw::platform
