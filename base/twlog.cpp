#include "base/twlog.h"

#include <cstdio>
#include <mutex>

#include "base/settings.h"
#include "base/text.h"
#include "platform/system.h"

namespace tw {

struct DiagLog::Impl {
    std::mutex lock;
    std::FILE* file = nullptr;
    std::string path;
};

DiagLog::Impl& DiagLog::impl() {
    // Never destroyed: threads may still log while the process exits.
    static Impl* impl = new Impl;
    return *impl;
}

DiagLog& DiagLog::instance() {
    static DiagLog log;
    return log;
}

bool DiagLog::open(const std::string& path) {
    // Binary: the LF -> CR LF translation is ours, so the file is the same on
    // every platform.
    close();
    return adopt(std::fopen(path.c_str(), "wb"), path);
}

bool DiagLog::adopt(std::FILE* file, const std::string& path) {
    Impl& i = impl();
    std::lock_guard<std::mutex> g(i.lock);
    if (i.file) std::fclose(i.file);
    i.file = file;
    i.path = file ? path : std::string();
    return file != nullptr;
}

void DiagLog::close() {
    Impl& i = impl();
    std::lock_guard<std::mutex> g(i.lock);
    if (i.file) std::fclose(i.file);
    i.file = nullptr;
    i.path.clear();
}

bool DiagLog::isOpen() {
    Impl& i = impl();
    std::lock_guard<std::mutex> g(i.lock);
    return i.file != nullptr;
}

std::string DiagLog::path() {
    Impl& i = impl();
    std::lock_guard<std::mutex> g(i.lock);
    return i.path;
}

void DiagLog::write(const std::string& text) {
    Impl& i = impl();
    std::lock_guard<std::mutex> g(i.lock);
    if (!i.file) return;
    const std::string out = textModeLines(text);
    std::fwrite(out.data(), 1, out.size(), i.file);
    std::fflush(i.file);
}

std::string vstrformat(const char* fmt, va_list ap) {
    va_list ap2;
    va_copy(ap2, ap);
    char small[512];
    int n = std::vsnprintf(small, sizeof small, fmt, ap);
    std::string out;
    if (n < 0) {
        va_end(ap2);
        return out;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        out.assign(small, static_cast<size_t>(n));
    } else {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), fmt, ap2);
        out.resize(static_cast<size_t>(n));
    }
    va_end(ap2);
    return out;
}

std::string strformat(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string s = vstrformat(fmt, ap);
    va_end(ap);
    return s;
}

bool twlogActive() {
    return DiagLog::instance().isOpen();
}

void vtwlog(const char* fmt, va_list ap) {
    DiagLog& log = DiagLog::instance();
    if (!log.isOpen()) return;  // skip the formatting work when logging is off
    log.write(vstrformat(fmt, ap));
}

void twlog(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vtwlog(fmt, ap);
    va_end(ap);
}

std::string openlog(Settings& settings, platform::System& system) {
    DiagLog& log = DiagLog::instance();
    log.close();
    std::string active = settings.readsetting("Activatelog");
    if (active.empty() || (active[0] != 'Y' && active[0] != 'y')) return {};

    // TEMP, then TMP; each limited to 258 characters as the path buffer allows.
    std::string dir;
    for (const char* var : {"TEMP", "TMP"}) {
        auto v = system.getenv(var);
        if (v && !v->empty() && v->size() < 259) {
            dir = *v;
            break;
        }
    }
    const std::string sep(1, system.pathSeparator());
    std::string failures;
    for (const std::string& folder :
         {dir.empty() ? system.tempFallback(0) : dir, system.tempFallback(1)}) {
        const std::string path = folder + sep + "TW.LOG";
        std::string why;
        if (log.adopt(system.createPrivateFile(path, why), path)) {
            if (!failures.empty()) twlog("TW.LOG cannot be opened at %s\r\n", failures.c_str());
            return failures;
        }
        if (!failures.empty()) failures += "; ";
        failures += path + ": " + why;
    }
    return failures;
}

}  // namespace tw
