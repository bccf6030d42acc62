#include "agent/ext/plugin.h"

#include <new>

#include "agent/ext/auxthreads.h"
#include "agent/transport/twsend.h"
#include "base/settings.h"
#include "base/text.h"
#include "base/twlog.h"
#include "platform/directory.h"
#include "platform/system.h"

namespace tw {

namespace {

constexpr std::string_view kMarkers[] = {"green", "yellow", "red", "clear"};

bool isspacechar(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

size_t skipspace(std::string_view s, size_t i) {
    while (i < s.size() && isspacechar(s[i])) ++i;
    return i;
}

// The word at i (after white space) of at most limit characters, and
// where it starts.
std::string_view wordat(std::string_view s, size_t& i, size_t limit) {
    i = skipspace(s, i);
    size_t e = i;
    while (e < s.size() && e - i < limit && !isspacechar(s[e])) ++e;
    return s.substr(i, e - i);
}

// Position of the earliest colour marker at or after from, or npos. One
// forward pass, so a long file with many sections is read once.
size_t findmarker(std::string_view t, size_t from) {
    for (size_t i = t.find(':', from); i != std::string_view::npos; i = t.find(':', i + 1)) {
        std::string_view rest = t.substr(i + 1);
        for (std::string_view m : kMarkers)
            if (rest.substr(0, m.size()) == m) return i;
    }
    return std::string_view::npos;
}

size_t linestart(std::string_view t, size_t pos) {
    size_t nl = pos == 0 ? std::string_view::npos : t.rfind('\n', pos - 1);
    return nl == std::string_view::npos ? 0 : nl + 1;
}

size_t nextline(std::string_view t, size_t pos) {
    size_t nl = t.find('\n', pos);
    return nl == std::string_view::npos ? t.size() : nl + 1;
}

bool hascontrolchar(std::string_view s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7f) return true;
    return false;
}

// The text with each control character shown as '?', for a log line.
std::string printable(std::string s) {
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return s;
}

bool validlevel(std::string_view level) {
    return level == "green" || level == "yellow" || level == "clear" || level == "red";
}

}  // namespace

std::string worktext(std::string_view raw) {
    raw = raw.substr(0, raw.find('\0'));
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        out.push_back(raw[i]);
    }
    return out;
}

std::vector<std::string_view> worksections(std::string_view text) {
    std::vector<std::string_view> out;
    size_t marker = findmarker(text, 0);
    if (marker == std::string_view::npos) {
        out.push_back(text);
        return out;
    }
    size_t start = linestart(text, marker);
    while (true) {
        size_t next = findmarker(text, nextline(text, marker));
        size_t end = next == std::string_view::npos ? text.size() : linestart(text, next);
        out.push_back(text.substr(start, end - start));
        if (next == std::string_view::npos) break;
        start = end;
        marker = next;
    }
    return out;
}

std::optional<std::string> statusmessage(std::string s, const std::string& test,
                                         const std::string& compName) {
    size_t at = 0;
    std::string_view first = wordat(s, at, kFirstWordLimit);
    twlog("twplugin: First word in status file: <%s>\r\n", std::string(first).c_str());

    std::string host = compName;
    size_t text = 0;  // where the message text begins
    size_t colon = first.find(':');
    if (colon != std::string_view::npos && colon > 0) {
        host = std::string(first.substr(0, colon));
        for (char& c : host)
            if (c == '.') c = ',';
        twlog("twplugin: Resetting hostname to: <%s>\r\n", host.c_str());
        twlog("twplugin:     Note that '.' have been changed to ',' on purpose\r\n");
        text = skipspace(s, at + colon + 1);
        twlog("twplugin: szMsg2p now points to: <%s>\r\n", s.c_str() + text);
    } else if (colon == 0) {
        // ":red text", a marker with nothing before it: no host is named, so
        // the message is the agent's own; its text starts at the level word
        // so that the colour stands where the display server looks for it.
        twlog("twplugin: Hostname is kept as: <%s>\r\n", compName.c_str());
        text = skipspace(s, at + 1);
    } else {
        twlog("twplugin: Hostname is kept as: <%s>\r\n", compName.c_str());
    }

    size_t levelAt = text;
    std::string levelWord(wordat(s, levelAt, kLevelWordLimit));
    twlog("twplugin: status level: <%s>\r\n", levelWord.c_str());
    std::string level = levelWord, delay;
    size_t plus = levelWord.find('+');
    if (plus != std::string::npos) {
        delay = levelWord.substr(plus);
        level = levelWord.substr(0, plus);
        // The level word stands alone in the text: the delay is blanked.
        for (size_t i = levelAt + plus; i < s.size() && !isspacechar(s[i]); ++i) s[i] = ' ';
    }
    twlog("twplugin: expirydelayval: <%s>\r\n", delay.c_str());
    if (!validlevel(level)) {
        twlog("twplugin: invalid status level\r\n");
        return std::nullopt;
    }
    std::string msg = "status";
    msg.append(delay).append(" ").append(host).append(".").append(test).append(" ");
    msg.append(s, text, std::string::npos);
    return msg;
}

