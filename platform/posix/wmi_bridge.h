// The WMI bridge protocol, spoken between the remote WMI provider and
// `twwmi --serve` on the other machine: one JSON object per line each way.
// A request is {"id": N, "op": ..., fields}; every answer begins with
// {"id":N,"ok":true|false, and a query answers with a stream of batches
// ({"id":N,"ok":true,"more":true,"objects":[...]}, the last with "more":false).
//
// Typed values travel as JSON: null, integer (32-bit), string, true/false;
// {"$type":"other","value":"description"} for any other type;
// {"$type":"absent"} for a property the object does not have; and a string
// that is not UTF-8 as {"$type":"string","bytes":"<hex>"}, so that no byte is
// lost. An object is a JSON object of its properties in class order, with
// "__CLASS" first when it has a class.
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
    // "objects" of a batch, or the one "object" (getObject) or "out"
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

// The id of an answer line as written by twwmi, read without a full parse;
// nullopt when the line does not begin that way.
std::optional<int64_t> quickId(std::string_view line);
// Whether an answer line continues a stream ("more":true right after "ok").
bool quickMore(std::string_view line);

}  // namespace tw::platform::bridge
