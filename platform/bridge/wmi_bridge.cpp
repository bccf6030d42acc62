#include "platform/bridge/wmi_bridge.h"

#include <algorithm>
#include <climits>
#include <limits>

#include "platform/wmi/wmi_table.h"

namespace tw::platform::bridge {

namespace {

const char kHex[] = "0123456789abcdef";

// Length of the well-formed UTF-8 sequence at s[i], or 0.
size_t utf8Length(std::string_view s, size_t i) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    if (c < 0x80) return 1;
    size_t n;
    unsigned lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;  // no overlong forms
        if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    if (b(i + 1) < lo || b(i + 1) > hi) return 0;
    for (size_t k = 2; k < n; ++k)
        if (b(i + k) < 0x80 || b(i + k) > 0xBF) return 0;
    return n;
}

void appendEscaped(std::string& out, unsigned char c) {
    switch (c) {
        case '"':
            out += "\\\"";
            return;
        case '\\':
            out += "\\\\";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\t':
            out += "\\t";
            return;
        default:
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
    }
}

}  // namespace

namespace {

// Writes text as a JSON string; at a byte that is not UTF-8 either writes
// U+FFFD (lossy) or gives up and answers false with out as it was.
bool writeString(std::string& out, std::string_view text, bool lossy) {
    const size_t start = out.size();
    out += '"';
    size_t run = 0;  // start of the bytes not yet copied
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
            ++i;
            continue;
        }
        if (c >= 0x80) {
            if (size_t n = utf8Length(text, i)) {
                i += n;
                continue;
            }
            if (!lossy) {
                out.resize(start);
                return false;
            }
            out.append(text.substr(run, i - run));
            out += "\xEF\xBF\xBD";
            run = ++i;
            continue;
        }
        out.append(text.substr(run, i - run));
        appendEscaped(out, c);
        run = ++i;
    }
    out.append(text.substr(run));
    out += '"';
    return true;
}

}  // namespace

void appendString(std::string& out, std::string_view text) {
    writeString(out, text, true);
}

void appendText(std::string& out, std::string_view text) {
    if (writeString(out, text, false)) return;
    out += R"({"$type":"string","bytes":")";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    out += "\"}";
}

void appendValue(std::string& out, const WmiValue& v) {
    switch (v.type) {
        case WmiType::Null:
            out += "null";
            return;
        case WmiType::Int32:
            out += std::to_string(v.i);
            return;
        case WmiType::String:
            appendText(out, v.s);
            return;
        case WmiType::Bool:
            out += v.b ? "true" : "false";
            return;
        case WmiType::Other:
            out += R"({"$type":"other","value":)";
            appendString(out, v.s);
            out += '}';
            return;
    }
}

void appendObject(std::string& out, const WmiObject& object) {
    out += '{';
    bool first = true;
    if (auto cls = object.get("__CLASS"); cls && cls->type == WmiType::String) {
        out += "\"__CLASS\":";
        appendText(out, cls->s);
        first = false;
    }
    for (const auto& name : object.propertyNames()) {
        if (!first) out += ',';
        first = false;
        appendString(out, name);
        out += ':';
        if (auto v = object.get(name))
            appendValue(out, *v);
        else
            out += R"({"$type":"absent"})";
    }
    out += '}';
}

bool BatchWriter::add(const WmiObject& object, size_t maxBytes) {
    const size_t classesBefore = classes_.size(), rowsBefore = rows_.size();
    const size_t shapesBefore = shapes_.size(), lastBefore = lastShape_;
    std::optional<std::string> cls;
    if (auto c = object.get("__CLASS"); c && c->type == WmiType::String) cls = std::move(c->s);
    std::vector<std::string> names = object.propertyNames();
    // Objects of one class come together; a class seen earlier in the batch
    // but not just before is simply named again.
    if (shapes_.empty() || shapes_[lastShape_].cls != cls || shapes_[lastShape_].names != names) {
        if (!shapes_.empty()) classes_ += ',';
        classes_ += '[';
        if (cls)
            appendText(classes_, *cls);
        else
            classes_ += "null";
        for (const auto& n : names) {
            classes_ += ',';
            appendString(classes_, n);
        }
        classes_ += ']';
        lastShape_ = shapes_.size();
        shapes_.push_back({std::move(cls), std::move(names)});
    }
    if (count_) rows_ += ',';
    rows_ += '[';
    rows_ += std::to_string(lastShape_);
    for (const auto& n : shapes_[lastShape_].names) {
        rows_ += ',';
        if (auto v = object.get(n))
            appendValue(rows_, *v);
        else
            rows_ += R"({"$type":"absent"})";
    }
    rows_ += ']';
    if (bytes() > maxBytes) {
        classes_.resize(classesBefore);
        rows_.resize(rowsBefore);
        shapes_.resize(shapesBefore);
        lastShape_ = lastBefore;
        return false;
    }
    ++count_;
    return true;
}

