// The performance-data document that a report carries in trend mode (T): an
// XML text appended right after the last character of the finished status
// message. The builders re-read the message line by line and take their
// figures from the report text, so the document always shows exactly what
// the report shows; they need nothing but the message.
//
// Every test follows the same order: twpage with the plain message, then the
// builder appends the document, then twsend delivers both.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// A status message, document included, holds at most this many characters
// (a 51200-byte message buffer with its terminator).
inline constexpr std::size_t kStatusMessageMax = 51199;

// Lines of the message are read in pieces of at most this many characters
// (a 5120-byte line buffer); a longer line reads as several lines.
inline constexpr std::size_t kPerfLineMax = 5119;

// The header values taken from the message's first line: after "status "
// the first word is host and test joined by the first "."; the host turns
// every "," back into "."; the colour is the second word. A first word
// without "." is taken whole as the host, with an empty test name.
struct PerfHeader {
    std::string host;
    std::string test;
    std::string colour;
};

struct PerfObject {
    std::string name;
    std::string value;
};

struct PerfInstance {
    std::string nameElement;  // the complete element, e.g. "<iname> cpu </iname>\n"
    std::string colour;
    std::vector<PerfObject> objects;
};

PerfHeader perfheaderfields(std::string_view message);

// The document's pieces as texts: the header (from "\n<xml>\n" to
// "</comm>\n"), one instance, and the trailer ("</twperfdata>\n</xml>").
std::string perfheadertext(std::string_view message);
std::string perfinstancetext(const PerfInstance& instance);
std::string_view perftrailertext();

// Append the header (items 1-5) or the trailer (items 7-8) to the message
// as they are. The builders below do not use these: they append the whole
// document at once, so that it is never left half-written.
void perfheader(std::string& message);
void perftrailer(std::string& message);

// Appends header, instances and trailer to the message when the result
// holds at most `capacity` characters. Otherwise the message is left as it
// was (the report is still sent, without performance data), a line is
// logged and the answer is false.
bool appendperfdocument(std::string& message, const std::vector<PerfInstance>& instances,
                        std::size_t capacity = kStatusMessageMax);

// The five builders: each takes the finished status message, appends its
// document as appendperfdocument does and answers whether it did.
//   perfcpu     one instance "cpu", object "load%" from the report's "load=N%".
//   perfdisk    one instance per row of the disk table, object "%used".
//   perfmem     phymem, commit and virtual, objects "used" and "usage%".
//   perfnetdata an "in" and an "out" instance per interface row.
//   perfwmitest one instance named after the test, value from the line that
//               follows the report's query line.
bool perfcpu(std::string& message, std::size_t capacity = kStatusMessageMax);
bool perfdisk(std::string& message, std::size_t capacity = kStatusMessageMax);
bool perfmem(std::string& message, std::size_t capacity = kStatusMessageMax);
bool perfnetdata(std::string& message, std::size_t capacity = kStatusMessageMax);
bool perfwmitest(std::string& message, std::size_t capacity = kStatusMessageMax);

}  // namespace tw
