#include "platform/posix/wmi_bridge.h"

#include <algorithm>
#include <climits>
#include <limits>

#include "platform/wmi_table.h"

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

// ---- answer reading -----------------------------------------------------------
//
// Answers are read by a small reader of their own rather than through a
// JSON document: a query may bring a hundred thousand objects, and reading
// them straight into rows costs a fraction of building a document first.

struct AnswerReader::Impl {
    const char* p = nullptr;
    const char* end = nullptr;
    std::string error;
    std::string key, text;
    // The object being read: its class, property names and values.
    std::string className;
    bool hasClass = false;
    std::vector<std::string> names;
    size_t nameCount = 0;
    WmiRowValues values;
    std::shared_ptr<WmiClassShape> lastShape;
    // The classes of the batch being read, by index.
    struct BatchShape {
        std::shared_ptr<WmiClassShape> shape;  // null: objects without a class
        std::vector<std::string> names;
        std::vector<size_t> column;  // name -> column of shape
        bool plain = false;          // every name its own column, in order
    };
    std::vector<BatchShape> batchShapes;

    bool fail(const std::string& why) {
        if (error.empty()) error = why + " at byte " + std::to_string(offset);
        return false;
    }
    size_t offset = 0;
    const char* begin = nullptr;
    bool failAt(const std::string& why) {
        offset = static_cast<size_t>(p - begin);
        return fail(why);
    }

