// The diagnostic log TW.LOG: one process-wide file that every component
// writes formatted lines to while Activatelog is on. Each write is flushed at
// once; writes and the per-cycle reopen are serialised by the log's own lock.
// On disk every LF becomes CR LF (text mode), on every platform alike.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace tw::platform {
class System;
class SettingsStore;
}  // namespace tw::platform

namespace tw {

class Settings;

class DiagLog {
  public:
    // Opens (truncating) the file at path; answers false when it cannot.
    bool open(const std::string& path);
    // Takes an open file as the log (closing the one before); false for nullptr.
    bool adopt(std::FILE* file, const std::string& path);
    void close();
    bool isOpen();
    void write(const std::string& text);
    // The path of the open file, empty when closed.
    std::string path();

    static DiagLog& instance();

  private:
    struct Impl;
    Impl& impl();
};

// The C99 printf dialect is checked on every platform: the Windows build
// formats with the standard-conforming printf (%zu, %lld), not Microsoft's.
// (clang, which builds the fuzz targets, knows that dialect as printf.)
#ifdef __clang__
#define TW_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define TW_PRINTF_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#endif

// Writes one formatted line to the diagnostic log when it is open.
void twlog(const char* fmt, ...) TW_PRINTF_FORMAT(1, 2);
void vtwlog(const char* fmt, va_list ap);
bool twlogActive();

// printf-style formatting into a std::string.
std::string strformat(const char* fmt, ...) TW_PRINTF_FORMAT(1, 2);
std::string vstrformat(const char* fmt, va_list ap);

// Closes the log, reads Activatelog and, when it starts with Y or y, opens
// TW.LOG in TEMP, TMP, or the system's fallback folders in turn, as a
// private file never reached through a symbolic link. Answers why TW.LOG
// was refused where it was tried (every such place, with its reason), also
// when a later place took it; empty when the first place took it or the log
// is off.
std::string openlog(Settings& settings, platform::System& system);

}  // namespace tw
