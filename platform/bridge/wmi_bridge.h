// The WMI bridge protocol, spoken between the remote WMI provider and
// `twwmi --serve` on the other machine: one JSON object per line each way.
// A request is {"id": N, "op": ..., fields}; every answer begins with
// {"id":N,"ok":true|false, and a query answers with a stream of batches
// ({"id":N,"ok":true,"more":true,"classes":[...],"rows":[...]}, the last
// with "more":false).
//
// Typed values travel as JSON: null, integer (32-bit), string, true/false;
// {"$type":"other","value":"description"} for any other type;
// {"$type":"absent"} for a property the object does not have; and a string
// that is not UTF-8 as {"$type":"string","bytes":"<hex>"}, so that no byte is
// lost. A single object (getObject, a method's parameters) is a JSON object
// of its properties in class order, with "__CLASS" first when it has a
// class. A batch names each class once, ["Class", "Prop1", "Prop2", ...]
// (null for an object without a class), and gives each object as a row
// [class index, value1, value2, ...]: a large query then carries little
// more than its values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wmi_provider.h"

namespace tw::platform::bridge {

inline constexpr int kProtocol = 1;
// No line, request or answer, may be longer than this.
inline constexpr size_t kMaxLine = size_t{16} << 20;

using Json = nlohmann::ordered_json;

// A JSON string literal; bytes that are not UTF-8 become U+FFFD (for names
// and messages, where a readable text matters more than the bytes).
void appendString(std::string& out, std::string_view text);
// A text that must arrive byte for byte: a string, or the "bytes" form.
void appendText(std::string& out, std::string_view text);
void appendValue(std::string& out, const WmiValue& value);
// An object's properties (propertyNames order; absent ones marked) with its
// __CLASS first when it answers one.
void appendObject(std::string& out, const WmiObject& object);

// The objects of one query batch, written as they come.
class BatchWriter {
  public:
    // Adds the object unless the batch would exceed maxBytes; false then,
    // with the batch as it was.
    bool add(const WmiObject& object, size_t maxBytes);
    size_t count() const { return count_; }
    size_t bytes() const { return classes_.size() + rows_.size(); }
    // Appends "classes":[...],"rows":[...] and empties the batch.
    void take(std::string& out);

  private:
    struct Shape {
        std::optional<std::string> cls;
        std::vector<std::string> names;
    };
    std::vector<Shape> shapes_;
    size_t lastShape_ = 0;
    std::string classes_, rows_;
    size_t count_ = 0;
};

// The text of a JSON string or of the "bytes" form.
std::optional<std::string> textOf(const Json& json);
// A property value: nullopt when malformed; absent (the object lacks the
// property) is reported through *absent.
std::optional<WmiValue> valueOf(const Json& json, bool* absent);
// A property bag from a JSON object (the input parameters of a method).
std::unique_ptr<WmiPropertyBag> bagOf(const Json& json, std::string* error);

// One decoded answer line.
struct Answer {
    bool hasId = false;
    int64_t id = 0;
    bool ok = false;
    bool more = false;
    std::string error;
    int protocol = 0;
    std::string machine;
    // The rows of a batch, or the one "object" (getObject) or "out"
    // (execMethod).
    std::vector<std::unique_ptr<WmiObject>> objects;
    bool single = false;  // the answer carried "object" or "out"
};

// Reads answer lines into objects without building a JSON document. Keeps
// the last class shape, so the objects of one class share it.
class AnswerReader {
  public:
    AnswerReader();
    ~AnswerReader();
    // nullopt when the line is not a bridge answer; *error says why.
    std::optional<Answer> read(std::string_view line, std::string* error);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Shared by the writer and the reader of answers.
int hexDigit(char c);
// The bytes of a hex text; nullopt when it is not one.
std::optional<std::string> fromHex(std::string_view hex);
// The value when it fits 32 bits.
std::optional<int32_t> int32Of(int64_t v);

// The id of an answer line as written by twwmi, read without a full parse;
// nullopt when the line does not begin that way.
std::optional<int64_t> quickId(std::string_view line);
// Whether an answer line continues a stream ("more":true right after "ok").
bool quickMore(std::string_view line);

}  // namespace tw::platform::bridge