    void ws() {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) ++p;
    }
    bool eat(char c) {
        ws();
        if (p < end && *p == c) {
            ++p;
            return true;
        }
        return false;
    }
    bool expect(char c) { return eat(c) || failAt(std::string("'") + c + "' expected"); }
    bool literal(std::string_view word) {
        if (static_cast<size_t>(end - p) < word.size() || std::string_view(p, word.size()) != word)
            return failAt("unknown literal");
        p += word.size();
        return true;
    }

    static void appendUtf8(std::string& out, uint32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    bool hex4(uint32_t& v) {
        if (end - p < 4) return failAt("short \\u escape");
        v = 0;
        for (int i = 0; i < 4; ++i) {
            int d = hexDigit(*p++);
            if (d < 0) return failAt("bad \\u escape");
            v = v * 16 + static_cast<uint32_t>(d);
        }
        return true;
    }

    // A JSON string into out (replacing its contents).
    bool string(std::string& out) {
        out.clear();
        ws();
        if (p >= end || *p != '"') return failAt("a string expected");
        ++p;
        while (true) {
            const char* run = p;
            while (p < end && *p != '"' && *p != '\\' && static_cast<unsigned char>(*p) >= 0x20)
                ++p;
            out.append(run, static_cast<size_t>(p - run));
            if (p >= end) return failAt("unterminated string");
            if (*p == '"') {
                ++p;
                return true;
            }
            if (*p != '\\') return failAt("a control character in a string");
            if (++p >= end) return failAt("unterminated string");
            switch (*p++) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '/':
                    out += '/';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    uint32_t cp;
                    if (!hex4(cp)) return false;
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        uint32_t lo;
                        if (end - p < 2 || p[0] != '\\' || p[1] != 'u')
                            return failAt("lone surrogate");
                        p += 2;
                        if (!hex4(lo) || lo < 0xDC00 || lo > 0xDFFF)
                            return failAt("lone surrogate");
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                        return failAt("lone surrogate");
                    }
                    appendUtf8(out, cp);
                    break;
                }
                default:
                    return failAt("unknown escape");
            }
        }
    }

    // An integer; floats and numbers beyond 64 bits are refused.
    bool integer(int64_t& v) {
        ws();
        bool negative = p < end && *p == '-';
        if (negative) ++p;
        const char* digits = p;
        uint64_t u = 0;
        while (p < end && *p >= '0' && *p <= '9') {
            if (u > (uint64_t{1} << 62)) return failAt("a number beyond 64 bits");
            u = u * 10 + static_cast<uint64_t>(*p++ - '0');
        }
        if (p == digits) return failAt("a number expected");
        if (p < end && (*p == '.' || *p == 'e' || *p == 'E')) return failAt("not an integer");
        v = negative ? -static_cast<int64_t>(u) : static_cast<int64_t>(u);
        return true;
    }

    bool boolean(bool& v) {
        ws();
        if (p < end && *p == 't') {
            v = true;
            return literal("true");
        }
        v = false;
        return literal("false");
    }

    // Any value, passed over (fields this reader does not use).
    bool skip(int depth = 0) {
        if (depth > 64) return failAt("nested too deeply");
        ws();
        if (p >= end) return failAt("a value expected");
        switch (*p) {
            case '"':
                return string(text);
            case '{':
            case '[': {
                const char close = *p == '{' ? '}' : ']';
                const bool object = *p == '{';
                ++p;
                if (eat(close)) return true;
                do {
                    if (object && (!string(key) || !expect(':'))) return false;
                    if (!skip(depth + 1)) return false;
                } while (eat(','));
                return expect(close);
            }
            case 't':
                return literal("true");
            case 'f':
                return literal("false");
            case 'n':
                return literal("null");
            default: {
                ws();
                if (*p == '-') ++p;
                const char* s = p;
                while (p < end && ((*p >= '0' && *p <= '9') || *p == '.' || *p == 'e' ||
                                   *p == 'E' || *p == '+' || *p == '-'))
                    ++p;
                return p > s || failAt("a value expected");
            }
        }
    }

    // {"$type": ..., ...}: absent (nullopt), other, or a byte string.
    bool typed(std::optional<WmiValue>& out) {
        std::string type, value, bytes;
        bool hasBytes = false;
        ++p;  // '{'
        if (!eat('}')) {
            do {
                if (!string(key) || !expect(':')) return false;
                ws();
                const bool isText = p < end && *p == '"';
                if (key == "$type" && isText) {
                    if (!string(type)) return false;
                } else if (key == "value" && isText) {
                    if (!string(value)) return false;
                } else if (key == "bytes" && isText) {
                    if (!string(bytes)) return false;
                    hasBytes = true;
                } else if (!skip()) {
                    return false;
                }
            } while (eat(','));
            if (!expect('}')) return false;
        }
        if (type == "absent") {
            out.reset();
        } else if (type == "other") {
            out = WmiValue::other(std::move(value));
        } else if (type == "string" && hasBytes) {
            auto s = fromHex(bytes);
            if (!s) return failAt("a byte string that is not hexadecimal");
            out = WmiValue::string(std::move(*s));
        } else {
            return failAt("a value of unknown type \"" + type + "\"");
        }
        return true;
    }

    bool value(std::optional<WmiValue>& out) {
        ws();
        if (p >= end) return failAt("a value expected");
        switch (*p) {
            case '"':
                if (!string(text)) return false;
                out = WmiValue::string(text);
                return true;
            case 'n':
                out = WmiValue::null();
                return literal("null");
            case 't':
            case 'f': {
                bool b;
                if (!boolean(b)) return false;
                out = WmiValue::boolean(b);
                return true;
            }
            case '{':
                return typed(out);
            case '[':
                return failAt("a property value that is a list");
            default: {
                int64_t v;
                if (!integer(v)) return false;
                auto i = int32Of(v);
                if (!i) return failAt("an integer beyond 32 bits");
                out = WmiValue::int32(*i);
                return true;
            }
        }
    }

    // One object into answer.objects.
    bool object(Answer& answer) {
        if (!expect('{')) return false;
        hasClass = false;
        nameCount = 0;
        values.clear();
        if (!eat('}')) {
            do {
                if (nameCount == names.size()) names.emplace_back();
                std::string& name = names[nameCount];
                if (!string(name) || !expect(':')) return false;
                if (!hasClass && nameCount == 0 && values.empty() && name == "__CLASS") {
                    std::optional<WmiValue> v;
                    if (!value(v)) return false;
                    if (!v || v->type != WmiType::String) return failAt("__CLASS is not a text");
                    className = std::move(v->s);
                    hasClass = true;
                    continue;
                }
                values.emplace_back();
                if (!value(values.back())) return false;
                ++nameCount;
            } while (eat(','));
            if (!expect('}')) return false;
        }
        if (!hasClass) {
            auto bag = std::make_unique<WmiPropertyBag>();
            for (size_t i = 0; i < nameCount; ++i)
                if (values[i]) bag->set(names[i], std::move(*values[i]));
            answer.objects.push_back(std::move(bag));
            return true;
        }
        auto shape = shapeFor();
        if (shape->columns().size() == nameCount) {
            answer.objects.push_back(makeTableObject(shape, std::move(values)));
            values = WmiRowValues();
        } else {  // a name given twice: the last one holds
            WmiRowValues r(shape->columns().size());
            for (size_t i = 0; i < nameCount; ++i) r[*shape->find(names[i])] = std::move(values[i]);
            answer.objects.push_back(makeTableObject(shape, std::move(r)));
        }
        return true;
    }

    // The classes of a batch: ["Class", "Prop", ...] each.
    bool classes() {
        batchShapes.clear();
        if (!expect('[')) return false;
        if (eat(']')) return true;
        do {
            if (!expect('[')) return false;
            ws();
            hasClass = !(p < end && *p == 'n');
            if (hasClass ? !string(className) : !literal("null")) return false;
            nameCount = 0;
            while (eat(',')) {
                if (nameCount == names.size()) names.emplace_back();
                if (!string(names[nameCount++])) return false;
            }
            if (!expect(']')) return false;
            BatchShape b;
            b.names.assign(names.begin(), names.begin() + static_cast<ptrdiff_t>(nameCount));
            if (hasClass) {
                b.shape = shapeFor();
                for (const auto& n : b.names) b.column.push_back(*b.shape->find(n));
                b.plain = b.shape->columns().size() == nameCount;
            }
            batchShapes.push_back(std::move(b));
        } while (eat(','));
        return expect(']');
    }

    // One row of a batch: [class index, values...].
    bool row(Answer& a) {
        if (!expect('[')) return false;
        int64_t k;
        if (!integer(k)) return false;
        if (k < 0 || static_cast<size_t>(k) >= batchShapes.size())
            return failAt("a row of a class that the batch does not name");
        const BatchShape& b = batchShapes[static_cast<size_t>(k)];
        values.clear();
        values.reserve(b.names.size());
        for (size_t i = 0; i < b.names.size(); ++i) {
            if (!expect(',')) return false;
            values.emplace_back();
            if (!value(values.back())) return false;
        }
        if (!expect(']')) return false;
        if (!b.shape) {
            auto bag = std::make_unique<WmiPropertyBag>();
            for (size_t i = 0; i < values.size(); ++i)
                if (values[i]) bag->set(b.names[i], std::move(*values[i]));
            a.objects.push_back(std::move(bag));
        } else if (b.plain) {
            a.objects.push_back(makeTableObject(b.shape, std::move(values)));
            values = WmiRowValues();
        } else {
            WmiRowValues r(b.shape->columns().size());
            for (size_t i = 0; i < values.size(); ++i) r[b.column[i]] = std::move(values[i]);
            a.objects.push_back(makeTableObject(b.shape, std::move(r)));
        }
        return true;
    }

    // The class shape for className and the first nameCount names: the
    // last one when it is the same, so the objects of a class share it.
    std::shared_ptr<WmiClassShape> shapeFor() {
        bool same =
            lastShape && lastShape->name() == className && lastShape->columns().size() == nameCount;
        for (size_t i = 0; same && i < nameCount; ++i) same = lastShape->columns()[i] == names[i];
        if (!same) {
            lastShape = std::make_shared<WmiClassShape>(className);
            for (size_t i = 0; i < nameCount; ++i) lastShape->add(names[i]);
        }
        return lastShape;
    }

    bool answer(Answer& a) {
        if (!expect('{')) return false;
        if (eat('}')) return true;
        do {
            if (!string(key) || !expect(':')) return false;
            ws();
            if (key == "id") {
                if (p < end && *p == 'n') {
                    if (!literal("null")) return false;
                } else {
                    if (!integer(a.id)) return false;
                    a.hasId = true;
                }
            } else if (key == "ok") {
                if (!boolean(a.ok)) return false;
            } else if (key == "more") {
                if (!boolean(a.more)) return false;
            } else if (key == "error" || key == "machine") {
                if (!string(key == "error" ? a.error : a.machine)) return false;
            } else if (key == "protocol") {
                int64_t v;
                if (!integer(v)) return false;
                a.protocol = static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
            } else if (key == "classes") {
                if (!classes()) return false;
            } else if (key == "rows") {
                if (!expect('[')) return false;
                if (!eat(']')) {
                    do {
                        if (!row(a)) return false;
                    } while (eat(','));
                    if (!expect(']')) return false;
                }
            } else if (key == "object" || key == "out") {
                a.single = true;
                if (!object(a)) return false;
            } else if (!skip()) {
                return false;
            }
        } while (eat(','));
        if (!expect('}')) return false;
        ws();
        return p == end || failAt("text after the answer");
    }
};

AnswerReader::AnswerReader() : impl_(std::make_unique<Impl>()) {}
AnswerReader::~AnswerReader() = default;

std::optional<Answer> AnswerReader::read(std::string_view line, std::string* error) {
    Impl& r = *impl_;
    r.begin = r.p = line.data();
    r.end = line.data() + line.size();
    r.error.clear();
    Answer a;
    if (!r.answer(a)) {
        *error = r.error;
        return std::nullopt;
    }
    if (!a.hasId) {
        *error = "the answer has no numeric id";
        return std::nullopt;
    }
    return a;
}

}  // namespace tw::platform::bridge
