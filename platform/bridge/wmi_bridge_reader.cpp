#include <cstdint>
#include <limits>

#include "platform/bridge/wmi_bridge.h"
#include "platform/wmi/wmi_table.h"

namespace tw::platform::bridge {

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
        // The magnitude a signed 64-bit figure can hold: one more below zero.
        const uint64_t limit = uint64_t{INT64_MAX} + (negative ? 1 : 0);
        while (p < end && *p >= '0' && *p <= '9') {
            const auto d = static_cast<uint64_t>(*p++ - '0');
            if (u > (limit - d) / 10) return failAt("a number beyond 64 bits");
            u = u * 10 + d;
        }
        if (p == digits) return failAt("a number expected");
        if (p < end && (*p == '.' || *p == 'e' || *p == 'E')) return failAt("not an integer");
        v = negative ? static_cast<int64_t>(0 - u) : static_cast<int64_t>(u);
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