int pluginperiod(const std::string& setting) {
    if (setting.empty()) return kDefaultPluginPeriod;
    int n = decimalNumber(setting);
    return n < 1 ? kDefaultPluginPeriod : n;
}

WorkFileResult readworkfile(const ExtContext& x, const PluginView& v, const std::string& path,
                            const std::string& name) {
    platform::FileRead r = x.directory.readFile(path, kWorkFileLimit);
    switch (r.status) {
        case platform::FileRead::Status::Ok:
            break;
        case platform::FileRead::Status::TooLarge:
            return WorkFileResult::TooLarge;
        case platform::FileRead::Status::NoMemory:
            return WorkFileResult::NoMemory;
        default:
            return WorkFileResult::CannotOpen;
    }
    const bool persistent = !name.empty() && name[0] == '-';
    const std::string test = persistent ? name.substr(1) : name;
    try {
        const std::string text = worktext(r.content);
        r.content = std::string();
        for (std::string_view section : worksections(text)) {
            std::string copy(section.substr(0, kSectionLimit));
            twlog("twplugin: buffer read: <%s>\r\n", copy.c_str());
            auto msg = statusmessage(std::move(copy), test, v.compName);
            if (msg) {
                twsend(v.channel, v.twdisplay, *msg);
                twpage(v.channel, v.channel.twpage, *msg);
            }
            if (auxstopping(x)) return WorkFileResult::Stopped;
        }
    } catch (const std::bad_alloc&) {
        return WorkFileResult::NoMemory;
    }
    if (!persistent && !x.directory.removeFile(path))
        twlog("twplugin: Couldn't delete work file: <%s>\r\n", path.c_str());
    return WorkFileResult::Done;
}

bool pluginscan(const ExtContext& x, const PluginView& v) {
    const std::string& shown = v.externalpath;         // upper-cased, for the log
    const std::string& dir = v.externalpathAsWritten;  // file names keep their case
    if (dir.empty()) return true;
    auto entries = x.directory.list(dir);
    if (!entries) {
        twlog("twplugin: Unable to open external path: <%s>\r\n", shown.c_str());
        return true;
    }
    const char sep = x.system.pathSeparator();
    for (const platform::DirEntry& e : *entries) {
        if (auxstopping(x)) return false;
        const std::string full = shown + sep + e.name;
        twlog("twplugin: File name: <%s>\r\n", full.c_str());
        if (e.name == "." || e.name == "..") continue;
        if (e.symlink) {
            // A link could point the agent at a file it was never meant to send.
            twlog("twplugin: File name is a symbolic link, not followed: <%s>\r\n", full.c_str());
            continue;
        }
        if (e.directory || e.readOnly || e.hidden || !e.regular) continue;
        if (hascontrolchar(e.name)) {
            // The name becomes the test column of the status line: a line
            // feed in it would split the message.
            twlog("twplugin: File name holds control characters, left alone: <%s>\r\n",
                  printable(full).c_str());
            continue;
        }
        if (e.name.find('.') != std::string::npos || e.name == "-") {
            twlog("twplugin: File name is not of Workfile type (has an extension): <%s>\r\n",
                  full.c_str());
            continue;
        }
        switch (readworkfile(x, v, dir + sep + e.name, e.name)) {
            case WorkFileResult::Done:
                break;
            case WorkFileResult::CannotOpen:
                twlog("twplugin: Couldn't open work file: <%s>\r\n", full.c_str());
                break;
            case WorkFileResult::TooLarge:
                twlog("twplugin: Work file larger than %d bytes, left alone: <%s>\r\n",
                      static_cast<int>(kWorkFileLimit), full.c_str());
                break;
            case WorkFileResult::NoMemory:
                twlog("twplugin: No memory for work file, scan ended: <%s>\r\n", full.c_str());
                return false;
            case WorkFileResult::Stopped:
                return false;
        }
    }
    return true;
}

bool pluginpass(const ExtContext& x) {
    twlog("\r\ntwplugin: about to wait\r\n");
    CycleLock lock(x.mutex);
    if (auxstopping(x)) return false;
    twlog("\r\ntwplugin: Waiting period has terminated in twplugin & mutex has been grabbed\r\n");
    const PluginView v = x.view ? x.view() : PluginView{};
    twlog("twplugin: External Path: <%s>\r\n", v.externalpath.c_str());
    pluginscan(x, v);
    int period = pluginperiod(x.settings.readsetting("PluginTimer"));
    twlog("twplugin: Plugin Timer = <%d>\r\n", period);
    twlog("twplugin: Sleeping for %d seconds\r\n", period);
    lock.unlock();
    if (!auxsleep(x, period)) return false;
    twlog("\r\ntwplugin: Sleep has terminated\r\n");
    return true;
}

void pluginthread(const ExtContext& x) {
    while (pluginpass(x)) {
    }
}

void startpluginthread(const ExtContext& x) {
    if (!x.threads.start([x] { pluginthread(x); }))
        twlog("twplugin: Unable to start the plugin thread\r\n");
}

}  // namespace tw
