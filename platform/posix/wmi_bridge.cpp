#include "platform/posix/wmi_bridge.h"

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

bool isUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        size_t n = utf8Length(s, i);
        if (!n) return false;
        i += n;
    }
    return true;
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

bool needsEscape(unsigned char c) {
    return c < 0x20 || c == '"' || c == '\\';
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

void appendString(std::string& out, std::string_view text) {
    out += '"';
    size_t run = 0;  // start of the bytes not yet copied
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            size_t n = utf8Length(text, i);
            if (n) {
                i += n;
                continue;
            }
            out.append(text.substr(run, i - run));
            out += "\xEF\xBF\xBD";
            run = ++i;
            continue;
        }
        if (needsEscape(c)) {
            out.append(text.substr(run, i - run));
            appendEscaped(out, c);
            run = i + 1;
        }
        ++i;
    }
    out.append(text.substr(run));
    out += '"';
}

void appendText(std::string& out, std::string_view text) {
    if (isUtf8(text)) {
        appendString(out, text);
        return;
    }
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

struct AnswerReader::Impl final : nlohmann::json_sax<Json> {
    enum class Frame { Top, Objects, Object, Typed, Skip };

    Answer answer;
    std::string error;
    std::vector<Frame> stack;
    std::string topKey;
    // The object being read.
    std::optional<std::string> className;
    std::vector<std::string> names;
    WmiRowValues values;
    // The typed value being read.
    std::string typedType, typedValue, typedBytes, typedKey;
    bool typedHasBytes = false;
    std::shared_ptr<WmiClassShape> lastShape;

    bool fail(std::string why) {
        if (error.empty()) error = std::move(why);
        return false;
    }

    Frame top() const { return stack.empty() ? Frame::Skip : stack.back(); }

    void beginObject() {
        className.reset();
        names.clear();
        values.clear();
    }

    bool put(WmiValue v) {
        if (names.size() == values.size() + 1 && names.back() == "__CLASS" && !className) {
            if (v.type != WmiType::String) return fail("__CLASS is not a text");
            className = std::move(v.s);
            names.pop_back();
            return true;
        }
        values.emplace_back(std::move(v));
        return true;
    }

    void endObject() {
        if (!className) {
            auto bag = std::make_unique<WmiPropertyBag>();
            for (size_t i = 0; i < names.size(); ++i)
                if (values[i]) bag->set(names[i], std::move(*values[i]));
            answer.objects.push_back(std::move(bag));
            return;
        }
        if (!lastShape || lastShape->name() != *className || lastShape->columns() != names) {
            lastShape = std::make_shared<WmiClassShape>(*className);
            for (const auto& n : names) lastShape->add(n);
        }
        WmiRowValues row(lastShape->columns().size());
        if (row.size() == names.size()) {
            row = std::move(values);
            values = WmiRowValues();
        } else {  // a name given twice: the last one holds
            for (size_t i = 0; i < names.size(); ++i)
                row[*lastShape->find(names[i])] = std::move(values[i]);
        }
        answer.objects.push_back(makeTableObject(lastShape, std::move(row)));
    }

    // A scalar at the current place.
    bool scalar(WmiValue v, bool isInteger = false, int64_t integer = 0) {
        switch (top()) {
            case Frame::Top:
                if (topKey == "id" && isInteger) {
                    answer.hasId = true;
                    answer.id = integer;
                } else if (topKey == "ok" && v.type == WmiType::Bool) {
                    answer.ok = v.b;
                } else if (topKey == "more" && v.type == WmiType::Bool) {
                    answer.more = v.b;
                } else if (topKey == "error" && v.type == WmiType::String) {
                    answer.error = std::move(v.s);
                } else if (topKey == "protocol" && isInteger) {
                    answer.protocol = static_cast<int>(integer);
                } else if (topKey == "machine" && v.type == WmiType::String) {
                    answer.machine = std::move(v.s);
                }
                return true;
            case Frame::Object:
                return put(std::move(v));
            case Frame::Typed:
                if (v.type == WmiType::String) {
                    if (typedKey == "$type") typedType = std::move(v.s);
                    if (typedKey == "value") typedValue = std::move(v.s);
                    if (typedKey == "bytes") {
                        typedBytes = std::move(v.s);
                        typedHasBytes = true;
                    }
                }
                return true;
            case Frame::Objects:
                return fail("an object list holds a value that is not an object");
            case Frame::Skip:
                return true;
        }
        return true;
    }

    bool integer(int64_t v) {
        auto i = int32Of(v);
        if (top() == Frame::Object && !i) return fail("an integer beyond 32 bits");
        return scalar(WmiValue::int32(i.value_or(0)), true, v);
    }

    bool null() override { return scalar(WmiValue::null()); }
    bool boolean(bool v) override { return scalar(WmiValue::boolean(v)); }
    bool number_integer(number_integer_t v) override { return integer(v); }
    bool number_unsigned(number_unsigned_t v) override {
        if (v > uint64_t{std::numeric_limits<int64_t>::max()}) return integer(-1);
        return integer(static_cast<int64_t>(v));
    }
    bool number_float(number_float_t, const string_t&) override {
        if (top() == Frame::Object) return fail("a number that is not an integer");
        return true;
    }
    bool string(string_t& v) override { return scalar(WmiValue::string(std::move(v))); }
    bool binary(binary_t&) override { return fail("binary data"); }

    bool start_object(std::size_t) override {
        if (stack.empty()) {
            stack.push_back(Frame::Top);
            return true;
        }
        switch (top()) {
            case Frame::Objects:
                beginObject();
                stack.push_back(Frame::Object);
                return true;
            case Frame::Top:
                if (topKey == "object" || topKey == "out") {
                    answer.single = true;
                    beginObject();
                    stack.push_back(Frame::Object);
                } else {
                    stack.push_back(Frame::Skip);
                }
                return true;
            case Frame::Object:
                typedType.clear();
                typedValue.clear();
                typedBytes.clear();
                typedHasBytes = false;
                stack.push_back(Frame::Typed);
                return true;
            default:
                stack.push_back(Frame::Skip);
                return true;
        }
    }

    bool end_object() override {
        const Frame f = top();
        stack.pop_back();
        if (f == Frame::Object) {
            endObject();
        } else if (f == Frame::Typed) {
            if (typedType == "absent") {
                values.emplace_back(std::nullopt);
            } else if (typedType == "other") {
                return put(WmiValue::other(std::move(typedValue)));
            } else if (typedType == "string" && typedHasBytes) {
                auto s = fromHex(typedBytes);
                if (!s) return fail("a byte string that is not hexadecimal");
                return put(WmiValue::string(std::move(*s)));
            } else {
                return fail("a value of unknown type \"" + typedType + "\"");
            }
        }
        return true;
    }

    bool key(string_t& k) override {
        switch (top()) {
            case Frame::Top:
                topKey = std::move(k);
                break;
            case Frame::Object:
                names.push_back(std::move(k));
                break;
            case Frame::Typed:
                typedKey = std::move(k);
                break;
            default:
                break;
        }
        return true;
    }

    bool start_array(std::size_t) override {
        if (top() == Frame::Top && topKey == "objects") {
            stack.push_back(Frame::Objects);
            return true;
        }
        if (top() == Frame::Object || top() == Frame::Objects)
            return fail("a property value that is a list");
        stack.push_back(Frame::Skip);
        return true;
    }

    bool end_array() override {
        stack.pop_back();
        return true;
    }

    bool parse_error(std::size_t, const std::string&,
                     const nlohmann::detail::exception& e) override {
        return fail(e.what());
    }
};

AnswerReader::AnswerReader() : impl_(std::make_unique<Impl>()) {}
AnswerReader::~AnswerReader() = default;

std::optional<Answer> AnswerReader::read(std::string_view line, std::string* error) {
    Impl& h = *impl_;
    h.answer = Answer();
    h.error.clear();
    h.stack.clear();
    h.topKey.clear();
    bool ok = false;
    try {
        ok = Json::sax_parse(line.begin(), line.end(), &h);
    } catch (const std::exception& e) {
        h.fail(e.what());
    }
    if (ok && !h.answer.hasId) {
        ok = false;
        h.fail("the answer has no numeric id");
    }
    if (!ok) {
        *error = h.error.empty() ? "not a JSON object" : h.error;
        return std::nullopt;
    }
    return std::move(h.answer);
}

}  // namespace tw::platform::bridge