void BatchWriter::take(std::string& out) {
    out += "\"classes\":[";
    out += classes_;
    out += "],\"rows\":[";
    out += rows_;
    out += ']';
    classes_.clear();
    rows_.clear();
    shapes_.clear();
    lastShape_ = 0;
    count_ = 0;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> fromHex(std::string_view hex) {
    if (hex.size() % 2) return std::nullopt;
    std::string out;
    out.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        int a = hexDigit(hex[i]), b = hexDigit(hex[i + 1]);
        if (a < 0 || b < 0) return std::nullopt;
        out += static_cast<char>(a * 16 + b);
    }
    return out;
}

std::optional<int32_t> int32Of(int64_t v) {
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(v);
}

std::optional<std::string> textOf(const Json& json) {
    if (json.is_string()) return json.get<std::string>();
    if (!json.is_object()) return std::nullopt;
    auto type = json.find("$type");
    auto bytes = json.find("bytes");
    if (type == json.end() || bytes == json.end() || !type->is_string() || !bytes->is_string() ||
        type->get<std::string>() != "string")
        return std::nullopt;
    return fromHex(bytes->get<std::string>());
}

std::optional<WmiValue> valueOf(const Json& json, bool* absent) {
    *absent = false;
    if (json.is_null()) return WmiValue::null();
    if (json.is_boolean()) return WmiValue::boolean(json.get<bool>());
    if (json.is_number_integer()) {
        auto v = json.is_number_unsigned()
                     ? (json.get<uint64_t>() > uint64_t{std::numeric_limits<int32_t>::max()}
                            ? std::nullopt
                            : int32Of(static_cast<int64_t>(json.get<uint64_t>())))
                     : int32Of(json.get<int64_t>());
        if (!v) return std::nullopt;
        return WmiValue::int32(*v);
    }
    if (json.is_string()) return WmiValue::string(json.get<std::string>());
    if (!json.is_object()) return std::nullopt;
    auto type = json.find("$type");
    if (type == json.end() || !type->is_string()) return std::nullopt;
    const std::string t = type->get<std::string>();
    if (t == "absent") {
        *absent = true;
        return WmiValue::null();
    }
    if (t == "other") {
        auto v = json.find("value");
        if (v == json.end()) return WmiValue::other();
        return WmiValue::other(v->is_string() ? v->get<std::string>() : v->dump());
    }
    if (auto s = textOf(json)) return WmiValue::string(std::move(*s));
    return std::nullopt;
}

std::unique_ptr<WmiPropertyBag> bagOf(const Json& json, std::string* error) {
    if (!json.is_object()) {
        *error = "parameters must be a JSON object";
        return nullptr;
    }
    auto bag = std::make_unique<WmiPropertyBag>();
    for (const auto& [name, value] : json.items()) {
        bool absent = false;
        auto v = valueOf(value, &absent);
        if (!v) {
            *error = "parameter " + name + " has no WMI type";
            return nullptr;
        }
        if (!absent) bag->set(name, std::move(*v));
    }
    return bag;
}

std::optional<int64_t> quickId(std::string_view line) {
    constexpr std::string_view head = "{\"id\":";
    if (line.substr(0, head.size()) != head) return std::nullopt;
    size_t i = head.size();
    bool negative = i < line.size() && line[i] == '-';
    if (negative) ++i;
    const size_t digits = i;
    int64_t v = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9' && i - digits < 18)
        v = v * 10 + (line[i++] - '0');
    if (i == digits || i >= line.size() || (line[i] != ',' && line[i] != '}')) return std::nullopt;
    return negative ? -v : v;
}

bool quickMore(std::string_view line) {
    size_t comma = line.find(',');
    if (comma == std::string_view::npos) return false;
    return line.substr(comma, 23) == R"(,"ok":true,"more":true,)";
}

}  // namespace tw::platform::bridge
