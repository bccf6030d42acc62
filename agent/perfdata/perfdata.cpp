#include "agent/perfdata/perfdata.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/twlog.h"
#include "platform/ascii.h"

namespace tw {

namespace {

using sv = std::string_view;
constexpr size_t npos = sv::npos;

bool contains(sv hay, sv needle) {
    return hay.find(needle) != npos;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Takes the next white-space separated word off the front of `rest`; empty
// when none is left.
sv nextWord(sv& rest) {
    size_t i = 0;
    while (i < rest.size() && isSpace(rest[i])) ++i;
    size_t j = i;
    while (j < rest.size() && !isSpace(rest[j])) ++j;
    sv w = rest.substr(i, j - i);
    rest.remove_prefix(j);
    return w;
}

sv firstWord(sv text) {
    return nextWord(text);
}

sv chomp(sv line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

// Reads the text as a line-buffered reader with a kPerfLineMax buffer does:
// a line runs up to and including its line feed, or is cut after
// kPerfLineMax characters, the rest then reading as the next line. The text
// is the message with its document appended at documentAt; reading starts
// at from.
class Lines {
  public:
    Lines(sv text, size_t documentAt, size_t from = 0)
        : text_(text), documentAt_(documentAt), pos_(from) {}

    bool next(sv& line) {
        if (pos_ >= text_.size()) return false;
        size_t limit = std::min(text_.size(), pos_ + kPerfLineMax);
        size_t lf = text_.find('\n', pos_);
        size_t end = (lf == npos || lf >= limit) ? limit : lf + 1;
        start_ = pos_;
        line = text_.substr(pos_, end - pos_);
        pos_ = end;
        return true;
    }
    // Whether the line last read belongs to the appended document, where
    // every reading of the report ends (a report line may well hold "xml").
    bool inDocument() const { return start_ >= documentAt_; }

  private:
    sv text_;
    size_t documentAt_;
    size_t pos_;
    size_t start_ = 0;
};

double number(sv word) {
    return std::strtod(std::string(word).c_str(), nullptr);
}

// The message with the header appended: the builders read this, and the
// header ends every search.
struct Scan {
    std::string header;
    std::string text;
};

Scan scanOf(const std::string& message) {
    Scan s;
    s.header = perfheadertext(message);
    s.text = message + s.header;
    return s;
}

bool finish(std::string& message, const std::string& header,
            const std::vector<PerfInstance>& instances, size_t capacity) {
    std::string doc = header;
    for (const auto& inst : instances) doc += perfinstancetext(inst);
    doc += perftrailertext();
    if (message.size() > capacity || doc.size() > capacity - message.size()) {
        twlog(
            "Performance data left out: message and document would hold %zu characters, more "
            "than %zu\r\n",
            message.size() + doc.size(), capacity);
        return false;
    }
    message += doc;
    return true;
}

PerfInstance instance(std::string nameElement, std::string colour, std::string objectName,
                      std::string value) {
    PerfInstance i;
    i.nameElement = std::move(nameElement);
    i.colour = std::move(colour);
    i.objects.push_back({std::move(objectName), std::move(value)});
    return i;
}

}  // namespace

PerfHeader perfheaderfields(std::string_view message) {
    PerfHeader h;
    if (message.size() <= 7) return h;
    sv rest = message.substr(7);
    sv first = nextWord(rest);
    sv colour = nextWord(rest);
    size_t dot = first.find('.');
    h.host = std::string(first.substr(0, dot));
    if (dot != npos) h.test = std::string(first.substr(dot + 1));
    std::replace(h.host.begin(), h.host.end(), ',', '.');
    h.colour = std::string(colour);
    return h;
}

std::string perfheadertext(std::string_view message) {
    PerfHeader h = perfheaderfields(message);
    std::string out;
    out.reserve(200 + h.host.size() + h.test.size() + h.colour.size());
    out += "\n<xml>\n";
    out += "<?xml version=\"1.0\" ?>\n";
    out += "<twperfdata>\n";
    out += "<form> 5.01 </form>\n";
    out += "<comm>\n";
    out += "<hname>\n" + h.host + "</hname>\n";
    out += "<loc>\n</loc>\n";
    out += "<sname>\n" + h.test + "</sname>\n";
    out += "<logcol>\n" + h.colour + "</logcol>\n";
    out += "</comm>\n";
    return out;
}

std::string perfinstancetext(const PerfInstance& instance) {
    std::string out =
        "<inst>\n" + instance.nameElement + "<icol>\n" + instance.colour + "</icol>\n";
    for (const auto& o : instance.objects)
        out += "<obj>\n<iobj>\n" + o.name + "</iobj>\n<val>\n" + o.value + "</val>\n</obj>\n";
    out += "</inst>\n";
    return out;
}

std::string_view perftrailertext() {
    return "</twperfdata>\n</xml>";
}

void perfheader(std::string& message) {
    message += perfheadertext(message);
}

void perftrailer(std::string& message) {
    message += perftrailertext();
}

bool appendperfdocument(std::string& message, const std::vector<PerfInstance>& instances,
                        std::size_t capacity) {
    return finish(message, perfheadertext(message), instances, capacity);
}

bool perfcpu(std::string& message, std::size_t capacity) {
    std::string header = perfheadertext(message);
    // Searched in the report only: the header holds no "load=" of its own.
    std::string value;
    size_t at = message.find("load=");
    if (at != npos) {
        size_t pct = message.find('%', at + 5);
        if (pct != npos) value = message.substr(at + 5, pct - at - 5);
    }
    std::vector<PerfInstance> inst;
    inst.push_back(instance("<iname> cpu </iname>\n", perfheaderfields(message).colour, "load%",
                            std::move(value)));
    return finish(message, header, inst, capacity);
}

bool perfdisk(std::string& message, std::size_t capacity) {
    Scan s = scanOf(message);
    Lines lines(s.text, message.size());
    sv line;
    std::vector<PerfInstance> inst;

    // Alarm lines before the table heading: "&<colour> <subject> ...". All
    // of them are kept (the message bounds their number), so every drive
    // gets the colour of its first alarm however many drives are in alarm.
    struct Alarm {
        sv colour, subject;
    };
    std::vector<Alarm> alarms;
    bool heading = false;
    if (lines.next(line)) {  // the status line
        while (lines.next(line)) {
            if (contains(line, "Filesystem") && contains(line, "Mounted")) {
                heading = true;
                break;
            }
            if (lines.inDocument()) break;  // no table at all
            if (contains(line, "red") || contains(line, "yellow")) {
                sv rest = line.substr(1);
                sv colour = nextWord(rest);
                alarms.push_back({colour, nextWord(rest)});
            }
        }
    }
    while (heading && lines.next(line)) {
        if (line[0] == '\n') continue;
        if (lines.inDocument()) break;
        // drive letter, size, used, available, capacity with "%", path form
        sv rest = line;
        sv w[6];
        for (sv& x : w) x = nextWord(rest);
        if (w[0].empty()) continue;  // a blank row names no drive
        sv capacityWord = w[4];
        if (!capacityWord.empty()) capacityWord.remove_suffix(1);
        std::string colour = "green";
        // An empty path form (a short row) matches no alarm.
        if (!w[5].empty()) {
            for (const auto& a : alarms) {
                if (contains(a.subject, w[5])) {
                    colour = std::string(a.colour);
                    break;
                }
            }
        }
        inst.push_back(instance("<iname> " + std::string(w[0]) + " </iname>\n", colour, "%used",
                                std::string(capacityWord)));
    }
    return finish(message, s.header, inst, capacity);
}

bool perfmem(std::string& message, std::size_t capacity) {
    Scan s = scanOf(message);
    std::vector<PerfInstance> inst;
    size_t at = s.text.find("Memory Statistics");
    if (at != npos) {
        struct Group {
            std::string used, usage;
        } groups[3];
        Lines lines(s.text, message.size(), at);
        sv line;
        while (lines.next(line)) {
            if (line[0] == '\n') continue;
            if (lines.inDocument()) break;
            int g;
            size_t from;
            if (contains(line, "Physical Memory:")) {
                g = 0;
                from = 16;
            } else if (contains(line, "Commit Charge:")) {
                g = 1;
                from = 16;
            } else if (contains(line, "Virtual memory:")) {
                g = 2;
                from = 15;
            } else {
                continue;
            }
            sv used = firstWord(line.substr(std::min(from, line.size())));
            sv total;
            size_t s1 = line.find('/');
            size_t s2 = s1 == npos ? npos : line.find('/', s1 + 1);
            if (s2 != npos) total = firstWord(line.substr(s2 + 1));
            groups[g].used = std::string(used);
            groups[g].usage.clear();
            if (!total.empty()) {
                // A total of 0 (or no number) would print "inf" or "nan" into
                // the document; the share is then left empty like a missing one.
                double t = number(total);
                double share = t != 0 ? number(used) / t * 100 : NAN;
                if (std::isfinite(share)) groups[g].usage = strformat("%5.2f", share);
            }
        }
        PerfHeader h = perfheaderfields(message);
        const char* names[3] = {"<iname>phymem</iname>\n", "<iname>commit</iname>\n",
                                "<iname>virtual</iname>\n"};
        for (int g = 0; g < 3; ++g) {
            PerfInstance i = instance(names[g], h.colour, "used", groups[g].used);
            i.objects.push_back({"usage%", groups[g].usage});
            inst.push_back(std::move(i));
        }
    }
    return finish(message, s.header, inst, capacity);
}

bool perfnetdata(std::string& message, std::size_t capacity) {
    Scan s = scanOf(message);
    Lines lines(s.text, message.size());
    sv line;
    std::vector<PerfInstance> inst;

    // Alarm lines: "&<colour> <name>:in (bytes/second) ..." or ":out ...".
    // As with the disk alarms, all are kept.
    struct Alarm {
        sv colour, name;
        bool in;
    };
    std::vector<Alarm> alarms;
    bool heading = false;
    if (lines.next(line)) {  // the status line
        while (lines.next(line)) {
            if (contains(line, "Name") && contains(line, "Bandwidth(Mbps)")) {
                heading = true;
                break;
            }
            if (lines.inDocument()) break;
            if (contains(line, "red") || contains(line, "yellow")) {
                sv l = chomp(line);
                size_t blank = l.find(' ', 1);
                Alarm a;
                a.colour =
                    l.substr(std::min<size_t>(1, l.size()), blank == npos ? npos : blank - 1);
                if (blank != npos) {
                    size_t colon = l.find(':', blank + 1);
                    a.name = l.substr(blank + 1, colon == npos ? npos : colon - blank - 1);
                }
                a.in = contains(line, "in (bytes/second)");
                alarms.push_back(a);
            }
        }
    }
    while (heading && lines.next(line)) {
        if (line[0] == '\n') continue;
        if (lines.inDocument()) break;
        sv row = chomp(line);
        sv name = row.substr(0, std::min<size_t>(20, row.size()));
        sv rest = row.substr(name.size());
        nextWord(rest);  // bandwidth
        sv in = nextWord(rest);
        sv out = nextWord(rest);
        in = in.substr(0, in.find('('));
        out = out.substr(0, out.find('('));
        std::string objectName(name);
        std::replace(objectName.begin(), objectName.end(), ' ', '+');
        auto colourOf = [&](bool inbound) {
            for (const auto& a : alarms)
                if (a.in == inbound && equalsNoCase(a.name, name)) return std::string(a.colour);
            return std::string("green");
        };
        inst.push_back(instance("<iname>inbytes-per-second</iname>\n", colourOf(true), objectName,
                                std::string(in)));
        inst.push_back(instance("<iname>outbytes-per-second</iname>\n", colourOf(false), objectName,
                                std::string(out)));
    }
    return finish(message, s.header, inst, capacity);
}

bool perfwmitest(std::string& message, std::size_t capacity) {
    Scan s = scanOf(message);
    Lines lines(s.text, message.size());
    sv line;
    std::string value;
    if (lines.next(line) && !lines.inDocument()) {
        while (lines.next(line)) {
            if (lines.inDocument()) break;
            std::string lower = toLower(line);
            if (!contains(lower, "query") || !contains(lower, "select") || !contains(lower, "from"))
                continue;
            sv valueLine;
            // The value line must be part of the report: the line after a
            // query that ends the message is the document's own "<xml>".
            if (lines.next(valueLine) && !lines.inDocument()) {
                sv rest = valueLine;
                sv first = nextWord(rest);
                sv second = nextWord(rest);
                value = std::string(second.empty() ? first : second);
            }
            break;
        }
    }
    PerfHeader h = perfheaderfields(message);
    std::vector<PerfInstance> inst;
    inst.push_back(instance("<iname>\n" + h.test + "</iname>\n", h.colour, h.test, value));
    return finish(message, s.header, inst, capacity);
}

}  // namespace tw
