// The msgs test: the recent entries of the event logs that MsgLevels names,
// of the configured types and within each type's window, less those that
// IgnoreMsgs matches, listed in one report. A paging type makes the report
// red, any other yellow. Test word "msgs".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "agent/tests/framework.h"

namespace tw::platform {
class Clock;
}

namespace tw {

class WmiSession;

// A log that MsgLevels can name: "APP:" for "Application" and so on, or a
// custom key whose log-file name is the key without its colon.
struct LogSource {
    std::string key;      // with its colon; at most 99 characters
    std::string logfile;  // at most 99 characters
};

// One configured event type of a source.
struct LevelEntry {
    int type = 0;  // EventType 1..5
    bool page = false;
    int64_t window = 0;  // seconds
};

// One row of Win32_NTLogEvent.
struct EventRecord {
    int type = 0;      // EventType, low byte
    int64_t time = 0;  // TimeGenerated; 0 when absent or unreadable
    std::string source;
    uint16_t id = 0;
    std::string message;
};

inline constexpr size_t kMaxLogSources = 200;
inline constexpr size_t kMaxLevelEntries = 5;
inline constexpr size_t kMaxEventRecords = 20479;
// The report body holds at most this many characters.
inline constexpr size_t kMsgsBodyMax = 51199;
// Report lines are broken at white space after this many characters.
inline constexpr size_t kMsgsWrap = 100;

// Upper case, and white space next to a colon removed.
std::string normalisemsglevels(std::string_view text);

// APP:, SYS:, SEC:, then every further key of the normalised text in order.
std::vector<LogSource> msgsources(std::string_view normalised);

// The level entries of one source key, with their log lines.
std::vector<LevelEntry> parselevels(std::string_view normalised, std::string_view key);

// The words of the event types and the letters of report lines, for 1..5.
std::string_view eventtypeword(int type);
char eventtypeletter(int type);

// The IgnoreMsgs patterns (";"-separated), compared with texts after both
// are lower-cased and stripped of white space. All patterns are looked for
// in one pass over a text, whatever their number.
class IgnoreList {
  public:
    explicit IgnoreList(std::string_view ignoremsgs);
    // Whether a non-empty pattern occurs in the text.
    bool matches(std::string_view text) const;

  private:
    unsigned char classOf_[256] = {};
    size_t classes_ = 1;
    std::vector<int> next_;       // state * classes_ + class -> state
    std::vector<char> terminal_;  // a pattern ends here (or in a suffix state)
};

// "Select ... from Win32_NTLogEvent where LogFile='<log>' and
// TimeWritten>'<start - 2 hours>'"; nullopt when the query fails.
std::optional<std::vector<EventRecord>> wmievents(WmiSession& session, std::string_view logfile,
                                                  int64_t start);

// "Wed Oct 05 14:30:00 2012": the 24-character local date of report lines.
std::string eventdatetext(platform::Clock& clock, int64_t t);

// The report body as the events are examined.
struct MsgsBody {
    explicit MsgsBody(std::string head) : text(std::move(head)), headSize(text.size()) {}
    std::string text;
    size_t headSize;
    bool full = false;  // a line did not fit; no later line is added
    Colour colour = Colour::Green;
    bool unchanged() const { return text.size() == headSize && !full; }
};

// Examines one source's records against its level entries and adds their
// lines to the body.
void examineevents(MsgsBody& body, const LogSource& source, const std::vector<LevelEntry>& levels,
                   const std::vector<EventRecord>& records, int64_t now, const IgnoreList& ignore,
                   platform::Clock& clock);

struct MsgsSettings : TestSettings {
    std::string msglevels;   // MsgLevels, upper-cased
    std::string ignoremsgs;  // IgnoreMsgs, upper-cased
};

// Runs the test: fetches per source, report, send, page.
void msgstest(const TestContext<MsgsSettings>& t);

}  // namespace tw
