// The program launcher for external programs: starts a program with its
// argument text, hidden and without waiting for it, and collects the ones
// that have finished so that they leave nothing behind.
#pragma once

#include <string>

namespace tw::platform {

// A start answers a code in the Windows shell's convention, which the agent
// only logs: above 32 when the program was started, otherwise the reason.
inline constexpr int kLaunchStarted = 42;
inline constexpr int kLaunchFileNotFound = 2;
inline constexpr int kLaunchPathNotFound = 3;
inline constexpr int kLaunchAccessDenied = 5;
inline constexpr int kLaunchOutOfMemory = 8;
inline constexpr int kLaunchBadFormat =
    11;                                   // not a runnable program, or an unreadable argument text
inline constexpr int kLaunchFailed = 31;  // any other reason

class Launcher {
  public:
    virtual ~Launcher() = default;
    // Starts program with the argument text (empty: no arguments) and
    // returns at once; the program's input and output go nowhere.
    virtual int launch(const std::string& program, const std::string& arguments) = 0;
    // Collects every started program that has ended. Cheap; safe to call
    // from any thread at any time.
    virtual void reap() = 0;
};

}  // namespace tw::platform
