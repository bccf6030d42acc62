#include "agent/ext/externals.h"

#include "agent/ext/auxthreads.h"
#include "base/settingstable.h"
#include "base/sleeptime.h"
#include "base/text.h"
#include "base/twlog.h"
#include "platform/ascii.h"
#include "platform/clock.h"
#include "platform/directory.h"
#include "platform/launcher.h"

namespace tw {

namespace {

constexpr size_t kExternalsLimit = settingsize("Externals") - 1;

bool isblankchar(char c) {
    return c == ' ' || c == '\t';
}

void trimright(std::string& s) {
    while (!s.empty() && isblankchar(s.back())) s.pop_back();
}

}  // namespace

std::vector<std::string> externalentries(std::string_view text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t semi = text.find(';'); semi != std::string_view::npos;
         start = semi + 1, semi = text.find(';', start)) {
        std::string piece(text.substr(start, semi - start));
        trimright(piece);
        size_t lead = 0;
        while (lead < piece.size() && isblankchar(piece[lead])) ++lead;
        piece.erase(0, lead);
        if (!piece.empty()) out.push_back(std::move(piece));
    }
    return out;
}

ExternalCommand parseexternal(std::string_view entry) {
    ExternalCommand c;
    c.text = std::string(entry);
    size_t slash = c.text.rfind('/');
    if (slash != std::string::npos && equalsNoCase(c.text.substr(slash + 1, 4), "int=")) {
        size_t num = slash + 5;
        if (num < c.text.size() && c.text[num] >= '0' && c.text[num] <= '9') {
            int n = decimalNumber(std::string_view(c.text).substr(num));
            c.interval = n == 0 ? kDefaultExternalInterval : n;
        }
        c.text.resize(slash);
    }
    trimright(c.text);
    return c;
}

std::optional<ProgramCall> locateprogram(const std::string& text, platform::Directory& dir) {
    std::string candidate = text;
    trimright(candidate);
    while (!candidate.empty()) {
        if (dir.kind(candidate) != platform::PathKind::Missing) {
            ProgramCall call;
            size_t rest = candidate.size();
            while (rest < text.size() && isblankchar(text[rest])) ++rest;
            call.program = candidate;
            call.args = text.substr(rest);
            return call;
        }
        size_t blank = candidate.find_last_of(" \t");
        if (blank == std::string::npos) break;
        candidate.resize(blank);
        trimright(candidate);
    }
    return std::nullopt;
}

std::optional<ExternalProgram> prepareexternal(const ExtContext& x, const std::string& entry) {
    if (entry.empty()) {
        twlog("\r\ntwext: External program not specified\r\n\r\n");
        return std::nullopt;
    }
    if (entry.size() > kExternalEntryLimit) {
        twlog("\r\ntwext: External program <%s> is too long (more than %d characters)\r\n\r\n",
              entry.c_str(), static_cast<int>(kExternalEntryLimit));
        return std::nullopt;
    }
    ExternalCommand c = parseexternal(entry);
    if (c.text.empty()) {
        twlog("\r\ntwext: External program not specified\r\n\r\n");
        return std::nullopt;
    }
    twlog("\r\ntwext: External program <%s> interval <%d>\r\n\r\n", c.text.c_str(), c.interval);
    auto call = locateprogram(c.text, x.directory);
    if (!call) {
        twlog("\r\ntwext: External program <%s> not found\r\n\r\n", entry.c_str());
        return std::nullopt;
    }
    // Only a regular file is a program here: on Linux a directory carries
    // the "executable" (search) bit too, and starting one can only fail.
    if (x.directory.kind(call->program) != platform::PathKind::Regular) {
        twlog("\r\ntwext: External program <%s> is invalid\r\n\r\n", entry.c_str());
        return std::nullopt;
    }
    return ExternalProgram{entry, call->program, call->args, c.interval};
}

bool externalpass(const ExtContext& x, const ExternalProgram& program) {
    twlog("\r\ntwext: about to wait\r\n");
    CycleLock lock(x.mutex);
    if (auxstopping(x)) return false;
    twlog("\r\ntwext: Waiting period has terminated in twext & mutex has been grabbed\r\n");
    const int64_t t0 = x.clock.now();
    twlog("\r\ntwext: Executing external program <%s> with args <%s> every <%d> seconds\r\n",
          program.program.c_str(), program.args.c_str(), program.interval);
    int code = x.launcher.launch(program.program, program.args);
    twlog("twext: Execution of external program <%s> done.  hresults: <%d> \r\n",
          program.entry.c_str(), code);
    int64_t sleep = sleeptime(x.clock.now() - t0, program.interval);
    twlog("twext: Sleeping for %d seconds\r\n", static_cast<int>(sleep));
    lock.unlock();
    if (!auxsleep(x, sleep)) return false;
    // Programs started by any thread that have ended since are collected here.
    x.launcher.reap();
    twlog("\r\ntwext: Sleep has terminated\r\n");
    return true;
}

void externalthread(const ExtContext& x, const std::string& entry) {
    auto program = prepareexternal(x, entry);
    if (!program) return;
    while (externalpass(x, *program)) {
    }
}

std::string externalsbuffer(const std::string& externals) {
    return externals.substr(0, kExternalsLimit) + ";";
}

void startexternals(const ExtContext& x, const std::string& externals) {
    const std::string buffer = externalsbuffer(externals);
    twlog("Launching threads for externals = <%s>\r\n", buffer.c_str());
    for (const std::string& entry : externalentries(buffer)) {
        twlog("Launching thread for external = <%s>\r\n", entry.c_str());
        if (!x.threads.start([x, entry] { externalthread(x, entry); }))
            twlog("twext: Unable to start a thread for external <%s>\r\n", entry.c_str());
    }
}

}  // namespace tw
