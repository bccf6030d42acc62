// Process-level services: the last system error, the program's own path,
// environment variables, the stop request that signals (or a service stop)
// raise, and the cycle's mutex.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace tw::platform {

class CycleMutex {
  public:
    virtual ~CycleMutex() = default;
    virtual void lock() = 0;
    virtual void unlock() = 0;
};

class System {
  public:
    virtual ~System() = default;
    virtual uint32_t lastErrorCode() = 0;
    // The system's message for an error code without its line end; empty when unknown.
    virtual std::string errorText(uint32_t code) = 0;
    virtual std::optional<std::string> programPath() = 0;
    virtual std::optional<std::string> getenv(const std::string& name) = 0;
    // Fallback folders for temporary files when TEMP and TMP are unset, in order.
    virtual std::string tempFallback(int index) = 0;
    virtual char pathSeparator() = 0;
    // Creates the named mutex owned by the caller.
    virtual std::unique_ptr<CycleMutex> createCycleMutex(const std::string& name) = 0;
    // Creates, or empties, a file that only its owner may read, for writing:
    // mode 0600 whatever the umask (owner, SYSTEM and Administrators on
    // Windows), never through a symbolic link or reparse point, only a plain
    // file of our own. nullptr with why set when it cannot.
    virtual std::FILE* createPrivateFile(const std::string& path, std::string& why) = 0;
    // Detaches from the console (-app); a no-op where there is nothing to detach.
    virtual void releaseConsole() = 0;
    // Stop requests: SIGINT/SIGTERM (or a service stop) set this; a sleep on
    // the clock returns early once it is set.
    virtual bool stopRequested() = 0;
    virtual void requestStop() = 0;
    // Ends the process at once with the status (output flushed); used where
    // a fatal outcome is found off the main thread.
    [[noreturn]] virtual void exitProcess(int status) = 0;
};

// This host's process services, for a program that needs no more of the
// platform (twrecv) and for the whole platform: SIGINT and SIGTERM (Ctrl-C,
// Ctrl-Break and closing the console on Windows) raise the stop request, a
// write to a closed pipe fails instead of ending the process, and standard
// output is written byte for byte.
std::unique_ptr<System> makeHostSystem();

}  // namespace tw::platform
