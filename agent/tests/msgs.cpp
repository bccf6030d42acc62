#include "agent/tests/msgs.h"

#include <algorithm>
#include <climits>
#include <ctime>

#include "base/builtintests.h"
#include "base/datestamp.h"
#include "base/text.h"
#include "base/twlog.h"
#include "agent/tests/reporttext.h"
#include "agent/wmi/fetch.h"
#include "agent/wmi/wmidate.h"
#include "platform/ascii.h"
#include "platform/clock.h"

namespace tw {

namespace {

constexpr std::string_view kTypeWords[5] = {"ERR", "WARN", "INFO", "SUCCESS_AUDIT", "FAIL_AUDIT"};
constexpr char kTypeLetters[5] = {'E', 'W', 'I', 'S', 'F'};
constexpr size_t kKeyMax = 99;
constexpr std::string_view kFullMarker = "\r\n...\r\n";

// Where a key stands at the start of an item (the start of the text or
// after white space). A key inside a longer word ("APP:" in "MYAPP:") names
// a different log and is not an occurrence.
std::vector<size_t> keyoccurrences(std::string_view text, std::string_view key) {
    std::vector<size_t> at;
    for (size_t p = text.find(key); p != std::string_view::npos; p = text.find(key, p + 1))
        if (p == 0 || iswhite(text[p - 1])) at.push_back(p);
    return at;
}

int logint(int64_t v) {
    return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

// A log-file name goes into the query between single quotes; one holding a
// quote or a backslash cannot name a log and would change the query.
bool queryablelog(std::string_view logfile) {
    return !logfile.empty() && logfile.find_first_of("'\\") == std::string_view::npos;
}

}  // namespace

std::string normalisemsglevels(std::string_view text) {
    const std::string up = toUpper(text);
    std::string out;
    out.reserve(up.size());
    size_t i = 0;
    while (i < up.size()) {
        if (!iswhite(up[i])) {
            out.push_back(up[i++]);
            continue;
        }
        size_t end = i;
        while (end < up.size() && iswhite(up[end])) ++end;
        const bool afterColon = !out.empty() && out.back() == ':';
        const bool beforeColon = end < up.size() && up[end] == ':';
        if (!afterColon && !beforeColon) out.append(up, i, end - i);
        i = end;
    }
    return out;
}

std::vector<LogSource> msgsources(std::string_view normalised) {
    std::vector<LogSource> sources = {
        {"APP:", "Application"}, {"SYS:", "System"}, {"SEC:", "Security"}};
    size_t i = 0;
    while (i < normalised.size()) {
        while (i < normalised.size() && iswhite(normalised[i])) ++i;
        size_t end = i;
        while (end < normalised.size() && !iswhite(normalised[end])) ++end;
        const std::string_view item = normalised.substr(i, end - i);
        i = end;
        const size_t colon = item.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view key = item.substr(0, colon + 1);
        // A key that is only a colon names no log; one beyond the key field
        // cannot be kept whole. Neither adds a source.
        if (key.size() < 2 || key.size() > kKeyMax) continue;
        const bool known = std::any_of(sources.begin(), sources.end(),
                                       [&](const LogSource& s) { return s.key == key; });
        if (known) continue;
        if (sources.size() >= kMaxLogSources) {
            twlog("\r\nToo many event log sources, <%.*s> ignored\r\n",
                  static_cast<int>(key.size()), key.data());
            continue;
        }
        sources.push_back({std::string(key), std::string(key.substr(0, key.size() - 1))});
    }
    return sources;
}

std::string_view eventtypeword(int type) {
    return type >= 1 && type <= 5 ? kTypeWords[type - 1] : std::string_view("?");
}

char eventtypeletter(int type) {
    return type >= 1 && type <= 5 ? kTypeLetters[type - 1] : '?';
}

std::vector<LevelEntry> parselevels(std::string_view text, std::string_view key) {
    std::vector<LevelEntry> entries;
    const std::vector<size_t> at = keyoccurrences(text, key);
    const int keyLen = static_cast<int>(key.size());
    if (at.empty()) {
        twlog("\r\n<%.*s> not found in MsgLevels\r\n", keyLen, key.data());
        return entries;
    }
    twlog("\r\n<%.*s> message levels\r\n", keyLen, key.data());
    for (size_t occurrence : at) {
        if (entries.size() >= kMaxLevelEntries) {
            twlog("\r\nStopping, too many event types for <%.*s>\r\n", keyLen, key.data());
            break;
        }
        const size_t p = occurrence + key.size();
        int type = 0;
        for (int t = 1; t <= 5 && !type; ++t) {
            const std::string_view word = kTypeWords[t - 1];
            if (text.compare(p, word.size(), word) != 0) continue;
            const size_t after = p + word.size();
            if (after == text.size() || iswhite(text[after]) || text[after] == ':') type = t;
        }
        if (!type) {
            size_t end = occurrence;
            while (end < text.size() && !iswhite(text[end])) ++end;
            twlog("\r\nError at current entry: <%.*s>\r\n", static_cast<int>(end - occurrence),
                  text.data() + occurrence);
            continue;
        }
        LevelEntry e;
        e.type = type;
        e.window = 1800;
        size_t q = p + eventtypeword(type).size();
        if (q < text.size() && text[q] == ':') {
            ++q;
            const char flag = q < text.size() ? text[q] : 0;
            e.page = flag == 'Y';
            if ((flag == 'Y' || flag == 'N') && q + 2 < text.size() && text[q + 1] == ':' &&
                text[q + 2] >= '0' && text[q + 2] <= '9') {
                const int64_t minutes = decimalNumber(text.substr(q + 2));
                e.window = (minutes < 0 ? -minutes : minutes) * 60;
            }
        }
        twlog("\r\ncheckfor[%d]: Event type:%.*s  Page:%s  timelapse:%d mins\r\n",
              static_cast<int>(entries.size()), static_cast<int>(eventtypeword(type).size()),
              eventtypeword(type).data(), e.page ? "Yes" : "No", logint(e.window));
        entries.push_back(e);
    }
    return entries;
}

IgnoreList::IgnoreList(std::string_view ignoremsgs) {
    // The patterns, normalised as the texts will be.
    std::vector<std::string> patterns;
    std::string current;
    for (size_t i = 0; i <= ignoremsgs.size(); ++i) {
        if (i == ignoremsgs.size() || ignoremsgs[i] == ';') {
            if (!current.empty()) patterns.push_back(current);
            current.clear();
        } else if (!iswhite(ignoremsgs[i])) {
            current.push_back(lowerAscii(ignoremsgs[i]));
        }
    }
    // Characters that occur in no pattern share class 0.
    for (const std::string& p : patterns)
        for (char c : p) {
            unsigned char& cls = classOf_[static_cast<unsigned char>(c)];
            if (!cls) cls = static_cast<unsigned char>(classes_++);
        }
    // Trie, then the automaton: every state gets a transition for every
    // class, through the longest proper suffix that is also a trie state.
    next_.assign(classes_, -1);
    terminal_.assign(1, 0);
    for (const std::string& p : patterns) {
        int s = 0;
        for (char c : p) {
            const size_t cls = classOf_[static_cast<unsigned char>(c)];
            int& to = next_[static_cast<size_t>(s) * classes_ + cls];
            if (to < 0) {
                to = static_cast<int>(terminal_.size());
                terminal_.push_back(0);
                next_.resize(next_.size() + classes_, -1);
            }
            s = next_[static_cast<size_t>(s) * classes_ + cls];
        }
        terminal_[static_cast<size_t>(s)] = 1;
    }
    std::vector<int> fail(terminal_.size(), 0), queue;
    for (size_t cls = 0; cls < classes_; ++cls) {
        int& to = next_[cls];
        if (to < 0) {
            to = 0;
        } else {
            fail[static_cast<size_t>(to)] = 0;
            queue.push_back(to);
        }
    }
    for (size_t head = 0; head < queue.size(); ++head) {
        const size_t s = static_cast<size_t>(queue[head]);
        if (terminal_[static_cast<size_t>(fail[s])]) terminal_[s] = 1;
        for (size_t cls = 0; cls < classes_; ++cls) {
            int& to = next_[s * classes_ + cls];
            const int viaFail = next_[static_cast<size_t>(fail[s]) * classes_ + cls];
            if (to < 0) {
                to = viaFail;
            } else {
                fail[static_cast<size_t>(to)] = viaFail;
                queue.push_back(to);
            }
        }
    }
}

bool IgnoreList::matches(std::string_view text) const {
    if (terminal_[0]) return true;
    if (terminal_.size() <= 1) return false;
    size_t s = 0;
    for (char c : text) {
        if (iswhite(c)) continue;
        s = static_cast<size_t>(
            next_[s * classes_ + classOf_[static_cast<unsigned char>(lowerAscii(c))]]);
        if (terminal_[s]) return true;
    }
    return false;
}

std::optional<std::vector<EventRecord>> wmievents(WmiSession& session, std::string_view logfile,
                                                  int64_t start) {
    FetchDef def;
    def.maxRecords = kMaxEventRecords;
    def.enterLine = "in wmievents\n";
    def.leaveFormat = "size=%d leave wmievents\n";
    if (!queryablelog(logfile)) {
        twlog("%s", def.enterLine.c_str());
        return std::nullopt;
    }
    // Two hours earlier than asked: the log's own clock may be set a zone
    // apart, and the window check on each record decides what counts.
    def.query =
        "Select EventType,TimeGenerated,SourceName,EventIdentifier,Message from "
        "Win32_NTLogEvent where LogFile='" +
        std::string(logfile) + "' and TimeWritten>'" +
        timetowmidate(session.clock(), std::max<int64_t>(start - 7200, 0)) + "'";
    return fetchrecords<EventRecord>(session, def, [](const WmiRow& row, EventRecord& e) {
        e.type = row.int32("EventType") & 0xff;
        e.time = row.datetime("TimeGenerated");
        e.source = row.text("SourceName", 200);
        e.id = static_cast<uint16_t>(row.int32("EventIdentifier") & 0xffff);
        e.message = row.text("Message", 990);
    });
}

std::string eventdatetext(platform::Clock& clock, int64_t t) {
    static const char* const kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::tm tm = clock.localTime(t).tm;
    const int year = tm.tm_year + 1900;
    const int month = std::clamp(tm.tm_mon, 0, 11);
    // The weekday from the date itself (Sakamoto), whatever the clock filled in.
    static const int kOffsets[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    const int y = month < 2 ? year - 1 : year;
    int wd = (y + y / 4 - y / 100 + y / 400 + kOffsets[month] + tm.tm_mday) % 7;
    if (wd < 0) wd += 7;
    return strformat("%s %s %2d %02d:%02d:%02d %d", kDays[wd], kMonths[month], tm.tm_mday,
                     tm.tm_hour, tm.tm_min, tm.tm_sec, year);
}

void examineevents(MsgsBody& body, const LogSource& source, const std::vector<LevelEntry>& levels,
                   const std::vector<EventRecord>& records, int64_t now, const IgnoreList& ignore,
                   platform::Clock& clock) {
    int64_t window = 0;
    for (const LevelEntry& e : levels) window = std::max(window, e.window);
    const bool wellKnown = source.logfile == "Application" || source.logfile == "System" ||
                           source.logfile == "Security";
    for (const EventRecord& rec : records) {
        // A record without a time is never within a window.
        if (rec.time <= 0 || !(rec.time + window > now)) continue;
        for (const LevelEntry& e : levels) {
            if (e.type != rec.type || !(rec.time + e.window > now)) continue;
            if (ignore.matches(rec.source)) {
                twlog("Ignoring event source is <%s>\r\n", rec.source.c_str());
                continue;
            }
            if (ignore.matches(rec.message) ||
                ignore.matches(rec.source + ":" + std::to_string(rec.id)))
                continue;
            const std::string date = eventdatetext(clock, rec.time);
            std::string line =
                strformat(wellKnown ? "%.3s: %c '%s" : "%s: %c '%s", source.logfile.c_str(),
                          eventtypeletter(rec.type), date.c_str());
            line += strformat("': %s %d - \"", rec.source.c_str(), rec.id);
            line += " " + rec.message + "\"\r\n";
            // The whole line must fit, its closing quote and line end included.
            if (!body.full && body.text.size() + line.size() <= kMsgsBodyMax) {
                twlog("Adding this line to status msg: %.*s\r\n\r\n",
                      static_cast<int>(line.size() - 2), line.c_str());
                size_t p = body.text.size();
                body.text += line;
                while (body.text.size() - p > kMsgsWrap) {
                    p += kMsgsWrap;
                    while (p < body.text.size() && !iswhite(body.text[p])) ++p;
                    if (p >= body.text.size()) break;
                    body.text[p++] = '\r';
                }
            } else {
                twlog("Line NOT added to status msg (buffer full): %.*s\r\n\r\n",
                      static_cast<int>(line.size() - 2), line.c_str());
                if (!body.full) {
                    // The marker takes the place of the body's last characters
                    // and never takes the body beyond its limit.
                    const size_t keep = std::min(body.text.size() >= 6 ? body.text.size() - 6 : 0,
                                                 kMsgsBodyMax - kFullMarker.size());
                    body.text.resize(keep);
                    body.text += kFullMarker;
                    body.full = true;
                }
            }
            raise(body.colour, e.page ? Colour::Red : Colour::Yellow);
        }
    }
}

void msgstest(const TestContext<MsgsSettings>& t) {
    const MsgsSettings& s = t.settings;
    const char mode = s.mode;
    if (testdisabled(mode, kMsgsTest.word)) return;
    logentering("events service");
    MsgsBody body(realnamehead(s.realcompName));

    if (!s.msglevels.empty()) {
        const std::string levels = normalisemsglevels(s.msglevels);
        const std::vector<LogSource> sources = msgsources(levels);
        twlog("\r\nmsglevels: <%s>\r\n", levels.c_str());
        const IgnoreList ignore(s.ignoremsgs);
        const int64_t now = t.clock.now();
        for (const LogSource& source : sources) {
            const std::vector<LevelEntry> entries = parselevels(levels, source.key);
            int64_t window = 0;
            for (const LevelEntry& e : entries) window = std::max(window, e.window);
            if (window == 0) continue;
            auto records = wmievents(t.wmi, source.logfile, now - window);
            if (!records) {
                twlog("\r\nCouldn't open %s source\r\n", source.logfile.c_str());
                continue;
            }
            twlog("\r\nOpened %s source\r\n\r\n", source.logfile.c_str());
            examineevents(body, source, entries, *records, now, ignore, t.clock);
        }
    }
    if (body.unchanged()) body.text = "[" + s.realcompName + "] No bad messages\r\n";
    const Colour colour = alwaysgreen(mode) ? Colour::Green : body.colour;
    const std::string report = statusmessage(s.compName, kMsgsTest.word, colourword(colour),
                                             datestamp(t.clock), body.text);
    sendpage(t.delivery, report);
    logleaving("events service");
}

}  // namespace tw
